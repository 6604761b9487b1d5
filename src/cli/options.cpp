#include "cli/options.h"

#include <CLI/CLI.hpp>

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
    "below a PATH are never entered. A folder that cannot be listed is named\n"
    "on stderr and counts as a scan error.\n"
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
    "          bytes_read, elapsed_seconds}.\n"
    "  stderr  a live progress line, only when stderr is a terminal; on SIGUSR1\n"
    "          the progress line once, on a line of its own, and the scan goes on.\n"
    "\n"
    "Exit status:\n"
    "  0    nothing infected was found\n"
    "  1    infected files were found (and remedied, unless --report-only)\n"
    "  2    a scan error (a file could not be read, remedied or backed up) or\n"
    "       bad usage; an error outranks a find, since a failed remedy leaves\n"
    "       an infection behind\n"
    "  129  stopped by SIGHUP (the terminal was closed); 130 by Ctrl-C (SIGINT);\n"
    "       143 by SIGTERM. The files in progress (one per job) are finished and\n"
    "       the summary is printed first.";

// More threads than this only queue for the same disk and the same remedy
// lock, and each holds a ring of 128 KiB.
constexpr unsigned kMaxJobs = 64;

// CLI11's messages name the problem; one line with a pointer to --help is
// all that a script's log needs.
std::string usage_error(const std::string& what) {
  return "quarn-scan: " + what + " (see quarn-scan --help)";
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

  app.add_option("PATH", options.paths, "File or folder to scan")->required();
  app.add_option("--log", options.log_path,
                 "Write the scan log to FILE (created or emptied); by default there is none")
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
                 "Search up to N files at a time, on N threads, so that their reads overlap (1 to 64). "
                 "Default: one per processor, at most 16, but 1 when a PATH lies on a disk that says it "
                 "spins (rotational), where reads side by side would make it seek. With N above 1, files "
                 "finish and are printed in no fixed order; 1 keeps the walk's order")
      ->type_name("N")
      ->check(CLI::Range(1u, kMaxJobs));
  app.add_option("--backup", options.backup_dir,
                 "Before a remedy changes or deletes a file, copy it below DIR under its own full path; "
                 "DIR is created if need be and is never walked")
      ->type_name("DIR")
      ->excludes(report_only);

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
    parsed.exit_status = kExitError;
    parsed.text = usage_error(error.what());
    return parsed;
  }
  for (const std::string& path : options.paths) {
    if (path.empty()) {
      parsed.exit_status = kExitError;
      parsed.text = usage_error("an empty PATH names nothing");
      return parsed;
    }
  }
  if ((options.log_path && options.log_path->empty()) || (options.backup_dir && options.backup_dir->empty())) {
    parsed.exit_status = kExitError;
    parsed.text = usage_error("--log and --backup need a non-empty name");
    return parsed;
  }
  parsed.options = std::move(options);
  return parsed;
}

}  // namespace quarn::cli
