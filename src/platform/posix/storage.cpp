#include "platform/storage.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <fstream>

namespace quarn::platform {

std::optional<bool> is_rotational(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  // Memory and network file systems have anonymous devices (major 0), which
  // have no entry below /sys/dev/block; they get no answer.
  const std::string device =
      "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  // A partition has no queue of its own; its disk's is one folder up.
  for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
    std::ifstream in(device + queue);
    int flag = 0;
    if (in >> flag) return flag != 0;
  }
  return std::nullopt;
}

std::optional<bool> is_read_only_mount(const std::string& path) {
  struct statvfs fs;
  if (::statvfs(path.c_str(), &fs) != 0) return std::nullopt;
  return (fs.f_flag & ST_RDONLY) != 0;
}

}  // namespace quarn::platform
