#include "cli/path_glob.h"

#include <cstddef>
#include <vector>

namespace quarn::cli {
namespace {

// Matches a subject against a pattern in which a star stands for any run of
// the subject's items, and every other item of the pattern for one of them.
// On a mismatch only the latest star takes one item more: any choice of an
// earlier star's run that could still lead to a match can be made by the
// latest one as well. So each pattern position meets each subject position
// at most once per star, and the time is bounded by the product of the
// lengths. The same walk serves the bytes of a name and the names of a path.
template <typename Sequence, typename IsStar, typename Matches>
bool match_with_stars(const Sequence& pattern, const Sequence& subject, IsStar is_star, Matches matches) {
  std::size_t p = 0;
  std::size_t s = 0;
  std::size_t star = pattern.size();  // none yet
  std::size_t star_taken = 0;         // the subject's position when the star came
  while (s < subject.size()) {
    if (p < pattern.size() && is_star(pattern[p])) {
      star = p++;
      star_taken = s;
    } else if (p < pattern.size() && matches(pattern[p], subject[s])) {
      ++p;
      ++s;
    } else if (star < pattern.size()) {
      p = star + 1;
      s = ++star_taken;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && is_star(pattern[p])) ++p;
  return p == pattern.size();
}

bool name_matches(std::string_view glob, std::string_view name) {
  return match_with_stars(
      glob, name, [](char c) { return c == '*'; },
      [](char g, char c) { return g == '?' || g == c; });
}

std::vector<std::string_view> names_of(std::string_view path) {
  std::vector<std::string_view> names;
  for (std::size_t start = 0;;) {
    const std::size_t slash = path.find('/', start);
    names.push_back(path.substr(start, slash - start));
    if (slash == std::string_view::npos) return names;
    start = slash + 1;
  }
}

}  // namespace

bool glob_matches(std::string_view glob, std::string_view relative_path, bool folder) {
  if (glob.ends_with('/')) {
    if (!folder) return false;
    glob.remove_suffix(1);
  }
  if (glob.find('/') == std::string_view::npos) {
    return name_matches(glob, relative_path.substr(relative_path.rfind('/') + 1));
  }
  if (glob.starts_with('/')) glob.remove_prefix(1);
  return match_with_stars(
      names_of(glob), names_of(relative_path), [](std::string_view name) { return name == "**"; }, name_matches);
}

std::optional<std::string> glob_fault(std::string_view glob) {
  if (glob.empty()) return "an empty glob matches nothing";
  // A path has no empty name: "a//b" and "/" would never match anything.
  std::string_view names = glob;
  if (names.starts_with('/')) names.remove_prefix(1);
  if (names.ends_with('/')) names.remove_suffix(1);
  for (std::string_view name : names_of(names)) {
    if (name.empty()) return "a glob with an empty name matches nothing: " + std::string(glob);
  }
  return std::nullopt;
}

}  // namespace quarn::cli
