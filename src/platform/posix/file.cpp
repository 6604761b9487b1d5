#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <cstdlib>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>

#include "platform/posix/folder_impl.h"
#include "platform/system_error.h"

namespace quarn::platform {
namespace {

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

// Opens (relative to dirfd) without following a link at the last component
// and without blocking on a FIFO, then insists on a regular file. size
// receives its length.
std::optional<int> open_regular(int dirfd, const char* path, int flags, std::uint64_t& size) {
  int fd;
  do {
    // A file that O_CREAT makes is for this user alone.
    fd = ::openat(dirfd, path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    record_system_error();
    return std::nullopt;
  }
  struct stat st;
  const bool stated = ::fstat(fd, &st) == 0;
  if (!stated || !S_ISREG(st.st_mode)) {
    if (stated) record_error("not-regular", "not a regular file");
    if (!stated) record_system_error();
    ::close(fd);
    return std::nullopt;
  }
  size = static_cast<std::uint64_t>(st.st_size);
  // O_NONBLOCK was only there for the open; F_SETFL clears it and keeps
  // O_APPEND, the only other status flag that an open here sets.
  ::fcntl(fd, F_SETFL, flags & O_APPEND);
  return fd;
}

// Files longer than the ring are read in many refills; ask for a wider
// read-ahead so the disk works while the search runs.
constexpr std::uint64_t kSequentialHint = 256 * 1024;

// A name of one entry of a folder, so that an *at() call stays inside it.
bool is_plain_name(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

std::optional<File> File::opened(std::intptr_t handle, std::uint64_t size) {
  File file(handle);
  file.size_at_open_ = size;
  return file;
}

namespace {

std::optional<File> open_for_reading(int dirfd, const char* path) {
  std::uint64_t size = 0;
  auto fd = open_regular(dirfd, path, O_RDONLY, size);
  if (!fd) return std::nullopt;
  if (size >= kSequentialHint) ::posix_fadvise(*fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return File::opened(*fd, size);
}

std::optional<File> open_for_writing(int dirfd, const char* path) {
  std::uint64_t size = 0;
  auto fd = open_regular(dirfd, path, O_RDWR, size);
  if (!fd) return std::nullopt;
  return File::opened(*fd, size);
}

}  // namespace

std::optional<File> File::open_read(const std::string& path) { return open_for_reading(AT_FDCWD, path.c_str()); }

std::optional<File> File::open_read_write(const std::string& path) {
  return open_for_writing(AT_FDCWD, path.c_str());
}

std::optional<File> File::open_read(const Folder& folder, std::string_view name) {
  if (!is_plain_name(name)) return std::nullopt;
  return open_for_reading(folder.impl().fd, std::string(name).c_str());
}

std::optional<File> File::open_read_write(const Folder& folder, std::string_view name) {
  if (!is_plain_name(name)) return std::nullopt;
  return open_for_writing(folder.impl().fd, std::string(name).c_str());
}

std::optional<File> File::create_new(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    record_system_error();
    return std::nullopt;
  }
  return File(fd);
}

std::optional<File> File::create_new(const Folder& folder, std::string_view name) {
  if (!is_plain_name(name)) return std::nullopt;
  const std::string text(name);
  int fd;
  do {
    fd = ::openat(folder.impl().fd, text.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    record_system_error();
    return std::nullopt;
  }
  return File(fd);
}

std::optional<File> File::open_append(const Folder& folder, std::string_view name) {
  if (!is_plain_name(name)) return std::nullopt;
  std::uint64_t size = 0;
  auto fd = open_regular(folder.impl().fd, std::string(name).c_str(), O_WRONLY | O_APPEND | O_CREAT, size);
  if (!fd) return std::nullopt;
  return File::opened(*fd, size);
}

namespace {

std::string random_name(const std::string& stem) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static thread_local std::random_device random;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  std::string name = stem;
  for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
  return name;
}

bool mark_with(int fd, const std::string& name) {
  return ::fsetxattr(fd, kMarkerAttribute, name.data(), name.size(), 0) == 0;
}

// Gives the unnamed file fd the name in dirfd. Without CAP_DAC_READ_SEARCH
// AT_EMPTY_PATH is refused, and the file's /proc link serves instead.
int link_unnamed(int fd, int dirfd, const std::string& name) {
  if (::linkat(fd, "", dirfd, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  if (errno == EEXIST) return -1;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), dirfd, name.c_str(), AT_SYMLINK_FOLLOW);
}

constexpr int kNameAttempts = 100;

}  // namespace

File File::locked_file(std::intptr_t handle) {
  const int fd = fd_of(handle);
  File file(handle);
  // Were dup to fail, the lock would still last as long as the file is
  // open, and only the moment between its close and its rename would be
  // unguarded against other processes.
  file.lock_handle_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  return file;
}

void File::release_lock() {
  if (lock_handle_ != kInvalid) ::close(fd_of(std::exchange(lock_handle_, kInvalid)));
}

std::optional<File> File::create_unique(const Folder& folder, const std::string& stem, std::string& name) {
  const int dirfd = folder.impl().fd;
  // Made unnamed first, locked, marked, and only then named: the file never
  // exists under its name without the marker, so a process killed at any
  // moment leaves no leftover that a later scan could not tell for its own;
  // and it is never marked without the lock, so no scan takes a file that
  // is still being written for a leftover (Folder::remove_if_abandoned).
  int fd = ::openat(dirfd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0 && !try_lock_exclusive(fd)) {
    ::close(fd);
    fd = -1;
  }
  if (fd >= 0) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      std::string candidate = random_name(stem);
      if (!mark_with(fd, candidate)) break;  // no extended attributes here
      if (link_unnamed(fd, dirfd, candidate) == 0) {
        name = std::move(candidate);
        return locked_file(fd);
      }
      if (errno != EEXIST) break;
    }
    ::close(fd);
  }
  // A file system without unnamed files (or without markers or locks):
  // created exclusively under its name, and locked and marked right after
  // where it can be.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string candidate = random_name(stem);
    do {
      fd = ::openat(dirfd, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      if (!try_lock_exclusive(fd)) {
        name = std::move(candidate);
        return File(fd);
      }
      mark_with(fd, candidate);
      name = std::move(candidate);
      return locked_file(fd);
    }
    if (errno != EEXIST) {
      record_system_error();
      return std::nullopt;
    }
  }
  record_system_error(EEXIST);
  return std::nullopt;
}

std::size_t File::read(void* buffer, std::size_t len) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::read(fd_of(handle_), out + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      read_failed_ = true;
      record_system_error();
    }
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
    position_ += static_cast<std::uint64_t>(n);
    // A short read that reaches the length seen at open is the end: no
    // second call just to be told so.
    if (done < len && size_at_open_ != 0 && position_ >= size_at_open_) break;
  }
  return done;
}

std::optional<std::size_t> File::read_at(std::uint64_t offset, void* buffer, std::size_t len) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::pread(fd_of(handle_), out + done, len - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      record_system_error();
      return std::nullopt;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool File::write_all(const void* data, std::size_t len) {
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::write(fd_of(handle_), in + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    // A write that takes nothing of a non-empty buffer makes no progress,
    // which only a full device does.
    if (n <= 0) return record_system_error(n < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::uint64_t> File::size() const {
  struct stat st;
  if (::fstat(fd_of(handle_), &st) != 0) {
    record_system_error();
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(st.st_size);
}

std::optional<FileIdentity> File::identity() const {
  struct stat st;
  if (::fstat(fd_of(handle_), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<std::uint64_t> File::link_count() const {
  struct stat st;
  if (::fstat(fd_of(handle_), &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_nlink);
}

bool File::set_length(std::uint64_t length) {
  int rc;
  do {
    rc = ::ftruncate(fd_of(handle_), static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 || record_system_error();
}

bool File::flush_to_disk() { return ::fsync(fd_of(handle_)) == 0 || record_system_error(); }

namespace {

// True when a failed fchmod or fchown said that the file system has no such
// attribute at all (FAT through fusefat answers ENOSYS; others EOPNOTSUPP),
// rather than that this process may not set it. There is nothing to copy to
// a file system that keeps no modes or owners, and every file on it shows
// the same ones, so the restored file looks as the infected one did.
bool file_system_cannot_hold(int error) { return error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP; }

}  // namespace

bool File::copy_permissions_from(const File& other) {
  struct stat st;
  if (::fstat(fd_of(other.handle_), &st) != 0) return record_system_error();
  if (::fchmod(fd_of(handle_), st.st_mode & 07777) == 0) return true;
  // EPERM stays a failure: the file was made by this process, so a refusal
  // is the system's (a security module, or a mode that kernel vfat cannot
  // store, which its own files never carry), and the restored program would
  // lose its bits.
  return file_system_cannot_hold(errno) || record_system_error();
}

bool File::copy_owner_from(const File& other) {
  struct stat mine, theirs;
  if (::fstat(fd_of(other.handle_), &theirs) != 0 || ::fstat(fd_of(handle_), &mine) != 0) {
    return record_system_error();
  }
  if (mine.st_uid == theirs.st_uid && mine.st_gid == theirs.st_gid) return true;
  if (::fchown(fd_of(handle_), theirs.st_uid, theirs.st_gid) == 0) return true;
  // EPERM stays a failure. A file system that keeps no owners shows the same
  // owner for every file, so the new file already matched and fchown was
  // never called; owners that differ prove that the file system keeps them,
  // and EPERM then means this process may not give the file away (a user
  // who is not root, or root squashed on NFS): the restored program would
  // change hands.
  return file_system_cannot_hold(errno) || record_system_error();
}

namespace {

// Reads a list of extended attribute names or one value, whose size another
// process may change between asking for it and reading it: a read that no
// longer fits (ERANGE) asks again. read(nullptr, 0) tells the size.
template <typename Read>
std::optional<std::string> read_sized(Read read) {
  for (;;) {
    const ssize_t size = read(nullptr, 0);
    if (size <= 0) return size == 0 ? std::optional<std::string>(std::string()) : std::nullopt;
    std::string buffer(static_cast<std::size_t>(size), '\0');
    const ssize_t got = read(buffer.data(), buffer.size());
    if (got >= 0) {
      buffer.resize(static_cast<std::size_t>(got));
      return buffer;
    }
    if (errno != ERANGE) return std::nullopt;
  }
}

// The marker says that a file is this program's own leftover; on a user's
// file it would let a later scan remove that file.
bool is_marker(const char* name) { return std::strcmp(name, kMarkerAttribute) == 0; }

// Fills extended with the file's extended attributes, but the marker. A file
// system without them has none, and an attribute removed between the list
// and its read (ENODATA) is gone.
bool read_extended(int fd, std::vector<std::pair<std::string, std::string>>& extended) {
  auto names = read_sized([fd](char* buffer, std::size_t size) { return ::flistxattr(fd, buffer, size); });
  if (!names) return file_system_cannot_hold(errno) || record_system_error();
  for (const char* name = names->c_str(); name < names->c_str() + names->size(); name += std::strlen(name) + 1) {
    if (is_marker(name)) continue;
    auto value =
        read_sized([fd, name](char* buffer, std::size_t size) { return ::fgetxattr(fd, name, buffer, size); });
    if (value) extended.emplace_back(name, std::move(*value));
    if (!value && errno != ENODATA) return record_system_error();
  }
  std::sort(extended.begin(), extended.end());
  return true;
}

// Whole seconds and the nanoseconds within them, rounded down, so that a
// time before 1970 still has a nanosecond part between 0 and 999999999.
timespec timespec_of(std::int64_t ns) {
  constexpr std::int64_t kPerSecond = 1000000000;
  std::int64_t seconds = ns / kPerSecond;
  std::int64_t rest = ns % kPerSecond;
  if (rest < 0) {
    seconds -= 1;
    rest += kPerSecond;
  }
  timespec time{};
  time.tv_sec = static_cast<time_t>(seconds);
  time.tv_nsec = static_cast<long>(rest);
  return time;
}

}  // namespace

std::optional<FileAttributes> File::attributes() const {
  struct stat st;
  if (::fstat(fd_of(handle_), &st) != 0) {
    record_system_error();
    return std::nullopt;
  }
  FileAttributes attributes;
  attributes.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
  attributes.owner = static_cast<std::uint32_t>(st.st_uid);
  attributes.group = static_cast<std::uint32_t>(st.st_gid);
  attributes.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  if (!read_extended(fd_of(handle_), attributes.extended)) return std::nullopt;
  return attributes;
}

bool File::set_attributes(const FileAttributes& attributes) {
  const int fd = fd_of(handle_);
  if (attributes.owner || attributes.group) {
    // -1 leaves that half as it is.
    const auto owner = attributes.owner ? static_cast<uid_t>(*attributes.owner) : static_cast<uid_t>(-1);
    const auto group = attributes.group ? static_cast<gid_t>(*attributes.group) : static_cast<gid_t>(-1);
    if (::fchown(fd, owner, group) != 0 && errno != EPERM && !file_system_cannot_hold(errno)) {
      return record_system_error();
    }
  }
  for (const auto& [name, value] : attributes.extended) {
    if (is_marker(name.c_str())) continue;
    if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0 && !file_system_cannot_hold(errno)) {
      return record_system_error();
    }
  }
  // As in copy_permissions_from, EPERM stays a failure: the file is this
  // process's own, and a program that lost its bits would not run.
  if (::fchmod(fd, attributes.mode & 07777) != 0 && !file_system_cannot_hold(errno)) return record_system_error();
  const timespec times[2] = {{0, UTIME_OMIT}, timespec_of(attributes.modified_ns)};
  return ::futimens(fd, times) == 0 || record_system_error();
}

bool File::close() {
  if (handle_ == kInvalid) return true;
  int fd = fd_of(std::exchange(handle_, kInvalid));
  // POSIX leaves the descriptor's state unspecified after EINTR; on Linux it
  // is closed, so close is never retried.
  return ::close(fd) == 0 || record_system_error();
}

}  // namespace quarn::platform
