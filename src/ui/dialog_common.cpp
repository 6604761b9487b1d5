// The dialog layer's behaviour, written once: the life of a dialog (one
// window per object, the modal run, EndDialog, timers that stop with the
// window), control binding and texts, the list control's argument checks,
// the user-interface calls and the base handlers. Each toolkit only carries
// out what this code has decided, through ToolkitWindow.
#include <algorithm>
#include <cstdio>

#include "ui/dialog.h"
#include "ui/toolkit_window.h"
#include "ui/ui_call_gate.h"

namespace quarn::ui {
namespace {

CWinApp* g_application = nullptr;

}  // namespace

// --- controls ----------------------------------------------------------------

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

bool CDialog::has_control(int id) const { return window_ != nullptr && window_->has_control(id); }

std::string CDialog::control_text(int id) const {
  return window_ != nullptr ? window_->control_text(id) : std::string();
}

void CDialog::set_control_text(int id, std::string_view text) {
  if (window_ != nullptr) window_->set_control_text(id, text);
}

// --- the dialog's life -------------------------------------------------------

CDialog::CDialog(int template_id, CDialog* parent)
    : template_id_(template_id), parent_(parent), gate_(std::make_unique<UiCallGate>(ui_thread_post())) {}

CDialog::~CDialog() {
  close_ui_calls();
  window_.reset();
}

DialogWindow* CDialog::window() const { return window_ != nullptr ? window_->dialog_window() : nullptr; }

bool CDialog::create_window(bool modal) {
  if (used_) return false;
  used_ = true;
  // The object exists before the window, so that OnInitDialog, which may
  // run while the window is being made, already finds it.
  window_ = make_toolkit_window(*this);
  if (!window_->create_from_template(template_id_, modal)) {
    window_.reset();
    return false;
  }
  return true;
}

int CDialog::DoModal() {
  if (!create_window(true)) return -1;
  if (!ended_) window_->run_modal();
  // A loop that ended without EndDialog (the application was told to quit)
  // counts as a cancel.
  if (!ended_) EndDialog(kIdCancel);
  window_.reset();
  return result_;
}

bool CDialog::Create() {
  if (!create_window(false)) return false;
  if (!ended_) window_->show_window();
  return true;
}

void CDialog::EndDialog(int result) {
  if (ended_ || window_ == nullptr) return;
  ended_ = true;
  result_ = result;
  close_ui_calls();
  window_->end(result);
}

bool CDialog::is_open() const { return window_ != nullptr && !ended_; }

bool CDialog::SetTimer(unsigned id, unsigned period_ms) { return is_open() && window_->start_timer(id, period_ms); }

bool CDialog::KillTimer(unsigned id) { return is_open() && window_->stop_timer(id); }

bool CDialog::append_about_entry(unsigned command_id, std::string_view text) {
  return is_open() && !text.empty() && window_->add_about_entry(command_id, text);
}

void CDialog::set_icon(const Icon& icon, IconSize size) {
  if (is_open() && !icon.empty()) window_->set_icon(icon, size);
}

// --- the user-interface calls -------------------------------------------------

bool CDialog::call_on_ui_thread(const std::function<void()>& task) { return gate_ && gate_->call(task); }

void CDialog::close_ui_calls() {
  if (gate_) gate_->close();
}

void CDialog::run_pending_ui_calls() {
  if (gate_) gate_->drain();
}

// --- handlers ----------------------------------------------------------------

bool CDialog::OnInitDialog() {
  CDataExchange exchange(*this);
  DoDataExchange(&exchange);
  return true;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() { EndDialog(kIdOk); }

void CDialog::OnCancel() { EndDialog(kIdCancel); }

void CDialog::OnTimer(unsigned) {}

void CDialog::OnSysCommand(unsigned nID, std::intptr_t lParam) {
  if (window_ != nullptr) window_->system_command(nID, lParam);
}

// --- the list control ----------------------------------------------------------

ReportView* CDialog::report_view(int id) const { return window_ != nullptr ? window_->report_view(id) : nullptr; }

ReportView* CListCtrl::view() const { return dialog_ != nullptr ? dialog_->report_view(id_) : nullptr; }

namespace {

// A row's own text is sub-item 0, which exists even before the first column.
bool is_cell(const ReportView& list, int item, int sub_item) {
  return item >= 0 && item < list.item_count() && sub_item >= 0 && sub_item < std::max(list.column_count(), 1);
}

bool is_column(const ReportView& list, int column) { return column >= 0 && column < list.column_count(); }

}  // namespace

int CListCtrl::insert_column(int index, std::string_view heading, ColumnAlign align, int width) {
  ReportView* list = view();
  if (list == nullptr || index < 0) return -1;
  return list->insert_column(std::min(index, list->column_count()), heading, align, width);
}

int CListCtrl::insert_item(int index, std::string_view text) {
  ReportView* list = view();
  if (list == nullptr || index < 0) return -1;
  return list->insert_item(std::min(index, list->item_count()), text);
}

bool CListCtrl::set_item_text(int item, int sub_item, std::string_view text) {
  ReportView* list = view();
  return list != nullptr && is_cell(*list, item, sub_item) && list->set_item_text(item, sub_item, text);
}

int CListCtrl::item_count() const {
  const ReportView* list = view();
  return list != nullptr ? list->item_count() : 0;
}

int CListCtrl::column_count() const {
  const ReportView* list = view();
  return list != nullptr ? list->column_count() : 0;
}

std::string CListCtrl::item_text(int item, int sub_item) const {
  const ReportView* list = view();
  return list != nullptr && is_cell(*list, item, sub_item) ? list->item_text(item, sub_item) : std::string();
}

std::string CListCtrl::column_heading(int column) const {
  const ReportView* list = view();
  return list != nullptr && is_column(*list, column) ? list->column_heading(column) : std::string();
}

int CListCtrl::column_width(int column) const {
  const ReportView* list = view();
  return list != nullptr && is_column(*list, column) ? list->column_width(column) : 0;
}

// --- the application -----------------------------------------------------------

CWinApp::CWinApp(const char* app_name) : app_name_(app_name != nullptr ? app_name : "") { g_application = this; }

CWinApp::~CWinApp() {
  if (g_application == this) g_application = nullptr;
}

bool CWinApp::InitInstance() { return false; }

CWinApp* CWinApp::instance() { return g_application; }

int run_application(int argc, char** argv) {
  CWinApp* app = CWinApp::instance();
  if (app == nullptr) {
    std::fprintf(stderr, "quarn: no application object\n");
    return 1;
  }
  return run_toolkit_application(*app, argc, argv);
}

}  // namespace quarn::ui
