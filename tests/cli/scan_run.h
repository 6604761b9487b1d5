// Runs the built quarn-scan to its end, as a script would, and keeps what it
// wrote. Shared by the POSIX tests (scan_process.cpp) and the tests that also
// run on Windows under Wine (scan_run_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace quarn::testing {

struct ScanRun {
  // The exit status, or minus the signal number when a signal ended it.
  int status = 0;
  std::string out;
  std::string err;
};

// On Windows the C run-time's text mode ends lines in CR LF; the output is
// given back with plain LF, as on POSIX.
ScanRun run_scan(std::vector<std::string> args);

// The output's lines, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

}  // namespace quarn::testing
