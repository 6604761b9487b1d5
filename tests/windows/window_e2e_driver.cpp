// quarn-window-e2e TREE QUARN_EXE: the Windows half of the end-to-end test of
// the window program (tests/windows/run-window-e2e.sh is the other half).
//
// It writes the sample tree to TREE, with an infected program, page and mail
// file below a Japanese name, an emoji name, an accented name and a path of
// over 600 characters, starts QUARN_EXE, and watches the
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
using quarn::sample::SampleFile;
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

// Text between UTF-8, which the checks compare, and UTF-16, which the
// system and the window speak.
std::wstring wide_of(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string utf8_of(std::wstring_view wide) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr, nullptr);
  return text;
}

// Paths past MAX_PATH reach the system only in their long form.
std::wstring long_path(const std::string& path) { return L"\\\\?\\" + wide_of(path); }

// A control's text in another process: WM_GETTEXT is carried across.
std::string text_of(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return "<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &got);
  text.resize(got);
  return utf8_of(text);
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
  ListReader(HANDLE process, HWND list)
      : list_(list), buffer_(process, sizeof(LVITEMW) + kTextSpace * sizeof(wchar_t)) {}

  int rows() const { return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }
  int columns() const {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETHEADER, 0, 0));
    return header != nullptr ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  }
  int width(int column) const { return static_cast<int>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, column, 0)); }

  std::string heading(int column) const {
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = reinterpret_cast<wchar_t*>(buffer_.at(sizeof(LVITEMW)));
    info.cchTextMax = kTextSpace;
    return ask(LVM_GETCOLUMNW, column, &info, sizeof info);
  }
  std::string cell(int row, int column) const {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(buffer_.at(sizeof(LVITEMW)));
    item.cchTextMax = kTextSpace;
    return ask(LVM_GETITEMTEXTW, row, &item, sizeof item);
  }
  std::vector<Row> all_rows() const {
    std::vector<Row> found;
    for (int r = 0; r < rows(); ++r) found.push_back({cell(r, 0), cell(r, 1), cell(r, 2)});
    return found;
  }

 private:
  std::string ask(UINT message, int index, const void* request, std::size_t size) const {
    wchar_t text[kTextSpace] = {};
    if (!buffer_.ok() || !buffer_.write(sizeof(LVITEMW), text, sizeof(wchar_t)) || !buffer_.write(0, request, size)) {
      return "<no memory>";
    }
    SendMessageW(list_, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer_.at(0)));
    buffer_.read(sizeof(LVITEMW), text, (kTextSpace - 1) * sizeof(wchar_t));
    return utf8_of(text);
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
  HANDLE file = CreateFileW(long_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

bool exists(const std::string& path) { return GetFileAttributesW(long_path(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool write_all(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(long_path(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
  CloseHandle(file);
  return ok;
}

// The regular files below folder, at any depth and length.
std::size_t count_files(const std::string& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((long_path(folder) + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  std::size_t count = 0;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      count += count_files(folder + "\\" + utf8_of(name));
    } else {
      ++count;
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

// Removes a tree of any depth and length, left by an earlier run.
void remove_tree(const std::string& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((long_path(folder) + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::string path = folder + "\\" + utf8_of(name);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(path);
      } else {
        DeleteFileW(long_path(path).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(long_path(folder).c_str());
}

// Japanese, an emoji, an accented Western name (UTF-8), and the root of a
// chain of six folders of a hundred characters each.
const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
const std::string kEmoji = "smile \xF0\x9F\x98\x80";
const std::string kAccented = "Caf\xC3\xA9";

// Adds to the tree, in each of the four places, a copy of an infected
// program, an infected page and a mail file of the sample, named after the
// place, and writes them.
bool add_international_names(SampleTree& tree) {
  std::string deep = "long";
  for (int level = 0; level < 6; ++level) deep += "/" + std::string(100, static_cast<char>('a' + level));
  // Copies, since the tree's list grows below.
  std::vector<SampleFile> sources;
  for (const char* relative : {"Program Files/Calc/calc.exe", "site/index.htm", "Mail/Inbox/message.eml"}) {
    const SampleFile* source = tree.find(relative);
    if (source == nullptr) return false;
    sources.push_back(*source);
  }
  for (const std::string& place : {kJapanese, kEmoji, kAccented, deep}) {
    const std::string name = place == deep ? std::string("deep") : place;
    // Every folder on the way counts once.
    std::string folder;
    for (std::size_t at = 0; at != std::string::npos;) {
      const std::size_t slash = place.find('/', at);
      folder = place.substr(0, slash);
      tree.folders.push_back(folder);
      if (!CreateDirectoryW(long_path(tree.path_of(folder)).c_str(), nullptr)) return false;
      at = slash == std::string::npos ? slash : slash + 1;
    }
    for (const SampleFile& source : sources) {
      SampleFile copy = source;
      copy.relative = place + "/" + name + source.relative.substr(source.relative.rfind('.'));
      copy.what += " below " + name;
      if (!write_all(tree.path_of(copy), copy.original)) return false;
      tree.files.push_back(copy);
    }
  }
  return true;
}

// A log line's path as the program saw it: the ANSI code page's bytes, and
// <U+XXXX> for each character that the code page cannot hold.
std::string path_of_log_text(const std::string& text) {
  std::wstring wide;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t mark = text.find("<U+", at);
    const std::size_t end = mark == std::string::npos ? mark : text.find('>', mark);
    const std::string plain = text.substr(at, (end == std::string::npos ? text.size() : mark) - at);
    const int length = MultiByteToWideChar(CP_ACP, 0, plain.data(), static_cast<int>(plain.size()), nullptr, 0);
    std::wstring part(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, plain.data(), static_cast<int>(plain.size()), part.data(), length);
    wide += part;
    if (end == std::string::npos) break;
    unsigned long code = std::stoul(text.substr(mark + 3, end - mark - 3), nullptr, 16);
    if (code >= 0x10000) {
      code -= 0x10000;
      wide += static_cast<wchar_t>(0xD800 + (code >> 10));
      wide += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
      wide += static_cast<wchar_t>(code);
    }
    at = end + 1;
  }
  return utf8_of(wide);
}

// The row that a log line stands for, when its status adds one.
std::optional<Row> row_of_log_line(const std::string& line) {
  const std::size_t colon = line.find(":  ");
  if (colon == std::string::npos) return std::nullopt;
  const std::string word = line.substr(0, colon);
  if (word == "skipped" || word == "scanned") return std::nullopt;
  std::string text = line.substr(colon + 3);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::string path = path_of_log_text(text);
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
      check(!exists(path), f.relative + " is gone");
      continue;
    }
    ++left;
    check(read_all(path) == *f.expected, f.relative + " holds what the manifest says (" + f.what + ")");
  }
  const std::size_t found = count_files(tree.root);
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
  // The log's form of the names, written out: the code page's own bytes
  // where it holds a character, its code point where not.
  const std::string log = read_all(kLogPath);
  check(log.find("deleted:  " + tree.root + "\\<U+65E5><U+672C><U+8A9E>\\<U+65E5><U+672C><U+8A9E>.eml\r\n") !=
            std::string::npos,
        "the Japanese name's log line");
  check(log.find("\\smile <U+1F600>\\smile <U+1F600>.htm\r\n") != std::string::npos, "the emoji name's log line");
  if (GetACP() == 1252) check(log.find("\\Caf\xE9\\Caf\xE9.exe\r\n") != std::string::npos, "the accented name's log line");
  // The list shows the real names.
  const auto shown = [&](const std::string& name) {
    return std::any_of(rows.begin(), rows.end(),
                       [&](const Row& row) { return row.name == name && row.folder == tree.path_of(kJapanese); });
  };
  check(shown(kJapanese + ".exe") && shown(kJapanese + ".htm") && shown(kJapanese + ".eml"),
        "the list shows the Japanese names as they are");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: quarn-window-e2e TREE QUARN_EXE\n");
    return 2;
  }
  const std::string root = argv[1];
  const std::string exe = argv[2];

  remove_tree(root);
  SampleTree tree = quarn::sample::write_sample_tree(root);
  if (!add_international_names(tree)) {
    say("failed: could not write the names of other scripts and the long path below " + root);
    say("FAIL");
    return 1;
  }
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
