// Reading quarn-scan's text output in the tests of the built binary: the
// per-file lines, the summary's items, and what the sample tree makes.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "cli/scan_run.h"
#include "support/temp_tree.h"
#include "tools/sample_tree.h"

namespace quarn::testing {

inline constexpr char kInfectedMail[] = "From: a@example.invalid\r\n\r\nHi.\r\n";
inline constexpr char kDamagedProgram[] = "This is no program. Concept Virus\r\n";

// Each regular file below root, by path, with its bytes, permissions and
// modification time: equal states are a tree left exactly as it was.
using FileStates =
    std::map<std::string, std::tuple<std::string, std::filesystem::perms, std::filesystem::file_time_type>>;
inline FileStates files_as_they_are(const std::string& root) {
  FileStates files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    files[entry.path().string()] = {read_file(entry.path().string()), entry.status().permissions(),
                                    entry.last_write_time()};
  }
  return files;
}

struct SplitOutput {
  std::vector<std::string> results;  // the per-file lines, in their order
  std::vector<std::string> summary;  // the lines after the blank line
};

inline SplitOutput split(const std::string& out) {
  SplitOutput parts;
  bool after_blank = false;
  for (const std::string& line : lines_of(out)) {
    if (!after_blank && line.empty()) {
      after_blank = true;
    } else {
      (after_blank ? parts.summary : parts.results).push_back(line);
    }
  }
  return parts;
}

inline std::vector<std::string> sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The summary's items by label; the order is checked separately.
inline std::map<std::string, std::string> items_of(const std::vector<std::string>& summary) {
  std::map<std::string, std::string> items;
  for (const std::string& line : summary) {
    auto colon = line.find(": ");
    if (colon != std::string::npos) items[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return items;
}

inline std::vector<std::string> expected_lines(const sample::SampleTree& tree) {
  std::vector<std::string> lines;
  for (std::string line : tree.expected_log_lines()) {
    line.resize(line.size() - 2);  // the log's CR LF
    lines.push_back(line);
  }
  return sorted(lines);
}

inline int expected_status(const sample::SampleTree& tree) {
  const auto counts = tree.expected_counts();
  if (counts.errors > 0) return 2;
  return counts.infected > 0 ? 1 : 0;
}

}  // namespace quarn::testing
