// What the system says about the device that holds a path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarn::platform {

// Whether the device that holds path says it has moving heads (a spinning
// disk), where reads side by side make it seek back and forth: the block
// queue's rotational flag on Linux (for FUSE and btrfs, that of the
// mount's source), the seek penalty on Windows. Nothing when nobody says: a
// memory or network file system, a path that cannot be looked at, or a
// device that offers no such answer. Many virtual disks say so wrongly, in
// either direction; it is a hint for a default, never a rule.
std::optional<bool> is_rotational(const std::string& path);

// What devices have done: the requests they completed (reads and writes)
// and the time during which they had at least one in flight, as the
// kernel's block statistics (Linux) or the volume's performance counters
// (Windows) count them. Both grow from some moment of their own, so only
// the difference between two reads means anything. Busy time per request
// is the device's own pace at the depth it was given: no load on the
// processors adds to it, unlike a reader's clock, and requests served side
// by side count once.
struct DeviceWork {
  std::uint64_t requests = 0;
  double busy_seconds = 0;
};

// Takes the counts of the devices that hold some paths, as often as asked.
class DeviceWorkCounter {
 public:
  explicit DeviceWorkCounter(const std::vector<std::string>& paths);
  // The counts summed over the distinct devices; nothing when no path lies
  // on a device that counts (memory and network file systems, a driver
  // that keeps no counts), or when one of them cannot be read this time,
  // since a sum that lacks a device cannot be set beside one that has it.
  std::optional<DeviceWork> read() const;

 private:
  std::vector<std::string> sources_;
};

// Whether the file system that holds path is mounted read-only, so that no
// file on it can change. Nothing when it cannot be looked at.
std::optional<bool> is_read_only_mount(const std::string& path);

}  // namespace quarn::platform
