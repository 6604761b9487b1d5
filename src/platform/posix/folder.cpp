#include "platform/folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/folder_impl.h"
#include "platform/posix/mount_info.h"
#include "platform/system_error.h"

namespace quarn::platform {
namespace {

constexpr std::uint64_t kTmpfsType = 0x01021994;

int open_folder_at(int dirfd, const char* name, LinkAtEnd link) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (link == LinkAtEnd::refuse ? O_NOFOLLOW : 0);
  int fd;
  do {
    fd = ::openat(dirfd, name, flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) record_system_error();
  return fd;
}

// A name of one entry: not empty, no separator, not "." or "..", so that an
// *at() call on it can never leave the folder.
bool is_plain_name(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// devtmpfs says it is tmpfs; its mount entry tells the truth.
bool is_devtmpfs(dev_t device) {
  const auto entry = mount_entry_of(device);
  return entry && entry->type == "devtmpfs";
}

// What a Folder of the open descriptor fd holds; it owns fd.
std::unique_ptr<Folder::Impl> folder_of(int fd) {
  Descriptor owned(fd);
  auto impl = std::make_unique<Folder::Impl>();
  impl->descriptor = std::make_shared<const Descriptor>(std::move(owned));
  impl->fd = fd;
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    impl->identity = FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }
  return impl;
}

}  // namespace

Folder::Folder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;
Folder::~Folder() = default;

FolderOpening Folder::open(const std::string& path, LinkAtEnd link) {
  FolderOpening opening;
  const int fd = open_folder_at(AT_FDCWD, path.empty() ? "/" : path.c_str(), link);
  if (fd < 0) {
    opening.missing = errno == ENOENT;
    return opening;
  }
  opening.folder = Folder(folder_of(fd));
  return opening;
}

std::optional<Folder> Folder::open_parent_of(const std::string& path, std::string& name) {
  const std::size_t slash = path.rfind('/');
  std::string folder;
  if (slash == std::string::npos) {
    folder = ".";
    name = path;
  } else {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
  if (!is_plain_name(name)) return std::nullopt;
  return open(folder, LinkAtEnd::follow).folder;
}

std::optional<Folder> Folder::open_child(std::string_view name) const {
  if (!is_plain_name(name)) return std::nullopt;
  const int fd = open_folder_at(impl_->fd, std::string(name).c_str(), LinkAtEnd::refuse);
  if (fd < 0) return std::nullopt;
  return Folder(folder_of(fd));
}

std::optional<Folder> Folder::create_child_folder(std::string_view name) const {
  if (!is_plain_name(name)) return std::nullopt;
  // An existing entry is left as it is; open_child then takes it only if it
  // is a folder itself, not a link to one.
  if (::mkdirat(impl_->fd, std::string(name).c_str(), 0777) != 0 && errno != EEXIST) {
    record_system_error();
    return std::nullopt;
  }
  return open_child(name);
}

std::optional<DirectoryListing> Folder::list() const {
  // The first listing reads through the folder's own descriptor, which
  // costs no call at all; a later one, which might run beside it, gets a
  // read position of its own.
  auto impl = std::make_unique<DirectoryListing::Impl>();
  if (!impl_->position_taken.exchange(true)) {
    impl->fd = impl_->descriptor;
  } else {
    const int fd = open_folder_at(impl_->fd, ".", LinkAtEnd::refuse);
    if (fd < 0) return std::nullopt;
    Descriptor owned(fd);
    impl->fd = std::make_shared<const Descriptor>(std::move(owned));
  }
  impl->buffer = std::make_unique<unsigned char[]>(DirectoryListing::Impl::kBufferBytes);
  return DirectoryListing(std::move(impl));
}

NodeKind Folder::kind_of(std::string_view name) const {
  struct stat st;
  if (!is_plain_name(name) || ::fstatat(impl_->fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return NodeKind::missing;
  }
  if (S_ISDIR(st.st_mode)) return NodeKind::directory;
  if (S_ISREG(st.st_mode)) return NodeKind::regular;
  if (S_ISLNK(st.st_mode)) return NodeKind::link;
  return NodeKind::other;
}

bool Folder::delete_file(std::string_view name) const {
  // unlinkat without AT_REMOVEDIR refuses a folder, as DeleteFileA does.
  return is_plain_name(name) && (::unlinkat(impl_->fd, std::string(name).c_str(), 0) == 0 || record_system_error());
}

bool Folder::replace_file(std::string_view from, std::string_view to) const {
  if (!is_plain_name(from) || !is_plain_name(to)) return false;
  return ::renameat(impl_->fd, std::string(from).c_str(), impl_->fd, std::string(to).c_str()) == 0 ||
         record_system_error();
}

bool Folder::rename_to_new_name(std::string_view from, std::string_view to) const {
  if (!is_plain_name(from) || !is_plain_name(to)) return false;
  const std::string source(from), target(to);
  if (::renameat2(impl_->fd, source.c_str(), impl_->fd, target.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return record_system_error();
  // A file system that cannot rename without replacing: a hard link never
  // replaces either, and the old name then goes.
  if (::linkat(impl_->fd, source.c_str(), impl_->fd, target.c_str(), 0) == 0) {
    ::unlinkat(impl_->fd, source.c_str(), 0);
    return true;
  }
  if (errno == EEXIST) return record_system_error();
  // One without hard links too (FAT): the name is looked at just before the
  // rename. Only another process writing the same name in the same moment
  // could slip in between.
  struct stat st;
  if (::fstatat(impl_->fd, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return record_system_error(EEXIST);
  if (errno != ENOENT) return record_system_error();
  return ::renameat(impl_->fd, source.c_str(), impl_->fd, target.c_str()) == 0 || record_system_error();
}

bool Folder::flush_to_disk() const { return ::fsync(impl_->fd) == 0 || record_system_error(); }

Abandoned Folder::remove_if_abandoned(std::string_view name) const {
  if (!is_plain_name(name)) return Abandoned::not_ours;
  const std::string text(name);
  int fd;
  do {
    fd = ::openat(impl_->fd, text.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT ? Abandoned::gone : Abandoned::not_ours;
  const Descriptor held(fd);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return Abandoned::not_ours;
  // create_unique locks its file before it marks it, and the lock lasts as
  // long as the file is in its maker's hands. A lock refused for any reason
  // (held, or a file system without locks) leaves the file alone.
  if (!try_lock_exclusive(fd)) return Abandoned::in_use;
  char value[256];
  const ssize_t n = ::fgetxattr(fd, kMarkerAttribute, value, sizeof value);
  if (n < 0 || std::string_view(value, static_cast<std::size_t>(n)) != name) return Abandoned::not_ours;
  // The name must still lead to the file that was locked: one that a
  // finished restore renamed away is some other process's business now.
  struct stat now;
  if (::fstatat(impl_->fd, text.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != st.st_dev ||
      now.st_ino != st.st_ino) {
    return Abandoned::gone;
  }
  if (::unlinkat(impl_->fd, text.c_str(), 0) != 0) {
    if (errno == ENOENT) return Abandoned::gone;
    record_system_error();
    return Abandoned::failed;
  }
  return Abandoned::removed;
}

std::optional<FileIdentity> Folder::identity() const { return impl_->identity; }

std::optional<FileIdentity> Folder::identity_of(std::string_view name) const {
  struct stat st;
  if (!is_plain_name(name) || ::fstatat(impl_->fd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool Folder::is_pseudo_file_system() const {
  struct statfs fs;
  if (::fstatfs(impl_->fd, &fs) != 0) return false;
  const auto type = static_cast<std::uint64_t>(fs.f_type);
  if (is_pseudo_file_system_type(type)) return true;
  if (type != kTmpfsType) return false;
  return impl_->identity && is_devtmpfs(static_cast<dev_t>(impl_->identity->device));
}

}  // namespace quarn::platform
