// The scanner: its state, the walk, the per-file scan, remedy dispatch, the
// scan log and the derived figures. Every tree is a temporary one.
#include "scan/virus_scanner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/read_ahead.h"
#include "support/temp_tree.h"
#include "scan/scanner_fixtures.h"

namespace quarn {
namespace {

using namespace std::chrono_literals;
using testing::exists;
using testing::read_file;
using testing::TempTree;
using testing::RecordingScanner;
using testing::ScriptedHandler;
using testing::PausingScanner;
using testing::use_handlers;

TEST(VirusScanner, fresh_scanner_is_zeroed_and_empties_its_log) {
  TempTree tree;
  std::string log = tree.write("scan.log", "old lines\r\n");
  CVirusScanner scanner(remedies::make_handlers, nullptr, log);
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 0);
  EXPECT_EQ(scanner.m_nFilesSkipped.load(), 0);
  EXPECT_EQ(scanner.m_nScanErrors.load(), 0);
  EXPECT_EQ(scanner.m_nFilesInfected.load(), 0);
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 0);
  EXPECT_EQ(scanner.m_nFilesCleaned.load(), 0);
  EXPECT_EQ(scanner.m_nDirectories.load(), 0);
  EXPECT_EQ(scanner.m_nBytesRead.load(), 0u);
  EXPECT_EQ(scanner.m_nHalfBufferLength, 65535u);
  EXPECT_TRUE(scanner.m_setHandlers.empty());
  EXPECT_TRUE(scanner.m_mapExtensions.empty());
  EXPECT_EQ(scanner.m_strCurrentFile.get(), "");
  EXPECT_EQ(scanner.m_strStartPath.get(), "");
  EXPECT_TRUE(scanner.HasLog());
  EXPECT_EQ(read_file(log), "");
  CVirusScanner with_start(remedies::make_handlers, "/some/where", std::nullopt);
  EXPECT_EQ(with_start.m_strStartPath.get(), "/some/where");
}

TEST(VirusScanner, run_walks_tree_and_counts_every_kind_of_entry) {
  TempTree tree;
  tree.write("a/clean.exe", std::string(1000, 'x'));
  tree.write("a/notes.txt", "text");
  tree.write("a/b/INDEX.HTM", "<html></html>");
  tree.write("a/b/c/mail.eml", "From: x");
  tree.write("readme", "no extension");
  tree.write("my.dir/readme", "extension dir/readme");
  tree.write("empty.htm", "");
  RecordingScanner scanner;
  scanner.scan(tree.root());

  // Folders: root, a, a/b, a/b/c, my.dir.
  EXPECT_EQ(scanner.m_nDirectories.load(), 5);
  // clean.exe, INDEX.HTM, mail.eml and the empty page are searched.
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 4);
  EXPECT_EQ(scanner.m_nFilesSkipped.load(), 3);
  EXPECT_EQ(scanner.m_nScanErrors.load(), 0);
  EXPECT_EQ(scanner.m_nBytesRead.load(), 1000u + 13u + 7u);
  // Mail is deleted whatever it holds.
  EXPECT_EQ(scanner.m_nFilesInfected.load(), 1);
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 1);
  EXPECT_FALSE(exists(tree.path("a/b/c/mail.eml")));
  ASSERT_EQ(scanner.results().size(), 1u);
  EXPECT_EQ(scanner.results()[0].path, tree.path("a/b/c/mail.eml"));
  EXPECT_EQ(scanner.results()[0].status, STATUS_DELETED);
  // During the run: three handlers and seven keys; afterwards neither.
  EXPECT_EQ(scanner.handlers_during_run_, 3u);
  EXPECT_EQ(scanner.keys_during_run_, 7u);
  EXPECT_TRUE(scanner.m_setHandlers.empty());
  EXPECT_GE(scanner.m_timeEnd.load(), scanner.m_timeStart.load());
}

TEST(VirusScanner, empty_files_are_scanned_and_only_match_always_handlers_take_them) {
  TempTree tree;
  std::string page = tree.write("p.htm", "");
  std::string mail = tree.write("m.nws", "");
  RecordingScanner scanner;
  scanner.scan(tree.root());
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 2);
  EXPECT_EQ(scanner.m_nBytesRead.load(), 0u);
  EXPECT_EQ(scanner.m_nFilesInfected.load(), 1);
  EXPECT_TRUE(exists(page));
  EXPECT_FALSE(exists(mail));
}

TEST(VirusScanner, file_that_cannot_be_opened_counts_one_error_and_nothing_else) {
  TempTree tree;
  std::string seen = tree.write("seen.exe", "x");
  CVirusScanner scanner(remedies::make_handlers, nullptr, std::nullopt);
  ScriptedHandler handler("exe", nullptr, STATUS_CLEANED, true);
  use_handlers(scanner, {&handler});
  EXPECT_TRUE(scanner.ScanFile(seen));
  EXPECT_FALSE(scanner.ScanFile(tree.path("vanished.exe")));
  EXPECT_EQ(scanner.m_nScanErrors.load(), 1);
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 1);
  EXPECT_EQ(scanner.m_strCurrentFile.get(), seen);
  EXPECT_EQ(handler.calls.size(), 1u);  // match-always, but only for the file it could open
}

TEST(VirusScanner, own_program_is_passed_over_whatever_path_text_reaches_it) {
  auto own = platform::own_program_path();
  ASSERT_TRUE(own.has_value());
  std::string extension;
  if (std::size_t dot = own->rfind('.'); dot != std::string::npos && dot != 0) extension = own->substr(dot + 1);
  platform::lower_ansi(extension);
  ScriptedHandler handler(extension.empty() ? ";" : extension.c_str(), nullptr, STATUS_SCANNED, true);
  CVirusScanner scanner(remedies::make_handlers, nullptr, std::nullopt);
  use_handlers(scanner, {&handler});
  EXPECT_TRUE(scanner.ScanFile(*own));
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 0);
  EXPECT_EQ(scanner.m_nBytesRead.load(), 0u);
  EXPECT_EQ(scanner.m_strCurrentFile.get(), "");

  // A start folder that ends in a separator, joined plainly, doubles one.
  std::string doubled = *own;
  const char separator = platform::separator();
  doubled.insert(doubled.rfind(separator), 1, separator);
  EXPECT_TRUE(scanner.ScanFile(doubled));
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 0);
  EXPECT_TRUE(handler.calls.empty());
}

TEST(VirusScanner, same_path_text_folds_separator_runs_but_keeps_a_leading_pair) {
  const std::string sep(1, platform::separator());
  EXPECT_TRUE(same_path_text("C:" + sep + sep + "X.exe", "c:" + sep + "x.EXE"));
  EXPECT_FALSE(same_path_text(sep + sep + "server" + sep + "x", sep + "server" + sep + "x"));
  EXPECT_FALSE(same_path_text("a" + sep + "b", "a" + sep + "c"));
}

TEST(VirusScanner, missing_start_folder_counts_one_directory_and_ends) {
  TempTree tree;
  RecordingScanner scanner;
  scanner.scan(tree.path("does-not-exist"));
  EXPECT_EQ(scanner.m_nDirectories.load(), 1);
  EXPECT_EQ(scanner.m_nFilesScanned.load() + scanner.m_nFilesSkipped.load() + scanner.m_nScanErrors.load(), 0);
  EXPECT_GE(scanner.m_timeEnd.load(), scanner.m_timeStart.load());
}

TEST(VirusScanner, second_run_adds_to_the_counters_and_rebuilds_its_handlers) {
  TempTree tree;
  tree.write("one.exe", "x");
  tree.write("d/m.eml", "x");
  RecordingScanner scanner;
  scanner.scan(tree.root());
  tree.write("d/m.eml", "x");
  scanner.scan(tree.root());
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 4);
  EXPECT_EQ(scanner.m_nDirectories.load(), 4);
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 2);
  EXPECT_EQ(scanner.handlers_during_run_, 3u);
}

TEST(VirusScanner, stop_during_a_file_finishes_it_then_ends_every_level) {
  TempTree tree;
  for (int d = 0; d < 3; ++d) {
    for (int f = 0; f < 20; ++f) tree.write(std::string("d") + std::to_string(d) + "/f" + std::to_string(f) + ".eml", "x");
  }
  PausingScanner scanner;
  scanner.m_strStartPath.set(tree.root());
  ASSERT_TRUE(scanner.Start());
  while (!scanner.paused_.load()) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(scanner.Stop(StopWait::dont_wait));
  scanner.resume_ = true;
  scanner.wait_idle();
  // The file in progress was finished and handed on; the rest were not.
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 1);
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 1);
  // The open levels (one subfolder and the root) each counted once.
  EXPECT_EQ(scanner.m_nDirectories.load(), 2);
  EXPECT_TRUE(scanner.m_setHandlers.empty());
  EXPECT_GE(scanner.m_timeEnd.load(), scanner.m_timeStart.load());
}

TEST(VirusScanner, stop_with_several_jobs_finishes_the_files_begun_and_drops_the_queued_ones) {
  TempTree tree;
  for (int d = 0; d < 3; ++d) {
    for (int f = 0; f < 20; ++f) tree.write(std::string("d") + std::to_string(d) + "/f" + std::to_string(f) + ".eml", "x");
  }
  constexpr std::size_t kJobs = 2;
  PausingScanner scanner;
  scanner.set_jobs(kJobs);
  scanner.m_strStartPath.set(tree.root());
  ASSERT_TRUE(scanner.Start());
  while (!scanner.paused_.load()) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(scanner.Stop(StopWait::dont_wait));
  scanner.resume_ = true;
  scanner.wait_idle();
  // Every file matches, so a thread that searched one waits for the paused
  // remedy: at most one file per thread was begun, and each begun file was
  // remedied to its end. The queued rest were never opened.
  const int deleted = scanner.m_nFilesDeleted.load();
  EXPECT_GE(deleted, 1);
  EXPECT_LE(deleted, static_cast<int>(kJobs));
  EXPECT_EQ(scanner.m_nFilesScanned.load(), deleted);
  EXPECT_EQ(scanner.results().size(), static_cast<std::size_t>(deleted));
  EXPECT_TRUE(scanner.m_setHandlers.empty());
}

TEST(VirusScanner, destroying_a_running_scanner_stops_and_awaits_the_worker) {
  TempTree tree;
  for (int f = 0; f < 50; ++f) tree.write(std::string("f") + std::to_string(f) + ".eml", "x");
  std::atomic<bool>* resume = nullptr;
  {
    PausingScanner scanner;
    resume = &scanner.resume_;
    scanner.m_strStartPath.set(tree.root());
    ASSERT_TRUE(scanner.Start());
    while (!scanner.paused_.load()) std::this_thread::sleep_for(1ms);
    std::thread releaser([resume] {
      std::this_thread::sleep_for(20ms);
      resume->store(true);
    });
    releaser.detach();
  }  // must not return while the worker is inside Run
  SUCCEED();
}

// CleanFile's accounting for each kind of remedy result.
struct AccountingCase {
  ScanStatus status;
  const char* word;
  int errors, cleaned, deleted;
};

class CleanFileAccounting : public ::testing::TestWithParam<AccountingCase> {};

TEST_P(CleanFileAccounting, log_line_counters_and_notification_follow_the_result) {
  const AccountingCase& c = GetParam();
  TempTree tree;
  std::string file = tree.write("site/index.htm", "<html>infected marker</html>");
  std::string log = tree.path("scan.log");
  RecordingScanner scanner(log);
  ScriptedHandler handler("htm", "marker", c.status);
  use_handlers(scanner, {&handler});
  EXPECT_TRUE(scanner.ScanDirectory(tree.root()));
  EXPECT_EQ(read_file(log), std::string(c.word) + ":  " + file + "\r\n");
  EXPECT_EQ(scanner.m_nFilesInfected.load(), 1);
  EXPECT_EQ(scanner.m_nScanErrors.load(), c.errors);
  EXPECT_EQ(scanner.m_nFilesCleaned.load(), c.cleaned);
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), c.deleted);
  ASSERT_EQ(scanner.results().size(), 1u);
  EXPECT_EQ(scanner.results()[0].path, file);
  EXPECT_EQ(scanner.results()[0].status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Results, CleanFileAccounting,
                         ::testing::Values(AccountingCase{STATUS_CLEANED, "cleaned", 0, 1, 0},
                                           AccountingCase{STATUS_DELETED, "deleted", 0, 0, 1},
                                           AccountingCase{STATUS_SCANNED, "scanned", 0, 0, 0},
                                           AccountingCase{STATUS_ERROR, "error", 1, 0, 0},
                                           AccountingCase{STATUS_CLEANED | STATUS_ERROR, "error", 1, 1, 0},
                                           AccountingCase{6, "error", 0, 1, 0}));

TEST(VirusScanner, two_matched_handlers_both_run_and_the_last_result_is_the_files) {
  TempTree tree;
  std::string file = tree.write("x.dat", "alpha beta");
  std::string log = tree.path("scan.log");
  RecordingScanner scanner(log);
  ScriptedHandler a("dat", "alpha", STATUS_CLEANED);
  ScriptedHandler b("dat", "beta", STATUS_ERROR);
  ScriptedHandler never("dat", "gamma", STATUS_DELETED);
  use_handlers(scanner, {&a, &b, &never});
  scanner.ScanDirectory(tree.root());
  EXPECT_EQ(a.calls.size(), 1u);
  EXPECT_EQ(b.calls.size(), 1u);
  EXPECT_TRUE(never.calls.empty());
  // The set orders handlers by address; the later one decides.
  ScanStatus last = (&a < &b) ? STATUS_ERROR : STATUS_CLEANED;
  EXPECT_EQ(read_file(log), std::string(log_status_name(last)) + ":  " + file + "\r\n");
  EXPECT_EQ(scanner.m_nFilesInfected.load(), 1);
  ASSERT_EQ(scanner.results().size(), 1u);
  EXPECT_EQ(scanner.results()[0].status, last);
}

TEST(VirusScanner, signature_found_many_times_matches_once) {
  TempTree tree;
  std::string body;
  for (int i = 0; i < 1000; ++i) body += "Concept Virus ";
  tree.write("many.exe", body);
  RecordingScanner scanner;
  ScriptedHandler handler("exe", "Concept Virus", STATUS_SCANNED);
  use_handlers(scanner, {&handler});
  scanner.ScanDirectory(tree.root());
  EXPECT_EQ(handler.calls.size(), 1u);
  EXPECT_EQ(scanner.m_nBytesRead.load(), body.size());
}

// With several jobs a thread reads a batch of files ahead of their search:
// a signature is found wherever it lies against the bytes read ahead
// (inside them, across their end, beyond them), and every byte counts once.
TEST(VirusScanner, several_jobs_find_signatures_on_either_side_of_the_bytes_read_ahead) {
  TempTree tree;
  const std::string signature = "Concept Virus";
  const std::size_t limit = platform::ReadAhead::kBytesPerFile;
  std::set<std::string> infected;
  std::uint64_t bytes = 0;
  auto add = [&](const std::string& name, std::size_t length, std::optional<std::size_t> at) {
    std::string body(length, 'x');
    if (at) body.replace(*at, signature.size(), signature);
    const std::string path = tree.write(name, body);
    if (at) infected.insert(path);
    bytes += length;
  };
  add("inside.exe", limit - 1, limit - 1 - signature.size());
  add("across.exe", limit + 7, limit - 6);
  add("one_past.exe", limit + 1, limit + 1 - signature.size());
  add("beyond.exe", 3 * limit, 2 * limit + 1);
  add("at_limit.exe", limit, std::nullopt);
  add("past_limit.exe", limit + 1, std::nullopt);
  add("empty.exe", 0, std::nullopt);
  add("short.exe", signature.size() - 1, std::nullopt);
  RecordingScanner scanner;
  ScriptedHandler handler("exe", signature.c_str(), STATUS_SCANNED);
  use_handlers(scanner, {&handler});
  scanner.set_jobs(3);
  scanner.ScanDirectory(tree.root());
  EXPECT_EQ(std::set<std::string>(handler.calls.begin(), handler.calls.end()), infected);
  EXPECT_EQ(handler.calls.size(), infected.size());
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 8);
  EXPECT_EQ(scanner.m_nScanErrors.load(), 0);
  EXPECT_EQ(scanner.m_nBytesRead.load(), bytes);
}

TEST(ScanLog, cannot_be_created_and_the_scan_still_works) {
  TempTree tree;
  tree.write("m.eml", "x");
  RecordingScanner scanner(tree.path("no/such/folder/scan.log"));
  EXPECT_FALSE(scanner.HasLog());
  scanner.scan(tree.root());
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 1);
  EXPECT_EQ(scanner.results().size(), 1u);
  EXPECT_FALSE(exists(tree.path("no")));
}

TEST(ScanLog, second_copy_neither_empties_nor_writes_the_first_copys_log) {
  TempTree tree;
  std::string log = tree.path("scan.log");
  RecordingScanner first(log);
  tree.write("a/m.eml", "x");
  first.scan(tree.path("a"));
  const std::string written = read_file(log);
  ASSERT_FALSE(written.empty());

  RecordingScanner second(log);
  EXPECT_FALSE(second.HasLog());
  tree.write("b/m.eml", "x");
  second.scan(tree.path("b"));
  EXPECT_EQ(second.m_nFilesDeleted.load(), 1);
  EXPECT_EQ(read_file(log), written);
}

TEST(VirusScanner, failure_inside_one_files_scan_counts_an_error_and_the_walk_goes_on) {
  class Throwing : public RecordingScanner {
   public:
    void OnFileResult(const char* pszPath, ScanStatus status) override {
      RecordingScanner::OnFileResult(pszPath, status);
      throw std::runtime_error("notification failed");
    }
  };
  TempTree tree;
  tree.write("a.eml", "x");
  tree.write("b.eml", "x");
  Throwing scanner;
  scanner.scan(tree.root());
  EXPECT_EQ(scanner.results().size(), 2u);
  EXPECT_EQ(scanner.m_nScanErrors.load(), 2);
  EXPECT_EQ(scanner.m_nFilesInfected.load(), 2);
}

// The derived figures, with the times and counters set by hand.
class Figures : public ::testing::Test {
 protected:
  void finished(std::int64_t seconds) {
    scanner.m_timeStart = 1000;
    scanner.m_timeEnd = 1000 + seconds;
  }
  CVirusScanner scanner{remedies::make_handlers, nullptr, std::nullopt};
};

TEST_F(Figures, rates_are_averages_over_the_elapsed_seconds) {
  finished(45);
  scanner.m_nFilesScanned = 90;
  EXPECT_DOUBLE_EQ(scanner.GetFilesPerMinute(), 120.0);
  finished(4);
  scanner.m_nBytesRead = 10ull * 1048576;
  ASSERT_TRUE(scanner.GetMBytesPerSecond().has_value());
  EXPECT_DOUBLE_EQ(*scanner.GetMBytesPerSecond(), 2.5);
}

TEST_F(Figures, zero_elapsed_gives_no_rate_and_unguarded_files_per_minute) {
  finished(0);
  EXPECT_TRUE(std::isnan(scanner.GetFilesPerMinute()));
  scanner.m_nFilesScanned = 1;
  EXPECT_TRUE(std::isinf(scanner.GetFilesPerMinute()));
  EXPECT_FALSE(scanner.GetMBytesPerSecond().has_value());
  finished(-10);  // the clock was set back
  EXPECT_LT(scanner.GetFilesPerMinute(), 0.0);
  EXPECT_FALSE(scanner.GetMBytesPerSecond().has_value());
}

TEST_F(Figures, bytes_read_past_four_gibibytes_keep_the_rate_right) {
  finished(8);
  scanner.m_nBytesRead = (4ull << 30) + (4ull << 30);  // 8 GiB in 8 s
  EXPECT_DOUBLE_EQ(*scanner.GetMBytesPerSecond(), 1024.0);
}

TEST_F(Figures, elapsed_counts_from_now_while_running_and_to_the_end_after) {
  scanner.m_timeStart = platform::now_seconds() - 100;
  scanner.m_timeEnd = scanner.m_timeStart + 7;
  EXPECT_EQ(scanner.GetElapsedSeconds(), 7);
  scanner.m_nThreadState = CScanThread::kRunning;  // as a worker would
  EXPECT_GE(scanner.GetElapsedSeconds(), 100);
  scanner.m_nThreadState = CScanThread::kStopRequested;
  EXPECT_EQ(scanner.GetElapsedSeconds(), 7);
  scanner.m_nThreadState = CScanThread::kIdle;
}

}  // namespace
}  // namespace quarn
