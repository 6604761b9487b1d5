#include "cli/scan_command.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <map>
#include <string>

#include "cli/cli_scanner.h"
#include "cli/console_output.h"
#include "cli/json_output.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/scan_plan.h"
#include "cli/undo.h"
#include "platform/console.h"
#include "platform/log_file.h"
#include "platform/signals.h"

namespace quarn::cli {
namespace {

constexpr unsigned kProgressIntervalMs = 200;
constexpr int kDefaultColumns = 80;

void print_line(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stream);
  std::fflush(stream);
}

std::size_t progress_width() {
  // One column short of the edge, so the terminal never wraps the line.
  const int columns = platform::terminal_columns(platform::StdStream::error).value_or(kDefaultColumns);
  return columns > 1 ? static_cast<std::size_t>(columns - 1) : 1;
}

int scan(const CliOptions& options) {
  PlanOutcome planned = plan_scan(options);
  if (!planned.plan) {
    print_line(stderr, planned.error);
    return kExitError;
  }

  // A FIFO would hold the scan until something read it, and a folder cannot
  // take lines: both are refused by name before anything is opened.
  if (options.log_path) {
    const auto place = platform::LogFile::place_of(*options.log_path);
    if (place == platform::LogFile::Place::fifo || place == platform::LogFile::Place::folder) {
      print_line(stderr, "quarn-scan: the log '" + platform::log_text(*options.log_path) + "' is " +
                             (place == platform::LogFile::Place::fifo ? "a FIFO" : "a folder") +
                             "; give a file or a character device");
      return kExitError;
    }
  }

  const bool progress = platform::is_terminal(platform::StdStream::error);
  ConsoleOutput console(stdout, stderr, progress, platform::is_terminal(platform::StdStream::output));
  if (!platform::install_stop_handlers()) {
    print_line(stderr, "quarn-scan: cannot install the handlers for Ctrl-C, SIGTERM, SIGHUP and SIGUSR1");
    return kExitError;
  }
  platform::clear_error();
  CommandLineScanner scanner(options, std::move(*planned.plan), console);
  if (!scanner.manifest_ready()) {
    print_line(stderr, "quarn-scan: cannot write the manifest '" + platform::log_text(scanner.manifest_path()) +
                           "': " + shown_error(platform::last_error()).reason);
    return kExitError;
  }
  if (!scanner.plan_ready()) {
    print_line(stderr, "quarn-scan: cannot create the plan '" + platform::log_text(*options.plan_path) +
                           "': " + shown_error(platform::last_error()).reason);
    return kExitError;
  }
  if (!scanner.log_ready()) {
    print_line(stderr, "quarn-scan: cannot create the log file '" + platform::log_text(*options.log_path) +
                           "': " + shown_error(platform::last_error()).reason);
    return kExitError;
  }
  if (!scanner.Start()) {
    print_line(stderr, "quarn-scan: cannot start the scan thread");
    return kExitError;
  }

  // The engine's elapsed time counts whole calendar seconds, which makes a
  // rate jump by half within the first seconds; the live rate uses a
  // steady clock instead.
  const auto started = std::chrono::steady_clock::now();
  const auto progress_text = [&] {
    Figures figures = scanner.GetFigures();
    const std::chrono::duration<double> running = std::chrono::steady_clock::now() - started;
    figures.mbytes_per_second = average_mbytes_per_second(figures.bytes_read, running.count());
    return format_progress(figures, scanner.m_strCurrentFile.get(), progress_width());
  };
  bool stop_sent = false;
  unsigned since_drawn = 0;
  // Between looks at the worker: pass on a stop signal once, print the
  // progress line once when asked, and redraw the live one at most five
  // times a second.
  scanner.WaitForIdle(PollOrder::sleep_first, CScanThread::kWithoutLimit, [&] {
    if (!stop_sent && platform::received_stop_signal() != platform::StopSignal::none) {
      scanner.Stop(StopWait::dont_wait);
      stop_sent = true;
    }
    // Asked for by SIGUSR1, also when stderr is no terminal (a script's
    // log); a line of its own, so it stays when the live line moves on.
    if (platform::take_progress_request()) console.note(progress_text() + "\n");
    since_drawn += CScanThread::STOP_POLL_INTERVAL_MS;
    if (progress && since_drawn >= kProgressIntervalMs) {
      since_drawn = 0;
      console.show_progress(progress_text());
    }
  });
  console.clear_progress();

  // The worker has ended (acquired above): every counter is final.
  for (const auto& left : scanner.GetNamesLeftBehind()) {
    console.note(names_left_behind_note(left.path, left.count));
    if (options.json && !options.quiet) console.write(json_names_left_behind_line(left.path, left.count));
  }
  const Figures figures = scanner.GetFigures();
  const platform::StopSignal stopped_by = platform::received_stop_signal();
  if (options.plan_path) {
    // A plan of part of the tree would be applied as if it were all of it.
    if (stopped_by != platform::StopSignal::none || console.output_failed()) {
      console.note("quarn-scan: the plan '" + platform::log_text(*options.plan_path) +
                   "' has no end line, since the scan did not finish; --apply refuses it\n");
    } else if (!scanner.finish_plan()) {
      console.note(error_note("write the plan", *options.plan_path, platform::last_error()));
      return kExitError;
    }
  }
  if (!options.no_summary && options.json) {
    const CVirusScanner::JobsChoice jobs = scanner.GetJobsChoice();
    const SummaryFacts facts{scanner.log_lines_lost(), stopped_by, scanner.excluded(), jobs.jobs, jobs.reason};
    console.write(json_summary_line(figures, options.report_only, facts));
  } else if (!options.no_summary) {
    // Appended: GCC 12 at -O3 misreads "\n" + a temporary string as an
    // overlapping copy (-Wrestrict).
    std::string text(1, '\n');
    text += format_summary(figures, options.report_only, stopped_by,
                           options.excludes.empty() ? std::nullopt : std::optional(scanner.excluded()));
    console.write(text);
  }
  if (console.output_failed()) print_line(stderr, "quarn-scan: writing to the standard output failed");
  return exit_status_for(figures, stopped_by, console.output_failed());
}

// Puts back, newest record first, what the manifest of options.undo_dir
// records; a manifest with any fault is refused whole, before any file.
int undo(const CliOptions& options) {
  const std::string& dir = *options.undo_dir;
  const std::string manifest_path = dir + platform::separator() + kManifestName;
  const auto cannot = [&](const std::string& what) {
    print_line(stderr, "quarn-scan: cannot " + what + ": " + shown_error(platform::last_error()).reason);
    return kExitError;
  };
  auto store = BackupStore::open_existing(dir);
  if (!store) return cannot("open the backup folder '" + platform::log_text(dir) + "'");
  auto text = platform::read_to_end(manifest_path);
  if (!text) return cannot("read the manifest '" + platform::log_text(manifest_path) + "'");
  ManifestReading reading = read_manifest(*text);
  if (!reading.manifest) {
    print_line(stderr, "quarn-scan: the manifest '" + platform::log_text(manifest_path) + "' is refused, " +
                           reading.error + "; nothing was changed");
    return kExitError;
  }
  const Manifest& manifest = *reading.manifest;
  std::map<std::string, const RunRecord*> runs;
  for (const RunRecord& run : manifest.runs) runs[run.id] = &run;
  if (options.run_id && !runs.contains(*options.run_id)) {
    print_line(stderr, "quarn-scan: the manifest '" + platform::log_text(manifest_path) + "' has no run " +
                           platform::log_text(*options.run_id));
    return kExitError;
  }
  if (!platform::install_stop_handlers()) {
    print_line(stderr, "quarn-scan: cannot install the handlers for Ctrl-C, SIGTERM, SIGHUP and SIGUSR1");
    return kExitError;
  }

  ConsoleOutput console(stdout, stderr, false, platform::is_terminal(platform::StdStream::output));
  UndoCounts counts;
  const bool preview = options.report_only;
  for (auto it = manifest.intents.rbegin(); it != manifest.intents.rend(); ++it) {
    const IntentRecord& intent = *it;
    if (options.run_id && intent.run != *options.run_id) continue;
    if (platform::received_stop_signal() != platform::StopSignal::none) break;
    platform::clear_error();
    const UndoResult result = undo_record(*store, *runs.at(intent.run), intent, preview);
    counts.add(result.outcome);
    if (result.outcome == UndoOutcome::refused) {
      console.note(error_note(preview ? "preview the undo of" : "undo", intent.path, result.error));
    }
    if (options.quiet) continue;
    const std::string line = options.json ? json_undo_line(result, preview, intent)
                                          : format_log_line(undo_word(result.outcome, preview), intent.path) + "\n";
    if (!console.write(line)) break;
  }
  const platform::StopSignal stopped_by = platform::received_stop_signal();
  if (!options.no_summary) {
    console.write(options.json ? json_undo_summary_line(counts, preview, stopped_by)
                               : "\n" + format_undo_summary(counts, preview, stopped_by));
  }
  if (console.output_failed()) print_line(stderr, "quarn-scan: writing to the standard output failed");
  return exit_status_for_undo(counts, stopped_by, console.output_failed());
}

}  // namespace

int run(int argc, const char* const* argv) {
  try {
    ParsedCommandLine parsed = parse_command_line(argc, argv);
    if (!parsed.options) {
      print_line(parsed.exit_status == kExitClean ? stdout : stderr, parsed.text);
      return parsed.exit_status;
    }
    return parsed.options->undo_dir ? undo(*parsed.options) : scan(*parsed.options);
  } catch (const std::exception& error) {
    print_line(stderr, std::string("quarn-scan: ") + error.what());
    return kExitError;
  }
}

}  // namespace quarn::cli
