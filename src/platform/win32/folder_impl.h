// The Win32 state behind a Folder and a DirectoryListing, shared by the
// files that implement them.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/directory.h"
#include "platform/folder.h"
#include "platform/win32/wide_path.h"

namespace quarn::platform {

// A folder keeps two texts: the path as the user and the walk wrote it, and
// the absolute \\?\ form that the system is given. Names are joined to the
// second, so a walk reaches any depth and any length.
struct Folder::Impl {
  std::string path;
  std::wstring system;
  // The path of the entry name in this folder.
  std::string join(std::string_view name) const {
    std::string joined = path;
    if (joined.empty() || (joined.back() != '\\' && joined.back() != '/')) joined += '\\';
    joined.append(name);
    return joined;
  }
  std::wstring system_join(std::string_view name) const { return win32::system_join(system, name); }
};

struct DirectoryListing::Impl {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data{};
  // FindFirstFileW delivers the first entry with the handle; it waits here
  // until the first call of next().
  bool first_pending = true;
  ~Impl() {
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
  }
};

// A name of one entry: not empty, no separator, not "." or "..", so that
// joining it to its folder's path can never leave the folder.
inline bool is_plain_name(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string_view::npos;
}

}  // namespace quarn::platform
