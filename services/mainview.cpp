#include "services/mainview.h"

static MainView* sMainView = nullptr;

MainView* TheMainView() { return sMainView; }
void SetMainView(MainView* view) { sMainView = view; }

bool MainMenuChecked(const std::string& item) {
  const MainView* view = TheMainView();
  return view && view->MenuChecked(item);
}

void SetMainMenuEnabled(const std::string& item, bool on) {
  if (MainView* view = TheMainView()) view->SetMenuEnabled(item, on);
}

ChildView* MainActiveChild() {
  const MainView* view = TheMainView();
  return view ? view->ActiveChild() : nullptr;
}
