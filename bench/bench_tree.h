// The benchmark trees: one of large files and one of many small ones, with
// the scanned extensions and a few that are skipped. Random bytes, no
// signature, so a run changes nothing on disk.
#pragma once

#include <cstdint>
#include <string>

namespace quarn::bench {

struct TreeShape {
  int folders;
  int files_per_folder;
  std::uint64_t min_size;
  std::uint64_t max_size;
};

inline constexpr TreeShape kLargeFiles{2, 4, 24u << 20, 40u << 20};   // 8 files, about 256 MiB
inline constexpr TreeShape kSmallFiles{50, 80, 512, 24u << 10};       // 4000 files, about 50 MiB
// The mixed tree: programs and pages side by side, as a user's folders hold
// them, in two parts below the same root.
inline constexpr TreeShape kMixedPrograms{1, 8, 8u << 20, 24u << 20};  // 8 files, about 128 MiB
inline constexpr TreeShape kMixedPages{20, 100, 1u << 10, 60u << 10};  // 2000 files, about 60 MiB

// Writes the tree below root (created if missing) unless a previous run left
// a complete one there. Returns the number of bytes in scanned files.
std::uint64_t ensure_tree(const std::string& root, const TreeShape& shape);

}  // namespace quarn::bench
