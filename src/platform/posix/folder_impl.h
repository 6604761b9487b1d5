// The POSIX handles behind a Folder and a DirectoryListing, shared by the
// files that implement them.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include "platform/directory.h"
#include "platform/folder.h"

namespace quarn::platform {

// The extended attribute that carries File::create_unique's marker.
inline constexpr char kMarkerAttribute[] = "user.quarn.marker";

struct Folder::Impl {
  int fd = -1;
  ~Impl() {
    if (fd >= 0) ::close(fd);
  }
};

struct DirectoryListing::Impl {
  DIR* dir = nullptr;
  ~Impl() {
    if (dir != nullptr) ::closedir(dir);
  }
};

}  // namespace quarn::platform
