#include "platform/folder.h"

#include <windows.h>

#include "platform/win32/folder_impl.h"

namespace quarn::platform {
Folder::Folder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;
Folder::~Folder() = default;

FolderOpening Folder::open(const std::string& path, LinkAtEnd link) {
  FolderOpening opening;
  // The empty text stands for the current drive's root and has no
  // attributes of its own to look at.
  if (!path.empty()) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      opening.missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
      return opening;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return opening;
    // A junction or a folder link is entered only where the user named it.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && link == LinkAtEnd::refuse) return opening;
  }
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  opening.folder = Folder(std::move(impl));
  return opening;
}

std::optional<Folder> Folder::open_parent_of(const std::string& path, std::string& name) {
  const std::size_t sep = path.find_last_of("\\/");
  std::string folder;
  if (sep == std::string::npos) {
    // "x.exe" or "c:x.exe": relative to the current folder (of that drive).
    const std::size_t colon = path.find(':');
    folder = colon == std::string::npos ? "." : path.substr(0, colon + 1);
    name = colon == std::string::npos ? path : path.substr(colon + 1);
  } else {
    // The separator stays, so "c:\x.exe" gives the root "c:\", never the
    // drive-relative "c:".
    folder = path.substr(0, sep + 1);
    name = path.substr(sep + 1);
  }
  if (!is_plain_name(name)) return std::nullopt;
  return open(folder, LinkAtEnd::follow).folder;
}

std::optional<Folder> Folder::open_child(std::string_view name) const {
  if (!is_plain_name(name)) return std::nullopt;
  std::string path = impl_->join(name);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return std::nullopt;
  }
  auto impl = std::make_unique<Impl>();
  impl->path = std::move(path);
  return Folder(std::move(impl));
}

std::optional<DirectoryListing> Folder::list() const {
  // The pattern is the folder text, a backslash and "*.*", with no look at
  // the folder's last character: "c:\" gives "c:\\*.*", which the system
  // reads as "c:\*.*".
  const std::string pattern = impl_->path + "\\*.*";
  auto impl = std::make_unique<DirectoryListing::Impl>();
  impl->find = FindFirstFileA(pattern.c_str(), &impl->data);
  if (impl->find == INVALID_HANDLE_VALUE) return std::nullopt;
  return DirectoryListing(std::move(impl));
}

NodeKind Folder::kind_of(std::string_view name) const {
  return is_plain_name(name) ? node_kind(impl_->join(name)) : NodeKind::missing;
}

bool Folder::delete_file(std::string_view name) const {
  return is_plain_name(name) && DeleteFileA(impl_->join(name).c_str()) != 0;
}

bool Folder::replace_file(std::string_view from, std::string_view to) const {
  if (!is_plain_name(from) || !is_plain_name(to)) return false;
  return platform::replace_file(impl_->join(from), impl_->join(to));
}

// MoveFileEx with write-through returns once the move is on the disk, and
// NTFS journals a deletion before DeleteFile returns: there is nothing left
// to push.
bool Folder::flush_to_disk() const { return true; }

// Windows keeps no marker: a leftover there is never known to be quarn's.
bool Folder::is_marked_with_own_name(std::string_view) const { return false; }

std::optional<FileIdentity> Folder::identity() const { return identity_of(impl_->path.empty() ? "\\" : impl_->path); }

std::optional<FileIdentity> Folder::identity_of(std::string_view name) const {
  return is_plain_name(name) ? platform::identity_of(impl_->join(name)) : std::nullopt;
}

// Windows mounts no file system of the kernel's own state below a drive.
bool Folder::is_pseudo_file_system() const { return false; }

}  // namespace quarn::platform
