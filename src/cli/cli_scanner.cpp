#include "cli/cli_scanner.h"

#include <stdexcept>

#include "cli/json_output.h"
#include "cli/report.h"

namespace quarn::cli {
namespace {

// In a preview the scanner's own log stays closed; the preview log is opened
// by the derived scanner instead.
std::optional<std::string> engine_log(const CliOptions& options) {
  return options.report_only ? std::nullopt : options.log_path;
}

}  // namespace

CommandLineScanner::CommandLineScanner(const CliOptions& options, ScanPlan plan, ConsoleOutput& console)
    : CVirusScanner(nullptr, engine_log(options)),
      report_only_(options.report_only),
      quiet_(options.quiet),
      wants_log_(options.log_path.has_value()),
      json_(options.json),
      roots_(std::move(plan.roots)),
      backup_(std::move(plan.backup)),
      console_(console) {
  if (options.report_only && options.log_path) report_log_ = platform::LogFile::open_exclusive(*options.log_path);
}

CommandLineScanner::~CommandLineScanner() {
  // The worker uses the roots, the store, the preview log and the console:
  // it must be gone before any of them is torn down.
  StopAndWaitForever();
}

void CommandLineScanner::Run() {
  RunWith([this] {
    for (std::size_t i = 0; i < roots_.size(); ++i) {
      if (i > 0 && m_nThreadState.load(std::memory_order_relaxed) == kStopRequested) break;
      current_root_ = i;
      const ScanRoot& root = roots_[i];
      if (root.is_file) {
        ScanFile(root.path);
      } else {
        ScanDirectory(root.path);
      }
    }
  });
}

std::string CommandLineScanner::full_path_of(const std::string& path) const {
  const ScanRoot& root = roots_[current_root_];
  // Every path of the walk is its root's text followed by plain names.
  if (path.compare(0, root.path.size(), root.path) == 0) return root.full + path.substr(root.path.size());
  return platform::full_path(path).value_or(path);
}

ScanStatus CommandLineScanner::ApplyRemedy(CVirusHandler& handler, const std::string& path) {
  last_handler_ = &handler;
  if (report_only_) return handler.Preview(path.c_str());
  if (!backup_) return handler.Clean(path.c_str());
  auto copy = backup_->save(path, full_path_of(path));
  if (!copy) {
    console_.note("quarn-scan: cannot back up " + platform::log_text(path) + "; it was left unchanged\n");
    return STATUS_ERROR;
  }
  const ScanStatus result = handler.Clean(path.c_str());
  // The remedy left the file exactly as it was, so the copy would only
  // clutter the store. After a failure the file may be partly changed, and
  // the copy stays.
  if (result == STATUS_SCANNED) platform::delete_file(*copy);
  return result;
}

bool CommandLineScanner::ShouldWalk(const std::string& folder) { return !backup_ || !backup_->is_store(folder); }

void CommandLineScanner::OnFileResult(const char* pszPath, ScanStatus status) {
  const std::string line = result_line(status, report_only_, pszPath);
  // A failed log write ends this file's accounting in ScanFile, which counts
  // it as one more scan error, as the engine's own log does.
  if (report_log_ && !report_log_->write(line + "\r\n")) throw std::runtime_error("scan log write failed");
  // Nobody can read what a scan with a broken output does: it stops as on
  // Ctrl-C, at the next entry, instead of remedying on without a word.
  if (!quiet_ && !console_.write(json_ ? json_file_line(status, report_only_, last_handler_, pszPath) : line + "\n")) {
    Stop(false);
  }
  last_handler_ = nullptr;
}

}  // namespace quarn::cli
