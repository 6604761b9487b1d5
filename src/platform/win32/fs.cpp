#include "platform/fs.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/handle.h"

namespace quarn::platform {
namespace {

using win32::UniqueHandle;

// Opens a file or a folder for its metadata only, following reparse points
// as the system does when it opens a path.
UniqueHandle open_for_metadata(const std::string& path) {
  return UniqueHandle(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

NodeKind kind_from_attributes(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return NodeKind::link;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return NodeKind::directory;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return NodeKind::other;
  return NodeKind::regular;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

char separator() { return '\\'; }

NodeKind node_kind(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return NodeKind::missing;
  return kind_from_attributes(attributes);
}

NodeKind node_kind_followed(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return NodeKind::missing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return kind_from_attributes(attributes);
  // A reparse point: ask about what it leads to. A dangling one is missing.
  UniqueHandle target = open_for_metadata(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!target.valid() || !GetFileInformationByHandle(target.get(), &info)) return NodeKind::missing;
  return kind_from_attributes(info.dwFileAttributes & ~FILE_ATTRIBUTE_REPARSE_POINT);
}

bool delete_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool replace_file(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool make_directories(const std::string& path) {
  if (path.empty()) return false;
  // Each level is tried in turn. The root parts of a path ("c:", "\\server",
  // "\\server\share") cannot be created and fail harmlessly; a real failure
  // shows in the final check.
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || (is_separator(path[i]) && !is_separator(path[i - 1]))) {
      CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
  }
  return node_kind_followed(path) == NodeKind::directory;
}

std::optional<FileIdentity> identity_of(const std::string& path) {
  UniqueHandle handle = open_for_metadata(path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<std::string> own_program_path() {
  // GetModuleFileNameA truncates silently when the buffer is too small, so
  // the buffer grows until the whole path fits.
  std::vector<char> buffer(1024);
  while (buffer.size() <= 32768) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
  return std::nullopt;
}

void lower_ansi(std::string& text) {
  if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
}

bool equal_no_case(const std::string& a, const std::string& b) {
  // _stricmp's comparison, but over every byte: _stricmp would stop at an
  // embedded NUL and call "a\0x" and "a\0y" equal.
  return a.size() == b.size() && _memicmp(a.data(), b.data(), a.size()) == 0;
}

std::string log_text(const std::string& path) {
  // Win32 names cannot hold control characters, so every path is one line.
  return path;
}

std::string default_start_folder() { return "c:\\"; }

std::optional<std::string> default_log_path() { return std::string("c:\\vosko_clean.log"); }

}  // namespace quarn::platform
