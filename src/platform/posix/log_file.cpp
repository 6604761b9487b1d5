#include "platform/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quarn::platform {

LogFile::LogFile(LogFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

LogFile& LogFile::operator=(LogFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = std::exchange(other.handle_, -1);
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
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
      ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return LogFile(fd);
}

bool LogFile::write(std::string_view line) {
  if (handle_ < 0) return false;
  ssize_t n;
  do {
    n = ::write(static_cast<int>(handle_), line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(line.size());
}

}  // namespace quarn::platform
