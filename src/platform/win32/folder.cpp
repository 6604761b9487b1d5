#include "platform/folder.h"

#include <windows.h>

#include "platform/system_error.h"
#include "platform/win32/folder_impl.h"
#include "platform/win32/handle.h"
#include "platform/win32/reparse_rules.h"

namespace quarn::platform {

Folder::Folder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;
Folder::~Folder() = default;

FolderOpening Folder::open(const std::string& path, LinkAtEnd link) {
  FolderOpening opening;
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  // The empty text stands for the current drive's root.
  impl->system = win32::system_path(path);
  auto node = win32::node_attributes(impl->system);
  if (!node) {
    const DWORD error = GetLastError();
    record_system_error(static_cast<int>(error));
    opening.missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return opening;
  }
  const EntryKind kind = win32::entry_kind(node->attributes, node->tag);
  // A junction or a folder link is entered only where the user named it.
  const bool followed_link = kind == EntryKind::link && link == LinkAtEnd::follow &&
                             (node->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (kind != EntryKind::directory && !followed_link) return opening;
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
  auto impl = std::make_unique<Impl>();
  impl->system = impl_->system_join(name);
  auto node = win32::node_attributes(impl->system);
  if (!node) {
    record_system_error();
    return std::nullopt;
  }
  if (win32::entry_kind(node->attributes, node->tag) != EntryKind::directory) return std::nullopt;
  impl->path = impl_->join(name);
  return Folder(std::move(impl));
}

std::optional<Folder> Folder::create_child_folder(std::string_view name) const {
  if (!is_plain_name(name)) return std::nullopt;
  // A name that is taken already is left as it is; open_child then takes it
  // only if it is a folder itself, not a junction or a link.
  if (!CreateDirectoryW(impl_->system_join(name).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    record_system_error();
    return std::nullopt;
  }
  return open_child(name);
}

std::optional<DirectoryListing> Folder::list() const {
  // The pattern is the folder's system path (the long form), a backslash
  // and "*", which every name matches.
  const std::wstring pattern = win32::system_join(impl_->system, "*");
  auto impl = std::make_unique<DirectoryListing::Impl>();
  impl->find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &impl->data, FindExSearchNameMatch, nullptr, 0);
  if (impl->find == INVALID_HANDLE_VALUE) {
    record_system_error();
    return std::nullopt;
  }
  return DirectoryListing(std::move(impl));
}

NodeKind Folder::kind_of(std::string_view name) const {
  return is_plain_name(name) ? win32::node_kind_at(impl_->system_join(name)) : NodeKind::missing;
}

bool Folder::delete_file(std::string_view name) const {
  return is_plain_name(name) && (DeleteFileW(impl_->system_join(name).c_str()) != 0 || record_system_error());
}

bool Folder::replace_file(std::string_view from, std::string_view to) const {
  if (!is_plain_name(from) || !is_plain_name(to)) return false;
  return MoveFileExW(impl_->system_join(from).c_str(), impl_->system_join(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
         record_system_error();
}

bool Folder::rename_to_new_name(std::string_view from, std::string_view to) const {
  if (!is_plain_name(from) || !is_plain_name(to)) return false;
  // Without MOVEFILE_REPLACE_EXISTING, MoveFileEx fails on a taken name.
  return MoveFileExW(impl_->system_join(from).c_str(), impl_->system_join(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0 ||
         record_system_error();
}

// MoveFileEx with write-through returns once the move is on the disk, and
// NTFS journals a deletion before DeleteFile returns: there is nothing left
// to push.
bool Folder::flush_to_disk() const { return true; }

// Windows keeps no marker: a leftover there is never known to be quarn's,
// and is never removed. A restore's file that is still being written is
// open without sharing, so an open for reading that shares everything is
// refused, and the file is not taken for anybody's.
Abandoned Folder::remove_if_abandoned(std::string_view name) const {
  if (!is_plain_name(name)) return Abandoned::not_ours;
  win32::UniqueHandle handle(CreateFileW(impl_->system_join(name).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (handle.valid()) return Abandoned::not_ours;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Abandoned::gone;
  return error == ERROR_SHARING_VIOLATION ? Abandoned::in_use : Abandoned::not_ours;
}

std::optional<FileIdentity> Folder::identity() const { return win32::identity_at(impl_->system); }

std::optional<FileIdentity> Folder::identity_of(std::string_view name) const {
  return is_plain_name(name) ? win32::identity_at(impl_->system_join(name)) : std::nullopt;
}

// Windows mounts no file system of the kernel's own state below a drive.
bool Folder::is_pseudo_file_system() const { return false; }

}  // namespace quarn::platform
