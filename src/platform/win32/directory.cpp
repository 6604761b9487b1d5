#include "platform/directory.h"

#include <windows.h>

#include "platform/win32/folder_impl.h"

namespace quarn::platform {

DirectoryListing::DirectoryListing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DirectoryListing::DirectoryListing(DirectoryListing&&) noexcept = default;
DirectoryListing& DirectoryListing::operator=(DirectoryListing&&) noexcept = default;
DirectoryListing::~DirectoryListing() = default;

ListingStep DirectoryListing::next(DirEntry& entry) {
  if (impl_->first_pending) {
    impl_->first_pending = false;
  } else if (!FindNextFileA(impl_->find, &impl_->data)) {
    return GetLastError() == ERROR_NO_MORE_FILES ? ListingStep::end : ListingStep::error;
  }
  const DWORD attributes = impl_->data.dwFileAttributes;
  entry.name = impl_->data.cFileName;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // Junctions, symbolic links and other reparse points of files and
    // folders alike: never opened or walked.
    entry.kind = EntryKind::link;
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    entry.kind = EntryKind::directory;
  } else if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    entry.kind = EntryKind::other;
  } else {
    entry.kind = EntryKind::regular;
  }
  return ListingStep::entry;
}

}  // namespace quarn::platform
