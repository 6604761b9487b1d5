// Copies of files taken before a remedy changes or deletes them, so every
// change can be undone. A file's copy lies below the store's folder under the
// file's own full path: /mnt/c/site/index.htm goes to DIR/mnt/c/site/index.htm.
// The store keeps its folder open and reaches a copy's folder from it one
// name at a time, so the length of the path below it is never a limit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "platform/sha256.h"

namespace quarn::cli {

// Where save() kept a file's bytes: what a record of the run needs to find
// the copy again and to check it.
struct SavedCopy {
  // The copy's place below the store, relative, its names joined by the
  // platform's separator: "mnt/c/site/index.htm.1".
  std::string place;
  // The number of bytes kept.
  std::uint64_t size = 0;
  // False when an earlier copy of the same bytes was found and kept in use.
  bool made = false;
  // The digest of the bytes kept, hashed as they were read for the copy.
  platform::Sha256Digest sha256{};
};

// The names of a relative path, without empty ones; "/" and the platform's
// separator both part them.
std::vector<std::string> names_of(std::string_view relative);

// Copies every byte of source, read by offset from its start, into target,
// and gives the digest of the bytes copied. The count is checked against
// size, since a short read alone cannot tell the end from an error.
bool copy_hashed(platform::File& source, platform::File& target, std::uint64_t size, platform::Sha256Digest& digest);

class BackupStore {
 public:
  // A copy never replaces an earlier one (from an earlier run into the same
  // folder, say): the next free name of path, path.1 ... path.999 is taken,
  // unless one of the copies there already holds the same bytes.
  static constexpr int kMaxSuffix = 999;
  // The start of the name under which a copy is written before it is whole.
  static constexpr char kPartialStem[] = ".quarn-backup-";

  // Creates the folder and any missing folder above it. Nothing when that
  // fails or the name is taken by something that is not a folder.
  static std::optional<BackupStore> open(const std::string& folder);
  // The store in a folder that exists already, created by nothing.
  static std::optional<BackupStore> open_existing(const std::string& folder);

  const std::string& folder() const { return folder_; }
  // The store's folder, open: what lies in it is reached from here.
  const platform::Folder& open_folder() const { return open_; }

  // True when the folder is the store itself, whatever path reaches it.
  bool is_store(const std::string& folder) const;
  bool is_store(const platform::Folder& folder) const;
  // True when the full path is the store or lies below it.
  bool holds(const std::string& full_path) const;

  // Where the first copy of the file with this full path goes.
  std::string target_for(const std::string& full_path) const;

  // Keeps the bytes of the regular file, whose full path is full_path, in
  // the store, pushed to the disk. When a copy at that place (the first name
  // or a .N) already holds the same bytes, that one is used and nothing is
  // written. Otherwise the copy is written under a temporary name beside its
  // place, flushed, and renamed to the next free name only once it is whole,
  // so that a kill leaves no partial copy under a copy's name. Nothing when
  // the bytes could not be kept, and then nothing of the attempt stays.
  std::optional<SavedCopy> save(const platform::FileAt& file, const std::string& full_path) const;
  // The same for a file already open, read from its start by offset.
  std::optional<SavedCopy> save(platform::File& source, const std::string& full_path) const;
  // Removes a copy that save made (one that it found is left alone), for a
  // file that its remedy left as it was. True when nothing of it remains.
  bool discard(const SavedCopy& copy) const;
  // Opens the copy at a place that save returned, reached name by name
  // without following a link.
  std::optional<platform::File> open_copy(const std::string& place) const;

 private:
  BackupStore(std::string folder, std::string full, platform::Folder open, platform::FileIdentity identity)
      : folder_(std::move(folder)), full_(std::move(full)), open_(std::move(open)), identity_(identity) {}

  // Reaches the folder that holds the place of names.back() from the store,
  // name by name; create makes the folders that are missing. reached stays
  // empty when that folder is the store itself.
  bool descend(const std::vector<std::string>& names, bool create, std::optional<platform::Folder>& reached) const;

  std::string folder_;
  std::string full_;
  platform::Folder open_;
  platform::FileIdentity identity_;
};

}  // namespace quarn::cli
