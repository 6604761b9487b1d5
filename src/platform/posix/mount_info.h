// What the kernel's mount table (/proc/self/mountinfo) says of the file
// system on a device number.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace quarn::platform {

struct MountEntry {
  std::string type;    // "ext4", "devtmpfs", "fuseblk", "fuse"
  std::string source;  // "/dev/sda1", an image's path, "server:/export"; unescaped
};

// The entry of the file system mounted on device; nothing when none is.
std::optional<MountEntry> mount_entry_of(dev_t device);

// A field of the table as it was before the table escaped it: a space,
// tab, newline or backslash is written as a backslash and three octal
// digits.
std::string unescaped_mount_field(const std::string& field);

}  // namespace quarn::platform
