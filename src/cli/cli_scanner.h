// The scanner behind quarn-scan: the window's engine, walking several roots
// in one run, printing each remedied file at once, and either backing files
// up before their remedy or only previewing what the remedy would do.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/backup_store.h"
#include "cli/console_output.h"
#include "cli/options.h"
#include "cli/scan_plan.h"
#include "platform/log_file.h"
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
  bool log_ready() const { return !wants_log_ || HasLog() || report_log_.has_value(); }

 protected:
  ScanStatus ApplyRemedy(CVirusHandler& handler, const std::string& path) override;
  bool ShouldWalk(const std::string& folder) override;
  void OnFileResult(const char* pszPath, ScanStatus status) override;

 private:
  std::string full_path_of(const std::string& path) const;

  const bool report_only_;
  const bool quiet_;
  const bool wants_log_;
  const bool json_;
  std::vector<ScanRoot> roots_;
  std::optional<BackupStore> backup_;
  // A preview must not log "cleaned" for a file that was left alone, so it
  // keeps a log of its own with the preview's words, in the same format.
  std::optional<platform::LogFile> report_log_;
  ConsoleOutput& console_;
  std::size_t current_root_ = 0;  // the root being walked; worker thread only
  // The handler whose remedy decided the file's result, for --json; worker
  // thread only.
  const CVirusHandler* last_handler_ = nullptr;
};

}  // namespace quarn::cli
