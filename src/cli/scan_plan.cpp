#include "cli/scan_plan.h"

#include <algorithm>
#include <set>

#include "cli/report.h"
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

// A PATH to check, with the line of --files-from that named it (0: the
// command line), so that a message can point at the line.
struct NamedPath {
  std::string path;
  std::size_t line = 0;
};

// The PATHs of a list, in its order, without its empty lines. A line may end
// in CR LF, as Windows editors write it; a name ended by NUL keeps every
// byte before the NUL, CR and LF included.
void add_listed(std::vector<NamedPath>& named, const std::string& bytes, bool null_separated) {
  const char end = null_separated ? '\0' : '\n';
  std::size_t line = 0;
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t stop = std::min(bytes.find(end, start), bytes.size());
    std::string name = bytes.substr(start, stop - start);
    start = stop + 1;
    ++line;
    if (!null_separated && name.ends_with('\r')) name.pop_back();
    if (!name.empty()) named.push_back({std::move(name), line});
  }
}

// The roots less every one that names the same file or folder as one before
// it, judged by identity, so that another spelling of a PATH is not walked
// twice. A PATH below another is kept: each walk passes the other PATHs
// over, so each is walked once as what it is, a start folder (which -x and
// the rule for the kernel's file systems treat as named) or a named file.
std::vector<ScanRoot> without_repeats(std::vector<ScanRoot> roots) {
  std::vector<ScanRoot> kept;
  // A set, since --files-from may name a whole disk's files.
  std::set<platform::FileIdentity> seen;
  for (ScanRoot& root : roots) {
    root.identity = platform::identity_of(root.target);
    if (root.identity && !seen.insert(*root.identity).second) continue;
    kept.push_back(std::move(root));
  }
  return kept;
}

}  // namespace

PlanOutcome plan_scan(const CliOptions& options) {
  std::vector<NamedPath> named;
  for (const std::string& path : options.paths) named.push_back({path});
  // Read whole before the first check, so that a list cut short by a
  // failing read starts no scan.
  const std::string list = options.files_from.value_or(std::string());
  if (options.files_from) {
    auto bytes = list == "-" ? platform::read_standard_input() : platform::read_to_end(list);
    if (!bytes) {
      return failure("cannot read the list " + quoted(list) + ": " + shown_error(platform::last_error()).reason);
    }
    add_listed(named, *bytes, options.null_separated);
  }

  ScanPlan plan;
  if (options.apply_path) {
    const std::string& path = *options.apply_path;
    auto text = platform::read_to_end(path);
    if (!text) {
      return failure("cannot read the plan " + quoted(path) + ": " + shown_error(platform::last_error()).reason);
    }
    PlanReading reading = read_plan(*text);
    if (!reading.plan) {
      return failure("the plan " + quoted(path) + " is refused, " + reading.error + "; nothing was changed");
    }
    plan.apply = std::move(reading.plan);
  }
  for (const NamedPath& one : named) {
    const std::string& path = one.path;
    // A fault of a listed PATH names its line, which may hold a name no
    // message can show plainly.
    const auto refuse = [&](std::string what) {
      if (one.line == 0) return failure(std::move(what));
      return failure("--files-from " + quoted(list) + ", line " + std::to_string(one.line) + ": " + std::move(what));
    };
    // Only a list can hold one: a name ends at a NUL byte for the system.
    if (path.find('\0') != std::string::npos) {
      return refuse("a name holds a NUL byte; -0 reads a list whose names end in NUL");
    }
    ScanRoot root;
    root.path = path;
    root.target = path;
    platform::NodeKind kind = platform::node_kind(path);
    if (kind == platform::NodeKind::link) {
      // Named on purpose, so followed once: a folder's walk starts at the
      // link (the walk follows a start folder's link itself), a file is
      // opened as the link's target.
      auto target = platform::full_path(path);
      if (!target) return refuse(quoted(path) + " is a link to nothing");
      root.target = *target;
      kind = platform::node_kind(root.target);
    }
    if (kind == platform::NodeKind::missing) return refuse(quoted(path) + " does not exist");
    if (kind != platform::NodeKind::directory && kind != platform::NodeKind::regular) {
      return refuse(quoted(path) + " is neither a regular file nor a folder");
    }
    auto full = platform::full_path(root.target);
    if (!full) return refuse("cannot find the full path of " + quoted(path));
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
    platform::clear_error();
    plan.backup = BackupStore::open(*options.backup_dir);
    if (!plan.backup) {
      return failure("cannot create the backup folder " + quoted(*options.backup_dir) + ": " +
                     shown_error(platform::last_error()).reason);
    }
    for (const ScanRoot& root : plan.roots) {
      // A PATH inside the store would walk the copies; one above it is fine,
      // since the walk passes the store over.
      if (plan.backup->holds(root.full)) {
        return failure(quoted(root.path) + " lies inside the backup folder " + quoted(*options.backup_dir));
      }
    }
    for (const PlannedFile& file : plan.apply ? plan.apply->files : std::vector<PlannedFile>{}) {
      if (plan.backup->holds(file.path)) {
        return failure(quoted(file.path) + " lies inside the backup folder " + quoted(*options.backup_dir));
      }
    }
  }

  if (options.jobs || plan.apply) {
    // A plan's files are remedied one at a time, in its order.
    plan.jobs = options.jobs.value_or(1);
  } else {
    // Whether the device seeks is found by measuring; what it says of
    // itself only asks for a clearer gain before reading more at once.
    plan.jobs = kMaxDefaultJobs;
    plan.adaptive_jobs = true;
    plan.seeks_hint = std::any_of(plan.roots.begin(), plan.roots.end(), [](const ScanRoot& root) {
      return platform::is_rotational(root.target).value_or(false);
    });
  }

  PlanOutcome outcome;
  outcome.plan = std::move(plan);
  return outcome;
}

}  // namespace quarn::cli
