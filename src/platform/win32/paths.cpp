#include "platform/fs.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_path.h"

namespace quarn::platform {

std::optional<std::string> full_path(const std::string& path) {
  const std::wstring wide = widen(path);
  DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::vector<wchar_t> buffer(needed);
  DWORD length = GetFullPathNameW(wide.c_str(), needed, buffer.data(), nullptr);
  if (length == 0 || length >= needed) return std::nullopt;
  const std::wstring full(buffer.data(), length);
  if (GetFileAttributesW(win32::with_long_prefix(full).c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  // The prefix belongs to the system's side: a path named with it comes
  // back in its ordinary form.
  return narrow(win32::without_long_prefix(full));
}

std::string path_without_root(const std::string& absolute) {
  std::string rest = absolute;
  // "\\?\C:\x" and "\\?\UNC\server\share\x" are the long forms of the others.
  if (rest.rfind("\\\\?\\UNC\\", 0) == 0) {
    rest = rest.substr(8);
  } else if (rest.rfind("\\\\?\\", 0) == 0) {
    rest = rest.substr(4);
  }
  // A drive letter keeps its letter as a folder name: "C:\a" gives "C\a".
  if (rest.size() >= 2 && rest[1] == ':') rest.erase(1, 1);
  std::size_t start = rest.find_first_not_of("\\/");
  return start == std::string::npos ? std::string() : rest.substr(start);
}

}  // namespace quarn::platform
