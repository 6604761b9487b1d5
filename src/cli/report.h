// What quarn-scan prints: the per-file words, the progress line, the summary
// and the exit status. Pure formatting, so each rule can be checked alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/undo.h"
#include "platform/signals.h"
#include "platform/system_error.h"
#include "scan/figures.h"
#include "scan/scan_status.h"

namespace quarn::cli {

// The word of a per-file line. A real remedy uses the scan log's words
// (log_status_name); a preview says what the remedy would do
// (preview_status_name).
const char* result_word(ScanStatus status, bool report_only);

// The scan log's line without its line end (format_log_line) for that word.
// The escaped path also keeps a crafted name from driving the terminal.
std::string result_line(ScanStatus status, bool report_only, const std::string& path);

// The record as it is shown: one whose failure named no reason (a fault
// injected by a test, or a remedy's own refusal without one) reads "other",
// "no reason was given".
platform::ErrorRecord shown_error(const platform::ErrorRecord& record);

// "quarn-scan: cannot <what> <path>: <reason><after>" and a line end: the
// one shape of every error about a file or a folder on stderr. The path is
// escaped as in a result line.
std::string error_note(std::string_view what, const std::string& path, const platform::ErrorRecord& record,
                       std::string_view after = {});

// "quarn-scan: PATH: 2 other names of this file lie outside the scan and
// still lead to the infected bytes" and a line end (one name: "1 other name
// ... lies ... and still leads").
std::string names_left_behind_note(const std::string& path, std::uint64_t count);

// "HH:MM:SS"; hours grow past two digits when they must. A negative span
// (the clock was set back) shows as 00:00:00.
std::string format_elapsed(std::int64_t seconds);

// The summary, one item a line, each ending in "\n". In a preview nothing
// was cleaned or deleted, so those two lines say "Files to clean" and
// "Files to delete" instead. A scan that a signal stopped ends with
// "Stopped by: SIGINT" (or SIGTERM, SIGHUP), so that nobody takes its
// counts for a whole tree's. With excluded (a scan given --exclude) an item
// "Excluded" follows "Directories"; without, the summary is as it always was.
std::string format_summary(const Figures& figures, bool report_only,
                           platform::StopSignal stop = platform::StopSignal::none,
                           std::optional<std::int64_t> excluded = std::nullopt);

// "SIGINT", "SIGTERM" or "SIGHUP"; nullptr for none.
const char* stop_signal_name(platform::StopSignal stop);

// One progress line of at most width bytes (at least the counters are
// shown, cut at width): counters, rate, elapsed time and as much of the end
// of the current file's path as fits.
std::string format_progress(const Figures& figures, const std::string& current_file, std::size_t width);

// Stopped by the terminal's hang-up (SIGHUP), as a shell reports it: 128 + 1.
// Beside the other statuses (options.h) in meaning; kept here with the only
// code that returns it.
inline constexpr int kExitHungUp = 129;

// Stopped by a signal: 129, 130 or 143. Otherwise 2 for any scan error or a
// failed output, else 1 when something was infected, else 0. A stop
// outranks a failed output, since a closed terminal makes every write fail.
int exit_status_for(const Figures& figures, platform::StopSignal stop, bool output_failed);

// The summary of --undo: "Records", "Put back" ("To put back" in a
// preview), "Needed nothing", "Refused", then "Stopped by" as a scan's.
std::string format_undo_summary(const UndoCounts& counts, bool preview, platform::StopSignal stop);

// A stop as a scan's; then 2 when any record was refused or the output
// failed, else 0.
int exit_status_for_undo(const UndoCounts& counts, platform::StopSignal stop, bool output_failed);

}  // namespace quarn::cli
