#include "platform/log_file.h"

#include <windows.h>

#include <string>
#include <utility>

#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"

namespace quarn::platform {

namespace {

// The system's own words for an error, in the ANSI code page as the log's
// paths are, without the line end and the full stop that end them.
std::string system_words(DWORD error) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words = length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == ' ' || words.back() == '.')) {
    words.pop_back();
  }
  return words;
}

}  // namespace

LogFile::LogFile(LogFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), last_error_(std::move(other.last_error_)) {}

LogFile& LogFile::operator=(LogFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != -1) CloseHandle(win32::to_handle(handle_));
    handle_ = std::exchange(other.handle_, -1);
    last_error_ = std::move(other.last_error_);
  }
  return *this;
}

LogFile::~LogFile() {
  if (handle_ != -1) CloseHandle(win32::to_handle(handle_));
}

std::optional<LogFile> LogFile::open_exclusive(const std::string& path) {
  // Share mode 0: while this program runs, no other opener, a second copy of
  // it included, can read, write or empty the log. The share check comes
  // before anything is changed, and the file is emptied only once it is
  // ours. A reparse point at the path is opened as itself and refused, so
  // the log never writes through a link into another file.
  win32::UniqueHandle handle(CreateFileW(win32::system_path(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid() || !win32::is_regular_disk_file(handle.get())) return std::nullopt;
  FILE_END_OF_FILE_INFO empty{};
  if (!SetFileInformationByHandle(handle.get(), FileEndOfFileInfo, &empty, sizeof empty)) return std::nullopt;
  return LogFile(win32::from_handle(handle.release()));
}

LogFile::Place LogFile::place_of(const std::string& path) {
  const std::wstring system = win32::system_path(path);
  if (win32::node_kind_at(system) == NodeKind::directory) return Place::folder;
  // Devices (NUL, CON) and pipes have no attributes to look at; their
  // handle's type tells them, and an open with no access reads nothing.
  win32::UniqueHandle handle(CreateFileW(system.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid()) return Place::file;
  switch (GetFileType(handle.get())) {
    case FILE_TYPE_CHAR: return Place::device;
    case FILE_TYPE_PIPE: return Place::fifo;
    default: return Place::file;
  }
}

std::optional<LogFile> LogFile::open_device(const std::string& path) {
  win32::UniqueHandle handle(CreateFileW(win32::system_path(path).c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid() || GetFileType(handle.get()) != FILE_TYPE_CHAR) return std::nullopt;
  return LogFile(win32::from_handle(handle.release()));
}

bool LogFile::write(std::string_view line) {
  if (handle_ == -1) return false;
  DWORD written = 0;
  if (!WriteFile(win32::to_handle(handle_), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
    last_error_ = system_words(GetLastError());
    return false;
  }
  if (written == line.size()) return true;
  last_error_ = system_words(ERROR_DISK_FULL);
  return false;
}

}  // namespace quarn::platform
