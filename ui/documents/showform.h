// The registries of the document windows (QPointer entries of instance
// arrays): the opener of an entry and the reset of an array.
#pragma once

#include <QMdiArea>
#include <QPointer>
#include <cstddef>

#include "ui/main/frmmain.h"

// Shows the window of a registry entry (a QPointer of an instance array):
// an open window is only shown and activated; a closed one (or one still
// closing, waiting for its deletion) is replaced by a new window that
// `make` creates and loads, so every opening after a close runs the load in
// full. A `make` that opens nothing returns nullptr, and nothing is shown.
template <class Form, class Make>
Form* ShowFormOf(QPointer<Form>& entry, Make make) {
  frmMain* main = frmMain::Instance();
  if (!main) return nullptr;
  if (!entry || entry->Unloading()) entry = make();
  if (!entry) return nullptr;
  entry->show();
  main->MdiArea()->setActiveSubWindow(entry);
  return entry;
}

// Deletes every window still registered in an instance array and empties
// its entries.
template <class Form, std::size_t N>
void DeleteForms(QPointer<Form> (&entries)[N]) {
  for (QPointer<Form>& form : entries) {
    delete form;
    form = nullptr;
  }
}
