#include "platform/fs.h"

#include <windows.h>

#include <vector>

#include "platform/system_error.h"
#include "platform/win32/handle.h"
#include "platform/win32/reparse_rules.h"
#include "platform/win32/wide_path.h"

namespace quarn::platform {
namespace {

using win32::UniqueHandle;

// Opens a file or a folder for its metadata only, following reparse points
// as the system does when it opens a path.
UniqueHandle open_for_metadata(const std::wstring& path) {
  return UniqueHandle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_NO_RECALL, nullptr));
}

NodeKind kind_from(const win32::NodeAttributes& node) {
  switch (win32::entry_kind(node.attributes, node.tag)) {
    case EntryKind::link: return NodeKind::link;
    case EntryKind::directory: return NodeKind::directory;
    case EntryKind::other: return NodeKind::other;
    case EntryKind::regular:
    case EntryKind::not_on_disk: return NodeKind::regular;
  }
  return NodeKind::other;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::optional<std::string> read_handle(HANDLE handle) {
  std::string bytes;
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(handle, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      // A pipe ends so once its writer has closed it.
      if (GetLastError() == ERROR_BROKEN_PIPE) return bytes;
      record_system_error();
      return std::nullopt;
    }
    if (got == 0) return bytes;
    bytes.append(chunk.data(), got);
  }
}

// The code page's bytes for one character, or nothing when the ANSI code
// page has no exact byte form for it (no best-fit look-alikes).
std::optional<std::string> in_ansi_code_page(std::wstring_view character) {
  const UINT code_page = GetACP();
  // UTF-8 holds every character, and WideCharToMultiByte refuses the flags
  // and the default-character check for it.
  const bool utf8 = code_page == CP_UTF8;
  char bytes[8];
  BOOL used_default = FALSE;
  const int length = WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, character.data(),
                                         static_cast<int>(character.size()), bytes, sizeof bytes, nullptr,
                                         utf8 ? nullptr : &used_default);
  if (length <= 0 || used_default) return std::nullopt;
  return std::string(bytes, static_cast<std::size_t>(length));
}

// Lower-cases UTF-16 text as the system does for every script.
std::wstring lowered(const std::string& text) {
  std::wstring wide = widen(text);
  if (!wide.empty()) CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return wide;
}

}  // namespace

namespace win32 {

std::optional<NodeAttributes> node_attributes(const std::wstring& system) {
  UniqueHandle handle(CreateFileW(system.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_OPEN_NO_RECALL,
                                  nullptr));
  if (handle.valid()) {
    if (auto node = attributes_of_handle(handle.get())) return node;
  }
  // Some entries open for nothing at all (a paging file, a folder that
  // denies even its attributes); their attributes still tell a folder and a
  // reparse point, whose unknown tag makes it a link.
  const DWORD error = handle.valid() ? ERROR_SUCCESS : GetLastError();
  const DWORD attributes = GetFileAttributesW(system.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (error != ERROR_SUCCESS) SetLastError(error);
    return std::nullopt;
  }
  return NodeAttributes{attributes, kTagUnknown};
}

std::optional<NodeAttributes> attributes_of_handle(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) {
    return NodeAttributes{info.FileAttributes, info.ReparseTag};
  }
  BY_HANDLE_FILE_INFORMATION basic;
  if (!GetFileInformationByHandle(handle, &basic)) return std::nullopt;
  return NodeAttributes{basic.dwFileAttributes, kTagUnknown};
}

}  // namespace win32

char separator() { return '\\'; }

NodeKind win32::node_kind_at(const std::wstring& system) {
  auto node = node_attributes(system);
  return node ? kind_from(*node) : NodeKind::missing;
}

std::optional<FileIdentity> win32::identity_at(const std::wstring& system) {
  UniqueHandle handle = open_for_metadata(system);
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

NodeKind node_kind(const std::string& path) { return win32::node_kind_at(win32::system_path(path)); }

NodeKind node_kind_followed(const std::string& path) {
  const std::wstring system = win32::system_path(path);
  auto node = win32::node_attributes(system);
  if (!node) return NodeKind::missing;
  if ((node->attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return kind_from(*node);
  // A reparse point: ask about what it leads to. A dangling one is missing.
  UniqueHandle target = open_for_metadata(system);
  if (!target.valid()) return NodeKind::missing;
  auto reached = win32::attributes_of_handle(target.get());
  if (!reached) return NodeKind::missing;
  reached->attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
  return kind_from(*reached);
}

bool delete_file(const std::string& path) { return DeleteFileW(win32::system_path(path).c_str()) != 0; }

bool replace_file(const std::string& from, const std::string& to) {
  return MoveFileExW(win32::system_path(from).c_str(), win32::system_path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool make_directories(const std::string& path) {
  if (path.empty()) return false;
  // Each level is tried in turn. The root parts of a path ("c:", "\\server",
  // "\\server\share") cannot be created and fail harmlessly; a real failure
  // shows in the final check.
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || (is_separator(path[i]) && !is_separator(path[i - 1]))) {
      if (!CreateDirectoryW(win32::system_path(path.substr(0, i)).c_str(), nullptr) &&
          GetLastError() != ERROR_ALREADY_EXISTS) {
        record_system_error();
      }
    }
  }
  if (node_kind_followed(path) == NodeKind::directory) return true;
  // The last level's failure says why; a name taken by a file says so too.
  if (last_error().empty()) record_system_error(ERROR_ALREADY_EXISTS);
  return false;
}

std::optional<FileIdentity> identity_of(const std::string& path) { return win32::identity_at(win32::system_path(path)); }

std::optional<std::string> own_program_path() {
  // GetModuleFileNameW truncates silently when the buffer is too small, so
  // the buffer grows until the whole path fits.
  std::vector<wchar_t> buffer(1024);
  while (buffer.size() <= 32768) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) return narrow(win32::without_long_prefix(std::wstring_view(buffer.data(), length)));
    buffer.resize(buffer.size() * 2);
  }
  return std::nullopt;
}

void lower_ansi(std::string& text) {
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return;
  }
  text = narrow(lowered(text));
}

bool equal_no_case(const std::string& a, const std::string& b) {
  // Over every character with its length, so an embedded NUL does not end
  // the comparison early.
  return lowered(a) == lowered(b);
}

std::string log_text(const std::string& path) {
  // Win32 names cannot hold control characters, so every path is one line;
  // only characters outside the ANSI code page change form.
  for (char c : path) {
    if (static_cast<unsigned char>(c) >= 0x80) return win32::log_form(widen(path), in_ansi_code_page);
  }
  return path;
}

std::optional<std::string> read_to_end(const std::string& path) {
  UniqueHandle file(CreateFileW(win32::system_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    record_system_error();
    return std::nullopt;
  }
  return read_handle(file.get());
}

std::optional<std::string> read_standard_input() { return read_handle(GetStdHandle(STD_INPUT_HANDLE)); }

std::string default_start_folder() { return "c:\\"; }

std::optional<std::string> default_log_path() { return std::string("c:\\vosko_clean.log"); }

}  // namespace quarn::platform
