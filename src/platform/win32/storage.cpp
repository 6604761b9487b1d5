#include "platform/storage.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_path.h"

namespace quarn::platform {

// Win32 tells a seek penalty only to a volume opened as a device; without
// an answer the caller keeps its default.
std::optional<bool> is_rotational(const std::string&) { return std::nullopt; }

std::optional<bool> is_read_only_mount(const std::string& path) {
  const std::wstring system = win32::system_path(path);
  // A volume's root is never longer than the path that lies on it.
  std::vector<wchar_t> root(system.size() + 2);
  if (!GetVolumePathNameW(system.c_str(), root.data(), static_cast<DWORD>(root.size()))) return std::nullopt;
  DWORD flags = 0;
  if (!GetVolumeInformationW(root.data(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return std::nullopt;
  return (flags & FILE_READ_ONLY_VOLUME) != 0;
}

}  // namespace quarn::platform
