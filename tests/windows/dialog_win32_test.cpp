// The dialog layer on plain Win32, with the real templates compiled into
// this test program: the window's make-up, Enter and Escape in the modal
// loop, the rows that a worker adds across threads (also while the About
// box runs its own loop), and closing while a worker waits for its row.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "support/temp_tree.h"
#include "tools/sample_tree.h"
#include "ui/cleaner_dlg.h"
#include "ui/win32/dialog_window.h"

namespace quarn::ui {
namespace {

using quarn::testing::TempTree;
using namespace std::chrono_literals;

// Ends a modal run that a broken test would otherwise keep open for ever.
constexpr unsigned kSafetyTimer = 99;
constexpr unsigned kSafetyMs = 60000;
constexpr int kTimedOut = -5;

HWND hwnd_of(const CDialog& dialog) { return dialog.window() != nullptr ? dialog.window()->hwnd() : nullptr; }

// Dispatches this thread's messages until done() or the time is up.
bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(5);
  }
  return true;
}

TEST(Win32Dialog, minimized_icon_is_centred_with_the_odd_pixel_after_it) {
  EXPECT_EQ(icon_origin(32, 32, 32, 32).x, 0);
  EXPECT_EQ(icon_origin(33, 32, 32, 32).x, 1);  // one pixel wider than the icon
  EXPECT_EQ(icon_origin(34, 32, 32, 32).x, 1);
  const IconOrigin at = icon_origin(160, 27, 32, 32);
  EXPECT_EQ(at.x, 64);
  EXPECT_EQ(at.y, -2);  // rounds toward zero: (27 - 32 + 1) / 2
}

TEST(Win32Dialog, main_window_is_built_from_its_template_with_menu_icon_and_list) {
  CCleanerDlg dialog(nullptr, std::nullopt);
  ASSERT_TRUE(dialog.Create());
  HWND window = hwnd_of(dialog);
  ASSERT_NE(window, nullptr);

  char caption[64] = {};
  GetWindowTextA(window, caption, sizeof caption);
  EXPECT_STREQ(caption, "Veda-Quarn Virus Killer");
  EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(dialog.m_buttonAction.get_text(), "Start");
  EXPECT_EQ(dialog.m_editStartPath.get_text(), "c:\\");
  // OnInitDialog returned true: the first tab stop, the button, has the focus.
  EXPECT_EQ(GetFocus(), GetDlgItem(window, IDOK));

  // The system menu ends with a separator and the About entry.
  HMENU menu = GetSystemMenu(window, FALSE);
  ASSERT_NE(menu, nullptr);
  const int items = GetMenuItemCount(menu);
  ASSERT_GE(items, 2);
  EXPECT_EQ(GetMenuItemID(menu, items - 1), static_cast<UINT>(IDM_ABOUTBOX));
  char text[64] = {};
  GetMenuStringA(menu, items - 1, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "&About quarn...");
  MENUITEMINFOA separator{};
  separator.cbSize = sizeof separator;
  separator.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoA(menu, items - 2, TRUE, &separator));
  EXPECT_NE(separator.fType & MFT_SEPARATOR, 0u);

  // One icon for the title bar, the task switcher and a minimized window.
  const auto big = SendMessageA(window, WM_GETICON, ICON_BIG, 0);
  EXPECT_NE(big, 0);
  EXPECT_EQ(SendMessageA(window, WM_GETICON, ICON_SMALL, 0), big);
  EXPECT_EQ(SendMessageA(window, WM_QUERYDRAGICON, 0, 0), big);

  HWND list = GetDlgItem(window, IDC_RESULT_LIST);
  char class_name[64] = {};
  GetClassNameA(list, class_name, sizeof class_name);
  EXPECT_STREQ(class_name, WC_LISTVIEWA);
  EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
  ASSERT_EQ(dialog.m_listResults.column_count(), 3);
  EXPECT_EQ(dialog.m_listResults.column_heading(0), "File");
  EXPECT_EQ(dialog.m_listResults.column_width(0), 150);
  EXPECT_EQ(dialog.m_listResults.column_heading(1), "Status");
  EXPECT_EQ(dialog.m_listResults.column_width(1), 80);
  EXPECT_EQ(dialog.m_listResults.column_heading(2), "Path");
  EXPECT_EQ(dialog.m_listResults.column_width(2), 240);

  dialog.EndDialog(kIdCancel);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(dialog.m_buttonAction.get_text(), "");  // a control of a window that has gone
}

TEST(Win32Dialog, list_rows_go_on_top_and_cells_of_missing_rows_are_refused) {
  CCleanerDlg dialog(nullptr, std::nullopt);
  ASSERT_TRUE(dialog.Create());
  CListCtrl& list = dialog.m_listResults;
  EXPECT_EQ(list.insert_item(0, "first.htm"), 0);
  EXPECT_EQ(list.insert_item(0, "second.htm"), 0);
  EXPECT_EQ(list.insert_item(99, "last.htm"), 2);
  EXPECT_TRUE(list.set_item_text(0, 2, std::string(300, 'p')));
  EXPECT_FALSE(list.set_item_text(3, 1, "error"));
  EXPECT_FALSE(list.set_item_text(0, 3, "error"));
  EXPECT_EQ(list.item_count(), 3);
  EXPECT_EQ(list.item_text(0, 0), "second.htm");
  EXPECT_EQ(list.item_text(1, 0), "first.htm");
  EXPECT_EQ(list.item_text(0, 2), std::string(300, 'p'));  // longer than a first guess of a buffer
  EXPECT_EQ(list.item_text(5, 0), "");
  // A heading of any length comes back whole; negative indices are refused.
  EXPECT_EQ(list.insert_column(3, std::string(300, 'h'), ColumnAlign::left, 40), 3);
  EXPECT_EQ(list.column_heading(3), std::string(300, 'h'));
  EXPECT_EQ(list.insert_item(-1, "x"), -1);
  EXPECT_EQ(list.insert_column(-1, "x", ColumnAlign::left, 1), -1);
  dialog.EndDialog(kIdCancel);
}

TEST(Win32Dialog, names_of_any_script_cross_as_utf16_both_ways) {
  // Japanese, an emoji (a surrogate pair) and an accented letter, in UTF-8.
  const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80" "Caf\xC3\xA9" ".exe";
  const std::wstring wide = L"\u65E5\u672C\U0001F600Caf\u00E9.exe";
  CCleanerDlg dialog(nullptr, std::nullopt);
  ASSERT_TRUE(dialog.Create());
  // What the user types reaches the program whole, and what the program
  // shows is what the control holds.
  HWND edit = GetDlgItem(hwnd_of(dialog), IDC_START_PATH);
  ASSERT_TRUE(SetWindowTextW(edit, (L"c:\\" + wide).c_str()));
  EXPECT_EQ(dialog.m_editStartPath.get_text(), "c:\\" + name);
  dialog.m_editStartPath.set_text(name);
  wchar_t shown[64] = {};
  GetWindowTextW(edit, shown, 64);
  EXPECT_EQ(std::wstring(shown), wide);
  CListCtrl& list = dialog.m_listResults;
  ASSERT_EQ(list.insert_item(0, name), 0);
  wchar_t cell[64] = {};
  LVITEMW item{};
  item.pszText = cell;
  item.cchTextMax = 64;
  SendMessageW(GetDlgItem(hwnd_of(dialog), IDC_RESULT_LIST), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(std::wstring(cell), wide);
  EXPECT_EQ(list.item_text(0, 0), name);
  dialog.EndDialog(kIdCancel);
}

// A dialog on the main template that presses a key in its start-folder box
// once its modal loop runs, and records which handler the key reached.
class KeyDialog : public CDialog {
 public:
  explicit KeyDialog(WPARAM key) : CDialog(IDD_CLEANER_DIALOG), key_(key) {}
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    SetTimer(kSafetyTimer, kSafetyMs);
    HWND edit = GetDlgItem(hwnd_of(*this), IDC_START_PATH);
    SetFocus(edit);
    // Through the queue, as a real key comes: the loop's IsDialogMessage
    // must give it its dialog meaning.
    PostMessageA(edit, WM_KEYDOWN, key_, 1);
    return false;
  }
  void OnOK() override {
    ++oks;
    CDialog::OnOK();
  }
  void OnCancel() override {
    ++cancels;
    CDialog::OnCancel();
  }
  void OnTimer(unsigned id) override {
    if (id == kSafetyTimer) EndDialog(kTimedOut);
  }
  int oks = 0, cancels = 0;

 private:
  WPARAM key_;
};

TEST(Win32Dialog, enter_in_the_edit_box_presses_the_button_and_escape_cancels) {
  KeyDialog enter(VK_RETURN);
  EXPECT_EQ(enter.DoModal(), kIdOk);
  EXPECT_EQ(enter.oks, 1);
  EXPECT_EQ(enter.cancels, 0);

  KeyDialog escape(VK_ESCAPE);
  EXPECT_EQ(escape.DoModal(), kIdCancel);
  EXPECT_EQ(escape.oks, 0);
  EXPECT_EQ(escape.cancels, 1);

  // One window per object: a second run is refused.
  EXPECT_EQ(escape.DoModal(), -1);
}

// The main window scanning the sample tree in its modal loop. It opens the
// About box first, and the scan is started and runs to its end while the
// About box runs its own message loop: the worker's rows must get through
// that loop as well. Then the window reads its rows and closes itself.
class ScanningDialog : public CCleanerDlg {
 public:
  explicit ScanningDialog(std::string root) : CCleanerDlg(nullptr, std::nullopt), root_(std::move(root)) {}
  ~ScanningDialog() override {
    if (helper_.joinable()) helper_.join();
  }

  bool OnInitDialog() override {
    CCleanerDlg::OnInitDialog();
    SetTimer(kSafetyTimer, kSafetyMs);
    m_editStartPath.set_text(root_);
    HWND self = hwnd_of(*this);
    helper_ = std::thread([this, self] {
      HWND about = nullptr;
      for (int i = 0; i < 4000 && (about = FindWindowA(nullptr, "About Cleaner")) == nullptr; ++i) Sleep(5);
      if (about == nullptr) return;
      about_owner = GetWindow(about, GW_OWNER);
      main_enabled_during_about = IsWindowEnabled(self) != FALSE;
      // The press reaches the disabled main window through the About box's
      // loop; the About box stays until the worker has ended.
      PostMessageA(self, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      for (int i = 0; i < 12000 && !(m_nFilesScanned.load() > 0 && m_nThreadState.load() == kIdle); ++i) Sleep(5);
      PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    // The platform's own bits in the low four: still the About entry.
    PostMessageA(self, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x5, 0);
    return true;
  }

  void OnSysCommand(unsigned nID, std::intptr_t lParam) override {
    CCleanerDlg::OnSysCommand(nID, lParam);
    if ((nID & 0xFFF0u) == IDM_ABOUTBOX) about_done = true;
  }

  void OnTimer(unsigned id) override {
    if (id == kSafetyTimer) {
      EndDialog(kTimedOut);
      return;
    }
    CCleanerDlg::OnTimer(id);
    if (about_done && !closing && m_buttonAction.get_text() == "Close") {
      closing = true;
      for (int r = 0; r < m_listResults.item_count(); ++r) {
        rows.push_back({m_listResults.item_text(r, 0), m_listResults.item_text(r, 1), m_listResults.item_text(r, 2)});
      }
      scanned_field = m_staticFilesScanned.get_text();
      infected_field = m_staticFilesInfected.get_text();
      // At least one file scanned: the button now closes the window.
      PostMessageA(hwnd_of(*this), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }

  void OnFileResult(const char* pszPath, ScanStatus status) override {
    CCleanerDlg::OnFileResult(pszPath, status);
    if (list_status_name(status) != nullptr) notified.push_back(pszPath);
  }

  struct Row {
    std::string name, status, folder;
  };
  std::vector<Row> rows;
  std::vector<std::string> notified;  // by the worker; read once it has ended
  std::string scanned_field, infected_field;
  std::atomic<HWND> about_owner{nullptr};
  std::atomic<bool> main_enabled_during_about{true};
  bool about_done = false;
  bool closing = false;

 private:
  std::string root_;
  std::thread helper_;
};

TEST(Win32Dialog, worker_rows_arrive_newest_first_even_while_the_about_box_runs) {
  TempTree tmp;
  const auto tree = sample::write_sample_tree(tmp.path("tree"));
  ScanningDialog dialog(tree.root);
  ASSERT_EQ(dialog.DoModal(), kIdOk);

  EXPECT_TRUE(dialog.about_done);
  EXPECT_NE(dialog.about_owner.load(), nullptr);
  EXPECT_FALSE(dialog.main_enabled_during_about.load());
  const auto counts = tree.expected_counts();
  EXPECT_EQ(dialog.scanned_field, std::to_string(counts.scanned) + " ");
  EXPECT_EQ(dialog.infected_field, std::to_string(counts.infected) + " ");
  ASSERT_EQ(dialog.rows.size(), dialog.notified.size());
  ASSERT_FALSE(dialog.rows.empty());
  // The list's top row is the last notification, and each row names a file
  // that the manifest says is remedied, deleted or failed, with its word.
  for (std::size_t i = 0; i < dialog.rows.size(); ++i) {
    const std::string& path = dialog.notified[dialog.notified.size() - 1 - i];
    const auto [folder, name] = split_path(path, '\\');
    EXPECT_EQ(dialog.rows[i].name, name);
    EXPECT_EQ(dialog.rows[i].folder, folder);
    const auto file = std::find_if(tree.files.begin(), tree.files.end(),
                                   [&, p = path](const sample::SampleFile& f) { return tree.path_of(f) == p; });
    ASSERT_NE(file, tree.files.end()) << path;
    EXPECT_EQ(dialog.rows[i].status, sample::log_word(file->outcome)) << path;
  }
}

// A window whose worker reports that it is about to wait for its row.
class BlockedRowDialog : public CCleanerDlg {
 public:
  BlockedRowDialog() : CCleanerDlg(nullptr, std::nullopt) {}
  void OnFileResult(const char* pszPath, ScanStatus status) override {
    ++waiting;
    CCleanerDlg::OnFileResult(pszPath, status);
    ++returned;
  }
  std::atomic<int> waiting{0}, returned{0};
};

TEST(Win32Dialog, closing_while_the_worker_waits_for_its_row_neither_hangs_nor_adds_it) {
  TempTree tmp;
  for (int i = 0; i < 5; ++i) tmp.write("m" + std::to_string(i) + ".eml", "x");
  auto dialog = std::make_unique<BlockedRowDialog>();
  ASSERT_TRUE(dialog->Create());
  dialog->m_editStartPath.set_text(tmp.root());
  // The press, without a message loop: this thread does not look at its
  // queue from here on, so the worker's first row waits.
  dialog->OnOK();
  for (int i = 0; i < 6000 && dialog->waiting.load() == 0; ++i) Sleep(5);
  ASSERT_EQ(dialog->waiting.load(), 1);
  Sleep(50);
  EXPECT_EQ(dialog->returned.load(), 0);

  dialog->EndDialog(kIdOk);
  // The destructor waits for the worker; it ends because the closed calls
  // released the waiting row and refuse the rest.
  dialog.reset();
  SUCCEED();
  // The wake-up that the worker sent is still queued; it finds nothing to do.
  pump_until([] { return false; }, 200ms);
}

TEST(Win32Dialog, call_from_a_worker_runs_on_the_ui_thread_and_is_refused_after_the_end) {
  CDialog dialog(IDD_ABOUTBOX);
  ASSERT_TRUE(dialog.Create());
  const DWORD ui_thread = GetCurrentThreadId();
  std::atomic<DWORD> ran_on{0};
  std::atomic<bool> first_result{false}, done{false};
  std::thread worker([&] {
    first_result = dialog.call_on_ui_thread([&] { ran_on = GetCurrentThreadId(); });
    done = true;
  });
  ASSERT_TRUE(pump_until([&] { return done.load(); }, 10000ms));
  worker.join();
  EXPECT_TRUE(first_result.load());
  EXPECT_EQ(ran_on.load(), ui_thread);

  dialog.EndDialog(kIdOk);
  bool ran_after = false;
  std::thread late([&] { first_result = dialog.call_on_ui_thread([&] { ran_after = true; }); });
  late.join();  // returns at once: nothing waits on a closed gate
  EXPECT_FALSE(first_result.load());
  pump_until([] { return false; }, 100ms);
  EXPECT_FALSE(ran_after);
}

}  // namespace
}  // namespace quarn::ui
