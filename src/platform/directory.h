// Listing one folder (readdir; FindFirstFileW / FindNextFileW). A listing is
// started from an open Folder (folder.h) and owns its handle.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quarn::platform {

enum class EntryKind {
  directory,  // a real folder, to be walked
  regular,    // a regular file, to be scanned
  link,       // a symbolic link, or a junction, mount point or other name
              // surrogate (of a file or a folder): never followed
  other,      // FIFO, socket, device: never opened
  not_on_disk,  // a file whose data lies elsewhere (offline, a cloud file
                // not yet fetched): never opened, since that would fetch it
};

// What one step of a listing brought: an entry, the end of the listing, or
// a failure that ends it early (an I/O error, a folder removed meanwhile).
enum class ListingStep { entry, end, error };

struct DirEntry {
  std::string name;
  EntryKind kind = EntryKind::other;
  // The entry's file number within its file system where the listing tells
  // it for free (POSIX d_ino); 0 where it does not.
  std::uint64_t inode = 0;
};

class DirectoryListing {
 public:
  DirectoryListing(DirectoryListing&&) noexcept;
  DirectoryListing& operator=(DirectoryListing&&) noexcept;
  ~DirectoryListing();

  // Fetches the next entry, "." and ".." included as the platform lists
  // them. The entry is filled only when the step is ListingStep::entry.
  ListingStep next(DirEntry& entry);

  struct Impl;
  explicit DirectoryListing(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace quarn::platform
