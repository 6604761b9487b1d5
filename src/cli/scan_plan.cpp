#include "cli/scan_plan.h"

#include <algorithm>
#include <thread>

#include "platform/storage.h"

namespace quarn::cli {
namespace {

PlanOutcome failure(std::string what) {
  PlanOutcome outcome;
  outcome.error = "quarn-scan: " + std::move(what);
  return outcome;
}

// A name as it appears in a message: control bytes escaped, in quotes.
// Built by appending: GCC 12 at -O3 takes "literal" + a temporary string for
// an overlapping copy (-Wrestrict).
std::string quoted(const std::string& name) {
  std::string text = "'";
  text += platform::log_text(name);
  text += '\'';
  return text;
}

// The roots less every one that names the same file or folder as one before
// it, judged by identity, so that another spelling of a PATH is not walked
// twice. A PATH below another is kept: each walk passes the other PATHs
// over, so each is walked once as what it is, a start folder (which -x and
// the rule for the kernel's file systems treat as named) or a named file.
std::vector<ScanRoot> without_repeats(std::vector<ScanRoot> roots) {
  std::vector<ScanRoot> kept;
  std::vector<platform::FileIdentity> seen;
  for (ScanRoot& root : roots) {
    auto identity = platform::identity_of(root.target);
    if (identity && std::find(seen.begin(), seen.end(), *identity) != seen.end()) continue;
    if (identity) seen.push_back(*identity);
    kept.push_back(std::move(root));
  }
  return kept;
}

}  // namespace

unsigned default_jobs(bool on_rotational_disk, unsigned processors) {
  if (on_rotational_disk) return 1;
  return std::clamp(processors, 1u, kMaxDefaultJobs);
}

PlanOutcome plan_scan(const CliOptions& options) {
  ScanPlan plan;
  for (const std::string& path : options.paths) {
    ScanRoot root;
    root.path = path;
    root.target = path;
    platform::NodeKind kind = platform::node_kind(path);
    if (kind == platform::NodeKind::link) {
      // Named on purpose, so followed once: a folder's walk starts at the
      // link (the walk follows a start folder's link itself), a file is
      // opened as the link's target.
      auto target = platform::full_path(path);
      if (!target) return failure(quoted(path) + " is a link to nothing");
      root.target = *target;
      kind = platform::node_kind(root.target);
    }
    if (kind == platform::NodeKind::missing) return failure(quoted(path) + " does not exist");
    if (kind != platform::NodeKind::directory && kind != platform::NodeKind::regular) {
      return failure(quoted(path) + " is neither a regular file nor a folder");
    }
    auto full = platform::full_path(root.target);
    if (!full) return failure("cannot find the full path of " + quoted(path));
    root.full = *full;
    root.is_file = kind == platform::NodeKind::regular;
    plan.roots.push_back(std::move(root));
  }
  plan.roots = without_repeats(std::move(plan.roots));

  // Every remedy would fail there, one file at a time, after a long walk; a
  // preview changes nothing and still runs.
  if (!options.report_only) {
    for (const ScanRoot& root : plan.roots) {
      if (platform::is_read_only_mount(root.target).value_or(false)) {
        return failure(quoted(root.path) +
                       " is mounted read-only: nothing can be cleaned; a hibernated or unclean Windows volume is "
                       "mounted so by ntfs-3g (--report-only still looks)");
      }
    }
  }

  if (options.backup_dir) {
    plan.backup = BackupStore::open(*options.backup_dir);
    if (!plan.backup) return failure("cannot create the backup folder " + quoted(*options.backup_dir));
    for (const ScanRoot& root : plan.roots) {
      // A PATH inside the store would walk the copies; one above it is fine,
      // since the walk passes the store over.
      if (plan.backup->holds(root.full)) {
        return failure(quoted(root.path) + " lies inside the backup folder " + quoted(*options.backup_dir));
      }
    }
  }

  if (options.jobs) {
    plan.jobs = *options.jobs;
  } else {
    const bool spins = std::any_of(plan.roots.begin(), plan.roots.end(), [](const ScanRoot& root) {
      return platform::is_rotational(root.target).value_or(false);
    });
    plan.jobs = default_jobs(spins, std::thread::hardware_concurrency());
  }

  PlanOutcome outcome;
  outcome.plan = std::move(plan);
  return outcome;
}

}  // namespace quarn::cli
