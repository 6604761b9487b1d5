// The dialog layer on plain Win32: dialogs from the program's own dialog
// templates, run modally by a message loop that gives Enter and Escape to
// the dialog manager (IsDialogMessage), the list view of the common
// controls, window timers, the system menu's About entry, and the icon that
// a minimized window paints.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/ui_call_gate.h"
#include "ui/win32/dialog_window.h"
#include "ui/win32/ui_mailbox.h"

namespace quarn::ui {
namespace {

// The dialogs that run modally on this thread, innermost last: the owner of
// a dialog that names no parent.
thread_local std::vector<const CDialog*> t_modal_dialogs;

void init_common_controls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    return InitCommonControlsEx(&controls) != 0;
  }();
  (void)done;
}

std::string text_of(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

HWND list_of(const CDialog* dialog, int id) {
  if (dialog == nullptr || dialog->window() == nullptr) return nullptr;
  return dialog->window()->control(id);
}

int column_format(ColumnAlign align) {
  switch (align) {
    case ColumnAlign::right: return LVCFMT_RIGHT;
    case ColumnAlign::center: return LVCFMT_CENTER;
    case ColumnAlign::left: break;
  }
  return LVCFMT_LEFT;
}

}  // namespace

// --- the window ------------------------------------------------------------

IconOrigin icon_origin(int client_width, int client_height, int icon_width, int icon_height) {
  return {(client_width - icon_width + 1) / 2, (client_height - icon_height + 1) / 2};
}

HWND default_owner_window(const CDialog& dialog) {
  for (auto it = t_modal_dialogs.rbegin(); it != t_modal_dialogs.rend(); ++it) {
    if (*it != &dialog && (*it)->window() != nullptr && (*it)->window()->hwnd() != nullptr) {
      return (*it)->window()->hwnd();
    }
  }
  return nullptr;
}

DialogWindow::DialogWindow(CDialog& owner) : owner_(owner) {}

DialogWindow::~DialogWindow() { destroy(); }

bool DialogWindow::create(int template_id, HWND owner_window) {
  init_common_controls();
  owner_window_ = owner_window;
  HWND made = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id), owner_window,
                                 &DialogWindow::dialog_proc, reinterpret_cast<LPARAM>(this));
  // WM_INITDIALOG has set hwnd_ already; a failed creation leaves nothing.
  if (made == nullptr) hwnd_ = nullptr;
  return made != nullptr;
}

HWND DialogWindow::control(int id) const {
  if (hwnd_ == nullptr || id == -1) return nullptr;
  return GetDlgItem(hwnd_, id);
}

void DialogWindow::end() {
  if (ended_) return;
  ended_ = true;
  for (unsigned id : timers_) KillTimer(hwnd_, id);
  timers_.clear();
}

void DialogWindow::destroy() {
  if (hwnd_ == nullptr) return;
  HWND window = hwnd_;
  end();
  hwnd_ = nullptr;
  SetWindowLongPtrA(window, DWLP_USER, 0);
  DestroyWindow(window);
}

bool DialogWindow::start_timer(unsigned id, unsigned period_ms) {
  if (hwnd_ == nullptr || ended_ || SetTimer(hwnd_, id, period_ms, nullptr) == 0) return false;
  timers_.insert(id);
  return true;
}

bool DialogWindow::stop_timer(unsigned id) {
  if (hwnd_ == nullptr || timers_.erase(id) == 0) return false;
  return KillTimer(hwnd_, id) != 0;
}

void DialogWindow::centre() {
  // Templates placed at 0, 0 are centred, as the dialog framework does: over
  // the owner when there is one, else in the screen's work area.
  RECT mine{}, area{};
  GetWindowRect(hwnd_, &mine);
  if (owner_window_ == nullptr || !GetWindowRect(owner_window_, &area) || IsIconic(owner_window_)) {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int width = mine.right - mine.left;
  const int height = mine.bottom - mine.top;
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool DialogWindow::paint_minimized() {
  if (!IsIconic(hwnd_) || icon_ == nullptr) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(hwnd_, &client);
  const IconOrigin at = icon_origin(client.right - client.left, client.bottom - client.top,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
  DrawIcon(dc, at.x, at.y, icon_);
  EndPaint(hwnd_, &paint);
  return true;
}

INT_PTR CALLBACK DialogWindow::dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* window = reinterpret_cast<DialogWindow*>(lparam);
    SetWindowLongPtrA(hwnd, DWLP_USER, lparam);
    window->hwnd_ = hwnd;
    window->centre();
    // True lets the dialog manager focus the first control with a tab stop.
    return window->owner_.OnInitDialog() ? TRUE : FALSE;
  }
  auto* window = reinterpret_cast<DialogWindow*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (window == nullptr || window->hwnd_ != hwnd) return FALSE;
  return window->handle(message, wparam, lparam);
}

INT_PTR DialogWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      return paint_minimized() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      // One of the messages whose answer a dialog procedure returns itself.
      return reinterpret_cast<INT_PTR>(icon_);
    default:
      break;
  }
  // Once the window has ended, its owner hears nothing more.
  if (ended_) return FALSE;
  switch (message) {
    case WM_COMMAND:
      // Enter presses the default push button (IDOK) and Escape sends
      // IDCANCEL; the dialog manager turns both into these commands.
      if (HIWORD(wparam) != BN_CLICKED) return FALSE;
      if (LOWORD(wparam) == IDOK) {
        owner_.OnOK();
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        owner_.OnCancel();
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      owner_.OnCancel();
      return TRUE;
    case WM_TIMER:
      if (timers_.count(static_cast<unsigned>(wparam)) == 0) return FALSE;
      owner_.OnTimer(static_cast<unsigned>(wparam));
      return TRUE;
    case WM_SYSCOMMAND:
      owner_.OnSysCommand(static_cast<unsigned>(wparam), static_cast<std::intptr_t>(lparam));
      return TRUE;
    default:
      return FALSE;
  }
}

// --- CDialog ---------------------------------------------------------------

CDialog::CDialog(int template_id, CDialog* parent)
    : template_id_(template_id),
      parent_(parent),
      gate_(std::make_unique<UiCallGate>(
          [mailbox = std::weak_ptr<UiMailbox>(UiMailbox::for_this_thread())](std::function<void()> job) {
            const auto box = mailbox.lock();
            return box != nullptr && box->post(std::move(job));
          })) {}

CDialog::~CDialog() {
  close_ui_calls();
  window_.reset();
}

namespace {

HWND owner_for(const CDialog& dialog) {
  const CDialog* parent = dialog.parent();
  if (parent != nullptr && parent->window() != nullptr && parent->window()->hwnd() != nullptr) {
    return parent->window()->hwnd();
  }
  return default_owner_window(dialog);
}

}  // namespace

bool CDialog::create_window() {
  if (used_) return false;
  used_ = true;
  const HWND owner = owner_for(*this);
  // The object exists before the window, so that OnInitDialog, which runs
  // while the window is being made, already finds it.
  window_ = std::make_unique<DialogWindow>(*this);
  if (!window_->create(template_id_, owner)) {
    window_.reset();
    return false;
  }
  return true;
}

int CDialog::DoModal() {
  if (used_) return -1;
  // The owner is disabled before the window exists, so that no moment is
  // left in which both take input.
  const HWND owner = owner_for(*this);
  const bool disable_owner = owner != nullptr && IsWindowEnabled(owner);
  if (disable_owner) EnableWindow(owner, FALSE);
  if (!create_window()) {
    if (disable_owner) EnableWindow(owner, TRUE);
    return -1;
  }
  HWND window = window_->hwnd();
  t_modal_dialogs.push_back(this);
  if (!ended_) ShowWindow(window, SW_SHOW);

  bool quit = false;
  WPARAM quit_code = 0;
  MSG message;
  while (!ended_) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      quit_code = message.wParam;
      break;
    }
    if (got == -1) break;
    // The dialog manager gives Enter, Escape and Tab their dialog meaning.
    if (!IsDialogMessageA(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  t_modal_dialogs.pop_back();
  // A loop that ended without EndDialog (the program was told to quit)
  // counts as a cancel.
  if (!ended_) EndDialog(kIdCancel);
  // The owner comes back before this window goes, so that it, and not some
  // other program, becomes the active window.
  if (disable_owner) EnableWindow(owner, TRUE);
  window_.reset();
  // The quit request belongs to the loop further out.
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
  return result_;
}

bool CDialog::Create() {
  if (!create_window()) return false;
  if (!ended_) ShowWindow(window_->hwnd(), SW_SHOW);
  return true;
}

void CDialog::EndDialog(int result) {
  if (ended_ || !window_) return;
  ended_ = true;
  result_ = result;
  close_ui_calls();
  window_->end();
  // A modal loop notices ended_ after the message at hand; a window made by
  // Create has no loop of its own and goes now.
  const bool modal = std::find(t_modal_dialogs.begin(), t_modal_dialogs.end(), this) != t_modal_dialogs.end();
  if (modal) {
    PostMessageA(window_->hwnd(), WM_NULL, 0, 0);
  } else {
    window_->destroy();
  }
}

bool CDialog::is_open() const { return window_ != nullptr && window_->hwnd() != nullptr && !ended_; }

void CDialog::OnSysCommand(unsigned nID, std::intptr_t lParam) {
  // Move, size, close and the rest, as the platform does them.
  if (window_ != nullptr && window_->hwnd() != nullptr) {
    DefWindowProcA(window_->hwnd(), WM_SYSCOMMAND, nID, static_cast<LPARAM>(lParam));
  }
}

bool CDialog::SetTimer(unsigned id, unsigned period_ms) { return is_open() && window_->start_timer(id, period_ms); }

bool CDialog::KillTimer(unsigned id) { return window_ != nullptr && window_->stop_timer(id); }

bool CDialog::append_about_entry(unsigned command_id, std::string_view text) {
  if (!is_open() || text.empty()) return false;
  // The window's own system menu, not a fresh copy of the standard one.
  HMENU menu = GetSystemMenu(window_->hwnd(), FALSE);
  if (menu == nullptr) return false;
  const std::string item(text);
  return AppendMenuA(menu, MF_SEPARATOR, 0, nullptr) && AppendMenuA(menu, MF_STRING, command_id, item.c_str());
}

struct Icon::Data {
  HICON handle = nullptr;
};

void CDialog::set_icon(const Icon& icon, bool big) {
  if (window_ == nullptr || window_->hwnd() == nullptr || icon.empty()) return;
  SendMessageA(window_->hwnd(), WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon.data()->handle));
  if (big) window_->set_icon(icon.data()->handle);
}

bool CDialog::has_control(int id) const { return window_ != nullptr && window_->control(id) != nullptr; }

std::string CDialog::control_text(int id) const {
  HWND control = window_ != nullptr ? window_->control(id) : nullptr;
  return control != nullptr ? text_of(control) : std::string();
}

void CDialog::set_control_text(int id, std::string_view text) {
  HWND control = window_ != nullptr ? window_->control(id) : nullptr;
  if (control == nullptr) return;
  const std::string copy(text);
  SetWindowTextA(control, copy.c_str());
}

// --- the list view ---------------------------------------------------------

int CListCtrl::insert_column(int index, std::string_view heading, ColumnAlign align, int width) {
  HWND list = list_of(dialog_, id_);
  if (list == nullptr) return -1;
  std::string text(heading);
  LVCOLUMNA column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = column_format(align);
  column.cx = width;
  column.pszText = text.data();
  column.iSubItem = index;
  return static_cast<int>(SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::insert_item(int index, std::string_view text) {
  HWND list = list_of(dialog_, id_);
  if (list == nullptr) return -1;
  std::string copy(text);
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = copy.data();
  return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool CListCtrl::set_item_text(int item, int sub_item, std::string_view text) {
  HWND list = list_of(dialog_, id_);
  if (list == nullptr || item < 0 || item >= item_count() || sub_item < 0 || sub_item >= column_count()) return false;
  std::string copy(text);
  LVITEMA row{};
  row.iSubItem = sub_item;
  row.pszText = copy.data();
  return SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row)) != 0;
}

int CListCtrl::item_count() const {
  HWND list = list_of(dialog_, id_);
  return list != nullptr ? static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

int CListCtrl::column_count() const {
  HWND list = list_of(dialog_, id_);
  HWND header = list != nullptr ? reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0)) : nullptr;
  return header != nullptr ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string CListCtrl::item_text(int item, int sub_item) const {
  HWND list = list_of(dialog_, id_);
  if (list == nullptr || item < 0 || item >= item_count() || sub_item < 0 || sub_item >= column_count()) return {};
  // The list copies at most the buffer's length less one; a text that fills
  // it may be longer, so the buffer grows until one is left over.
  for (std::size_t size = 256;; size *= 2) {
    std::string buffer(size, '\0');
    LVITEMA row{};
    row.iSubItem = sub_item;
    row.pszText = buffer.data();
    row.cchTextMax = static_cast<int>(size);
    const auto length = static_cast<std::size_t>(
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row)));
    if (length + 1 < size || size >= (1u << 20)) {
      buffer.resize(std::min(length, size - 1));
      return buffer;
    }
  }
}

std::string CListCtrl::column_heading(int column) const {
  HWND list = list_of(dialog_, id_);
  if (list == nullptr) return {};
  char buffer[256] = {};
  LVCOLUMNA info{};
  info.mask = LVCF_TEXT;
  info.pszText = buffer;
  info.cchTextMax = sizeof buffer;
  if (!SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info))) return {};
  return buffer;
}

int CListCtrl::column_width(int column) const {
  HWND list = list_of(dialog_, id_);
  if (list == nullptr || column < 0 || column >= column_count()) return 0;
  return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

// --- resources -------------------------------------------------------------

Icon::Icon() = default;
Icon::~Icon() = default;
Icon::Icon(Icon&&) noexcept = default;
Icon& Icon::operator=(Icon&&) noexcept = default;

Icon::Icon(int resource_id) {
  // The system's standard icon size; the handle is shared and never freed.
  HICON handle = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resource_id));
  if (handle == nullptr) return;
  data_ = std::make_unique<Data>();
  data_->handle = handle;
}

bool Icon::empty() const { return data_ == nullptr || data_->handle == nullptr; }

std::string load_string(int resource_id) {
  // A string resource holds at most 4095 characters.
  std::vector<char> buffer(4096);
  const int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(resource_id), buffer.data(),
                                 static_cast<int>(buffer.size()));
  return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

// --- the application -------------------------------------------------------

void CWinApp::Enable3dControls() {
  // Every control of the common controls has the three-dimensional look
  // already; what is left to switch on is the common controls themselves.
  init_common_controls();
}

int run_application(int, char**) {
  CWinApp* app = CWinApp::instance();
  if (app == nullptr) {
    std::fprintf(stderr, "quarn: no application object\n");
    return 1;
  }
  init_common_controls();
  if (!app->InitInstance()) return 0;
  MSG message;
  BOOL got;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0 && got != -1) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return got == 0 ? static_cast<int>(message.wParam) : 0;
}

}  // namespace quarn::ui
