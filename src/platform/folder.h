// An open folder, and the files and folders named relative to it.
//
// The walk and the remedies act on what was listed: every open, create,
// rename and delete below names one entry of a folder that is already open,
// so no path is resolved twice, no link met on the way is followed, and
// neither the depth of a tree nor the length of a path is limited. On POSIX
// a Folder is a directory descriptor and every call is an *at() call on it.
// Win32 documents no way to open a name relative to an open folder, so there
// a Folder keeps the folder's path text and each call joins the name to it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/directory.h"
#include "platform/fs.h"

namespace quarn::platform {

// Whether opening a path follows a link at its end: a start folder that the
// user named is followed once; nothing met inside a walk ever is.
enum class LinkAtEnd { follow, refuse };

class Folder;

// What became of a file offered for removal as an abandoned temporary file.
enum class Abandoned {
  removed,   // it was one, and its name is gone
  not_ours,  // no marker with its own name (or none can be kept here): kept
  in_use,    // a process still holds it, or whether one does cannot be told: kept
  gone,      // the name no longer leads to the file (renamed or removed meanwhile)
  failed,    // it was one, but removing it failed
};

// What opening a folder by its path brought: the folder, or why not.
struct FolderOpening;

class Folder {
 public:
  Folder(Folder&&) noexcept;
  Folder& operator=(Folder&&) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder();

  // Opens the folder at path (an empty path stands for the root folder).
  static FolderOpening open(const std::string& path, LinkAtEnd link);
  // Opens the folder in which the file at path lies, for acting on that
  // file by name; name receives the part after the last separator.
  static std::optional<Folder> open_parent_of(const std::string& path, std::string& name);

  // Opens the child folder name, never following a link. Nothing when it is
  // not a folder (any more) or cannot be opened.
  std::optional<Folder> open_child(std::string_view name) const;
  // Makes the child folder name, or takes the one already there, and opens
  // it, never following a link: a store that descends name by name this way
  // resolves no path longer than one name, and a link planted in its place
  // cannot send it elsewhere. Nothing when name is taken by anything that is
  // not a folder (a link to one included) or cannot be made.
  std::optional<Folder> create_child_folder(std::string_view name) const;
  // Starts listing this folder's entries; the folder stays usable.
  std::optional<DirectoryListing> list() const;

  // What name is, looked at without following a link.
  NodeKind kind_of(std::string_view name) const;
  // Deletes the file name (never a folder). True on success.
  bool delete_file(std::string_view name) const;
  // Renames from over to within this folder, replacing to, in one step.
  bool replace_file(std::string_view from, std::string_view to) const;
  // Renames from to to within this folder only while no entry is named to:
  // unlike replace_file, an existing entry is never replaced. False when to
  // exists or the rename fails.
  bool rename_to_new_name(std::string_view from, std::string_view to) const;
  // Pushes this folder's entries (a rename, a deletion) to the device.
  bool flush_to_disk() const;
  // Removes the regular file name if it is a temporary file that
  // File::create_unique made and that nobody holds any more: it carries
  // the marker holding this very name (made by create_unique and never
  // renamed or copied since), and a non-blocking lock on it succeeds, so
  // the process that made it has ended or let it go. The lock is taken
  // before the marker is read and held until the name is gone.
  Abandoned remove_if_abandoned(std::string_view name) const;

  std::optional<FileIdentity> identity() const;
  // The identity of the entry name, looked at without following a link.
  std::optional<FileIdentity> identity_of(std::string_view name) const;
  // A file system that holds no files of a disk: proc, sysfs, devtmpfs,
  // devpts, cgroup, debugfs and the like. Walking into one reads the
  // kernel's state, not the user's files.
  bool is_pseudo_file_system() const;

  struct Impl;
  const Impl& impl() const { return *impl_; }

 private:
  explicit Folder(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

struct FolderOpening {
  std::optional<Folder> folder;
  // Nothing of that name exists (as opposed to: it exists but could not be
  // opened, or is not a folder).
  bool missing = false;
};

// A file as the walk met it: the folder it lies in, open, its name there,
// and its whole path for the log, the list and the console.
struct FileAt {
  const Folder& folder;
  std::string_view name;
  const std::string& path;
};

// A file named by a path, with its folder opened: for a file that the user
// names on its own, and for tests.
struct PlacedFile {
  Folder folder;
  std::string name;
  std::string path;
  static std::optional<PlacedFile> open(const std::string& path);
  FileAt at() const { return FileAt{folder, name, path}; }
  operator FileAt() const { return at(); }
};

// True for the magic number of a pseudo file system (statfs f_type).
bool is_pseudo_file_system_type(std::uint64_t type);

}  // namespace quarn::platform
