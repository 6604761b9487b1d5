// quarn-scan as scripts see it on POSIX: the built binary, run on generated
// trees, judged by its output lines, summary, exit status and the files it
// leaves. quarn_scan_common_test.cpp holds the cases that Windows runs too.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "cli/scan_output.h"
#include "cli/scan_process.h"
#include "support/temp_tree.h"
#include "tools/sample_tree.h"

namespace quarn::testing {
namespace {

namespace fs = std::filesystem;
using sample::Outcome;

// Every regular file below root and its bytes, for before-and-after checks.
using Snapshot = std::vector<std::pair<std::string, std::string>>;

class QuarnScan : public ::testing::Test {
 protected:
  sample::SampleTree write_sample(const std::string& relative) { return sample::write_sample_tree(tree_.path(relative)); }

  TempTree tree_;
};

TEST_F(QuarnScan, log_option_holds_the_output_lines_in_the_same_order) {
  const auto sample = write_sample("disk");
  const std::string log = tree_.path("scan.log");
  const ScanRun run = run_scan({"--log", log, sample.root});
  std::string expected;
  for (const std::string& line : split(run.out).results) expected += line + "\r\n";
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(read_file(log), expected);
}

TEST_F(QuarnScan, no_log_file_is_written_unless_asked_for) {
  tree_.write("disk/m.eml", kInfectedMail);
  const std::string home = tree_.make_dir("home");
  ScanSetup setup;
  setup.args = {tree_.path("disk")};
  setup.env = {{"HOME", home}};
  EXPECT_EQ(run_scan(setup).status, 1);
  EXPECT_TRUE(fs::is_empty(home));
}

TEST_F(QuarnScan, several_paths_are_walked_in_turn_and_a_file_path_is_scanned_alone) {
  tree_.write("a/sub/m.eml", kInfectedMail);
  tree_.write("b/n.nws", kInfectedMail);
  const std::string single = tree_.write("c/single.eml", kInfectedMail);
  tree_.write("c/other.eml", kInfectedMail);
  const ScanRun run = run_scan({tree_.path("a"), tree_.path("b"), single});
  EXPECT_EQ(run.status, 1);
  const SplitOutput out = split(run.out);
  EXPECT_EQ(out.results, (std::vector<std::string>{"deleted:  " + tree_.path("a/sub/m.eml"),
                                                   "deleted:  " + tree_.path("b/n.nws"), "deleted:  " + single}));
  EXPECT_EQ(items_of(out.summary)["Directories"], "3");
  EXPECT_TRUE(exists(tree_.path("c/other.eml")));
}

TEST_F(QuarnScan, a_linked_path_is_followed_but_links_inside_the_walk_are_not) {
  tree_.write("real/m.eml", kInfectedMail);
  tree_.write("elsewhere/n.eml", kInfectedMail);
  fs::create_directory_symlink(tree_.path("real"), tree_.path("named"));
  fs::create_directory_symlink(tree_.path("elsewhere"), tree_.path("real/inner"));
  const ScanRun run = run_scan({tree_.path("named")});
  EXPECT_EQ(run.status, 1);
  // Shown under the name the user typed, not the link's target.
  EXPECT_EQ(split(run.out).results, std::vector<std::string>{"deleted:  " + tree_.path("named/m.eml")});
  EXPECT_FALSE(exists(tree_.path("real/m.eml")));
  EXPECT_TRUE(exists(tree_.path("elsewhere/n.eml")));
}

TEST_F(QuarnScan, a_folder_that_cannot_be_listed_is_named_on_stderr_and_is_an_error) {
  tree_.write("disk/ok.eml", kInfectedMail);
  const std::string hidden = tree_.write("disk/locked/hidden.eml", kInfectedMail);
  const std::string locked = tree_.path("disk/locked");
  ScanSetup setup;
  setup.args = {tree_.path("disk")};
  if (::geteuid() == 0) {
    // Root lists every folder: the scan runs as nobody, in a tree open to
    // all but the one folder that root keeps to itself.
    ::chmod(tree_.root().c_str(), 0755);
    ::chmod(tree_.path("disk").c_str(), 0777);
    ::chmod(locked.c_str(), 0700);
    setup.user = 65534;
  } else {
    ::chmod(locked.c_str(), 0);
  }
  const ScanRun run = run_scan(setup);
  ::chmod(locked.c_str(), 0755);
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("cannot list the folder " + locked + ": Permission denied;"), std::string::npos) << run.err;
  EXPECT_EQ(items_of(split(run.out).summary)["Scan errors"], "1");
  EXPECT_FALSE(exists(tree_.path("disk/ok.eml")));
  EXPECT_TRUE(exists(hidden));
}

TEST_F(QuarnScan, its_own_program_named_exe_is_never_scanned_from_a_start_folder_ending_in_a_separator) {
  // The program holds the signature as text: scanned, it would count itself.
  const std::string copy = tree_.path("disk/quarn-scan.exe");
  fs::create_directories(tree_.path("disk"));
  fs::copy_file(QUARN_SCAN_BINARY, copy);
  ScanSetup setup;
  setup.program = copy;
  setup.args = {tree_.path("disk") + "/"};
  const ScanRun run = run_scan(setup);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(split(run.out).results.empty());
  EXPECT_EQ(items_of(split(run.out).summary)["Files scanned"], "0");
}

TEST_F(QuarnScan, one_file_system_counts_another_mount_without_entering_it) {
  tree_.write("disk/top.eml", kInfectedMail);
  const std::string mount = tree_.make_dir("disk/mnt");
  if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "mounting a tmpfs needs root (CAP_SYS_ADMIN)";
  }
  tree_.write("disk/mnt/inner.eml", kInfectedMail);
  const ScanRun within = run_scan({"--report-only", "-x", tree_.path("disk")});
  const ScanRun across = run_scan({"--report-only", tree_.path("disk")});
  ::umount2(mount.c_str(), MNT_DETACH);
  EXPECT_EQ(split(within.out).results, std::vector<std::string>{"would delete:  " + tree_.path("disk/top.eml")});
  EXPECT_EQ(items_of(split(within.out).summary)["Directories"], "2");
  EXPECT_EQ(split(across.out).results.size(), 2u);
}

TEST_F(QuarnScan, a_name_with_control_bytes_stays_one_harmless_line) {
  tree_.write("disk/a\nb\x1b[2J.eml", kInfectedMail);
  const ScanRun run = run_scan({tree_.path("disk")});
  EXPECT_EQ(split(run.out).results, std::vector<std::string>{"deleted:  " + tree_.path("disk/a\\x0Ab\\x1B[2J.eml")});
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
}

TEST_F(QuarnScan, quiet_drops_the_file_lines_and_no_summary_drops_the_summary) {
  for (const char* name : {"q", "s", "qs"}) tree_.write(std::string(name) + "/m.eml", kInfectedMail);

  const ScanRun quiet = run_scan({"--quiet", tree_.path("q")});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(split(quiet.out).results.size(), 0u);
  EXPECT_EQ(split(quiet.out).summary.size(), 9u);

  const ScanRun no_summary = run_scan({"--no-summary", tree_.path("s")});
  EXPECT_EQ(no_summary.status, 1);
  EXPECT_EQ(no_summary.out, "deleted:  " + tree_.path("s/m.eml") + "\n");

  const ScanRun both = run_scan({"--quiet", "--no-summary", tree_.path("qs")});
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(both.out, "");
}

TEST_F(QuarnScan, report_only_changes_no_byte_and_says_what_each_remedy_would_do) {
  const auto sample = write_sample("disk");
  const std::string log = tree_.path("report.log");
  const Snapshot before = snapshot(sample.root);
  const ScanRun run = run_scan({"--report-only", "--log", log, sample.root});
  EXPECT_EQ(snapshot(sample.root), before);

  const std::map<Outcome, std::string> words = {{Outcome::cleaned, "would clean"},
                                                {Outcome::deleted, "would delete"},
                                                {Outcome::unchanged, "would keep"},
                                                {Outcome::error, "would fail"}};
  std::vector<std::string> expected;
  for (const auto& file : sample.files) {
    if (file.outcome != Outcome::untouched) expected.push_back(words.at(file.outcome) + ":  " + sample.path_of(file));
  }
  const SplitOutput out = split(run.out);
  EXPECT_EQ(sorted(out.results), sorted(expected));
  EXPECT_EQ(run.status, expected_status(sample));

  const auto counts = sample.expected_counts();
  auto items = items_of(out.summary);
  EXPECT_EQ(items["Files infected"], std::to_string(counts.infected));
  EXPECT_EQ(items["Files to clean"], std::to_string(counts.cleaned));
  EXPECT_EQ(items["Files to delete"], std::to_string(counts.deleted));
  EXPECT_EQ(items.count("Files cleaned"), 0u) << "nothing was cleaned";

  std::string log_expected;
  for (const std::string& line : out.results) log_expected += line + "\r\n";
  EXPECT_EQ(read_file(log), log_expected);
}

TEST_F(QuarnScan, backup_holds_exact_copies_of_everything_changed_or_deleted) {
  const auto sample = write_sample("disk");
  const std::string store = tree_.path("store");
  const ScanRun run = run_scan({"--backup", store, sample.root});
  EXPECT_EQ(run.status, expected_status(sample));

  const std::string full_root = fs::canonical(sample.root).string();
  for (const auto& file : sample.files) {
    const std::string copy = store + full_root + "/" + file.relative;
    switch (file.outcome) {
      case Outcome::cleaned:
      case Outcome::deleted:
        EXPECT_EQ(read_file(copy), file.original) << file.relative;
        EXPECT_FALSE(exists(copy + ".1")) << file.relative;
        break;
      case Outcome::error:
        // A failed remedy may have changed part of the file: its copy stays.
        if (exists(copy)) {
          EXPECT_EQ(read_file(copy), file.original) << file.relative;
        }
        break;
      case Outcome::untouched:
      case Outcome::unchanged:
        EXPECT_FALSE(exists(copy)) << file.relative;
        break;
    }
  }
}

TEST_F(QuarnScan, backup_folder_inside_a_path_is_never_walked) {
  tree_.write("disk/a/m.eml", kInfectedMail);
  const std::string store = tree_.path("disk/store");
  EXPECT_EQ(run_scan({"--backup", store, tree_.path("disk")}).status, 1);
  const std::string copy = store + fs::canonical(tree_.path("disk")).string() + "/a/m.eml";
  ASSERT_EQ(read_file(copy), kInfectedMail);

  // A walk into the store would find the copy and delete it.
  const ScanRun again = run_scan({"--backup", store, tree_.path("disk")});
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_EQ(read_file(copy), kInfectedMail);
  EXPECT_EQ(items_of(split(again.out).summary)["Directories"], "2");
}

TEST_F(QuarnScan, backup_never_replaces_an_earlier_copy) {
  const std::string store = tree_.path("store");
  tree_.write("disk/m.eml", "first");
  run_scan({"--backup", store, tree_.path("disk")});
  tree_.write("disk/m.eml", "second");
  run_scan({"--backup", store, tree_.path("disk")});
  const std::string copy = store + fs::canonical(tree_.path("disk")).string() + "/m.eml";
  EXPECT_EQ(read_file(copy), "first");
  EXPECT_EQ(read_file(copy + ".1"), "second");
}

// A remedy that replaces or deletes a name leaves the file's other names on
// the infected bytes. Those the walk met are remedied too; the rest are
// counted and named once at the end. A page is cut in place, so its other
// names share the cut.
TEST_F(QuarnScan, other_names_of_a_remedied_file_outside_the_scan_are_counted_at_the_end) {
  const std::string mail = tree_.write("disk/m.eml", kInfectedMail);
  const std::string copy = tree_.write("disk/load.exe", kDamagedProgram);  // a dropped copy: deleted
  const std::string page = tree_.write("disk/index.htm", sample::clean_page("Home") + sample::appended_block());
  fs::create_directories(tree_.path("outside"));
  struct Link {
    std::string from;
    const char* to;
  };
  for (const Link& link : {Link{mail, "disk/again.eml"}, Link{mail, "outside/m.eml"}, Link{copy, "outside/a"},
                           Link{copy, "outside/b"}, Link{page, "outside/index.htm"}}) {
    fs::create_hard_link(link.from, tree_.path(link.to));
  }
  const ScanRun run = run_scan({"--json", "--no-summary", tree_.path("disk")});
  EXPECT_EQ(run.status, 1) << run.err;
  std::map<std::string, std::uint64_t> outside;
  std::vector<std::string> notes;
  for (const std::string& line : lines_of(run.out)) {
    const auto object = nlohmann::json::parse(line);
    if (object.at("type") != "links") continue;
    const std::string path = object.at("path");
    outside[path] = object.at("names_outside");
    notes.push_back("quarn-scan: " + path + ": " + std::to_string(outside[path]) +
                    (outside[path] == 1 ? " other name of this file lies outside the scan and still leads"
                                        : " other names of this file lie outside the scan and still lead") +
                    " to the infected bytes");
  }
  // The mail's two names in the scan are both deleted; either one speaks.
  const std::string mail_name = outside.count(mail) ? mail : tree_.path("disk/again.eml");
  EXPECT_EQ(outside, (std::map<std::string, std::uint64_t>{{copy, 2}, {mail_name, 1}})) << run.out;
  EXPECT_EQ(sorted(lines_of(run.err)), sorted(notes));
  EXPECT_EQ(read_file(tree_.path("outside/a")), kDamagedProgram);
  EXPECT_EQ(read_file(tree_.path("outside/index.htm")), sample::clean_page("Home"));
}

// Every remedy would fail on a read-only mount, each after its own read: the
// scan refuses at once, and a preview, which changes nothing, still runs.
TEST_F(QuarnScan, a_path_on_a_read_only_mount_is_refused_before_any_file_is_read_unless_previewed) {
  const std::string mount = tree_.make_dir("ro");
  if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "mounting a tmpfs needs root (CAP_SYS_ADMIN)";
  }
  const std::string mail = tree_.write("ro/m.eml", kInfectedMail);
  ::mount("tmpfs", mount.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m");
  const ScanRun refused = run_scan({mount});
  const ScanRun previewed = run_scan({"--report-only", mount});
  ::umount2(mount.c_str(), MNT_DETACH);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("'" + mount + "' is mounted read-only: nothing can be cleaned"), std::string::npos)
      << refused.err;
  EXPECT_EQ(previewed.status, 1) << previewed.err;
  EXPECT_EQ(split(previewed.out).results, std::vector<std::string>{"would delete:  " + mail});
}

TEST_F(QuarnScan, file_that_cannot_be_backed_up_is_left_unchanged_and_is_an_error) {
  const std::string mail = tree_.write("disk/m.eml", kInfectedMail);
  const std::string store = tree_.make_dir("store");
  // The copy's folder cannot be made where a file already has its name.
  const std::string full_disk = fs::canonical(tree_.path("disk")).string();
  tree_.write("store/" + full_disk.substr(1, full_disk.find('/', 1) - 1), "in the way");

  const ScanRun run = run_scan({"--backup", store, tree_.path("disk")});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(split(run.out).results, std::vector<std::string>{"error:  " + mail});
  EXPECT_EQ(read_file(mail), kInfectedMail);
  EXPECT_EQ(run.err, "quarn-scan: cannot back up " + mail + ": Not a directory; it was left unchanged\n");

  // Scripts get the stable word and the same reason, on the file's object
  // and on one object of its own.
  const ScanRun json = run_scan({"--json", "--no-summary", "--backup", store, tree_.path("disk")});
  const auto lines = lines_of(json.out);
  ASSERT_EQ(lines.size(), 2u) << json.out;
  for (const std::string& line : lines) {
    const auto object = nlohmann::json::parse(line);
    EXPECT_EQ(object.at("error"), "not-found") << line;
    EXPECT_EQ(object.at("reason"), "Not a directory") << line;
  }
}

// A scan with --backup and then --undo leave every file as it was, however
// odd its name or deep its folder, and a second --undo finds nothing to do.
TEST_F(QuarnScan, undo_after_a_backed_up_scan_leaves_every_file_exactly_as_before) {
  const auto sample = write_sample("disk/sample");
  std::string deep = "disk/deep";
  for (int i = 0; i < 40; ++i) deep += "/folder-with-a-long-name-" + std::to_string(i);
  tree_.write(deep + "/m.eml", kInfectedMail);
  tree_.write("disk/odd \xff\x01 name.eml", kInfectedMail);
  tree_.write("disk/page.htm", sample::clean_page("p") + sample::appended_block());
  ::chmod(tree_.path("disk/page.htm").c_str(), 0640);
  const std::string disk = tree_.path("disk");
  const auto before = files_as_they_are(disk);
  const std::string store = tree_.path("store");

  const ScanRun scan = run_scan({"--backup", store, disk});
  ASSERT_EQ(scan.status, 2) << scan.err;  // the sample's damaged program
  ASSERT_TRUE(files_as_they_are(disk) != before);
  const ScanRun preview = run_scan({"--undo", store, "--report-only"});
  EXPECT_EQ(preview.status, 0) << preview.err;
  ASSERT_TRUE(files_as_they_are(disk) != before);

  const ScanRun undo = run_scan({"--undo", store, "--json"});
  EXPECT_EQ(undo.status, 0) << undo.err;
  EXPECT_EQ(undo.err, "");
  EXPECT_TRUE(files_as_they_are(disk) == before);
  const auto summary = nlohmann::json::parse(lines_of(undo.out).back());
  EXPECT_EQ(summary.at("put_back"), summary.at("records"));

  const ScanRun again = run_scan({"--undo", store});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(items_of(split(again.out).summary)["Needed nothing"], summary.at("records").dump());
}

// A file that holds anything but what the run left is never overwritten:
// a page changed after its cut, a deleted mail's name taken again, a
// restored program deleted since. The rest is put back.
TEST_F(QuarnScan, undo_leaves_alone_what_changed_since_the_scan_and_says_why) {
  const std::string page = tree_.write("disk/page.htm", sample::clean_page("p") + sample::appended_block());
  const std::string mail = tree_.write("disk/m.eml", kInfectedMail);
  const std::string other = tree_.write("disk/other.eml", kInfectedMail);
  const std::string store = tree_.path("store");
  ASSERT_EQ(run_scan({"--backup", store, tree_.path("disk")}).status, 1);
  tree_.write("disk/page.htm", "edited since");
  tree_.write("disk/m.eml", "a new mail");

  const ScanRun undo = run_scan({"--undo", store});
  EXPECT_EQ(undo.status, 2);
  EXPECT_EQ(read_file(page), "edited since");
  EXPECT_EQ(read_file(mail), "a new mail");
  EXPECT_EQ(read_file(other), kInfectedMail);
  const std::string full = fs::canonical(tree_.path("disk")).string();
  EXPECT_NE(undo.err.find("cannot undo " + full + "/page.htm: changed since the scan"), std::string::npos) << undo.err;
  EXPECT_NE(undo.err.find("cannot undo " + full + "/m.eml: a file is there again"), std::string::npos) << undo.err;
  EXPECT_EQ(items_of(split(undo.out).summary)["Refused"], "2");
}

// A manifest with a fault is refused whole before any file is touched.
TEST_F(QuarnScan, a_bad_manifest_changes_nothing_and_names_its_fault) {
  tree_.write("disk/m.eml", kInfectedMail);
  const std::string store = tree_.path("store");
  ASSERT_EQ(run_scan({"--backup", store, tree_.path("disk")}).status, 1);
  const std::string manifest = read_file(store + "/manifest.jsonl");
  const std::string full = fs::canonical(tree_.path("disk")).string();
  const struct {
    const char* name;
    std::string text;
    const char* error;
  } cases[] = {
      {"wrong_version", std::regex_replace(manifest, std::regex("\"manifest\":1"), "\"manifest\":7"),
       "line 1: a record of manifest version 7"},
      {"path_outside_its_run", std::regex_replace(manifest, std::regex(full + "/m.eml"), full + "x/m.eml"),
       "line 2: the path"},
      {"a_line_cut_in_the_middle", manifest.substr(0, manifest.find('\n') + 10) + "\n" , "line 2: not a JSON"},
  };
  for (const auto& c : cases) {
    tree_.write("store/manifest.jsonl", c.text);
    const ScanRun undo = run_scan({"--undo", store});
    EXPECT_EQ(undo.status, 2) << c.name;
    EXPECT_FALSE(exists(tree_.path("disk/m.eml"))) << c.name;
    EXPECT_NE(undo.err.find("is refused, " + std::string(c.error)), std::string::npos) << c.name << undo.err;
    EXPECT_NE(undo.err.find("; nothing was changed"), std::string::npos) << c.name;
  }
  // Cut without its line end, the last record is unfinished and left out:
  // the run's other records still count.
  tree_.write("store/manifest.jsonl", manifest.substr(0, manifest.size() - 5));
  const ScanRun undo = run_scan({"--undo", store});
  EXPECT_EQ(undo.status, 0) << undo.err;
  EXPECT_EQ(read_file(tree_.path("disk/m.eml")), kInfectedMail);
}

// --apply does what the plan says and nothing else: a planned file that
// changed since is named and left as it is, a file infected since is not
// touched, and every other planned remedy is done.
TEST_F(QuarnScan, apply_does_exactly_the_plan_and_leaves_a_file_changed_since) {
  const auto sample = write_sample("disk");
  const std::string plan = tree_.path("plan.jsonl");
  const ScanRun planned = run_scan({"--report-only", "--plan", plan, sample.root});
  ASSERT_EQ(planned.status, expected_status(sample)) << planned.err;
  const std::string changed = sample.path_of("site/index.htm");
  tree_.write("disk/site/index.htm", read_file(changed) + "<!-- edited -->");
  const std::string edited = read_file(changed);
  const std::string late = tree_.write("disk/Mail/late.eml", kInfectedMail);

  const ScanRun applied = run_scan({"--apply", plan});
  EXPECT_EQ(applied.status, 2);
  EXPECT_EQ(read_file(changed), edited);
  EXPECT_EQ(read_file(late), kInfectedMail);
  const std::string full = fs::canonical(sample.root).string();
  EXPECT_EQ(applied.err, "quarn-scan: cannot apply the plan to " + full +
                             "/site/index.htm: changed since the plan; it was left as it is\n");
  for (const auto& file : sample.files) {
    if (file.relative == "site/index.htm" || (file.outcome != Outcome::cleaned && file.outcome != Outcome::deleted)) {
      continue;
    }
    const std::string path = sample.path_of(file);
    if (file.expected) {
      EXPECT_EQ(read_file(path), *file.expected) << file.relative;
    } else {
      EXPECT_FALSE(exists(path)) << file.relative;
    }
  }
}

// A plan is checked whole before any file is touched: one cut short, of
// another version, edited, or naming a path outside its PATHs is refused.
TEST_F(QuarnScan, a_bad_plan_changes_nothing_and_names_its_line) {
  tree_.write("disk/a.eml", kInfectedMail);
  tree_.write("disk/b.eml", kInfectedMail);
  const std::string plan = tree_.path("plan.jsonl");
  ASSERT_EQ(run_scan({"--report-only", "--plan", plan, tree_.path("disk")}).status, 1);
  const std::string text = read_file(plan);
  const std::string full = fs::canonical(tree_.path("disk")).string();
  const std::size_t last = text.rfind('\n', text.size() - 2) + 1;
  // With several jobs the two files may be planned in either order.
  const auto a_at = static_cast<std::ptrdiff_t>(text.find("/a.eml"));
  const auto a_line = std::count(text.begin(), text.begin() + a_at, '\n') + 1;
  const struct {
    const char* name;
    std::string text;
    std::string error;
  } cases[] = {
      {"without_its_end", text.substr(0, last), "line 4: no end line"},
      {"cut_in_a_line", text.substr(0, text.size() - 3), "line 4: a line cut short"},
      {"another_version", std::regex_replace(text, std::regex("^\\{\"plan\":1"), "{\"plan\":2"),
       "line 1: a record of plan version 2"},
      {"a_line_that_does_not_parse", std::regex_replace(text, std::regex("\"type\":\"file\""), "\"type\":"),
       "line 2: not a JSON object"},
      {"an_edited_action", std::regex_replace(text, std::regex("\"delete\""), "\"restore\""),
       "line 4: the lines do not hash"},
      {"a_path_outside", std::regex_replace(text, std::regex(full + "/a.eml"), full + "/../a.eml"),
       "line " + std::to_string(a_line) + ": the path"},
  };
  for (const auto& c : cases) {
    tree_.write("plan.jsonl", c.text);
    const ScanRun applied = run_scan({"--apply", plan});
    EXPECT_EQ(applied.status, 2) << c.name;
    EXPECT_EQ(applied.out, "") << c.name;
    EXPECT_EQ(applied.err.rfind("quarn-scan: the plan '" + plan + "' is refused, " + c.error, 0), 0u)
        << c.name << ": " << applied.err;
    EXPECT_EQ(read_file(tree_.path("disk/a.eml")), kInfectedMail) << c.name;
  }
}

// A list as find -print0 writes it: a name keeps its CR and LF, an empty
// one is skipped, a folder is walked, and the listed PATHs follow the
// command line's. A list of lines drops the CR of a CR LF end, and a name
// there that does not exist is refused by its line before any file is read.
TEST_F(QuarnScan, files_from_scans_the_listed_paths_after_the_named_ones) {
  const std::string first = tree_.write("first.eml", kInfectedMail);
  const std::string newline = tree_.write("d/new\nline.eml", kInfectedMail);
  const std::string crlf = tree_.write("d/cr\r\nlf.eml", kInfectedMail);
  const std::string walked = tree_.write("e/sub/m.nws", kInfectedMail);
  const std::string list = tree_.write("list0", newline + '\0' + crlf + '\0' + '\0' + tree_.path("e") + '\0');
  const ScanRun run = run_scan({"--jobs", "1", "--no-summary", "-0", "--files-from", list, first});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(lines_of(run.out), (std::vector<std::string>{"deleted:  " + first,
                                                         "deleted:  " + tree_.path("d/new\\x0Aline.eml"),
                                                         "deleted:  " + tree_.path("d/cr\\x0D\\x0Alf.eml"),
                                                         "deleted:  " + walked}));

  const std::string stays = tree_.write("stays.eml", kInfectedMail);
  const std::string lines = tree_.write("list", stays + "\r\n\n" + tree_.path("nope") + "\n");
  const ScanRun bad = run_scan({"--files-from", lines});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "quarn-scan: --files-from '" + lines + "', line 3: '" + tree_.path("nope") + "' does not exist\n");
  EXPECT_EQ(read_file(stays), kInfectedMail);
}

struct BadUsage {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the tree's root
  const char* says = "";          // a part of the message: the system's reason
};

class QuarnScanBadUsage : public QuarnScan, public ::testing::WithParamInterface<BadUsage> {};

TEST_P(QuarnScanBadUsage, gets_one_message_status_2_and_no_scan) {
  const std::string mail = tree_.write("disk/m.eml", kInfectedMail);
  tree_.write("blocker", "a file where a folder would have to be");
  ::mkfifo(tree_.path("fifo").c_str(), 0600);
  std::vector<std::string> args;
  for (const std::string& arg : GetParam().args) {
    std::string text = arg;
    for (auto at = text.find('@'); at != std::string::npos; at = text.find('@')) text.replace(at, 1, tree_.root());
    args.push_back(text);
  }
  const ScanRun run = run_scan(args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  ASSERT_EQ(lines_of(run.err).size(), 1u) << run.err;
  EXPECT_EQ(run.err.rfind("quarn-scan: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
  EXPECT_EQ(read_file(mail), kInfectedMail) << "a scan started";
}

INSTANTIATE_TEST_SUITE_P(
    Every, QuarnScanBadUsage,
    ::testing::Values(BadUsage{"no_path", {}}, BadUsage{"unknown_option", {"--bogus", "@/disk"}},
                      BadUsage{"missing_path", {"@/disk", "@/nothing-here"}},
                      BadUsage{"empty_path", {"", "@/disk"}},
                      BadUsage{"log_without_file", {"@/disk", "--log"}},
                      BadUsage{"log_twice", {"--log", "@/a.log", "--log", "@/b.log", "@/disk"}},
                      BadUsage{"empty_backup_name", {"--backup=", "@/disk"}},
                      BadUsage{"path_is_a_fifo", {"@/fifo"}},
                      BadUsage{"log_that_cannot_be_created", {"--log", "@/blocker/scan.log", "@/disk"},
                               ": Not a directory"},
                      BadUsage{"backup_that_cannot_be_created", {"--backup", "@/blocker/store", "@/disk"},
                               ": Not a directory"},
                      BadUsage{"backup_with_report_only", {"--backup", "@/store", "--report-only", "@/disk"}},
                      BadUsage{"path_inside_backup", {"--backup", "@/disk", "@/disk"}},
                      BadUsage{"no_jobs", {"--jobs", "0", "@/disk"}},
                      BadUsage{"jobs_not_a_number", {"-j", "many", "@/disk"}},
                      BadUsage{"empty_glob", {"--exclude=", "@/disk"}},
                      BadUsage{"null_without_a_list", {"-0", "@/disk"}},
                      BadUsage{"list_that_cannot_be_read", {"--files-from", "@/nothing-here"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LogPlace {
  const char* name;
  std::string log;  // "@" stands for the tree's root
  int status;
  std::string err;  // "@" as above
  int lines_lost;   // -1: refused before the scan
};

class QuarnScanLogPlace : public QuarnScan, public ::testing::WithParamInterface<LogPlace> {};

// A device takes the log as it is, neither held nor emptied; a device that
// takes no line says why once, however many lines it loses, and each lost
// line is a scan error that the summary also counts apart. A FIFO and a
// folder are refused by name before any file is touched.
TEST_P(QuarnScanLogPlace, is_written_or_refused_by_what_it_is) {
  const LogPlace& place = GetParam();
  const std::vector<std::string> mails = {tree_.write("disk/a.eml", kInfectedMail),
                                          tree_.write("disk/b.eml", kInfectedMail),
                                          tree_.write("disk/c.nws", kInfectedMail)};
  ::mkfifo(tree_.path("fifo").c_str(), 0600);
  tree_.make_dir("folder");
  const auto rooted = [&](std::string text) {
    for (auto at = text.find('@'); at != std::string::npos; at = text.find('@')) text.replace(at, 1, tree_.root());
    return text;
  };
  const ScanRun run = run_scan({"--json", "--log", rooted(place.log), tree_.path("disk")});
  EXPECT_EQ(run.status, place.status);
  EXPECT_EQ(run.err, rooted(place.err));
  for (const std::string& mail : mails) EXPECT_EQ(exists(mail), place.lines_lost < 0) << mail;
  if (place.lines_lost < 0) {
    EXPECT_EQ(run.out, "");
    return;
  }
  const std::string lost = std::to_string(place.lines_lost);
  EXPECT_NE(run.out.find("\"scan_errors\":" + lost + ","), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"log_lines_lost\":" + lost + ","), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Every, QuarnScanLogPlace,
    ::testing::Values(LogPlace{"dev_null", "/dev/null", 1, "", 0},
                      LogPlace{"dev_full", "/dev/full", 2,
                               "quarn-scan: cannot write the log /dev/full: No space left on device\n", 3},
                      LogPlace{"fifo", "@/fifo", 2,
                               "quarn-scan: the log '@/fifo' is a FIFO; give a file or a character device\n", -1},
                      LogPlace{"folder", "@/folder", 2,
                               "quarn-scan: the log '@/folder' is a folder; give a file or a character device\n",
                               -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QuarnScan, help_and_version_print_to_stdout_and_exit_0) {
  const ScanRun help = run_scan({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* word : {"--log", "--quiet", "--no-summary", "--report-only", "--json", "--backup", "--jobs",
                           "timing the first reads", "--version",
                           "would clean", "129", "130", "143", "SIGUSR1"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  }
  const ScanRun version = run_scan({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("quarn-scan [0-9.]+\n")));
}

class QuarnScanSignal : public QuarnScan, public ::testing::WithParamInterface<std::pair<int, int>> {};

// The output pipe holds far fewer lines than the tree makes, so the scan is
// still running when the signal comes, however fast the machine is.
TEST_P(QuarnScanSignal, stops_after_the_file_in_progress_prints_the_summary_and_exits) {
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i) tree_.write("disk/mail-" + std::to_string(i) + ".eml", kInfectedMail);
  ScanSetup setup;
  setup.args = {tree_.path("disk")};
  ScanProcess scan(setup);
  ASSERT_TRUE(scan.read_line().has_value());
  scan.send_signal(GetParam().first);
  const ScanRun run = scan.finish();

  EXPECT_EQ(run.status, GetParam().second);
  const SplitOutput out = split(run.out);
  auto items = items_of(out.summary);
  ASSERT_EQ(out.summary.size(), 10u) << run.out.substr(run.out.size() > 400 ? run.out.size() - 400 : 0);
  EXPECT_EQ(items["Stopped by"], std::string("SIG") + sigabbrev_np(GetParam().first));
  const int deleted = std::stoi(items["Files deleted"]);
  EXPECT_LT(deleted, kFiles);
  // Every deleted file was reported, and every file is either deleted or whole.
  EXPECT_EQ(out.results.size(), static_cast<std::size_t>(deleted));
  int left = 0;
  for (const auto& entry : fs::directory_iterator(tree_.path("disk"))) {
    EXPECT_EQ(read_file(entry.path().string()), kInfectedMail);
    ++left;
  }
  EXPECT_EQ(left + deleted, kFiles);
}

INSTANTIATE_TEST_SUITE_P(Stop, QuarnScanSignal,
                         ::testing::Values(std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}),
                         [](const auto& info) {
                           return info.param.first == SIGINT ? "sigint" : info.param.first == SIGTERM ? "sigterm" : "sighup";
                         });

// A terminal window that closes takes the output with it: the scan gets
// SIGHUP and every later write fails. Whatever it was doing, each file is
// left either as it was or fully remedied, with no temporary file beside it.
TEST_F(QuarnScan, closing_the_terminal_finishes_the_files_in_hand_and_exits_129) {
  sample::SampleOptions options;
  // Far more lines than the terminal holds unread, so the scan is still
  // running when it closes.
  options.copies = 120;
  options.big_host_padding = 4096;
  const auto sample = sample::write_sample_tree(tree_.path("disk"), options);
  ScanSetup setup;
  setup.args = {tree_.path("disk")};
  setup.own_terminal = true;
  ScanProcess scan(setup);
  ASSERT_TRUE(scan.read_line().has_value());
  scan.hang_up();
  EXPECT_EQ(scan.finish().status, 129);

  int untouched_infected = 0;
  for (const auto& file : sample.files) {
    const std::string path = sample.path_of(file);
    if (!fs::exists(path)) {
      EXPECT_EQ(file.outcome, Outcome::deleted) << path;
      continue;
    }
    const std::string now = read_file(path);
    EXPECT_TRUE(now == file.original || now == file.expected) << path;
    if (now == file.original && now != file.expected) ++untouched_infected;
  }
  EXPECT_GT(untouched_infected, 0) << "the scan stopped before its end";
  // Nothing beside the tree's own files: no restore's temporary file.
  for (const auto& entry : fs::recursive_directory_iterator(tree_.path("disk"))) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    EXPECT_NE(sample.find(fs::relative(entry.path(), tree_.path("disk")).generic_string()), nullptr) << entry.path();
  }
}

struct GoesOn {
  const char* name;
  int signal;
  bool ignored_at_start;
  const char* error_text;  // what stderr holds at the end, a pattern
};

void PrintTo(const GoesOn& row, std::ostream* os) { *os << row.name; }

class QuarnScanGoesOn : public QuarnScan, public ::testing::WithParamInterface<GoesOn> {};

// Sent while the scan is provably running (the output pipe is full), these
// signals leave it to run to its end.
TEST_P(QuarnScanGoesOn, after_a_signal_that_does_not_ask_it_to_stop) {
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i) tree_.write("disk/mail-" + std::to_string(i) + ".eml", kInfectedMail);
  ScanSetup setup;
  setup.args = {tree_.path("disk")};
  if (GetParam().ignored_at_start) setup.ignored_signals = {GetParam().signal};
  ScanProcess scan(setup);
  ASSERT_TRUE(scan.read_line().has_value());
  scan.send_signal(GetParam().signal);
  if (*GetParam().error_text != '\0') {
    ASSERT_TRUE(scan.wait_for_error_text("\n"));
  }
  const ScanRun run = scan.finish();

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(items_of(split(run.out).summary)["Files deleted"], std::to_string(kFiles));
  EXPECT_TRUE(std::regex_match(run.err, std::regex(GetParam().error_text))) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Signals, QuarnScanGoesOn,
    ::testing::Values(
        // As dd does: the progress line once, on a line of its own, even
        // though stderr is no terminal.
        GoesOn{"sigusr1_prints_the_progress_once", SIGUSR1, false,
               "Scanned [0-9]+  Infected [1-9][0-9]*  [0-9.-]+ MB/s  [0-9]{2}:[0-9]{2}:[0-9]{2}(  .*)?\n"},
        // Under nohup the scan outlives the terminal, as asked.
        GoesOn{"sighup_under_nohup_is_ignored", SIGHUP, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QuarnScan, progress_shows_on_a_terminal_within_its_width_and_is_wiped_at_the_end) {
  constexpr int kFiles = 3000;
  constexpr int kColumns = 60;
  for (int i = 0; i < kFiles; ++i) tree_.write("disk/mail-" + std::to_string(i) + ".eml", kInfectedMail);
  ScanSetup setup;
  setup.args = {tree_.path("disk")};
  setup.error_terminal_columns = kColumns;
  ScanProcess scan(setup);
  // Nobody reads the output yet, so the worker soon waits on the full pipe
  // while the main thread keeps the progress line fresh.
  ASSERT_TRUE(scan.wait_for_error_text("Scanned "));
  const ScanRun run = scan.finish();

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(items_of(split(run.out).summary)["Files deleted"], std::to_string(kFiles));
  EXPECT_EQ(run.out.find("Scanned "), std::string::npos);
  std::vector<std::string> frames;
  for (std::size_t start = 0, end; start <= run.err.size(); start = end + 1) {
    end = run.err.find('\r', start);
    if (end == std::string::npos) end = run.err.size();
    if (end > start) frames.push_back(run.err.substr(start, end - start));
  }
  ASSERT_GE(frames.size(), 2u) << run.err;
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    EXPECT_LT(frames[i].size(), static_cast<std::size_t>(kColumns)) << frames[i];
    if (frames[i].find_first_not_of(' ') != std::string::npos) {
      EXPECT_EQ(frames[i].rfind("Scanned ", 0), 0u) << frames[i];
      EXPECT_NE(frames[i].find(" MB/s  "), std::string::npos) << frames[i];
    }
  }
  EXPECT_EQ(frames.back().find_first_not_of(' '), std::string::npos) << "the last frame wipes the line";
}

TEST_F(QuarnScan, output_that_goes_away_stops_the_scan_with_status_2) {
  constexpr int kFiles = 500;
  for (int i = 0; i < kFiles; ++i) tree_.write("disk/mail-" + std::to_string(i) + ".eml", kInfectedMail);
  ScanSetup setup;
  // One job, so that exactly one file is in hand when the output fails;
  // with N, each thread finishes the file it holds.
  setup.args = {"--jobs", "1", tree_.path("disk")};
  setup.close_output = true;
  const ScanRun run = run_scan(setup);
  EXPECT_EQ(run.status, 2) << "a broken pipe must not end the program in the middle of a remedy";
  EXPECT_NE(run.err.find("standard output"), std::string::npos);
  // The first line fails, so the scan stops at the next entry: one file is
  // remedied without a word on the output, and no more.
  int left = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(tree_.path("disk"))) ++left;
  EXPECT_EQ(left, kFiles - 1);
}

}  // namespace
}  // namespace quarn::testing
