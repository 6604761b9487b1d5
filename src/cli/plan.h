// A plan: what a preview (--report-only --plan FILE) found to do, for
// --apply FILE to do exactly that and nothing else. JSON Lines:
// docs/plan.md describes the format.
//
// The first line names the PATHs; each file to remedy gets a line with its
// path, identity, size, SHA-256 and action; a last "end" line holds the
// count of file lines and the SHA-256 of every line before it. A plan whose
// scan was stopped gets no end line, so it can never be applied as if it
// were whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/manifest.h"
#include "platform/fs.h"
#include "platform/log_file.h"
#include "platform/sha256.h"

namespace quarn::cli {

inline constexpr int kPlanVersion = 1;

struct PlannedFile {
  std::string path;  // full path
  platform::FileIdentity identity;
  RecordedBytes bytes;
  RecordedAction action = RecordedAction::remove;
};

class PlanWriter {
 public:
  // Creates or empties the plan file and writes its first line. Nothing,
  // with the reason recorded, when that fails.
  static std::optional<PlanWriter> create(const std::string& path, const std::vector<std::string>& paths);

  bool add(const PlannedFile& file);
  // The end line: only a plan written to its end gets one.
  bool finish();

 private:
  explicit PlanWriter(platform::LogFile file) : file_(std::move(file)) {}
  bool write(const std::string& line);

  platform::LogFile file_;
  platform::Sha256 lines_;
  std::uint64_t count_ = 0;
};

struct Plan {
  std::vector<std::string> paths;
  std::vector<PlannedFile> files;
};

struct PlanReading {
  std::optional<Plan> plan;
  std::string error;  // "line 3: ..." when refused
};

// Reads a plan whole. One without its end line, with a count or digest
// that does not match its lines, of another version, with a line that does
// not parse or a path outside its PATHs is refused, naming the line.
PlanReading read_plan(const std::string& text);

}  // namespace quarn::cli
