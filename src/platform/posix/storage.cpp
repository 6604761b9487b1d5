#include "platform/storage.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>

#include "platform/posix/mount_info.h"

namespace quarn::platform {

namespace {

// The folder that describes the block device holding path. A FUSE driver
// (ntfs-3g on a disk or a disk image) and btrfs have anonymous devices
// (major 0); the bytes come from the mount's source, a block device or a
// file on one. A network's or a memory file system's source names no file
// here, and gets no answer.
std::optional<std::string> device_folder_of(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  dev_t device = st.st_dev;
  if (major(device) == 0) {
    const auto entry = mount_entry_of(device);
    struct stat source;
    if (!entry || entry->source.empty() || entry->source[0] != '/' || ::stat(entry->source.c_str(), &source) != 0) {
      return std::nullopt;
    }
    if (S_ISBLK(source.st_mode)) {
      device = source.st_rdev;
    } else if (S_ISREG(source.st_mode)) {
      device = source.st_dev;
    } else {
      return std::nullopt;
    }
  }
  return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

}  // namespace

std::optional<bool> is_rotational(const std::string& path) {
  const auto device = device_folder_of(path);
  if (!device) return std::nullopt;
  // A partition has no queue of its own; its disk's is one folder up.
  for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
    std::ifstream in(*device + queue);
    int flag = 0;
    if (in >> flag) return flag != 0;
  }
  return std::nullopt;
}

DeviceWorkCounter::DeviceWorkCounter(const std::vector<std::string>& paths) {
  // A partition counts its own requests, in its own stat file.
  for (const std::string& path : paths) {
    const auto device = device_folder_of(path);
    if (device && std::find(sources_.begin(), sources_.end(), *device + "/stat") == sources_.end()) {
      sources_.push_back(*device + "/stat");
    }
  }
}

std::optional<DeviceWork> DeviceWorkCounter::read() const {
  if (sources_.empty()) return std::nullopt;
  DeviceWork sum;
  for (const std::string& source : sources_) {
    // Reads, merges, sectors and milliseconds, then the same four for
    // writes, then requests in flight and the milliseconds during which
    // there was at least one.
    std::ifstream in(source);
    std::uint64_t fields[10] = {};
    for (std::uint64_t& field : fields) {
      if (!(in >> field)) return std::nullopt;
    }
    sum.requests += fields[0] + fields[4];
    sum.busy_seconds += static_cast<double>(fields[9]) / 1000;
  }
  return sum;
}

std::optional<bool> is_read_only_mount(const std::string& path) {
  struct statvfs fs;
  if (::statvfs(path.c_str(), &fs) != 0) return std::nullopt;
  return (fs.f_flag & ST_RDONLY) != 0;
}

}  // namespace quarn::platform
