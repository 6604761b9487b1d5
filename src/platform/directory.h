// Listing one folder (FindFirstFileA / FindNextFileA / opendir). The listing
// handle is owned and closed by the object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quarn::platform {

enum class EntryKind {
  directory,  // a real folder, to be walked
  regular,    // a regular file, to be scanned
  link,       // a symbolic link or a reparse point (of a file or a folder)
  other,      // FIFO, socket, device: never opened
};

// What one step of a listing brought: an entry, the end of the listing, or
// a failure that ends it early (an I/O error, a folder removed meanwhile).
enum class ListingStep { entry, end, error };

struct DirEntry {
  std::string name;
  EntryKind kind = EntryKind::other;
};

class DirectoryListing {
 public:
  DirectoryListing(DirectoryListing&&) noexcept;
  DirectoryListing& operator=(DirectoryListing&&) noexcept;
  ~DirectoryListing();

  // Starts listing a folder. The folder itself is opened without following
  // a link at its end. Nothing when it cannot be listed.
  static std::optional<DirectoryListing> open(const std::string& folder);

  // Fetches the next entry, "." and ".." included as the platform lists
  // them. The entry is filled only when the step is ListingStep::entry.
  ListingStep next(DirEntry& entry);

 private:
  struct Impl;
  explicit DirectoryListing(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace quarn::platform
