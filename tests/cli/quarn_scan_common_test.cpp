// quarn-scan as scripts and programs see it, on every platform: these cases
// also run on Windows under Wine (scripts/test.d/60-wine.sh). The built
// binary scans generated trees and is judged by its text or JSON output, its
// exit status and the files it leaves.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/scan_output.h"
#include "cli/scan_run.h"
#include "support/temp_tree.h"
#include "tools/sample_tree.h"

namespace quarn::testing {
namespace {

using nlohmann::json;
using sample::Outcome;

std::string mbytes(std::uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1048576.0);
  return text;
}

// Every line must parse on its own: a reader of JSON Lines takes one line
// at a time.
std::vector<json> objects_of(const std::string& out) {
  std::vector<json> objects;
  for (const std::string& line : lines_of(out)) objects.push_back(json::parse(line));
  return objects;
}

// The handler that claims a file of the sample tree, by its extension.
std::string handler_of(const std::string& relative) {
  std::string extension = relative.substr(relative.find_last_of('.') + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "exe" || extension == "dll") return "exe";
  if (extension == "eml" || extension == "nws") return "mail";
  return "html";
}

// The stderr of a scan of a sample tree: a note, with its reason, for each
// file whose remedy fails, in any order.
std::vector<std::string> expected_notes(const sample::SampleTree& sample, bool report_only) {
  std::vector<std::string> notes;
  for (const auto& file : sample.files) {
    if (file.outcome != Outcome::error) continue;
    notes.push_back(std::string("quarn-scan: cannot ") + (report_only ? "preview the remedy of " : "remedy ") +
                    sample.path_of(file) + ": the program's carried copy is damaged");
  }
  return sorted(notes);
}

class QuarnScanBinary : public ::testing::Test {
 protected:
  sample::SampleTree write_sample(const std::string& relative) { return sample::write_sample_tree(tree_.path(relative)); }

  // A --json run of the sample tree: one file object per remedied file with
  // the manifest's word and handler, then one summary with its counters.
  void expect_json_of_sample(const sample::SampleTree& sample, const ScanRun& run, bool report_only) {
    EXPECT_EQ(run.status, expected_status(sample));
    EXPECT_EQ(sorted(lines_of(run.err)), expected_notes(sample, report_only));
    const std::vector<json> objects = objects_of(run.out);
    ASSERT_FALSE(objects.empty());
    std::map<std::string, json> files;
    for (std::size_t i = 0; i + 1 < objects.size(); ++i) {
      EXPECT_EQ(objects[i].at("type"), "file") << objects[i];
      files[objects[i].at("path").get<std::string>()] = objects[i];
    }
    EXPECT_EQ(files.size() + 1, objects.size()) << "a path came twice";
    for (const auto& file : sample.files) {
      const auto found = files.find(sample.path_of(file));
      if (file.outcome == Outcome::untouched) {
        EXPECT_EQ(found, files.end()) << file.relative;
        continue;
      }
      ASSERT_NE(found, files.end()) << file.relative;
      const json& object = found->second;
      EXPECT_EQ(object.at("status"), sample::log_word(file.outcome)) << file.relative;
      EXPECT_EQ(object.at("report_only"), report_only);
      EXPECT_EQ(object.at("threat"), "Win32.Quarn");
      EXPECT_EQ(object.at("handler"), handler_of(file.relative)) << file.relative;
      EXPECT_FALSE(object.contains("path_bytes")) << file.relative;
    }

    const json& summary = objects.back();
    const auto counts = sample.expected_counts();
    EXPECT_EQ(summary.at("type"), "summary");
    EXPECT_EQ(summary.at("report_only"), report_only);
    EXPECT_EQ(summary.at("files_scanned"), counts.scanned);
    EXPECT_EQ(summary.at("files_skipped"), counts.skipped);
    EXPECT_EQ(summary.at("files_infected"), counts.infected);
    EXPECT_EQ(summary.at("files_cleaned"), counts.cleaned);
    EXPECT_EQ(summary.at("files_deleted"), counts.deleted);
    EXPECT_EQ(summary.at("scan_errors"), counts.errors);
    EXPECT_EQ(summary.at("directories"), sample.folders.size());
    EXPECT_EQ(summary.at("bytes_read"), counts.bytes_read);
    EXPECT_TRUE(summary.at("elapsed_seconds").is_number_unsigned());
  }

  TempTree tree_;
};

TEST_F(QuarnScanBinary, sample_tree_prints_each_remedy_the_summary_and_the_status) {
  const auto sample = write_sample("disk");
  const auto counts = sample.expected_counts();
  const ScanRun run = run_scan({sample.root});

  EXPECT_EQ(run.status, expected_status(sample));
  EXPECT_EQ(sorted(lines_of(run.err)), expected_notes(sample, false))
      << "no progress, and no messages but the failures, when stderr is not a terminal";
  const SplitOutput out = split(run.out);
  EXPECT_EQ(sorted(out.results), expected_lines(sample));

  ASSERT_EQ(out.summary.size(), 9u) << run.out;
  const char* labels[] = {"Files scanned", "Files skipped", "Files infected", "Files cleaned", "Files deleted",
                          "Scan errors",   "Directories",   "Data read",      "Elapsed"};
  for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(out.summary[i].rfind(std::string(labels[i]) + ": ", 0), 0u);
  auto items = items_of(out.summary);
  EXPECT_EQ(items["Files scanned"], std::to_string(counts.scanned));
  EXPECT_EQ(items["Files skipped"], std::to_string(counts.skipped));
  EXPECT_EQ(items["Files infected"], std::to_string(counts.infected));
  EXPECT_EQ(items["Files cleaned"], std::to_string(counts.cleaned));
  EXPECT_EQ(items["Files deleted"], std::to_string(counts.deleted));
  EXPECT_EQ(items["Scan errors"], std::to_string(counts.errors));
  EXPECT_EQ(items["Directories"], std::to_string(sample.folders.size()));
  EXPECT_EQ(items["Data read"], mbytes(counts.bytes_read));
  EXPECT_TRUE(std::regex_match(items["Elapsed"], std::regex("[0-9]{2}:[0-5][0-9]:[0-5][0-9]")));

  for (const auto& file : sample.files) {
    const std::string path = sample.path_of(file);
    if (file.expected) {
      EXPECT_EQ(read_file(path), *file.expected) << file.relative;
    } else {
      EXPECT_FALSE(exists(path)) << file.relative;
    }
  }
}

// Several threads remedy what one does, each root's files before the next
// root's, and the log holds the output's lines in the output's order.
TEST_F(QuarnScanBinary, jobs_remedy_the_same_files_root_by_root_with_the_log_in_the_output_order) {
  const auto sample = sample::write_sample_tree(tree_.path("disk"), {3});
  const std::string second = tree_.write("second/m.eml", kInfectedMail);
  const std::string log = tree_.path("scan.log");
  const ScanRun run = run_scan({"--jobs", "4", "--log", log, sample.root, tree_.path("second")});

  EXPECT_EQ(run.status, expected_status(sample));
  EXPECT_EQ(sorted(lines_of(run.err)), expected_notes(sample, false));
  SplitOutput out = split(run.out);
  ASSERT_FALSE(out.results.empty());
  EXPECT_EQ(out.results.back(), "deleted:  " + second);
  std::string in_log;
  for (const std::string& line : out.results) in_log += line + "\r\n";
  EXPECT_EQ(read_file(log), in_log);
  out.results.pop_back();
  EXPECT_EQ(sorted(out.results), expected_lines(sample));

  auto items = items_of(out.summary);
  const auto counts = sample.expected_counts();
  EXPECT_EQ(items["Files scanned"], std::to_string(counts.scanned + 1));
  EXPECT_EQ(items["Files skipped"], std::to_string(counts.skipped));
  EXPECT_EQ(items["Files infected"], std::to_string(counts.infected + 1));
  EXPECT_EQ(items["Scan errors"], std::to_string(counts.errors));
  EXPECT_EQ(items["Directories"], std::to_string(sample.folders.size() + 1));
  EXPECT_EQ(items["Data read"], mbytes(counts.bytes_read + std::string(kInfectedMail).size()));
  for (const auto& file : sample.files) {
    const std::string path = sample.path_of(file);
    if (file.expected) {
      EXPECT_EQ(read_file(path), *file.expected) << file.relative;
    } else {
      EXPECT_FALSE(exists(path)) << file.relative;
    }
  }
}

TEST_F(QuarnScanBinary, each_file_is_scanned_once_however_the_paths_overlap_and_the_log_is_never_one_of_them) {
  // The log lies in the tree under a name that is always deleted; PATHs name
  // the tree again, a folder inside it and a file inside that, in any order.
  const std::string t = tree_.path("t");
  const std::string inner = tree_.path("t/inner");
  const std::string file = tree_.path("t/inner/b.nws");
  const std::vector<std::vector<std::string>> orders = {
      {t}, {t, t}, {t, inner, file}, {file, inner, t}, {inner, t, t, file}};
  for (const std::vector<std::string>& paths : orders) {
    SCOPED_TRACE(::testing::PrintToString(paths));
    tree_.write("t/a.eml", kInfectedMail);
    tree_.write("t/inner/b.nws", kInfectedMail);
    tree_.write("t/inner/c.txt", "clean");
    const std::string log = tree_.path("t/scan.eml");
    std::vector<std::string> args = {"--jobs", "2", "--log", log};
    args.insert(args.end(), paths.begin(), paths.end());
    const ScanRun run = run_scan(args);
    EXPECT_EQ(run.status, 1);
    const SplitOutput out = split(run.out);
    auto items = items_of(out.summary);
    EXPECT_EQ(items["Files scanned"], "2");
    EXPECT_EQ(items["Files skipped"], "1");
    EXPECT_EQ(items["Files deleted"], "2");
    EXPECT_EQ(items["Directories"], "2");
    EXPECT_EQ(out.results.size(), 2u);
    ASSERT_TRUE(exists(log));
    EXPECT_EQ(lines_of(read_file(log)).size(), 2u);
  }
}

TEST_F(QuarnScanBinary, exit_status_is_0_when_clean_1_for_a_find_and_2_when_an_error_outranks_it) {
  tree_.write("clean/index.htm", sample::clean_page("Home"));
  tree_.write("clean/notes.txt", "Concept Virus");
  tree_.write("found/m.eml", kInfectedMail);
  tree_.write("both/m.eml", kInfectedMail);
  tree_.write("both/damaged.exe", kDamagedProgram);

  const ScanRun clean = run_scan({tree_.path("clean")});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(split(clean.out).results.size(), 0u);

  const ScanRun found = run_scan({tree_.path("found")});
  EXPECT_EQ(found.status, 1);
  EXPECT_EQ(split(found.out).results, std::vector<std::string>{"deleted:  " + tree_.path("found/m.eml")});

  const ScanRun both = run_scan({tree_.path("both")});
  EXPECT_EQ(both.status, 2);
  EXPECT_EQ(sorted(split(both.out).results),
            sorted({"deleted:  " + tree_.path("both/m.eml"), "error:  " + tree_.path("both/damaged.exe")}));
  EXPECT_EQ(read_file(tree_.path("both/damaged.exe")), kDamagedProgram);
  const std::string damaged = tree_.path("both/damaged.exe");
  EXPECT_NE(both.err.find("cannot remedy " + damaged + ": the program's carried copy is damaged"), std::string::npos)
      << both.err;
  const std::vector<json> again = objects_of(run_scan({"--json", "--no-summary", tree_.path("both")}).out);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].at("error"), "damaged");
}

TEST_F(QuarnScanBinary, json_gives_an_object_per_remedied_file_and_a_summary_and_remedies) {
  const auto sample = write_sample("disk");
  const ScanRun run = run_scan({"--json", sample.root});
  expect_json_of_sample(sample, run, false);
  for (const auto& file : sample.files) {
    if (file.expected) {
      EXPECT_EQ(read_file(sample.path_of(file)), *file.expected) << file.relative;
    } else {
      EXPECT_FALSE(exists(sample.path_of(file))) << file.relative;
    }
  }
}

TEST_F(QuarnScanBinary, json_report_only_flags_every_object_and_changes_no_byte) {
  const auto sample = write_sample("disk");
  const auto before = snapshot(sample.root);
  const ScanRun run = run_scan({"--json", "--report-only", sample.root});
  expect_json_of_sample(sample, run, true);
  EXPECT_EQ(snapshot(sample.root), before);
}

TEST_F(QuarnScanBinary, json_with_quiet_keeps_only_the_summary_and_no_summary_drops_it) {
  tree_.write("q/m.eml", kInfectedMail);
  tree_.write("s/m.eml", kInfectedMail);
  const std::vector<json> quiet = objects_of(run_scan({"--json", "--quiet", tree_.path("q")}).out);
  ASSERT_EQ(quiet.size(), 1u);
  EXPECT_EQ(quiet[0].at("type"), "summary");
  EXPECT_EQ(quiet[0].at("files_deleted"), 1);

  const ScanRun no_summary = run_scan({"--json", "--no-summary", tree_.path("s")});
  EXPECT_EQ(no_summary.status, 1);
  const std::vector<json> files = objects_of(no_summary.out);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].at("path"), tree_.path("s/m.eml"));
}

// Globs see the path below the PATH with "/" between names, also on Windows.
// What they match is never opened and counts once; a folder's files not at all.
TEST_F(QuarnScanBinary, exclude_leaves_out_what_its_globs_match_and_counts_it) {
  const std::string kept = tree_.write("t/keep.eml", kInfectedMail);
  const std::string deep = tree_.write("t/x/y/keep.eml", kInfectedMail);
  const std::vector<std::string> left = {tree_.write("t/logs/a.eml", kInfectedMail),
                                         tree_.write("t/logs/b.eml", kInfectedMail),
                                         tree_.write("t/x/y/skip.eml", kInfectedMail),
                                         tree_.write("t/x/z/page.htm", kInfectedMail)};
  const std::vector<std::string> globs = {"--exclude", "logs", "--exclude", "x/**/skip.eml", "--exclude", "*.htm"};
  std::vector<std::string> args = globs;
  args.push_back(tree_.path("t"));
  const ScanRun run = run_scan(args);
  EXPECT_EQ(run.status, 1) << run.err;
  const SplitOutput out = split(run.out);
  EXPECT_EQ(sorted(out.results), sorted({"deleted:  " + kept, "deleted:  " + deep}));
  ASSERT_EQ(out.summary.size(), 10u) << run.out;
  EXPECT_EQ(out.summary[6], "Directories: 4");
  EXPECT_EQ(out.summary[7], "Excluded: 3");
  for (const std::string& path : left) EXPECT_EQ(read_file(path), kInfectedMail) << path;

  args = globs;
  args.insert(args.end(), {"--json", "--report-only", tree_.path("t")});
  const std::vector<json> objects = objects_of(run_scan(args).out);
  ASSERT_FALSE(objects.empty());
  EXPECT_EQ(objects.back().at("excluded"), 3);
}

// The three steps as a user takes them: look and plan, apply the plan with
// copies, undo. Afterwards every file holds its bytes, permissions and
// modification time from before.
TEST_F(QuarnScanBinary, plan_apply_with_backup_and_undo_leave_every_file_as_before) {
  const auto sample = write_sample("disk");
  const auto state = [&] { return files_as_they_are(sample.root); };
  const auto before = state();
  const std::string plan = tree_.path("plan.jsonl");
  const std::string store = tree_.path("store");
  EXPECT_EQ(run_scan({"--report-only", "--plan", plan, sample.root}).status, expected_status(sample));

  const ScanRun applied = run_scan({"--apply", plan, "--backup", store});
  EXPECT_EQ(applied.status, 1) << applied.err;
  for (const auto& file : sample.files) {
    if (file.outcome == Outcome::cleaned) {
      EXPECT_EQ(read_file(sample.path_of(file)), *file.expected) << file.relative;
    } else if (file.outcome == Outcome::deleted) {
      EXPECT_FALSE(exists(sample.path_of(file))) << file.relative;
    }
  }

  const ScanRun undone = run_scan({"--undo", store});
  EXPECT_EQ(undone.status, 0) << undone.err;
  EXPECT_TRUE(state() == before);
}

#ifndef _WIN32
// Windows names are text in the ANSI code page; only POSIX names can be any
// bytes.
TEST_F(QuarnScanBinary, json_keeps_a_name_that_is_not_utf8_in_path_bytes) {
  const std::string bad = tree_.write("disk/bad\xFF\xFEname.eml", kInfectedMail);
  const std::string good = tree_.write("disk/caf\xC3\xA9.eml", kInfectedMail);
  const std::vector<json> objects = objects_of(run_scan({"--json", "--no-summary", tree_.path("disk")}).out);
  ASSERT_EQ(objects.size(), 2u);
  std::map<std::string, json> by_path;
  for (const json& object : objects) by_path[object.at("path").get<std::string>()] = object;

  const json& bad_object = by_path.at(tree_.path("disk/bad\uFFFD\uFFFDname.eml"));
  EXPECT_EQ(bad_object.at("path_bytes"), cli::base64(bad));
  EXPECT_FALSE(by_path.at(good).contains("path_bytes"));
}
#endif

}  // namespace
}  // namespace quarn::testing
