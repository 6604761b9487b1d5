#include "cli/report.h"

#include <cstdio>

#include "cli/options.h"
#include "platform/fs.h"

namespace quarn::cli {
namespace {

void add_item(std::string& out, const char* label, std::int64_t value) {
  out += label;
  out += ": ";
  out += std::to_string(value);
  out += '\n';
}

std::string format_mbytes(double mbytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", mbytes);
  return text;
}

bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

platform::ErrorRecord shown_error(const platform::ErrorRecord& record) {
  if (!record.empty()) return record;
  return platform::ErrorRecord{"other", "no reason was given"};
}

std::string error_note(std::string_view what, const std::string& path, const platform::ErrorRecord& record,
                       std::string_view after) {
  std::string note = "quarn-scan: cannot ";
  note += what;
  note += ' ';
  note += platform::log_text(path);
  note += ": ";
  note += shown_error(record).reason;
  note += after;
  note += '\n';
  return note;
}

std::string names_left_behind_note(const std::string& path, std::uint64_t count) {
  const bool one = count == 1;
  return "quarn-scan: " + platform::log_text(path) + ": " + std::to_string(count) +
         (one ? " other name of this file lies outside the scan and still leads"
              : " other names of this file lie outside the scan and still lead") +
         " to the infected bytes\n";
}

const char* result_word(ScanStatus status, bool report_only) {
  return report_only ? preview_status_name(status) : log_status_name(status);
}

std::string result_line(ScanStatus status, bool report_only, const std::string& path) {
  return format_log_line(result_word(status, report_only), path);
}

std::string format_elapsed(std::int64_t seconds) {
  const ElapsedParts parts = split_elapsed(seconds);
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02d:%02d", static_cast<long long>(parts.hours), parts.minutes,
                parts.seconds);
  return text;
}

const char* stop_signal_name(platform::StopSignal stop) {
  switch (stop) {
    case platform::StopSignal::interrupt: return "SIGINT";
    case platform::StopSignal::terminate: return "SIGTERM";
    case platform::StopSignal::hangup: return "SIGHUP";
    case platform::StopSignal::none: break;
  }
  return nullptr;
}

std::string format_summary(const Figures& figures, bool report_only, platform::StopSignal stop,
                           std::optional<std::int64_t> excluded) {
  std::string out;
  add_item(out, "Files scanned", figures.files_scanned);
  add_item(out, "Files skipped", figures.files_skipped);
  add_item(out, "Files infected", figures.files_infected);
  add_item(out, report_only ? "Files to clean" : "Files cleaned", figures.files_cleaned);
  add_item(out, report_only ? "Files to delete" : "Files deleted", figures.files_deleted);
  add_item(out, "Scan errors", figures.scan_errors);
  add_item(out, "Directories", figures.directories);
  if (excluded) add_item(out, "Excluded", *excluded);
  out += "Data read: " + format_mbytes(static_cast<double>(figures.bytes_read) / kBytesPerMegabyte) + " MB\n";
  out += "Elapsed: " + format_elapsed(figures.elapsed_seconds) + "\n";
  if (const char* signal = stop_signal_name(stop)) out += std::string("Stopped by: ") + signal + "\n";
  return out;
}

std::string format_progress(const Figures& figures, const std::string& current_file, std::size_t width) {
  std::string line = "Scanned " + std::to_string(figures.files_scanned) + "  Infected " +
                     std::to_string(figures.files_infected) + "  ";
  line += figures.mbytes_per_second ? format_mbytes(*figures.mbytes_per_second) : std::string("-");
  line += " MB/s  " + format_elapsed(figures.elapsed_seconds);
  if (line.size() >= width) {
    line.resize(width);
    return line;
  }
  std::string file = platform::log_text(current_file);
  if (file.empty()) return line;
  // Two spaces before the path, and room for "..." and one byte of it.
  if (width - line.size() < 2 + 4) return line;
  const std::size_t room = width - line.size() - 2;
  line += "  ";
  if (file.size() <= room) return line + file;
  // Keep the end of the path, which names the file, and start on a whole
  // UTF-8 character so the terminal shows no broken glyph.
  std::size_t start = file.size() - (room - 3);
  while (start < file.size() && is_continuation_byte(file[start])) ++start;
  return line + "..." + file.substr(start);
}

namespace {

std::optional<int> exit_status_for_stop(platform::StopSignal stop) {
  if (stop == platform::StopSignal::interrupt) return kExitInterrupted;
  if (stop == platform::StopSignal::terminate) return kExitTerminated;
  if (stop == platform::StopSignal::hangup) return kExitHungUp;
  return std::nullopt;
}

}  // namespace

std::string format_undo_summary(const UndoCounts& counts, bool preview, platform::StopSignal stop) {
  std::string out;
  add_item(out, "Records", counts.records);
  add_item(out, preview ? "To put back" : "Put back", counts.put_back);
  add_item(out, "Needed nothing", counts.needed_nothing);
  add_item(out, "Refused", counts.refused);
  if (const char* signal = stop_signal_name(stop)) out += std::string("Stopped by: ") + signal + "\n";
  return out;
}

int exit_status_for_undo(const UndoCounts& counts, platform::StopSignal stop, bool output_failed) {
  if (auto status = exit_status_for_stop(stop)) return *status;
  return counts.refused > 0 || output_failed ? kExitError : kExitClean;
}

int exit_status_for(const Figures& figures, platform::StopSignal stop, bool output_failed) {
  if (auto status = exit_status_for_stop(stop)) return *status;
  if (figures.scan_errors > 0 || output_failed) return kExitError;
  if (figures.files_infected > 0) return kExitInfected;
  return kExitClean;
}

}  // namespace quarn::cli
