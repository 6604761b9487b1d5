// The dialog layer on plain Win32: dialogs from the program's own dialog
// templates, run modally by a message loop that gives Enter and Escape to
// the dialog manager (IsDialogMessage), the list view of the common
// controls, window timers, the system menu's About entry, and the icon that
// a minimized window paints. Every window is a Unicode one and every text
// crosses as UTF-16, so that a name of any script shows as it is; the
// dialog layer's texts are the program's own (platform/text.h).
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/text.h"
#include "ui/dialog.h"
#include "ui/toolkit_window.h"
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

using platform::narrow;
using platform::widen;

std::string text_of(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return narrow(text);
}

// A text that the list copies into a buffer, cut to the buffer's length
// less one: the buffer grows until the text leaves room to spare, so that a
// text which filled it is never taken for the whole one.
template <typename CopyInto>
std::string read_whole_text(CopyInto copy_into) {
  constexpr std::size_t kLongest = std::size_t{1} << 20;
  for (std::size_t size = 256;; size *= 2) {
    std::wstring buffer(size, L'\0');
    copy_into(buffer.data(), static_cast<int>(size));
    const std::size_t length = std::wcslen(buffer.c_str());
    if (length + 1 < size || size >= kLongest) {
      buffer.resize(length);
      return narrow(buffer);
    }
  }
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

namespace {

HWND owner_for(const CDialog& dialog) {
  const CDialog* parent = dialog.parent();
  if (parent != nullptr && parent->window() != nullptr && parent->window()->hwnd() != nullptr) {
    return parent->window()->hwnd();
  }
  return default_owner_window(dialog);
}

}  // namespace

// The list control in report view, by its window.
class ListView final : public ReportView {
 public:
  explicit ListView(HWND hwnd) : hwnd_(hwnd) {}

  int column_count() const override {
    HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
    return header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  }

  int item_count() const override { return static_cast<int>(SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0)); }

  int insert_column(int index, std::string_view heading, ColumnAlign align, int width) override {
    std::wstring text = widen(heading);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = column_format(align);
    column.cx = width;
    column.pszText = text.data();
    column.iSubItem = index;
    return static_cast<int>(
        SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
  }

  int insert_item(int index, std::string_view text) override {
    std::wstring copy = widen(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = copy.data();
    return static_cast<int>(SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  }

  bool set_item_text(int item, int sub_item, std::string_view text) override {
    std::wstring copy = widen(text);
    LVITEMW row{};
    row.iSubItem = sub_item;
    row.pszText = copy.data();
    return SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row)) != 0;
  }

  std::string item_text(int item, int sub_item) const override {
    return read_whole_text([&](wchar_t* buffer, int size) {
      LVITEMW row{};
      row.iSubItem = sub_item;
      row.pszText = buffer;
      row.cchTextMax = size;
      SendMessageW(hwnd_, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row));
    });
  }

  std::string column_heading(int column) const override {
    return read_whole_text([&](wchar_t* buffer, int size) {
      LVCOLUMNW info{};
      info.mask = LVCF_TEXT;
      info.pszText = buffer;
      info.cchTextMax = size;
      SendMessageW(hwnd_, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
    });
  }

  int column_width(int column) const override {
    return static_cast<int>(SendMessageW(hwnd_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
  }

 private:
  HWND hwnd_;
};

DialogWindow::DialogWindow(CDialog& owner) : owner_(owner) {}

DialogWindow::~DialogWindow() { destroy(); }

bool DialogWindow::create_from_template(int template_id, bool modal) {
  init_common_controls();
  owner_window_ = owner_for(owner_);
  if (modal && owner_window_ != nullptr && IsWindowEnabled(owner_window_)) {
    EnableWindow(owner_window_, FALSE);
    owner_disabled_ = true;
  }
  HWND made = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), owner_window_,
                                 &DialogWindow::dialog_proc, reinterpret_cast<LPARAM>(this));
  // WM_INITDIALOG has set hwnd_ already; a failed creation leaves nothing.
  if (made == nullptr) {
    hwnd_ = nullptr;
    enable_owner();
  }
  return made != nullptr;
}

void DialogWindow::show_window() { ShowWindow(hwnd_, SW_SHOW); }

void DialogWindow::run_modal() {
  t_modal_dialogs.push_back(&owner_);
  modal_ = true;
  ShowWindow(hwnd_, SW_SHOW);
  bool quit = false;
  WPARAM quit_code = 0;
  MSG message;
  while (!ended_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      quit_code = message.wParam;
      break;
    }
    if (got == -1) break;
    if (!IsDialogMessageW(hwnd_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  modal_ = false;
  t_modal_dialogs.pop_back();
  // The quit request belongs to the loop further out.
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
}

void DialogWindow::end(int) {
  stop();
  if (modal_) {
    PostMessageW(hwnd_, WM_NULL, 0, 0);
  } else {
    destroy();
  }
}

HWND DialogWindow::control(int id) const {
  if (hwnd_ == nullptr || id == -1) return nullptr;
  return GetDlgItem(hwnd_, id);
}

void DialogWindow::stop() {
  if (ended_) return;
  ended_ = true;
  for (unsigned id : timers_) KillTimer(hwnd_, id);
  timers_.clear();
}

void DialogWindow::destroy() {
  enable_owner();
  if (hwnd_ == nullptr) return;
  HWND window = hwnd_;
  stop();
  hwnd_ = nullptr;
  lists_.clear();
  SetWindowLongPtrW(window, DWLP_USER, 0);
  DestroyWindow(window);
}

void DialogWindow::enable_owner() {
  if (!owner_disabled_) return;
  owner_disabled_ = false;
  EnableWindow(owner_window_, TRUE);
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

bool DialogWindow::add_about_entry(unsigned command_id, std::string_view text) {
  // The window's own system menu, not a fresh copy of the standard one.
  HMENU menu = hwnd_ != nullptr ? GetSystemMenu(hwnd_, FALSE) : nullptr;
  if (menu == nullptr) return false;
  const std::wstring item = widen(text);
  return AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) && AppendMenuW(menu, MF_STRING, command_id, item.c_str());
}

void DialogWindow::system_command(unsigned id, std::intptr_t param) {
  if (hwnd_ != nullptr) DefWindowProcW(hwnd_, WM_SYSCOMMAND, id, static_cast<LPARAM>(param));
}

std::string DialogWindow::control_text(int id) const {
  HWND window = control(id);
  return window != nullptr ? text_of(window) : std::string();
}

void DialogWindow::set_control_text(int id, std::string_view text) {
  HWND window = control(id);
  if (window == nullptr) return;
  SetWindowTextW(window, widen(text).c_str());
}

ReportView* DialogWindow::report_view(int id) {
  HWND window = control(id);
  if (window == nullptr) return nullptr;
  wchar_t class_name[32] = {};
  GetClassNameW(window, class_name, 32);
  if (lstrcmpiW(class_name, WC_LISTVIEWW) != 0) return nullptr;
  std::unique_ptr<ListView>& list = lists_[id];
  if (list == nullptr) list = std::make_unique<ListView>(window);
  return list.get();
}

void DialogWindow::centre() {
  // Templates placed at 0, 0 are centred, as the dialog framework does: over
  // the owner when there is one, else in the screen's work area.
  RECT mine{}, area{};
  GetWindowRect(hwnd_, &mine);
  if (owner_window_ == nullptr || !GetWindowRect(owner_window_, &area) || IsIconic(owner_window_)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
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
  SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
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
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    window->hwnd_ = hwnd;
    window->centre();
    // True lets the dialog manager focus the first control with a tab stop.
    return window->owner_.OnInitDialog() ? TRUE : FALSE;
  }
  auto* window = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
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

struct Icon::Data {
  HICON handle = nullptr;
};

void DialogWindow::set_icon(const Icon& icon, IconSize size) {
  if (hwnd_ == nullptr) return;
  const bool big = size == IconSize::big;
  SendMessageW(hwnd_, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon.data()->handle));
  if (big) icon_ = icon.data()->handle;
}

// --- resources -------------------------------------------------------------

Icon::Icon() = default;
Icon::~Icon() = default;
Icon::Icon(Icon&&) noexcept = default;
Icon& Icon::operator=(Icon&&) noexcept = default;

Icon::Icon(int resource_id) {
  // The system's standard icon size; the handle is shared and never freed.
  HICON handle = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource_id));
  if (handle == nullptr) return;
  data_ = std::make_unique<Data>();
  data_->handle = handle;
}

bool Icon::empty() const { return data_ == nullptr || data_->handle == nullptr; }

std::string load_string(int resource_id) {
  // A string resource holds at most 4095 characters.
  std::vector<wchar_t> buffer(4096);
  const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(resource_id), buffer.data(),
                                 static_cast<int>(buffer.size()));
  return length > 0 ? narrow(std::wstring_view(buffer.data(), static_cast<std::size_t>(length))) : std::string();
}

// --- the application -------------------------------------------------------

void CWinApp::Enable3dControls() {
  // Every control of the common controls has the three-dimensional look
  // already; what is left to switch on is the common controls themselves.
  init_common_controls();
}

// --- the toolkit's part of the shared code ------------------------------------

std::unique_ptr<ToolkitWindow> make_toolkit_window(CDialog& dialog) { return std::make_unique<DialogWindow>(dialog); }

UiCallGate::Post ui_thread_post() {
  return [mailbox = std::weak_ptr<UiMailbox>(UiMailbox::for_this_thread())](std::function<void()> job) {
    const auto box = mailbox.lock();
    return box != nullptr && box->post(std::move(job));
  };
}

int run_toolkit_application(CWinApp& app, int, char**) {
  init_common_controls();
  if (!app.InitInstance()) return 0;
  MSG message;
  BOOL got;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return got == 0 ? static_cast<int>(message.wParam) : 0;
}

}  // namespace quarn::ui
