// A temporary folder tree for one test, removed with everything in it when
// the fixture goes away. Tests never touch $HOME or the real root folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folder.h"

namespace quarn::testing {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  // root, the platform separator and relative (whose "/" become separators)
  std::string path(std::string_view relative) const;
  // Writes a file (creating folders above it) and returns its full path.
  std::string write(std::string_view relative, std::string_view contents);
  std::string make_dir(std::string_view relative);

 private:
  std::string root_;
};

std::string read_file(const std::string& path);
// The file at path with its folder open, as a handler or a remedy is given
// it by the walk. Throws when the folder cannot be opened.
platform::PlacedFile placed(const std::string& path);
bool exists(const std::string& path);
// Every regular file below root, relative path and contents, sorted.
std::vector<std::pair<std::string, std::string>> snapshot(const std::string& root);

}  // namespace quarn::testing
