// Runs the built quarn-scan as a child process, as a script would, with its
// standard output and error on pipes.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/scan_run.h"

namespace quarn::testing {

struct ScanSetup {
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> env;  // added or replaced
  bool close_output = false;  // the output pipe's reader is gone from the start
  int error_terminal_columns = 0;  // above 0: the error stream is a terminal this wide
  std::string program;             // another copy of quarn-scan to run; empty: the built one
  std::optional<uid_t> user;       // run as this user (and its own group); root only
  std::vector<int> ignored_signals;  // ignored from the start, as nohup leaves SIGHUP
  // Both streams on a terminal of the child's own session, which
  // hang_up() closes as a terminal window does; read_line() reads it.
  bool own_terminal = false;
};

class ScanProcess {
 public:
  explicit ScanProcess(const ScanSetup& setup);
  ~ScanProcess();
  ScanProcess(const ScanProcess&) = delete;
  ScanProcess& operator=(const ScanProcess&) = delete;

  // Reads the output until one whole line has come; nothing at its end.
  std::optional<std::string> read_line();
  // Reads the error stream until it holds text; false when it ended first.
  bool wait_for_error_text(const std::string& text);
  void send_signal(int signal_number);
  // Closes the own_terminal: the kernel sends the child SIGHUP and fails its
  // writes there from then on.
  void hang_up();
  // Reads both streams to their end and waits for the process.
  ScanRun finish();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string out_text_;
  std::string err_text_;
  std::size_t consumed_ = 0;
};

ScanRun run_scan(const ScanSetup& setup);

}  // namespace quarn::testing
