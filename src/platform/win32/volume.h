// The volume that holds a path, as a device that can be asked about it.
#pragma once

#include <optional>
#include <string>

namespace quarn::platform::win32 {

// The device of the volume that holds path: "\\.\C:" for a drive letter's
// volume, the volume's own name ("\\?\Volume{...}") for one mounted on a
// folder. Nothing for a network share or a path that cannot be resolved.
std::optional<std::wstring> volume_device_of(const std::string& path);

}  // namespace quarn::platform::win32
