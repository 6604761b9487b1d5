#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/posix/folder_impl.h"
#include "platform/system_error.h"

namespace quarn::platform {

DirectoryListing::DirectoryListing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DirectoryListing::DirectoryListing(DirectoryListing&&) noexcept = default;
DirectoryListing& DirectoryListing::operator=(DirectoryListing&&) noexcept = default;
DirectoryListing::~DirectoryListing() = default;

ListingStep DirectoryListing::next(DirEntry& entry) {
  // The records of struct dirent64, as getdents64 packs them: a record's
  // length covers its name and the name's NUL, and is checked against what
  // the call returned before any field is read.
  constexpr std::size_t kInodeAt = offsetof(struct dirent64, d_ino);
  constexpr std::size_t kLengthAt = offsetof(struct dirent64, d_reclen);
  constexpr std::size_t kTypeAt = offsetof(struct dirent64, d_type);
  constexpr std::size_t kNameAt = offsetof(struct dirent64, d_name);
  Impl& listing = *impl_;
  if (listing.at >= listing.filled) {
    ssize_t n;
    do {
      n = ::getdents64(listing.fd->get(), listing.buffer.get(), Impl::kBufferBytes);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      record_system_error();
      return ListingStep::error;
    }
    if (n == 0) return ListingStep::end;
    listing.filled = static_cast<std::size_t>(n);
    listing.at = 0;
  }
  const unsigned char* record = listing.buffer.get() + listing.at;
  const std::size_t left = listing.filled - listing.at;
  std::uint16_t length = 0;
  if (left >= kNameAt + 1) std::memcpy(&length, record + kLengthAt, sizeof length);
  if (length < kNameAt + 1 || length > left) {
    record_error("damaged", "the folder's listing has a record that does not fit");
    listing.at = listing.filled;
    return ListingStep::error;
  }
  listing.at += length;
  const char* name = reinterpret_cast<const char*>(record + kNameAt);
  entry.name.assign(name, ::strnlen(name, length - kNameAt));
  std::uint64_t inode = 0;
  std::memcpy(&inode, record + kInodeAt, sizeof inode);
  entry.inode = inode;
  unsigned char type = record[kTypeAt];
  if (type == DT_UNKNOWN) {
    // Some file systems do not fill d_type; ask without following links.
    struct stat st;
    if (::fstatat(listing.fd->get(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
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
