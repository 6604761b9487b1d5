// The application object: runs the main window modally and ends the program
// when it closes. There is no message loop of its own.
#pragma once

#include "ui/dialog.h"

namespace quarn::ui {

class CCleanerApp : public CWinApp {
 public:
  CCleanerApp() : CWinApp(nullptr) {}
  // Runs one main window to its end, which stops a running scan, and returns
  // false so that the program ends.
  bool InitInstance() override;
};

}  // namespace quarn::ui
