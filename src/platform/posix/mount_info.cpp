#include "platform/posix/mount_info.h"

#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

namespace quarn::platform {

std::string unescaped_mount_field(const std::string& field) {
  auto is_octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && field.size() - i >= 4 && is_octal(field[i + 1]) && is_octal(field[i + 2]) &&
        is_octal(field[i + 3])) {
      text.push_back(
          static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
      i += 3;
    } else {
      text.push_back(field[i]);
    }
  }
  return text;
}

std::optional<MountEntry> mount_entry_of(dev_t device) {
  std::ifstream mounts("/proc/self/mountinfo");
  const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers;
    if (!(fields >> id >> parent >> numbers) || numbers != wanted) continue;
    // The type and the source follow the "-" that ends the optional fields.
    std::string field;
    while (fields >> field && field != "-") {
    }
    MountEntry entry;
    if (fields >> entry.type >> entry.source) {
      entry.source = unescaped_mount_field(entry.source);
      return entry;
    }
  }
  return std::nullopt;
}

}  // namespace quarn::platform
