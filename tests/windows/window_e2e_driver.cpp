// quarn-window-e2e TREE QUARN_EXE: the Windows half of the end-to-end test of
// the window program (tests/windows/run-window-e2e.sh is the other half).
//
// It writes the sample tree to TREE, starts QUARN_EXE, and watches the
// program from outside as a user would see it, reading the window's fields
// and list rows through messages. The keyboard belongs to the script: when
// this program prints a line "READY", the script types the folder and
// presses Enter; on "SCANNED" it takes the screenshot and presses Enter
// again, which closes the window; on "READY-ESCAPE" it presses Escape.
// Afterwards this program checks the tree, the scan log and the program's
// exit. The last line is "PASS" or "FAIL", and so is the exit status.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "tools/sample_tree.h"

namespace fs = std::filesystem;
using quarn::sample::Outcome;
using quarn::sample::SampleTree;

namespace {

constexpr char kMainCaption[] = "Veda-Quarn Virus Killer";
constexpr char kAboutCaption[] = "About Cleaner";
constexpr char kLogPath[] = "c:\\vosko_clean.log";
constexpr char kHint[] = "                                         hit Start to begin scanning...";
constexpr auto kWindowWait = std::chrono::seconds(60);
constexpr auto kScanWait = std::chrono::seconds(180);
constexpr DWORD kExitWaitMs = 60000;

int g_failures = 0;

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void check(bool ok, const std::string& what) {
  if (ok) return;
  ++g_failures;
  say("failed: " + what);
}

void check_equal(const std::string& actual, const std::string& expected, const std::string& what) {
  check(actual == expected, what + ": got \"" + actual + "\", expected \"" + expected + "\"");
}

bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

struct WindowSearch {
  DWORD process;
  const char* caption;
  HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char text[128] = {};
  GetWindowTextA(window, text, sizeof text);
  if (owner != search->process || std::strcmp(text, search->caption) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

// A top-level window of the given process with this caption.
HWND find_window(DWORD process, const char* caption) {
  WindowSearch search{process, caption, nullptr};
  EnumWindows(&match_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A control's text in another process: WM_GETTEXT is carried across.
std::string text_of(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return "<no answer>";
  std::string text(length + 1, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &got);
  text.resize(got);
  return text;
}

std::string field(HWND dialog, int id) { return text_of(GetDlgItem(dialog, id)); }

// Memory in the program's own address space, for the list view's messages,
// whose pointers the system does not carry across processes.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, std::size_t size) : process_(process), size_(size) {
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool ok() const { return address_ != nullptr; }
  char* at(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
  bool write(std::size_t offset, const void* data, std::size_t length) const {
    return offset + length <= size_ && WriteProcessMemory(process_, at(offset), data, length, nullptr);
  }
  bool read(std::size_t offset, void* data, std::size_t length) const {
    return offset + length <= size_ && ReadProcessMemory(process_, at(offset), data, length, nullptr);
  }

 private:
  HANDLE process_;
  std::size_t size_;
  void* address_ = nullptr;
};

constexpr std::size_t kTextSpace = 1024;

struct Row {
  std::string name, status, folder;
  bool operator==(const Row&) const = default;
};

class ListReader {
 public:
  ListReader(HANDLE process, HWND list) : list_(list), buffer_(process, sizeof(LVITEMA) + kTextSpace) {}

  int rows() const { return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }
  int columns() const {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETHEADER, 0, 0));
    return header != nullptr ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  }
  int width(int column) const { return static_cast<int>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, column, 0)); }

  std::string heading(int column) const {
    LVCOLUMNA info{};
    info.mask = LVCF_TEXT;
    info.pszText = buffer_.at(sizeof(LVITEMA));
    info.cchTextMax = kTextSpace;
    return ask(LVM_GETCOLUMNA, column, &info, sizeof info);
  }
  std::string cell(int row, int column) const {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer_.at(sizeof(LVITEMA));
    item.cchTextMax = kTextSpace;
    return ask(LVM_GETITEMTEXTA, row, &item, sizeof item);
  }
  std::vector<Row> all_rows() const {
    std::vector<Row> found;
    for (int r = 0; r < rows(); ++r) found.push_back({cell(r, 0), cell(r, 1), cell(r, 2)});
    return found;
  }

 private:
  std::string ask(UINT message, int index, const void* request, std::size_t size) const {
    char text[kTextSpace] = {};
    if (!buffer_.ok() || !buffer_.write(sizeof(LVITEMA), text, 1) || !buffer_.write(0, request, size)) return "<no memory>";
    SendMessageA(list_, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer_.at(0)));
    buffer_.read(sizeof(LVITEMA), text, kTextSpace - 1);
    return text;
  }

  HWND list_;
  RemoteBuffer buffer_;
};

// Presses a key in the window that has the focus in the program's thread,
// as the dialog manager sees a key: through the message loop.
void press_key(HWND window, WPARAM key) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  HWND target = GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr ? info.hwndFocus : window;
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

struct Program {
  PROCESS_INFORMATION info{};
  HWND window = nullptr;

  bool start(const std::string& exe) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command = "\"" + exe + "\"";
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      return false;
    }
    wait_for([&] { return (window = find_window(info.dwProcessId, kMainCaption)) != nullptr; }, kWindowWait);
    return window != nullptr;
  }
  // The exit code, or nothing if the program has not ended in time.
  std::optional<DWORD> wait_exit() {
    if (WaitForSingleObject(info.hProcess, kExitWaitMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
  }
  ~Program() {
    if (info.hProcess != nullptr) {
      if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
  }
};

const int kCounterFields[] = {IDC_FILES_SCANNED,    IDC_FILES_SKIPPED,     IDC_FILES_INFECTED,
                              IDC_FILES_CLEANED,    IDC_FILES_DELETED,     IDC_SCAN_ERRORS,
                              IDC_DIRECTORIES,      IDC_FILES_PER_MINUTE,  IDC_MBYTES_PER_SECOND};

void check_first_look(const Program& program, HANDLE process) {
  HWND dialog = program.window;
  check_equal(field(dialog, IDC_START_PATH), "c:\\", "the start folder offered");
  check_equal(field(dialog, IDOK), "Start", "the button before a scan");
  for (int id : kCounterFields) check_equal(field(dialog, id), "0 ", "field " + std::to_string(id) + " before a scan");
  check_equal(field(dialog, IDC_ELAPSED_TIME), "", "elapsed time before a scan");
  check_equal(field(dialog, IDC_CURRENT_FILE), kHint, "current file before a scan");

  HWND list = GetDlgItem(dialog, IDC_RESULT_LIST);
  char class_name[64] = {};
  GetClassNameA(list, class_name, sizeof class_name);
  check_equal(class_name, WC_LISTVIEWA, "the result list's class");
  check((GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT, "the result list is in report view");
  ListReader reader(process, list);
  check(reader.columns() == 3, "three list columns");
  const char* headings[] = {"File", "Status", "Path"};
  const int widths[] = {150, 80, 240};
  for (int c = 0; c < 3; ++c) {
    check_equal(reader.heading(c), headings[c], "heading of column " + std::to_string(c));
    check(reader.width(c) == widths[c], "width of column " + std::to_string(c));
  }
  check(reader.rows() == 0, "no rows before a scan");
}

void check_about_box(const Program& program) {
  HWND dialog = program.window;
  // The platform's own bits in the low four: the entry must still be found.
  PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x7, 0);
  HWND about = nullptr;
  const bool opened = wait_for(
      [&] { return (about = find_window(program.info.dwProcessId, kAboutCaption)) != nullptr; },
      std::chrono::seconds(20));
  check(opened, "the About box opens from its system command");
  if (!opened) return;
  check(GetWindow(about, GW_OWNER) == dialog, "the About box is owned by the main window");
  check(!IsWindowEnabled(dialog), "the main window is disabled while the About box is open");
  HWND text = FindWindowExA(about, nullptr, "Static", nullptr);
  check(text != nullptr && text_of(text).find("2001") != std::string::npos, "the About text names the year");
  press_key(about, VK_ESCAPE);
  check(wait_for([&] { return !IsWindow(about); }, std::chrono::seconds(20)), "Escape closes the About box");
  check(wait_for([&] { return IsWindowEnabled(dialog) != FALSE; }, std::chrono::seconds(5)),
        "the main window is enabled again");
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The row that a log line stands for, when its status adds one.
std::optional<Row> row_of_log_line(const std::string& line) {
  const std::size_t colon = line.find(":  ");
  if (colon == std::string::npos) return std::nullopt;
  const std::string word = line.substr(0, colon);
  if (word == "skipped" || word == "scanned") return std::nullopt;
  std::string path = line.substr(colon + 3);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  const std::size_t slash = path.rfind('\\');
  return Row{path.substr(slash + 1), word, path.substr(0, slash)};
}

void check_results(const Program& program, HANDLE process, const SampleTree& tree, std::vector<Row>& rows) {
  HWND dialog = program.window;
  const auto counts = tree.expected_counts();
  const auto count = [](std::int64_t n) { return std::to_string(n) + " "; };
  check_equal(field(dialog, IDC_FILES_SCANNED), count(counts.scanned), "files scanned");
  check_equal(field(dialog, IDC_FILES_SKIPPED), count(counts.skipped), "files skipped");
  check_equal(field(dialog, IDC_FILES_INFECTED), count(counts.infected), "files infected");
  check_equal(field(dialog, IDC_FILES_CLEANED), count(counts.cleaned), "files cleaned");
  check_equal(field(dialog, IDC_FILES_DELETED), count(counts.deleted), "files deleted");
  check_equal(field(dialog, IDC_SCAN_ERRORS), count(counts.errors), "scan errors");
  check_equal(field(dialog, IDC_DIRECTORIES), count(counts.directories), "directories");
  check(std::regex_match(field(dialog, IDC_ELAPSED_TIME), std::regex("\\d\\d : \\d\\d : \\d\\d ")),
        "elapsed time reads HH : MM : SS");
  check(std::regex_match(field(dialog, IDC_FILES_PER_MINUTE), std::regex(" *\\d+\\.\\d ")),
        "files per minute in its format: \"" + field(dialog, IDC_FILES_PER_MINUTE) + "\"");
  check(std::regex_match(field(dialog, IDC_MBYTES_PER_SECOND), std::regex("0 | *\\d+\\.\\d\\d ")),
        "megabytes per second in its format: \"" + field(dialog, IDC_MBYTES_PER_SECOND) + "\"");
  const std::string current = field(dialog, IDC_CURRENT_FILE);
  const bool claimed_file = std::any_of(tree.files.begin(), tree.files.end(), [&](const auto& f) {
    return f.claimed && tree.path_of(f) == current;
  });
  check(claimed_file, "the current file is a file the scan read: \"" + current + "\"");

  rows = ListReader(process, GetDlgItem(dialog, IDC_RESULT_LIST)).all_rows();
  std::size_t with_row = 0;
  for (const auto& f : tree.files) {
    with_row += f.outcome == Outcome::cleaned || f.outcome == Outcome::deleted || f.outcome == Outcome::error;
  }
  check(rows.size() == with_row, "one row for each file remedied, deleted or failed: " + std::to_string(rows.size()) +
                                     " rows, expected " + std::to_string(with_row));
}

void check_disk(const SampleTree& tree) {
  std::size_t left = 0;
  for (const auto& f : tree.files) {
    const std::string path = tree.path_of(f);
    if (!f.expected) {
      check(!fs::exists(path), f.relative + " is gone");
      continue;
    }
    ++left;
    check(read_all(path) == *f.expected, f.relative + " holds what the manifest says (" + f.what + ")");
  }
  std::size_t found = 0;
  for (const auto& entry : fs::recursive_directory_iterator(tree.root)) found += entry.is_regular_file() ? 1 : 0;
  check(found == left, "no file is left in the tree beyond the manifest's (" + std::to_string(found) + " found, " +
                           std::to_string(left) + " expected)");
}

void check_log(const SampleTree& tree, const std::vector<Row>& rows) {
  std::vector<std::string> lines = lines_of(read_all(kLogPath));
  // Newest on top: the rows read bottom up are the log in its own order.
  std::vector<Row> expected_rows;
  for (const auto& line : lines) {
    if (auto row = row_of_log_line(line)) expected_rows.push_back(*row);
  }
  std::reverse(expected_rows.begin(), expected_rows.end());
  check(rows == expected_rows, "the list rows are the log's remedied files, newest first");
  std::sort(lines.begin(), lines.end());
  check(lines == tree.expected_log_lines(), "the scan log has exactly the expected lines");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: quarn-window-e2e TREE QUARN_EXE\n");
    return 2;
  }
  const std::string root = argv[1];
  const std::string exe = argv[2];

  std::error_code ignored;
  fs::remove_all(root, ignored);
  const SampleTree tree = quarn::sample::write_sample_tree(root);
  say("wrote the sample tree to " + root);

  std::vector<Row> rows;
  {
    Program program;
    if (!program.start(exe)) {
      say("failed: the window of " + exe + " did not appear");
      say("FAIL");
      return 1;
    }
    // The window is found while it is still being made; its first answers
    // come once its loop runs.
    check(wait_for([&] { return IsWindowVisible(program.window) && field(program.window, IDOK) == "Start"; },
                   std::chrono::duration_cast<std::chrono::milliseconds>(kWindowWait)),
          "the window shows its Start button");
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                                 FALSE, program.info.dwProcessId);
    check_first_look(program, process);
    check_about_box(program);
    // Timer ticks before the first press change nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    check_equal(field(program.window, IDC_FILES_SCANNED), "0 ", "files scanned after ticks before a press");
    check_equal(field(program.window, IDC_CURRENT_FILE), kHint, "current file after ticks before a press");

    say("READY");
    const bool started =
        wait_for([&] { return field(program.window, IDOK) != "Start"; }, std::chrono::duration_cast<std::chrono::milliseconds>(kWindowWait));
    check(started, "the keyboard started a scan");
    check_equal(field(program.window, IDC_START_PATH), root, "the typed start folder");
    const bool finished = wait_for([&] { return field(program.window, IDOK) == "Close"; },
                                   std::chrono::duration_cast<std::chrono::milliseconds>(kScanWait));
    check(finished, "the button reads Close once the scan has ended");
    // The tick that sets Close may have read a counter just before the
    // worker's last move (the start folder counts last); the next tick,
    // 200 ms on, shows the final figures.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    if (started && finished) check_results(program, process, tree, rows);
    CloseHandle(process);

    say("SCANNED");
    const auto code = program.wait_exit();
    check(code.has_value(), "Enter on Close ends the program");
    check(code.value_or(1) == 0, "the program's exit code is 0");
  }
  check_disk(tree);
  check_log(tree, rows);

  {
    // A second start empties the log, and Escape ends the window at once.
    Program program;
    check(program.start(exe), "the program starts a second time");
    // A key typed before the new window is the active one goes nowhere.
    wait_for([&] { return GetForegroundWindow() == program.window && IsWindowVisible(program.window); },
             std::chrono::seconds(20));
    say("READY-ESCAPE");
    const auto code = program.wait_exit();
    check(code.has_value(), "Escape ends the program");
    check(read_all(kLogPath).empty(), "each start empties the scan log");
  }

  say(g_failures == 0 ? "PASS" : "FAIL");
  return g_failures == 0 ? 0 : 1;
}
