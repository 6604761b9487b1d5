#include "remedies/remedy_io.h"

#include "platform/fs.h"

namespace quarn::remedies {

bool RemedyIo::replace_file(const std::string& from, const std::string& to) { return platform::replace_file(from, to); }

bool RemedyIo::delete_file(const std::string& path) { return platform::delete_file(path); }

RemedyIo& RemedyIo::system() {
  static RemedyIo io;
  return io;
}

}  // namespace quarn::remedies
