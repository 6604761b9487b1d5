// The command line of quarn-scan. Scripts rely on it: options are only ever
// added, never renamed or given another meaning.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quarn::cli {

inline constexpr int kExitClean = 0;
inline constexpr int kExitInfected = 1;
inline constexpr int kExitError = 2;  // a scan error or bad usage
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitTerminated = 143;

struct CliOptions {
  std::vector<std::string> paths;
  std::optional<std::string> log_path;
  std::optional<std::string> backup_dir;
  bool quiet = false;
  bool no_summary = false;
  bool report_only = false;
  bool one_file_system = false;
  bool json = false;
  // Threads that search files at once; 1 scans each file in the walk's
  // order. Nothing: chosen by plan_scan from the processors and the disks.
  std::optional<unsigned> jobs;
  // Globs of the paths below a PATH that the walk leaves out (path_glob.h).
  std::vector<std::string> excludes;
  // A list of more PATHs ("-": the standard input), one a line, or each
  // ended by a NUL byte when null_separated (-0).
  std::optional<std::string> files_from;
  bool null_separated = false;
  // --undo DIR: put back what the runs recorded in DIR did, instead of a
  // scan; --run ID undoes one of them.
  std::optional<std::string> undo_dir;
  std::optional<std::string> run_id;
  // --plan FILE: a preview also writes what it would do to FILE, for
  // --apply FILE to do exactly that instead of a scan.
  std::optional<std::string> plan_path;
  std::optional<std::string> apply_path;
};

// What the command line asks for. Either options for a scan, or a text to
// print and an exit status: the help or version text (status 0, for the
// standard output) or one line that says what is wrong with the usage
// (status 2, for the standard error).
struct ParsedCommandLine {
  std::optional<CliOptions> options;
  int exit_status = kExitClean;
  std::string text;
};

ParsedCommandLine parse_command_line(int argc, const char* const* argv);

}  // namespace quarn::cli
