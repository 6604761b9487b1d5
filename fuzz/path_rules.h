// What the fuzzers of the manifest and of the plan share: the rule that a
// record's path must keep to, and the check that stops the run when a
// promise is broken.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"

namespace quarn::fuzz {

// A broken promise is a crash, which libFuzzer reports with its input.
inline void check(bool holds) {
  if (!holds) std::abort();
}

inline bool is_separator(char c) { return c == '/' || c == platform::separator(); }

// True when text is names with single separators between them, none "."
// or "..": put here in other terms than the reader's own rule, so that a
// fault in that rule cannot hide itself.
inline bool plain(std::string_view text) {
  std::string framed = "/" + std::string(text) + "/";
  std::replace(framed.begin(), framed.end(), platform::separator(), '/');
  return !text.empty() && framed.find("//") == std::string::npos && framed.find("/./") == std::string::npos &&
         framed.find("/../") == std::string::npos;
}

// The path is one of the roots, or one of them followed by plain names.
inline bool below_a_root(const std::string& path, const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    if (path == root) return true;
    if (root.empty() || path.size() <= root.size() || path.compare(0, root.size(), root) != 0) continue;
    std::string_view rest = std::string_view(path).substr(root.size());
    if (!is_separator(root.back())) {
      if (!is_separator(rest.front())) continue;
      rest.remove_prefix(1);
    }
    if (plain(rest)) return true;
  }
  return false;
}

}  // namespace quarn::fuzz
