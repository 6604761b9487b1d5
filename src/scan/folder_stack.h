// The folders from a walk's start folder down to the one being listed, with
// a bounded number of them open.
//
// A walk acts relative to each folder's descriptor, so a tree of any depth
// would need a descriptor per level, and a deep enough tree would exhaust
// the process's limit (1,024 by default on Debian). So at most
// kMaxOpenLevels levels below the start folder keep their folder and their
// listing open. When one more is opened, the shallowest open level (never
// the start folder) reads the rest of its listing into memory and closes
// both. When the walk comes back up to such a level and needs its folder
// again, it is reopened name by name from the nearest open ancestor, and
// every step must lead to the very folder (device and file number) that was
// listed; a folder that was swapped meanwhile is not reopened.
//
// Folders are shared: a file of a level that a worker has yet to scan holds
// its folder, so the folder stays open until that file is done, even after
// its level has ended or been closed here. Whoever queues files bounds how
// many are held that way.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/folder.h"

namespace quarn {

class FolderStack {
 public:
  static constexpr std::size_t kMaxOpenLevels = 32;

  // The start folder, with its listing and its path text; it stays open
  // until the stack ends.
  FolderStack(platform::Folder start, platform::DirectoryListing listing, std::string path);

  // Adds child, the folder name below the deepest level, whose path text is
  // path, with its listing. False when it cannot be listed (nothing is
  // added then).
  bool push(std::string name, platform::Folder child, std::string path);
  void pop();
  std::size_t depth() const { return levels_.size(); }

  // The next entry of the deepest level's listing.
  platform::ListingStep next(platform::DirEntry& entry);
  // The deepest level's folder, reopened first if it was closed. Nothing
  // when it cannot be reopened as the folder that was listed.
  std::shared_ptr<const platform::Folder> folder();
  // The deepest level's identity, as it was when it was opened.
  const std::optional<platform::FileIdentity>& identity() const { return levels_.back().identity; }
  // The deepest level's path text, for display: its parent's, a separator
  // and its name.
  const std::string& path() const { return levels_.back().path; }
  // Whether an entry of the deepest level has been handled yet.
  bool handled_an_entry() const { return levels_.back().handled_an_entry; }
  void mark_entry_handled() { levels_.back().handled_an_entry = true; }

  // How many levels hold an open folder now; for tests.
  std::size_t open_levels() const;

 private:
  struct Level {
    std::string name;
    std::string path;
    bool handled_an_entry = false;
    std::optional<platform::FileIdentity> identity;
    std::shared_ptr<const platform::Folder> folder;
    std::optional<platform::DirectoryListing> listing;
    // What was left of the listing when it was closed to save descriptors.
    std::deque<platform::DirEntry> pending;
    platform::ListingStep after_pending = platform::ListingStep::end;
  };

  void close_one_level();

  std::vector<Level> levels_;
};

}  // namespace quarn
