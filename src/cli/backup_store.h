// Copies of files taken before a remedy changes or deletes them, so every
// change can be undone. A file's copy lies below the store's folder under the
// file's own full path: /mnt/c/site/index.htm goes to DIR/mnt/c/site/index.htm.
#pragma once

#include <optional>
#include <string>

#include "platform/folder.h"
#include "platform/fs.h"

namespace quarn::cli {

class BackupStore {
 public:
  // A copy never replaces an earlier one (from an earlier run into the same
  // folder, say): the next free name of path, path.1 ... path.999 is taken.
  static constexpr int kMaxSuffix = 999;

  // Creates the folder and any missing folder above it. Nothing when that
  // fails or the name is taken by something that is not a folder.
  static std::optional<BackupStore> open(const std::string& folder);

  const std::string& folder() const { return folder_; }

  // True when the folder is the store itself, whatever path reaches it.
  bool is_store(const std::string& folder) const;
  bool is_store(const platform::Folder& folder) const;
  // True when the full path is the store or lies below it.
  bool holds(const std::string& full_path) const;

  // Where the first copy of the file with this full path goes.
  std::string target_for(const std::string& full_path) const;

  // Copies the regular file, whose full path is full_path, into the store
  // and pushes the copy to the disk. Returns the copy's path; nothing when
  // the copy could not be made whole, and then no partial copy stays.
  std::optional<std::string> save(const platform::FileAt& file, const std::string& full_path) const;

 private:
  BackupStore(std::string folder, std::string full, platform::FileIdentity identity)
      : folder_(std::move(folder)), full_(std::move(full)), identity_(identity) {}

  std::string folder_;
  std::string full_;
  platform::FileIdentity identity_;
};

}  // namespace quarn::cli
