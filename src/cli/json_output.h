// quarn-scan's output for programs (--json): JSON Lines, one object a line.
// Each remedied file gets an object as soon as it is done, and the run ends
// with one summary object. docs/cli.md describes every field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/manifest.h"
#include "cli/report.h"
#include "cli/undo.h"
#include "platform/system_error.h"
#include "scan/scan_status.h"
#include "scan/virus_handler.h"

namespace quarn::cli {

// The short name of a handler in the output: "exe", "html" or "mail" for the
// three that quarn registers, "other" for any other.
const char* handler_name(const CVirusHandler& handler);

// {"type":"file","status":...,"report_only":...,"threat":...,"handler":...,
// "path":...} and a line end. A path whose bytes are not UTF-8 has each
// invalid byte replaced by U+FFFD in "path", and its exact bytes in base64
// in "path_bytes", a field that appears only then.
// A file whose status is error also gets "error" (the stable word) and
// "reason" (the system's text) from record.
std::string json_file_line(ScanStatus status, bool report_only, const CVirusHandler* handler,
                           const std::string& path, const platform::ErrorRecord& record = {});

// {"type":"error","what":...,"path":...,"error":...,"reason":...} and a line
// end, for a failure that has no file line: what is "read" (a file to be
// searched), "list" (a folder), "back up" or "write the log".
std::string json_error_line(std::string_view what, const std::string& path, const platform::ErrorRecord& record);

// {"type":"links","path":...,"names_outside":N} and a line end: a remedied
// file with N other names (hard links) that the scan did not reach, which
// still lead to the infected bytes.
std::string json_names_left_behind_line(const std::string& path, std::uint64_t count);

// What the summary says besides the counters.
struct SummaryFacts {
  // The part of scan_errors that is lines the log could not take, so that a
  // script can tell a full disk under the log from files that failed.
  std::int64_t log_lines_lost = 0;
  // "stopped_by": the signal that stopped the scan ("SIGINT", "SIGTERM",
  // "SIGHUP"), or null for a scan that ran to its end.
  platform::StopSignal stop = platform::StopSignal::none;
  // "excluded", after "directories": what --exclude left out (0 without it).
  std::int64_t excluded = 0;
  // "jobs" and "jobs_reason": how many files were read at once, and why;
  // the reason is "--jobs" when the command line set the count.
  std::size_t jobs = 1;
  std::string jobs_reason;
};

// {"type":"summary", every counter, "excluded", "log_lines_lost",
// "bytes_read", "elapsed_seconds", "stopped_by", "jobs", "jobs_reason"} and
// a line end.
std::string json_summary_line(const Figures& figures, bool report_only, const SummaryFacts& facts);

// {"type":"undo","status":...,"report_only":...,"run":...,"record":N,
// "action":...,"path":...} and a line end, with "error" and "reason" when
// refused; status is undo_word's.
std::string json_undo_line(const UndoResult& result, bool preview, const IntentRecord& intent);
// {"type":"summary","undo":true,"report_only":...,"records","put_back",
// "needed_nothing","refused","stopped_by"} and a line end.
std::string json_undo_summary_line(const UndoCounts& counts, bool preview, platform::StopSignal stop);

// Standard base64 (RFC 4648, with padding), and back: nothing for a text
// that is not exactly that.
std::string base64(const std::string& bytes);
std::optional<std::string> from_base64(std::string_view text);

// Whether the text is valid UTF-8, which JSON strings must be.
bool is_utf8(const std::string& text);

}  // namespace quarn::cli
