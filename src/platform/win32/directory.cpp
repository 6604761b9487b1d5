#include "platform/directory.h"

#include <windows.h>

#include "platform/system_error.h"
#include "platform/win32/folder_impl.h"
#include "platform/win32/reparse_rules.h"
#include "platform/win32/wide_path.h"

namespace quarn::platform {

DirectoryListing::DirectoryListing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DirectoryListing::DirectoryListing(DirectoryListing&&) noexcept = default;
DirectoryListing& DirectoryListing::operator=(DirectoryListing&&) noexcept = default;
DirectoryListing::~DirectoryListing() = default;

ListingStep DirectoryListing::next(DirEntry& entry) {
  if (impl_->first_pending) {
    impl_->first_pending = false;
  } else if (!FindNextFileW(impl_->find, &impl_->data)) {
    const DWORD error = GetLastError();
    if (error == ERROR_NO_MORE_FILES) return ListingStep::end;
    record_system_error(static_cast<int>(error));
    return ListingStep::error;
  }
  entry.name = narrow(impl_->data.cFileName);
  // The listing gives a reparse point's tag in dwReserved0.
  entry.kind = win32::entry_kind(impl_->data.dwFileAttributes, impl_->data.dwReserved0);
  return ListingStep::entry;
}

}  // namespace quarn::platform
