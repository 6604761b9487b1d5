// The parts of the dialog layer that every toolkit shares: control binding,
// the text services on top of the toolkit's by-id ones, the user-interface
// calls and the base handlers.
#include "ui/dialog.h"
#include "ui/ui_call_gate.h"

namespace quarn::ui {
namespace {

CWinApp* g_application = nullptr;

}  // namespace

void DDX_Control(CDataExchange* pDX, int nIDC, CControl& rControl) {
  CDialog& dialog = pDX->dialog();
  if (!dialog.has_control(nIDC)) return;
  rControl.dialog_ = &dialog;
  rControl.id_ = nIDC;
}

std::string CControl::get_text() const { return dialog_ != nullptr ? dialog_->control_text(id_) : std::string(); }

void CControl::set_text(std::string_view text) {
  if (dialog_ != nullptr) dialog_->set_control_text(id_, text);
}

bool CDialog::call_on_ui_thread(const std::function<void()>& task) { return gate_ && gate_->call(task); }

void CDialog::close_ui_calls() {
  if (gate_) gate_->close();
}

void CDialog::run_pending_ui_calls() {
  if (gate_) gate_->drain();
}

bool CDialog::OnInitDialog() {
  CDataExchange exchange(*this);
  DoDataExchange(&exchange);
  return true;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() { EndDialog(kIdOk); }

void CDialog::OnCancel() { EndDialog(kIdCancel); }

void CDialog::OnTimer(unsigned) {}

CWinApp::CWinApp(const char* app_name) : app_name_(app_name != nullptr ? app_name : "") { g_application = this; }

CWinApp::~CWinApp() {
  if (g_application == this) g_application = nullptr;
}

bool CWinApp::InitInstance() { return false; }

CWinApp* CWinApp::instance() { return g_application; }

}  // namespace quarn::ui
