// The globs of --exclude against relative paths, and the globs refused.
#include <gtest/gtest.h>

#include <string>

#include "cli/path_glob.h"

namespace quarn::cli {
namespace {

std::string repeated(const std::string& part, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += part;
  return text;
}

TEST(PathGlob, matches_names_within_one_folder_and_double_stars_across_any_number) {
  const std::string many_a = repeated("a", 100000);
  const struct {
    std::string glob;
    std::string path;
    bool folder;
    bool matches;
  } cases[] = {
      {"*.log", "z.log", false, true},
      {"*.log", "x/y/z.log", false, true},  // no "/": the last name, at any depth
      {"*.log", "x.log/y", false, false},
      {"x/*.log", "x/y/z.log", false, false},  // "*" never crosses "/"
      {"x/*/z.log", "x/y/z.log", false, true},
      {"?.txt", "a.txt", false, true},
      {"?.txt", "ab.txt", false, false},
      {"x/a?b", "x/a/b", false, false},
      {"**/b", "b", false, true},  // "**" at the start, for no folder
      {"**/b", "x/y/b", false, true},
      {"a/**/b", "a/b", false, true},  // in the middle
      {"a/**/b", "a/x/y/b", false, true},
      {"a/**/b", "a/x/y/c", false, false},
      {"a/**", "a/x/y", false, true},  // at the end
      {"a/**", "b/a/x", false, false},
      {"/top.eml", "top.eml", false, true},  // a leading "/" anchors
      {"/top.eml", "d/top.eml", false, false},
      {"logs/", "x/logs", true, true},  // a trailing "/": folders alone
      {"logs/", "x/logs", false, false},
      {"*a*a*a*a*a*b", many_a, false, false},  // hostile: fails only at the last byte
      {"*a*a*a*a*a*b", many_a + "b", false, true},
      {"**/a/**/a/**/a/**/b", repeated("a/", 3000) + "a", false, false},
      {"**/a/**/a/**/a/**/b", repeated("a/", 3000) + "b", false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(glob_matches(c.glob, c.path, c.folder), c.matches) << c.glob << " " << c.path.substr(0, 40);
  }
  for (const char* bad : {"", "/", "a//b"}) EXPECT_TRUE(glob_fault(bad)) << bad;
  for (const char* good : {"a", "/a/", "**"}) EXPECT_FALSE(glob_fault(good)) << good;
}

}  // namespace
}  // namespace quarn::cli
