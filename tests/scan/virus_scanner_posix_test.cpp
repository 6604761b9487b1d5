// Walk and log behaviour that only POSIX file systems can show: links,
// FIFOs, control characters in names, a file-size limit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "scan/scanner_fixtures.h"
#include "support/temp_tree.h"

namespace quarn {
namespace {

using testing::exists;
using testing::read_file;
using testing::RecordingScanner;
using testing::TempTree;

TEST(VirusScanner, symlinked_dir_is_not_walked_and_links_are_skipped) {
  TempTree tree;
  tree.write("real/inside.eml", "mail");
  tree.write("target.eml", "mail");
  std::filesystem::create_directory_symlink(tree.path("real"), tree.path("loop"));
  std::filesystem::create_directory_symlink(tree.root(), tree.path("real/up"));  // a loop
  std::filesystem::create_symlink(tree.path("target.eml"), tree.path("link.eml"));
  RecordingScanner scanner;
  scanner.scan(tree.path("real"));
  // real/up is a link: counted as skipped, never walked.
  EXPECT_EQ(scanner.m_nDirectories.load(), 1);
  EXPECT_EQ(scanner.m_nFilesSkipped.load(), 1);
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 1);

  RecordingScanner whole;
  whole.scan(tree.root());
  // The link to a mail file is skipped; the file it points at is not deleted
  // through it, only under its own name.
  EXPECT_EQ(whole.m_nDirectories.load(), 2);
  EXPECT_EQ(whole.m_nFilesSkipped.load(), 3);  // loop, link.eml, real/up
  EXPECT_TRUE(exists(tree.path("link.eml")));
  EXPECT_FALSE(exists(tree.path("target.eml")));
}


TEST(VirusScanner, fifo_with_claimed_extension_is_never_opened) {
  TempTree tree;
  ASSERT_EQ(::mkfifo(tree.path("pipe.exe").c_str(), 0600), 0);
  tree.write("ok.exe", "x");
  RecordingScanner scanner;
  scanner.scan(tree.root());  // would hang forever on an opened FIFO
  EXPECT_EQ(scanner.m_nFilesSkipped.load(), 1);
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 1);
  EXPECT_EQ(scanner.m_nScanErrors.load(), 0);
}


TEST(ScanLog, control_characters_in_a_name_keep_one_line_per_file) {
  TempTree tree;
  std::string file = tree.write("bad\r\nname.eml", "x");
  std::string log = tree.path("scan.log");
  RecordingScanner scanner(log);
  scanner.scan(tree.root());
  EXPECT_EQ(read_file(log), "deleted:  " + tree.root() + "/bad\\x0D\\x0Aname.eml\r\n");
}


TEST(ScanLog, failed_write_still_counts_and_shows_the_remedy_with_one_more_error) {
  TempTree tree;
  std::string log = tree.path("scan.log");
  std::string file = tree.write("m.eml", "x");
  RecordingScanner scanner(log);
  ASSERT_TRUE(scanner.HasLog());
  // Files may not grow past 4 bytes while the scan runs: the log write fails.
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit tiny = old;
  tiny.rlim_cur = 4;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
  scanner.scan(tree.root());
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, old_handler);

  // The remedy ran: it counts and is shown as it happened, and the lost
  // line is one more scan error.
  EXPECT_FALSE(exists(file));
  EXPECT_EQ(scanner.m_nFilesScanned.load(), 1);
  EXPECT_EQ(scanner.m_nScanErrors.load(), 1);
  EXPECT_EQ(scanner.m_nFilesInfected.load(), 1);
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 1);
  ASSERT_EQ(scanner.results().size(), 1u);
  EXPECT_EQ(scanner.results()[0].status, STATUS_DELETED);
}

}  // namespace
}  // namespace quarn
