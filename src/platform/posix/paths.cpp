#include "platform/fs.h"

#include <stdlib.h>

#include <memory>

namespace quarn::platform {

std::optional<std::string> full_path(const std::string& path) {
  std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr), &::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

std::string path_without_root(const std::string& absolute) {
  std::size_t start = absolute.find_first_not_of('/');
  return start == std::string::npos ? std::string() : absolute.substr(start);
}

}  // namespace quarn::platform
