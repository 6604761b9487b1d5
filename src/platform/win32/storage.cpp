#include "platform/storage.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handle.h"
#include "platform/win32/volume.h"
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

// A device is opened with no access, which needs no rights.
win32::UniqueHandle open_device(const std::wstring& device) {
  return win32::UniqueHandle(
      CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

}  // namespace

std::optional<std::wstring> win32::volume_device_of(const std::string& path) {
  auto root = volume_root_of(path);
  if (!root) return std::nullopt;
  // The root comes back in the form it was asked in, \\?\ and all.
  const std::wstring plain = win32::without_long_prefix(*root);
  if (plain.size() >= 2 && plain.size() <= 3 && plain[1] == L':') return L"\\\\.\\" + plain.substr(0, 2);
  // "\\?\Volume{...}\" names the volume's root folder; without the last
  // separator it names the device.
  wchar_t name[64] = {};
  if (!GetVolumeNameForVolumeMountPointW(root->c_str(), name, static_cast<DWORD>(std::size(name)))) {
    return std::nullopt;
  }
  std::wstring device(name);
  if (device.empty() || device.back() != L'\\') return std::nullopt;
  device.pop_back();
  return device;
}

// The storage stack answers whether the device behind a volume incurs a
// seek penalty. A volume on several disks, a network share or an old
// driver gives no answer.
std::optional<bool> is_rotational(const std::string& path) {
  auto device = win32::volume_device_of(path);
  if (!device) return std::nullopt;
  win32::UniqueHandle volume = open_device(*device);
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

namespace {

// A volume's counts. Nothing from a volume that keeps none, and from the
// query that turns them on, which may have nothing to tell yet.
std::optional<DISK_PERFORMANCE> performance_of(const std::wstring& device) {
  win32::UniqueHandle volume = open_device(device);
  DISK_PERFORMANCE counts{};
  DWORD returned = 0;
  if (!volume.valid() ||
      !DeviceIoControl(volume.get(), IOCTL_DISK_PERFORMANCE, nullptr, 0, &counts, sizeof counts, &returned,
                       nullptr) ||
      returned < offsetof(DISK_PERFORMANCE, StorageDeviceNumber) || counts.QueryTime.QuadPart <= 0) {
    return std::nullopt;
  }
  return counts;
}

}  // namespace

// Each volume counts the requests it completed and the time it stood idle,
// once asked: the first query here turns the counters on, so that the reads
// of a run find them counting. The volumes are kept by device name, each
// once.
DeviceWorkCounter::DeviceWorkCounter(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const auto device = win32::volume_device_of(path);
    if (!device) continue;
    const std::string name = narrow(*device);
    if (std::find(sources_.begin(), sources_.end(), name) != sources_.end()) continue;
    sources_.push_back(name);
    performance_of(*device);
  }
}

std::optional<DeviceWork> DeviceWorkCounter::read() const {
  if (sources_.empty()) return std::nullopt;
  DeviceWork sum;
  for (const std::string& source : sources_) {
    const auto counts = performance_of(widen(source));
    if (!counts) return std::nullopt;
    // Busy time is the time of the query less the time spent idle, both in
    // 100 ns units. The first is the system's clock, not the time since the
    // counters began; only differences between two reads mean anything.
    sum.requests += std::uint64_t{counts->ReadCount} + counts->WriteCount;
    sum.busy_seconds += static_cast<double>(counts->QueryTime.QuadPart - counts->IdleTime.QuadPart) / 1e7;
  }
  return sum;
}

}  // namespace quarn::platform
