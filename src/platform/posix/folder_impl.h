// The POSIX handles behind a Folder and a DirectoryListing, shared by the
// files that implement them.
#pragma once

#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>

#include "platform/directory.h"
#include "platform/folder.h"

namespace quarn::platform {

// The extended attribute that carries File::create_unique's marker.
inline constexpr char kMarkerAttribute[] = "user.quarn.marker";

// One descriptor, closed when it goes away.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { reset(); }
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// Takes, without waiting, an exclusive lock on the open file description behind fd (flock, so a
// descriptor opened for reading can take it too). It conflicts with a lock
// through any other open of the same file, in this process or another, and
// ends when the last descriptor of that open is closed.
inline bool try_lock_exclusive(int fd) {
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

struct Folder::Impl {
  // The folder's descriptor, shared with its first listing and closed when
  // the last of the two goes away.
  std::shared_ptr<const Descriptor> descriptor;
  int fd = -1;  // descriptor's own, for the *at() calls
  // Taken when the folder is opened: the file behind a descriptor never
  // changes, and a walk asks for it several times per folder.
  std::optional<FileIdentity> identity;
  // The first listing reads through fd itself, whose read position nothing
  // else moves; every later listing opens the folder again, so that no two
  // listings ever share a position.
  std::atomic<bool> position_taken{false};
};

struct DirectoryListing::Impl {
  std::shared_ptr<const Descriptor> fd;
  // What the last getdents64 call returned, and how far next() has read it.
  std::unique_ptr<unsigned char[]> buffer;
  std::size_t filled = 0;
  std::size_t at = 0;
  static constexpr std::size_t kBufferBytes = 32 * 1024;
};

}  // namespace quarn::platform
