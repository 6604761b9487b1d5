#include "app/cleaner_app.h"

#include "ui/cleaner_dlg.h"

namespace quarn::ui {

bool CCleanerApp::InitInstance() {
  Enable3dControls();
  {
    CCleanerDlg dlg;
    m_pMainWnd = &dlg;
    // Every way of closing the window leads on alike: the result is not
    // looked at.
    dlg.DoModal();
    m_pMainWnd = nullptr;
  }  // the window object goes here, and a running worker with it
  return false;
}

}  // namespace quarn::ui
