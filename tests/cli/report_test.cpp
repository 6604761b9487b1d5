// The printed forms: words, lines, summary, progress line, exit status.
#include <gtest/gtest.h>

#include "cli/report.h"
#include "platform/fs.h"

namespace quarn::cli {
namespace {

using platform::StopSignal;

TEST(ResultWords, a_preview_of_mixed_or_unknown_values_would_fail) {
  EXPECT_STREQ(result_word(STATUS_CLEANED | STATUS_ERROR, false), "error");
  for (ScanStatus other : {STATUS_SKIPPED, STATUS_INFECTED, STATUS_ERROR, STATUS_CLEANED | STATUS_ERROR,
                           STATUS_CLEANED | STATUS_DELETED, -1}) {
    EXPECT_STREQ(result_word(other, true), "would fail") << other;
  }
}

TEST(Elapsed, is_hours_minutes_seconds_and_never_negative) {
  EXPECT_EQ(format_elapsed(0), "00:00:00");
  EXPECT_EQ(format_elapsed(59), "00:00:59");
  EXPECT_EQ(format_elapsed(60), "00:01:00");
  EXPECT_EQ(format_elapsed(3599), "00:59:59");
  EXPECT_EQ(format_elapsed(3600), "01:00:00");
  EXPECT_EQ(format_elapsed(100 * 3600 + 61), "100:01:01");
  EXPECT_EQ(format_elapsed(-5), "00:00:00");
}

Figures some_figures() {
  Figures f;
  f.files_scanned = 120;
  f.files_skipped = 7;
  f.files_infected = 5;
  f.files_cleaned = 3;
  f.files_deleted = 1;
  f.scan_errors = 1;
  f.directories = 9;
  f.bytes_read = 3 * 1048576 / 2;
  f.elapsed_seconds = 3725;
  return f;
}

TEST(Summary, lists_the_nine_items_in_order) {
  EXPECT_EQ(format_summary(some_figures(), false),
            "Files scanned: 120\nFiles skipped: 7\nFiles infected: 5\nFiles cleaned: 3\nFiles deleted: 1\n"
            "Scan errors: 1\nDirectories: 9\nData read: 1.50 MB\nElapsed: 01:02:05\n");
}

TEST(Summary, data_read_rounds_to_two_places_past_4_gib) {
  Figures f;
  f.bytes_read = (std::uint64_t{5} << 30) + 5243;  // 5120 MB and half a hundredth
  EXPECT_NE(format_summary(f, false).find("Data read: 5120.01 MB\n"), std::string::npos);
}

TEST(Progress, never_exceeds_the_width_it_is_given) {
  Figures f = some_figures();
  f.mbytes_per_second = 123.456;
  const std::string path = "/mnt/c/Program Files/Some Vendor/A rather long folder name/" + std::string(80, 'x');
  for (std::size_t width = 1; width <= 220; ++width) {
    EXPECT_LE(format_progress(f, path, width).size(), width) << width;
  }
  EXPECT_EQ(format_progress(f, path, 300), "Scanned 120  Infected 5  123.46 MB/s  01:02:05  " + path);
}

TEST(Progress, keeps_the_end_of_a_long_path_and_cuts_on_a_whole_character) {
  Figures f;
  const std::string head = "Scanned 0  Infected 0  - MB/s  00:00:00  ";
  // Each "é" is two bytes; a cut in the middle of one must move past it.
  const std::string path = "/d/" + std::string(20, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9" + "/file.exe";
  const std::string shown = platform::log_text(path);
  if (shown != path) {
    // Windows shows a path in its ANSI code page: the end of that form.
    EXPECT_EQ(format_progress(f, path, head.size() + 18), head + "..." + shown.substr(shown.size() - 15));
    return;
  }
  // Room for "..." and 15 bytes: exactly three of them and the name.
  EXPECT_EQ(format_progress(f, path, head.size() + 18), head + "...\xC3\xA9\xC3\xA9\xC3\xA9/file.exe");
  // 14 bytes start inside the first one, which is dropped whole.
  EXPECT_EQ(format_progress(f, path, head.size() + 17), head + "...\xC3\xA9\xC3\xA9/file.exe");
  // Too little room for any of the path: the counters alone.
  EXPECT_EQ(format_progress(f, path, head.size() + 3), head.substr(0, head.size() - 2));
}

TEST(ExitStatus, a_signal_wins_then_an_error_outranks_a_find) {
  Figures clean;
  Figures found;
  found.files_infected = 2;
  Figures failed = found;
  failed.scan_errors = 1;
  EXPECT_EQ(exit_status_for(clean, StopSignal::none, false), 0);
  EXPECT_EQ(exit_status_for(found, StopSignal::none, false), 1);
  EXPECT_EQ(exit_status_for(failed, StopSignal::none, false), 2);
  EXPECT_EQ(exit_status_for(found, StopSignal::none, true), 2);
  EXPECT_EQ(exit_status_for(failed, StopSignal::interrupt, false), 130);
  EXPECT_EQ(exit_status_for(clean, StopSignal::terminate, false), 143);
  // After a hang-up every write to the terminal fails.
  EXPECT_EQ(exit_status_for(failed, StopSignal::hangup, true), 129);
}

}  // namespace
}  // namespace quarn::cli
