#include "cli/cli_scanner.h"

#include <algorithm>
#include <set>
#include <utility>

#include "cli/json_output.h"
#include "cli/path_glob.h"
#include "cli/report.h"
#include "remedies/handlers.h"

namespace quarn::cli {
namespace {

// The log path that the engine opens: a file's, and nothing for a
// character device, which is neither held nor emptied. quarn-scan refuses a
// FIFO or a folder before it gets here.
std::optional<std::string> file_log_path(const std::optional<std::string>& path) {
  if (!path || platform::LogFile::place_of(*path) == platform::LogFile::Place::device) return std::nullopt;
  return path;
}

}  // namespace

CommandLineScanner::CommandLineScanner(const CliOptions& options, ScanPlan plan, ConsoleOutput& console)
    : CVirusScanner(remedies::make_handlers, nullptr, file_log_path(options.log_path)),
      report_only_(options.report_only),
      quiet_(options.quiet),
      wants_log_(options.log_path.has_value()),
      log_path_(options.log_path.value_or(std::string())),
      one_file_system_(options.one_file_system),
      json_(options.json),
      excludes_(options.excludes),
      roots_(std::move(plan.roots)),
      backup_(std::move(plan.backup)),
      wants_plan_(options.plan_path.has_value()),
      plan_to_apply_(std::move(plan.apply)),
      console_(console) {
  // A device is opened here, since the engine's own opening is for files
  // alone, as the window's log has always been.
  if (wants_log_ && !HasLog() && platform::LogFile::place_of(log_path_) == platform::LogFile::Place::device) {
    m_fileLog = platform::LogFile::open_device(log_path_);
  }
  std::vector<std::string> full_paths;
  for (const ScanRoot& root : roots_) full_paths.push_back(root.full);
  if (plan_to_apply_) full_paths = plan_to_apply_->paths;
  if (backup_) manifest_ = ManifestWriter::open(*backup_, new_run_record(full_paths));
  if (wants_plan_) plan_writer_ = PlanWriter::create(*options.plan_path, full_paths);
  if (plan.adaptive_jobs) {
    std::vector<std::string> targets;
    for (const ScanRoot& root : roots_) targets.push_back(root.target);
    set_adaptive_jobs(plan.jobs, plan.seeks_hint, platform::DeviceWorkCounter(targets));
  } else {
    set_jobs(plan.jobs);
  }
  // A PATH that lies below another is scanned as itself, once: the other's
  // walk passes it over. Each PATH looks once at each folder above it,
  // however many folders are named, as --files-from may name thousands.
  std::set<platform::FileIdentity> folders;
  for (const ScanRoot& root : roots_) {
    if (root.identity && !root.is_file) folders.insert(*root.identity);
  }
  for (const ScanRoot& root : roots_) {
    if (!root.identity || folders.empty()) continue;
    const platform::FileIdentity self = *root.identity;
    const auto another_folder = [&](const platform::FileIdentity& folder) {
      return folder != self && folders.contains(folder);
    };
    if (platform::lies_within(root.full, another_folder)) PassOverInWalks(self);
  }
}

CommandLineScanner::~CommandLineScanner() {
  // The worker uses the roots, the store and the console:
  // it must be gone before any of them is torn down.
  StopAndWaitForever();
}

void CommandLineScanner::Run() {
  RunWith([this] {
    if (plan_to_apply_) {
      ApplyPlan();
      return;
    }
    for (std::size_t i = 0; i < roots_.size(); ++i) {
      if (i > 0 && StopRequested()) break;
      current_root_ = i;
      const ScanRoot& root = roots_[i];
      root_device_ = root.identity ? std::optional<std::uint64_t>(root.identity->device) : std::nullopt;
      if (root.is_file) {
        ScanNamedFile(root);
      } else {
        ScanDirectory(root.path);
      }
    }
  });
}

std::string CommandLineScanner::full_path_of(const std::string& path) const {
  // A plan's paths are full already.
  if (roots_.empty()) return path;
  const ScanRoot& root = roots_[current_root_];
  // Every path of the walk is its root's text followed by plain names.
  if (path.compare(0, root.path.size(), root.path) == 0) return root.full + path.substr(root.path.size());
  return platform::full_path(path).value_or(path);
}

std::string CommandLineScanner::relative_path_of(const std::string& path) const {
  // Past the root's text the walk has joined plain names, which hold no
  // separator; a root that ends in one ("/mnt/c/") gives a run of two.
  const char separator = platform::separator();
  std::string relative = path.substr(std::min(path.size(), roots_[current_root_].path.size()));
  relative.erase(0, relative.find_first_not_of(separator));
  std::replace(relative.begin(), relative.end(), separator, '/');
  return relative;
}

void CommandLineScanner::ScanNamedFile(const ScanRoot& root) {
  // A file named through a link is opened as its target, and shown by the
  // name the user gave.
  auto placed = platform::PlacedFile::open(root.target);
  if (!placed) {
    ScanFile(root.path);  // fails the same way, and counts it
    return;
  }
  ScanFile(platform::FileAt{placed->folder, placed->name, root.path}, platform::identity_of(root.target));
}

namespace {

// What a remedy with this forecast does, as records name it.
RecordedAction action_of(const RemedyForecast& forecast, const CVirusHandler& handler) {
  if (forecast.status == STATUS_DELETED) return RecordedAction::remove;
  return std::string_view(handler_name(handler)) == "html" ? RecordedAction::cut : RecordedAction::restore;
}

bool changes_file(const RemedyForecast& forecast) {
  return forecast.status == STATUS_CLEANED || forecast.status == STATUS_DELETED;
}

}  // namespace

ScanStatus CommandLineScanner::ApplyRemedy(CVirusHandler& handler, const platform::FileAt& file) {
  last_handler_ = &handler;
  if (report_only_) return plan_writer_ ? PreviewIntoPlan(handler, file) : handler.Preview(file);
  if (!backup_ && !planned_) return handler.Clean(file);
  // A file that the remedy would leave as it is, or fail on, needs no copy.
  const RemedyForecast forecast = handler.Forecast(file);
  if (!changes_file(forecast)) return forecast.status;
  std::optional<ExpectedFile> planned;
  if (planned_) {
    if (action_of(forecast, handler) != planned_->action) {
      platform::record_error("changed", "its remedy would now be another than the plan's");
      return STATUS_ERROR;
    }
    planned = ExpectedFile{planned_->identity, planned_->bytes.size, planned_->bytes.sha256};
    if (!backup_) return handler.CleanExpected(file, *planned);
  }
  return CleanWithBackup(handler, file, forecast, planned ? &*planned : nullptr);
}

ScanStatus CommandLineScanner::PreviewIntoPlan(CVirusHandler& handler, const platform::FileAt& file) {
  const RemedyForecast forecast = handler.Forecast(file);
  if (!changes_file(forecast)) return forecast.status;
  PlannedFile planned;
  planned.path = full_path_of(file.path);
  planned.action = action_of(forecast, handler);
  auto source = platform::File::open_read(file.folder, file.name);
  std::optional<platform::FileIdentity> identity;
  std::optional<std::uint64_t> size;
  std::optional<platform::Sha256Digest> digest;
  if (source && (identity = source->identity()) && (size = source->size()) &&
      (digest = platform::hash_range(*source, 0, *size))) {
    planned.identity = *identity;
    planned.bytes = RecordedBytes{*size, *digest};
    if (plan_writer_->add(planned)) return forecast.status;
  }
  return STATUS_ERROR;
}

void CommandLineScanner::ApplyPlan() {
  for (const PlannedFile& file : plan_to_apply_->files) {
    if (StopRequested()) break;
    ApplyPlanned(file);
  }
}

void CommandLineScanner::ApplyPlanned(const PlannedFile& file) {
  platform::clear_error();
  std::string name;
  const auto folder = open_folder_of(plan_to_apply_->paths, file.path, name);
  std::optional<platform::FileIdentity> identity;
  if (folder) {
    // The file must still be the planned one before it is even searched,
    // so that a file that changed is named, not passed over in silence;
    // the remedy checks it again through its own handles.
    identity = folder->identity_of(name);
    auto opened = identity == file.identity ? platform::File::open_read(*folder, name) : std::nullopt;
    auto size = opened ? opened->size() : std::nullopt;
    auto digest = size ? platform::hash_range(*opened, 0, *size) : std::nullopt;
    if (digest && *size == file.bytes.size && *digest == file.bytes.sha256) {
      opened.reset();
      planned_ = &file;
      ScanFile(platform::FileAt{*folder, name, file.path}, identity);
      planned_ = nullptr;
      return;
    }
    if (identity != file.identity || digest) platform::record_error("changed", "changed since the plan");
  }
  // A plan is applied by the worker alone, one file at a time: no remedy
  // runs beside this.
  m_nScanErrors.fetch_add(1, std::memory_order_relaxed);
  ReportFailure("apply the plan to", file.path, "; it was left as it is");
}

std::string CommandLineScanner::manifest_path() const {
  return backup_ ? backup_->folder() + platform::separator() + kManifestName : std::string();
}

ScanStatus CommandLineScanner::CleanWithBackup(CVirusHandler& handler, const platform::FileAt& file,
                                               const RemedyForecast& forecast, const ExpectedFile* planned) {
  IntentRecord intent;
  intent.path = full_path_of(file.path);
  intent.action = action_of(forecast, handler);
  std::optional<platform::FileIdentity> identity;
  std::optional<SavedCopy> copy;
  {
    // The copy, the digests and the attributes come from one handle: what
    // the intent names is what was kept.
    auto source = platform::File::open_read(file.folder, file.name);
    std::optional<platform::FileAttributes> attributes;
    if (source && (identity = source->identity()) && (attributes = source->attributes())) {
      copy = backup_->save(*source, intent.path);
    }
    if (copy && planned &&
        (*identity != planned->identity || copy->size != planned->size || copy->sha256 != planned->sha256)) {
      backup_->discard(*copy);
      platform::record_error("changed", "changed since the plan");
      return STATUS_ERROR;
    }
    if (copy && forecast.status == STATUS_CLEANED) {
      auto after = platform::hash_range(*source, forecast.kept_offset, forecast.kept_size);
      if (after) {
        intent.after = RecordedBytes{forecast.kept_size, *after};
      } else {
        const platform::KeepError cause;
        backup_->discard(*copy);
        copy.reset();
      }
    }
    if (!copy) {
      ReportFailure("back up", file.path, "; it was left unchanged");
      failure_named_ = true;
      return STATUS_ERROR;
    }
    intent.before = RecordedBytes{copy->size, copy->sha256};
    intent.attributes = std::move(*attributes);
    intent.backup = copy->place;
  }  // closed: Win32 replaces or deletes no file that is open
  if (!manifest_->intend(intent)) {
    ReportFailure("write the manifest", manifest_path(), "; the file was left unchanged");
    failure_named_ = true;
    const platform::KeepError cause;
    backup_->discard(*copy);
    return STATUS_ERROR;
  }
  // Whatever failed on the way to the intent is no cause of the remedy's.
  platform::clear_error();
  const ScanStatus result = handler.CleanExpected(file, ExpectedFile{*identity, copy->size, copy->sha256});
  {
    const platform::KeepError cause;
    if (!manifest_->outcome(intent, result, platform::last_error()) && !std::exchange(manifest_failed_, true)) {
      // --undo reads the file's state, not the outcome, so the remedy
      // stands; the user still learns that the record is short.
      ReportFailure("write the manifest", manifest_path(), "; outcomes from here on are missing");
    }
  }
  // The remedy left the file exactly as it was, so the copy would only
  // clutter the store. After a failure the file may be partly changed, and
  // the copy stays. A copy of an earlier run that save found holding the
  // same bytes is not this run's to remove.
  if (result == STATUS_SCANNED) backup_->discard(*copy);
  return result;
}

platform::Abandoned CommandLineScanner::RemoveLeftover(CVirusHandler& handler, const platform::FileAt& file) {
  // A preview changes no byte on disk, a leftover's included.
  if (report_only_) return platform::Abandoned::not_ours;
  return CVirusScanner::RemoveLeftover(handler, file);
}

CVirusScanner::WalkDecision CommandLineScanner::ShouldWalk(const std::string& path, const platform::Folder& folder) {
  if (backup_ && backup_->is_store(folder)) return WalkDecision::pass_over;
  if (one_file_system_ && root_device_) {
    // As find -xdev: a folder on another file system is counted, not entered.
    auto identity = folder.identity();
    if (identity && identity->device != *root_device_) return WalkDecision::count_only;
  }
  return CVirusScanner::ShouldWalk(path, folder);
}

bool CommandLineScanner::ShouldPassOver(const std::string& path, bool folder) {
  if (excludes_.empty()) return false;
  const std::string relative = relative_path_of(path);
  for (const std::string& glob : excludes_) {
    if (glob_matches(glob, relative, folder)) {
      excluded_.fetch_add(1, std::memory_order_relaxed);
      return true;
    }
  }
  return false;
}

void CommandLineScanner::ReportFailure(std::string_view what, const std::string& path, std::string_view after) {
  const platform::ErrorRecord& record = platform::last_error();
  console_.note(error_note(what, path, record, after));
  if (json_ && !quiet_ && !console_.write(json_error_line(what, path, record))) Stop(StopWait::dont_wait);
}

void CommandLineScanner::OnFolderNotListed(const std::string& path) {
  ReportFailure("list the folder", path, "; the files in it were not scanned");
}

void CommandLineScanner::OnFileNotRead(const std::string& path) { ReportFailure("read", path, {}); }

void CommandLineScanner::OnLogLineLost() {
  // Once, at the first lost line: the disk that filled up stays full, and
  // a line for every file would bury the scan's own output.
  if (log_lines_lost_.fetch_add(1, std::memory_order_relaxed) == 0) ReportFailure("write the log", log_path_, {});
}

void CommandLineScanner::OnDataNotOnDisk(const std::string& path) {
  console_.note("quarn-scan: the data of " + platform::log_text(path) +
                " is not on this disk (offline or in the cloud); it was skipped unopened\n");
}

// A preview must not log "cleaned" for a file that was left alone: its log
// lines carry the preview's words, in the same format.
const char* CommandLineScanner::LogWord(ScanStatus status) const { return result_word(status, report_only_); }

void CommandLineScanner::OnFileResult(const char* pszPath, ScanStatus status) {
  const CVirusHandler* handler = std::exchange(last_handler_, nullptr);
  const bool named = std::exchange(failure_named_, false);
  // The remedy's reason is still this thread's record (CleanFile keeps it
  // over the log line).
  const platform::ErrorRecord& record = platform::last_error();
  if ((status & STATUS_ERROR) && !named) {
    console_.note(error_note(report_only_ ? "preview the remedy of" : "remedy", pszPath, record));
  }
  if (quiet_) return;
  // Nobody can read what a scan with a broken output does: it stops as on
  // Ctrl-C, at the next entry, instead of remedying on without a word.
  const std::string text = json_ ? json_file_line(status, report_only_, handler, pszPath, record)
                                 : result_line(status, report_only_, pszPath) + "\n";
  if (!console_.write(text)) Stop(StopWait::dont_wait);
}

}  // namespace quarn::cli
