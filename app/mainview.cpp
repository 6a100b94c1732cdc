#include "app/mainview.h"

static MainView* sMainView = nullptr;

MainView* TheMainView() { return sMainView; }
void SetMainView(MainView* view) { sMainView = view; }
