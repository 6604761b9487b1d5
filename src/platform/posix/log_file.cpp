#include "platform/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/system_error.h"

namespace quarn::platform {

LogFile::LogFile(LogFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), last_error_(std::move(other.last_error_)) {}

LogFile& LogFile::operator=(LogFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = std::exchange(other.handle_, -1);
    last_error_ = std::move(other.last_error_);
  }
  return *this;
}

LogFile::~LogFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::optional<LogFile> LogFile::open_exclusive(const std::string& path) {
  // O_TRUNC would empty a log that another running copy holds; the lock comes
  // first and the truncation only once it is ours.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) {
    record_system_error();
    return std::nullopt;
  }
  LogFile log(fd);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    record_system_error();
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    record_error("not-regular", "not a regular file");
    return std::nullopt;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    record_error("in-use", "another program holds it");
    return std::nullopt;
  }
  if (::ftruncate(fd, 0) != 0) {
    record_system_error();
    return std::nullopt;
  }
  return log;
}

LogFile::Place LogFile::place_of(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return Place::file;
  if (S_ISCHR(st.st_mode)) return Place::device;
  if (S_ISFIFO(st.st_mode)) return Place::fifo;
  if (S_ISDIR(st.st_mode)) return Place::folder;
  return Place::file;
}

std::optional<LogFile> LogFile::open_device(const std::string& path) {
  // O_NONBLOCK, so that a FIFO put in the device's place between the look
  // and the open is refused below instead of waiting for a reader; the
  // device itself is then written to blocking, as a file is.
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  LogFile log(fd);
  struct stat st;
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return std::nullopt;
  }
  return log;
}

bool LogFile::write(std::string_view line) {
  if (handle_ < 0) return false;
  ssize_t n;
  do {
    n = ::write(static_cast<int>(handle_), line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(line.size())) return true;
  // A short write leaves errno alone; the next write would give the cause,
  // which is nearly always a full disk.
  record_system_error(n < 0 ? errno : ENOSPC);
  last_error_ = platform::last_error().reason;
  return false;
}

}  // namespace quarn::platform
