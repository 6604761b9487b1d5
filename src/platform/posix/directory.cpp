#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/folder_impl.h"
#include "platform/system_error.h"

namespace quarn::platform {

DirectoryListing::DirectoryListing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DirectoryListing::DirectoryListing(DirectoryListing&&) noexcept = default;
DirectoryListing& DirectoryListing::operator=(DirectoryListing&&) noexcept = default;
DirectoryListing::~DirectoryListing() = default;

ListingStep DirectoryListing::next(DirEntry& entry) {
  // readdir tells its end from a failure only through errno.
  errno = 0;
  struct dirent* d = ::readdir(impl_->dir);
  if (d == nullptr) {
    if (errno == 0) return ListingStep::end;
    record_system_error();
    return ListingStep::error;
  }
  entry.name = d->d_name;
  entry.inode = static_cast<std::uint64_t>(d->d_ino);
  unsigned char type = d->d_type;
  if (type == DT_UNKNOWN) {
    // Some file systems do not fill d_type; ask without following links.
    struct stat st;
    if (::fstatat(::dirfd(impl_->dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(st.st_mode)) type = DT_DIR;
      else if (S_ISREG(st.st_mode)) type = DT_REG;
      else if (S_ISLNK(st.st_mode)) type = DT_LNK;
    }
  }
  switch (type) {
    case DT_DIR: entry.kind = EntryKind::directory; break;
    case DT_REG: entry.kind = EntryKind::regular; break;
    case DT_LNK: entry.kind = EntryKind::link; break;
    default: entry.kind = EntryKind::other; break;
  }
  return ListingStep::entry;
}

}  // namespace quarn::platform
