// The registries of the windows (QPointer entries of instance arrays): the
// opener of an entry and the reset of an array.
//
// ShowFormOf shows the window of a registry entry:
// an open window is only shown and activated, and with `restore` also
// restored when it is minimised; a closed one (or one still closing,
// waiting for its deletion) is replaced by a new window that `make` creates
// and loads, so every opening after a close runs the load in full.
#pragma once

#include <QMdiArea>
#include <QPointer>
#include <cstddef>

#include "ui/main/frmmain.h"

template <class Form, class Make>
Form* ShowFormOf(QPointer<Form>& entry, Make make, bool restore = false) {
  frmMain* main = frmMain::Instance();
  if (!main) return nullptr;
  if (!entry || entry->Unloading()) entry = make();
  if (!entry) return nullptr;
  if (restore && entry->isMinimized()) entry->setWindowState(entry->windowState() & ~Qt::WindowMinimized);
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
