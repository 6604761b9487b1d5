#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace quarn::platform {

bool record_system_error() { return record_system_error(errno); }

const char* error_word(int code) {
  switch (code) {
    case EACCES:
    case EPERM: return "permission";
    case EROFS: return "read-only";
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return "no-space";
    case ENOENT:
    case ENOTDIR: return "not-found";
    case EEXIST:
    case ENOTEMPTY: return "exists";
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return "in-use";
    case EIO:
    case ENXIO:
    case EUCLEAN: return "io";
    case ENAMETOOLONG: return "name-too-long";
    case ENOSYS:
    case EOPNOTSUPP:
    case EXDEV: return "not-supported";
    case ENOMEM: return "no-memory";
    case EMFILE:
    case ENFILE: return "too-many-files";
    default: return "other";
  }
}

std::string error_reason(int code) {
  char buffer[256];
  // The GNU strerror_r: it returns the text, in buffer or in static storage.
  return ::strerror_r(code, buffer, sizeof buffer);
}

}  // namespace quarn::platform
