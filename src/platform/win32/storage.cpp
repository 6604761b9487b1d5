#include "platform/storage.h"

#include <windows.h>
#include <winioctl.h>

#include <vector>

#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"

namespace quarn::platform {

namespace {

// The root of the volume that holds path ("C:\", or a mounted folder's).
std::optional<std::wstring> volume_root_of(const std::string& path) {
  const std::wstring system = win32::system_path(path);
  // A volume's root is never longer than the path that lies on it.
  std::vector<wchar_t> root(system.size() + 2);
  if (!GetVolumePathNameW(system.c_str(), root.data(), static_cast<DWORD>(root.size()))) return std::nullopt;
  return std::wstring(root.data());
}

}  // namespace

// The storage stack answers whether the device behind a volume incurs a
// seek penalty; the volume is opened as a device with no access, which
// needs no rights. A volume on several disks, a network share or an old
// driver gives no answer.
std::optional<bool> is_rotational(const std::string& path) {
  auto root = volume_root_of(path);
  if (!root || root->size() < 2 || (*root)[1] != L':') return std::nullopt;
  const std::wstring device = L"\\\\.\\" + root->substr(0, 2);
  win32::UniqueHandle volume(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  if (!volume.valid()) return std::nullopt;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceSeekPenaltyProperty;
  query.QueryType = PropertyStandardQuery;
  DEVICE_SEEK_PENALTY_DESCRIPTOR answer{};
  DWORD returned = 0;
  if (!DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &answer, sizeof answer,
                       &returned, nullptr) ||
      returned < sizeof answer) {
    return std::nullopt;
  }
  return answer.IncursSeekPenalty != FALSE;
}

std::optional<bool> is_read_only_mount(const std::string& path) {
  auto root = volume_root_of(path);
  if (!root) return std::nullopt;
  DWORD flags = 0;
  if (!GetVolumeInformationW(root->c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return std::nullopt;
  return (flags & FILE_READ_ONLY_VOLUME) != 0;
}

// Windows keeps such counts too (IOCTL_DISK_PERFORMANCE); they are not read
// yet, so the depth is found by the clock alone here.
DeviceWorkCounter::DeviceWorkCounter(const std::vector<std::string>&) {}

std::optional<DeviceWork> DeviceWorkCounter::read() const { return std::nullopt; }

}  // namespace quarn::platform
