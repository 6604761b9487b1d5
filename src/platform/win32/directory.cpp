#include "platform/directory.h"

#include <windows.h>

namespace quarn::platform {

struct DirectoryListing::Impl {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data{};
  // FindFirstFileA delivers the first entry with the handle; it waits here
  // until the first call of next().
  bool first_pending = true;
  ~Impl() {
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
  }
};

DirectoryListing::DirectoryListing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DirectoryListing::DirectoryListing(DirectoryListing&&) noexcept = default;
DirectoryListing& DirectoryListing::operator=(DirectoryListing&&) noexcept = default;
DirectoryListing::~DirectoryListing() = default;

std::optional<DirectoryListing> DirectoryListing::open(const std::string& folder) {
  // A folder that is itself a reparse point (a junction or a symbolic link)
  // is not listed: the walk never follows one, the start folder included.
  // The empty text stands for the current drive's root and has no attributes
  // of its own to look at.
  if (!folder.empty()) {
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return std::nullopt;
    }
  }
  // The pattern is the folder text, a backslash and "*.*", with no look at
  // the folder's last character: "c:\" gives "c:\\*.*", which the system
  // reads as "c:\*.*".
  const std::string pattern = folder + "\\*.*";
  auto impl = std::make_unique<Impl>();
  impl->find = FindFirstFileA(pattern.c_str(), &impl->data);
  if (impl->find == INVALID_HANDLE_VALUE) return std::nullopt;
  return DirectoryListing(std::move(impl));
}

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
