// The scanner behind quarn-scan: the window's engine, walking several roots
// in one run, printing each remedied file at once, and either backing files
// up before their remedy or only previewing what the remedy would do.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/backup_store.h"
#include "cli/console_output.h"
#include "cli/manifest.h"
#include "cli/options.h"
#include "cli/plan.h"
#include "cli/scan_plan.h"
#include "scan/virus_scanner.h"

namespace quarn::cli {

class CommandLineScanner : public CVirusScanner {
 public:
  // The console must outlive the scanner: the worker writes to it.
  CommandLineScanner(const CliOptions& options, ScanPlan plan, ConsoleOutput& console);
  ~CommandLineScanner() override;

  // Walks the roots in turn; a stop request is also honoured between two.
  void Run() override;

  // False when a log was asked for and could not be opened.
  bool log_ready() const { return !wants_log_ || HasLog(); }
  // False when --backup was given and its manifest could not take the
  // run's first line.
  bool manifest_ready() const { return !backup_ || manifest_.has_value(); }
  std::string manifest_path() const;
  // False when --plan was given and the plan file could not be created.
  bool plan_ready() const { return !wants_plan_ || plan_writer_.has_value(); }
  // Ends the plan with its end line, once a preview has run to its end.
  bool finish_plan() { return plan_writer_ && plan_writer_->finish(); }
  // How many files' log lines could not be written; each is also a scan
  // error.
  std::int64_t log_lines_lost() const { return log_lines_lost_.load(std::memory_order_relaxed); }
  // How many folders and files --exclude left out (what lies in a folder
  // left out is not counted: it was never listed).
  std::int64_t excluded() const { return excluded_.load(std::memory_order_relaxed); }

 protected:
  ScanStatus ApplyRemedy(CVirusHandler& handler, const platform::FileAt& file) override;
  platform::Abandoned RemoveLeftover(CVirusHandler& handler, const platform::FileAt& file) override;
  WalkDecision ShouldWalk(const std::string& path, const platform::Folder& folder) override;
  bool ShouldPassOver(const std::string& path, bool folder) override;
  void OnFolderNotListed(const std::string& path) override;
  void OnDataNotOnDisk(const std::string& path) override;
  void OnFileNotRead(const std::string& path) override;
  void OnLogLineLost() override;
  void OnFileResult(const char* pszPath, ScanStatus status) override;
  const char* LogWord(ScanStatus status) const override;

 private:
  std::string full_path_of(const std::string& path) const;
  // The path below the root being walked, with "/" between its names, as
  // the globs of --exclude see it.
  std::string relative_path_of(const std::string& path) const;
  // Names a failure and its reason (this thread's record) on stderr, and
  // with --json also on stdout.
  void ReportFailure(std::string_view what, const std::string& path, std::string_view after);
  void ScanNamedFile(const ScanRoot& root);
  // The remedy with --backup: the copy and the intent on the disk first,
  // then the remedy of exactly the bytes kept, then its outcome.
  // With a planned file, the bytes kept must be the ones planned.
  ScanStatus CleanWithBackup(CVirusHandler& handler, const platform::FileAt& file, const RemedyForecast& forecast,
                             const ExpectedFile* planned);
  // A preview's remedy with --plan: the forecast, and its file's line.
  ScanStatus PreviewIntoPlan(CVirusHandler& handler, const platform::FileAt& file);
  // --apply: each planned file, only while it is the one planned.
  void ApplyPlan();
  void ApplyPlanned(const PlannedFile& file);

  const bool report_only_;
  const bool quiet_;
  const bool wants_log_;
  const std::string log_path_;
  const bool one_file_system_;
  const bool json_;
  const std::vector<std::string> excludes_;
  std::vector<ScanRoot> roots_;
  std::optional<BackupStore> backup_;
  std::optional<ManifestWriter> manifest_;
  const bool wants_plan_;
  std::optional<PlanWriter> plan_writer_;
  std::optional<Plan> plan_to_apply_;
  // The planned file being applied, for its remedy; worker thread only.
  const PlannedFile* planned_ = nullptr;
  // The manifest could not take a line: said once, as a full disk stays full.
  bool manifest_failed_ = false;
  ConsoleOutput& console_;
  // The root being walked and the device it lies on; worker thread only.
  std::size_t current_root_ = 0;
  std::optional<std::uint64_t> root_device_;
  // The handler whose remedy decided the file's result, for --json; worker
  // thread only.
  const CVirusHandler* last_handler_ = nullptr;
  // The file's failure has been named already (its backup failed); under
  // the result lock.
  bool failure_named_ = false;
  std::atomic<std::int64_t> log_lines_lost_{0};
  std::atomic<std::int64_t> excluded_{0};
};

}  // namespace quarn::cli
