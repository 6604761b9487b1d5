#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/path_glob.h"

namespace quarn::cli {
namespace {

constexpr const char kDescription[] =
    "quarn-scan: finds Win32.Quarn in files and folders and remedies it, with the\n"
    "same handlers, search, remedies and log format as the window program.";

constexpr const char kFooter[] =
    "Each PATH is walked in turn with every folder below it; a PATH that is a\n"
    "regular file is scanned as that one file; a PATH that is a link is followed\n"
    "once. Links and special files met in the walk are never opened or followed,\n"
    "and folders of the kernel's own file systems (proc, sysfs, devtmpfs, ...)\n"
    "below a PATH are never entered. A PATH on a read-only mount is refused,\n"
    "unless --report-only.\n"
    "\n"
    "Output:\n"
    "  stdout  one line per remedied file, as soon as it is done, in the scan\n"
    "          log's format: the status word, \":\", two spaces, the path\n"
    "          (\"cleaned:  /mnt/c/site/index.htm\"). Words: cleaned, deleted,\n"
    "          scanned (matched, left unchanged), error. With --report-only:\n"
    "          would clean, would delete, would keep, would fail.\n"
    "          Then a blank line and the summary, one item a line.\n"
    "          With --json: JSON Lines instead, for programs: per remedied file\n"
    "          {\"type\":\"file\", status (cleaned, deleted, scanned or error;\n"
    "          with --report-only what would be done, and report_only true),\n"
    "          threat, handler, path, and path_bytes (base64) for a name that\n"
    "          is not UTF-8}, then {\"type\":\"summary\", each counter,\n"
    "          log_lines_lost (lines --log could not take, also among the scan\n"
    "          errors), bytes_read, elapsed_seconds, stopped_by}. A failure\n"
    "          adds error (a stable word) and reason to its file object, or\n"
    "          has an {\"type\":\"error\"} object of its own.\n"
    "  stderr  a live progress line, only when stderr is a terminal; on SIGUSR1\n"
    "          the progress line once, on a line of its own, and the scan goes on.\n"
    "          Each failure, with the system's reason: \"quarn-scan: cannot\n"
    "          read|list the folder|back up|remedy PATH: REASON\"; a log that\n"
    "          cannot take a line is named once. Each is a scan error.\n"
    "          At the end, a restored or deleted file's other names (hard\n"
    "          links) that the scan did not reach: \"quarn-scan: PATH: 2 other\n"
    "          names of this file lie outside the scan ...\" ({\"type\":\"links\"}\n"
    "          with --json).\n"
    "\n"
    "Exit status:\n"
    "  0    nothing infected was found\n"
    "  1    infected files were found (and remedied, unless --report-only)\n"
    "  2    a scan error (a file could not be read, remedied or backed up) or\n"
    "       bad usage; an error outranks a find, since a failed remedy leaves\n"
    "       an infection behind\n"
    "  With --undo: 0 when every record was put back or needed nothing, 2 when\n"
    "  any was refused.\n"
    "  129  stopped by SIGHUP (the terminal was closed); 130 by Ctrl-C (SIGINT);\n"
    "       143 by SIGTERM. The files in progress (one per job) are finished and\n"
    "       the summary, ending in \"Stopped by: SIGHUP\" (or SIGINT, SIGTERM), is\n"
    "       printed first.";

// More threads than this only queue for the same disk and the same remedy
// lock, and each holds a ring of 128 KiB.
constexpr unsigned kMaxJobs = 64;

// CLI11's messages name the problem; one line with a pointer to --help is
// all that a script's log needs.
std::string usage_error(const std::string& what) {
  return "quarn-scan: " + what + " (see quarn-scan --help)";
}

// CLI11 hands numbers to strtoull with base 0, so "010" would be eight and
// "0x10" sixteen. Whoever types 010 means ten, and the Windows build uses
// the same headers, so a count is read here, alike on both, as decimal
// digits with an optional sign, and handed on to CLI11 without its leading
// zeros. A number beyond the limits, however many digits it has, is out of
// range rather than "not a number", so that the message names the real fault.
CLI::Validator decimal_in_range(unsigned min, unsigned max) {
  return CLI::Validator(
      [min, max](std::string& value) -> std::string {
        std::string_view digits = value;
        const bool negative = digits.starts_with('-');
        if (negative || digits.starts_with('+')) digits.remove_prefix(1);
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
          return "not a number: " + value;
        }
        digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size() - 1));
        unsigned long long number = 0;
        const bool fits = std::from_chars(digits.data(), digits.data() + digits.size(), number).ec == std::errc{};
        if (!fits || (negative && number != 0) || number < min || number > max) {
          return "not in the range " + std::to_string(min) + " to " + std::to_string(max) + ": " + value;
        }
        value = std::string(digits);
        return {};
      },
      "");
}

// A glob that could match nothing is a mistake, said before any walk.
CLI::Validator glob_check() {
  return CLI::Validator([](const std::string& glob) { return glob_fault(glob).value_or(std::string()); }, "");
}

std::string unknown_options(const std::vector<std::string>& words) {
  std::string text = words.size() > 1 ? "unknown options: " : "unknown option: ";
  for (std::size_t i = 0; i < words.size(); ++i) text += (i ? ", " : "") + words[i];
  return text;
}

}  // namespace

ParsedCommandLine parse_command_line(int argc, const char* const* argv) {
  CliOptions options;
  CLI::App app(kDescription, "quarn-scan");
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("quarn-scan ") + QUARN_VERSION);
  app.get_formatter()->column_width(24);
  // CLI11 would take "/name" for an option on Windows; there it is a path
  // from the current drive's root, and scripts expect one syntax everywhere.
  app.allow_windows_style_options(false);

  app.add_option("PATH", options.paths, "File or folder to scan (required unless --files-from names some)");
  app.add_option("--log", options.log_path,
                 "Write the scan log to FILE (created or emptied), or to a device such as /dev/null; "
                 "by default there is none")
      ->type_name("FILE");
  app.add_flag("--quiet", options.quiet, "No per-file lines on stdout");
  app.add_flag("--no-summary", options.no_summary, "No summary after the scan");
  auto* report_only = app.add_flag(
      "--report-only", options.report_only,
      "Detect only: report what each remedy would do, change no byte on disk");
  app.add_flag("-x,--one-file-system", options.one_file_system,
               "Stay on the file system of each PATH: a folder on another one is counted, not entered");
  app.add_flag("--json", options.json,
               "Write JSON Lines on stdout for programs: an object per remedied file, then a summary object");
  app.add_option("-j,--jobs", options.jobs,
                 "Search up to N files at a time, on N threads, so that their reads overlap (1 to 64, in decimal: "
                 "010 is ten). "
                 "Default: found by timing the first reads: a disk that takes 2 ms or more a read (and, where "
                 "the kernel counts its work, 1 ms or more busy per request) stays at 1, "
                 "a faster one gets 8, or 16 at 0.5 ms or more a read; the --json summary says why. "
                 "With N above 1, files "
                 "finish and are printed in no fixed order; 1 keeps the walk's order")
      ->type_name("N")
      ->transform(decimal_in_range(1, kMaxJobs));
  app.add_option("--backup", options.backup_dir,
                 "Before a remedy changes or deletes a file, copy it below DIR under its own full path; "
                 "DIR is created if need be and is never walked")
      ->type_name("DIR")
      ->excludes(report_only);
  // One GLOB per --exclude: a vector option would take the PATHs after it
  // for more globs.
  app.add_option("--exclude", options.excludes,
                 "Leave out, below each PATH, what GLOB matches: a folder is not entered, a file not opened. "
                 "GLOB is matched against the path from the PATH, with / between names: * and ? within a "
                 "name, ** for any number of folders; a GLOB without / matches a name at any depth. Repeatable")
      ->type_name("GLOB")
      ->allow_extra_args(false)
      ->check(glob_check());
  auto* files_from = app.add_option("--files-from", options.files_from,
                                    "Scan the PATHs that FILE lists (- for stdin), one a line, after those of "
                                    "the command line; the whole list is read and checked first")
                         ->type_name("FILE");
  app.add_flag("-0,--null", options.null_separated,
               "The PATHs of --files-from end in NUL bytes, as find -print0 writes them")
      ->needs(files_from);
  auto* undo = app.add_option("--undo", options.undo_dir,
                              "Instead of a scan, put back what the runs with --backup DIR did, newest first, "
                              "from DIR's manifest; a file is put back only while it holds what the run left")
                   ->type_name("DIR");
  app.add_option("--run", options.run_id, "With --undo: undo only the run with this id (see DIR/manifest.jsonl)")
      ->type_name("ID")
      ->needs(undo);
  for (const char* other : {"--backup", "--files-from", "--exclude", "--log", "--jobs", "--one-file-system"}) {
    undo->excludes(other);
  }
  app.add_option("--plan", options.plan_path,
                 "With --report-only: also write what each remedy would do to FILE (JSON Lines: each file's path, "
                 "identity, size, SHA-256 and action), for --apply FILE")
      ->type_name("FILE")
      ->needs(report_only);
  auto* apply = app.add_option("--apply", options.apply_path,
                               "Instead of a scan, do exactly what the plan FILE says, each action only while its file "
                               "is still the one planned; combines with --backup")
                    ->type_name("FILE");
  for (const char* other : {"--report-only", "--undo", "--files-from", "--exclude", "--jobs", "--one-file-system"}) {
    apply->excludes(other);
  }

  ParsedCommandLine parsed;
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    parsed.text = app.help();
    return parsed;
  } catch (const CLI::CallForVersion& version) {
    parsed.text = std::string(version.what()) + "\n";
    return parsed;
  } catch (const CLI::ParseError& error) {
    // CLI11 checks for a PATH and for options that exclude each other before
    // it complains of words it does not know, so "quarn-scan --bogus" would
    // say that PATH is required. A mistyped option is the likelier mistake,
    // and often the cause of the other fault, so it is named first.
    const std::vector<std::string> unknown = app.remaining();
    parsed.exit_status = kExitError;
    parsed.text = usage_error(unknown.empty() ? error.what() : unknown_options(unknown));
    return parsed;
  }
  if ((options.undo_dir || options.apply_path) && !options.paths.empty()) {
    parsed.exit_status = kExitError;
    parsed.text = usage_error(options.undo_dir ? "--undo takes no PATH: the manifest names the files"
                                               : "--apply takes no PATH: the plan names the files");
    return parsed;
  }
  if (options.paths.empty() && !options.files_from && !options.undo_dir && !options.apply_path) {
    parsed.exit_status = kExitError;
    parsed.text = usage_error("PATH is required");
    return parsed;
  }
  for (const std::string& path : options.paths) {
    if (path.empty()) {
      parsed.exit_status = kExitError;
      parsed.text = usage_error("an empty PATH names nothing");
      return parsed;
    }
  }
  if ((options.log_path && options.log_path->empty()) || (options.backup_dir && options.backup_dir->empty()) ||
      (options.files_from && options.files_from->empty()) || (options.undo_dir && options.undo_dir->empty()) ||
      (options.plan_path && options.plan_path->empty()) || (options.apply_path && options.apply_path->empty())) {
    parsed.exit_status = kExitError;
    parsed.text = usage_error("--log, --backup, --files-from, --undo, --plan and --apply need a non-empty name");
    return parsed;
  }
  parsed.options = std::move(options);
  return parsed;
}

}  // namespace quarn::cli
