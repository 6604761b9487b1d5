// Checks a command line against the file system before any scan starts, so
// that bad usage ends the program without touching a file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/backup_store.h"
#include "cli/options.h"
#include "cli/plan.h"
#include "platform/fs.h"

namespace quarn::cli {

struct ScanRoot {
  std::string path;    // the user's text: every path shown begins with it
  std::string target;  // for a file: the file it names, a link's target if it is a link
  std::string full;  // its absolute form, for the backup store
  bool is_file = false;
  // What target named when the plan was made; nothing if it could not be
  // looked at.
  std::optional<platform::FileIdentity> identity;
};

struct ScanPlan {
  std::vector<ScanRoot> roots;
  std::optional<BackupStore> backup;
  // The threads that search files: --jobs; without it the most that the
  // scan may grow to as it finds how many reads at once pay.
  unsigned jobs = 1;
  bool adaptive_jobs = false;
  // Some PATH lies on a disk that says it spins: a hint for that search.
  bool seeks_hint = false;
  // With --apply: the plan, read whole and checked, instead of roots.
  std::optional<Plan> apply;
};

// Most threads a scan takes unasked: each holds a ring of 128 KiB, and more
// only queue for the same disk. A device that answers fast gets fewer.
inline constexpr unsigned kMaxDefaultJobs = 16;

// Either a plan, or one line that says what is wrong.
struct PlanOutcome {
  std::optional<ScanPlan> plan;
  std::string error;
};

// Every PATH must be an existing folder or regular file, and so must every
// one that --files-from lists, after those of the command line; the list is
// read whole first, and a fault of a listed one names its line. A PATH that is a
// link was named on purpose and is followed once: the walk starts at its
// target. The backup folder is created here and must not hold any PATH.
// The jobs are chosen here when the command line names none. With --apply
// the plan is read and checked here instead, whole, before any file.
PlanOutcome plan_scan(const CliOptions& options);

}  // namespace quarn::cli
