// What the system says about the device that holds a path.
#pragma once

#include <optional>
#include <string>

namespace quarn::platform {

// Whether the device that holds path says it has moving heads (a spinning
// disk), where reads side by side make it seek back and forth: the block
// queue's rotational flag on Linux, the seek penalty on Windows. Nothing
// when nobody says: a memory or network file system, a path that cannot be
// looked at, or a device that offers no such answer. Many virtual disks say
// so wrongly, in either direction; it is a hint for a default, never a rule.
std::optional<bool> is_rotational(const std::string& path);

// Whether the file system that holds path is mounted read-only, so that no
// file on it can change. Nothing when it cannot be looked at.
std::optional<bool> is_read_only_mount(const std::string& path);

}  // namespace quarn::platform
