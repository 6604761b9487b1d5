#include "platform/log_file.h"

#include <windows.h>

#include <string>
#include <utility>

#include "platform/system_error.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"

namespace quarn::platform {

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
  if (!handle.valid()) {
    record_system_error();
    return std::nullopt;
  }
  if (!win32::is_regular_disk_file(handle.get())) {
    record_error("not-regular", "not a regular file");
    return std::nullopt;
  }
  FILE_END_OF_FILE_INFO empty{};
  if (!SetFileInformationByHandle(handle.get(), FileEndOfFileInfo, &empty, sizeof empty)) {
    record_system_error();
    return std::nullopt;
  }
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
    record_system_error();
    last_error_ = platform::last_error().reason;
    return false;
  }
  if (written == line.size()) return true;
  record_system_error(ERROR_DISK_FULL);
  last_error_ = platform::last_error().reason;
  return false;
}

}  // namespace quarn::platform
