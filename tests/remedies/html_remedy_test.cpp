// The page remedy: the case-insensitive search, the tail's analysis, and the
// cut on real files with every failure path.
#include "remedies/html_remedy.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "remedies/faulty_io.h"
#include "remedies/handlers.h"
#include "support/temp_tree.h"
#include "tools/sample_tree.h"

namespace quarn::remedies {
namespace {

using quarn::testing::read_file;
using quarn::testing::placed;
using quarn::testing::TempTree;
using sample::appended_block;
using sample::clean_page;
using testing::FaultyIo;
using testing::Step;

const std::string kBlock = "<html><script language=\"JavaScript\">window.open(\"x\")</script></html>\r\n";

TEST(FindNoCase, finds_first_match_ignoring_ascii_case_only) {
  EXPECT_EQ(FindNoCase("xABcx", "abc"), 1u);
  EXPECT_EQ(FindNoCase("abcabc", "ABC"), 0u);
  EXPECT_EQ(FindNoCase("x", ""), 0u);
  EXPECT_EQ(FindNoCase("", ""), std::nullopt);
  EXPECT_EQ(FindNoCase("", "a"), std::nullopt);
  EXPECT_EQ(FindNoCase("abc", "abcd"), std::nullopt);
  EXPECT_EQ(FindNoCase("aab", "ab"), 1u);
  EXPECT_EQ(FindNoCase("</HTML>", "</html>"), 0u);
  // Bytes above 0x7F are compared as they are, never folded.
  EXPECT_EQ(FindNoCase("\xC4\xE4", "\xE4"), 1u);
  EXPECT_EQ(FindNoCase("\xC4", "\xE4"), std::nullopt);
  EXPECT_EQ(FindNoCase("[", "{"), std::nullopt);
  EXPECT_EQ(FindNoCase("@", "`"), std::nullopt);
}

TEST(PageTail, appended_block_is_cut_behind_the_pages_own_end) {
  const std::string page = "<p>text</p></html>";
  TailVerdict v = analyse_tail(page + kBlock);
  EXPECT_EQ(v.status, STATUS_CLEANED);
  EXPECT_EQ(v.cut_at, page.size());

  std::string upper = "<P>TEXT</P></HTML><HTML><SCRIPT LANGUAGE=\"JAVASCRIPT\">WINDOW.OPEN(1)</SCRIPT></HTML>\r\n";
  v = analyse_tail(upper);
  EXPECT_EQ(v.status, STATUS_CLEANED);
  EXPECT_EQ(v.cut_at, upper.find("<HTML>"));

  // The markers may stand in any order inside the block.
  std::string reordered = "</html><html></script>window.open<script language=\"JavaScript\"></html>";
  EXPECT_EQ(analyse_tail(reordered).status, STATUS_CLEANED);
  EXPECT_EQ(analyse_tail(reordered).cut_at, 7u);
}

TEST(PageTail, pages_that_end_normally_or_hold_no_full_block_are_left) {
  EXPECT_EQ(analyse_tail("<p>x</p></html>\r\n").status, STATUS_SCANNED);
  // Only the block: its own </html> is the first one, and nothing follows.
  EXPECT_EQ(analyse_tail(kBlock).status, STATUS_SCANNED);
  EXPECT_EQ(analyse_tail("</html><html><script language=\"JavaScript\"></script></html>").status, STATUS_SCANNED);
  EXPECT_EQ(analyse_tail("</html><html><script language=\"JavaScript\"></script></html>window.open").status,
            STATUS_SCANNED);
  EXPECT_EQ(analyse_tail("</html><html>window.open</script></html>").status, STATUS_SCANNED);
  EXPECT_EQ(analyse_tail("</html><html><script language=\"JavaScript\">window.open</html></script>").status,
            STATUS_SCANNED);
  // A marker that begins exactly at the block's end is not inside it: the
  // block end and "</script>" cannot share a position, so this one is cut
  // only because every marker starts before the end.
  EXPECT_EQ(analyse_tail("</html><html><script language=\"JavaScript\">window.open</script></html>").status,
            STATUS_CLEANED);
}

TEST(PageTail, tails_without_an_end_are_errors) {
  EXPECT_EQ(analyse_tail("").status, STATUS_ERROR);
  EXPECT_EQ(analyse_tail("<html><body>no end").status, STATUS_ERROR);
  EXPECT_EQ(analyse_tail("</html><html><script language=\"JavaScript\">window.open</script>").status, STATUS_ERROR);
}

TEST(PageTail, nul_byte_ends_the_searched_text) {
  const std::string page = "<p>text</p></html>";
  std::string tail = page + kBlock;
  tail[page.size() + 3] = '\0';  // inside the block's "<html>"
  EXPECT_EQ(analyse_tail(tail).status, STATUS_SCANNED);
  tail = page + std::string(1, '\0') + kBlock;
  EXPECT_EQ(analyse_tail(tail).status, STATUS_SCANNED);
  tail = std::string(1, '\0') + page + kBlock;
  EXPECT_EQ(analyse_tail(tail).status, STATUS_ERROR);
}

TEST(PageRemedy, infected_page_is_cut_to_its_own_end) {
  TempTree tree;
  const std::string page = clean_page("Home");
  const std::string path = tree.write("site/index.htm", page + appended_block());
  CHtmlHandler handler;
  EXPECT_EQ(handler.Preview(placed(path)), STATUS_CLEANED);
  EXPECT_EQ(read_file(path), page + appended_block());
  EXPECT_EQ(handler.Clean(placed(path)), STATUS_CLEANED);
  EXPECT_EQ(read_file(path), page);
  EXPECT_EQ(handler.Clean(placed(path)), STATUS_SCANNED);
  EXPECT_EQ(read_file(path), page);
}

TEST(PageRemedy, tail_is_the_last_200_bytes) {
  TempTree tree;
  // The page's own "</html>" at offset 0, the block, then padding.
  auto page_of_size = [](std::size_t size) {
    std::string bytes = "</html>" + appended_block();
    bytes.append(size - bytes.size(), ' ');
    return bytes;
  };
  // 200 bytes: the whole file is the tail, and the own end at offset 0 is seen.
  std::string path = tree.write("200.htm", page_of_size(200));
  EXPECT_EQ(clean_page(placed(path), RemedyIo::system()), STATUS_CLEANED);
  EXPECT_EQ(read_file(path), "</html>");

  // 201 bytes: the tail starts at offset 1 and misses the own end's "<", so
  // the block's end is the first "</html>" and nothing follows it.
  const std::string bytes201 = page_of_size(201);
  path = tree.write("201.htm", bytes201);
  EXPECT_EQ(clean_page(placed(path), RemedyIo::system()), STATUS_SCANNED);
  EXPECT_EQ(read_file(path), bytes201);

  // 201 bytes with the own end at offset 1: cut at 1 + 7.
  path = tree.write("201b.htm", std::string("x") + page_of_size(200));
  EXPECT_EQ(clean_page(placed(path), RemedyIo::system()), STATUS_CLEANED);
  EXPECT_EQ(read_file(path), "x</html>");
}

TEST(PageRemedy, own_end_more_than_200_bytes_back_leaves_the_page) {
  TempTree tree;
  const std::string bytes = clean_page("Long") + appended_block(300);
  const std::string path = tree.write("long.htm", bytes);
  EXPECT_EQ(preview_page(placed(path), RemedyIo::system()), STATUS_SCANNED);
  EXPECT_EQ(clean_page(placed(path), RemedyIo::system()), STATUS_SCANNED);
  EXPECT_EQ(read_file(path), bytes);
}

TEST(PageRemedy, empty_unreadable_or_linked_pages_are_errors) {
  TempTree tree;
  const std::string empty = tree.write("empty.htm", "");
  EXPECT_EQ(clean_page(placed(empty), RemedyIo::system()), STATUS_ERROR);
  EXPECT_EQ(preview_page(placed(empty), RemedyIo::system()), STATUS_ERROR);
  EXPECT_EQ(clean_page(placed(tree.path("missing.htm")), RemedyIo::system()), STATUS_ERROR);

  // A page swapped for a link must not let the cut reach the link's target.
  const std::string victim_bytes = clean_page("Victim") + appended_block();
  const std::string victim = tree.write("victim.dat", victim_bytes);
  const std::string link = tree.path("link.htm");
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
  EXPECT_EQ(clean_page(placed(link), RemedyIo::system()), STATUS_ERROR);
  EXPECT_EQ(read_file(victim), victim_bytes);
}

TEST(PageRemedy, read_only_page_is_an_error_and_stays) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens read-only files for writing; the injected failures cover this path";
  TempTree tree;
  const std::string bytes = clean_page("RO") + appended_block();
  const std::string path = tree.write("ro.htm", bytes);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(clean_page(placed(path), RemedyIo::system()), STATUS_ERROR);
  EXPECT_EQ(read_file(path), bytes);
}

TEST(PageRemedy, every_failed_step_reports_an_error_and_leaves_the_page_as_the_table_says) {
  const std::string page = clean_page("Fail");
  const std::string infected = page + appended_block();
  struct Case {
    Step step;
    bool cut;  // whether the page is cut when the step fails
  };
  for (const Case& c : {Case{Step::open_read_write, false}, Case{Step::size, false}, Case{Step::read_at, false},
                        Case{Step::set_length, false}, Case{Step::flush_to_disk, true}, Case{Step::close, true}}) {
    TempTree tree;
    const std::string path = tree.write("fail.htm", infected);
    FaultyIo io(c.step);
    EXPECT_EQ(clean_page(placed(path), io), STATUS_ERROR) << static_cast<int>(c.step);
    EXPECT_EQ(io.calls(), 1);
    EXPECT_EQ(read_file(path), c.cut ? page : infected) << static_cast<int>(c.step);
  }
}

TEST(PageRemedy, page_beyond_4_gib_is_cut_at_its_64_bit_offset) {
  TempTree tree;
  const std::string path = tree.path("huge.htm");
  // Spaces before the own end, so no zero byte of the hole reaches the tail.
  const std::string tail = std::string(200, ' ') + "</html>" + appended_block();
  const std::uint64_t own_end = (std::uint64_t{1} << 32) + 1000;
  {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    // A sparse file: the hole reads as zeros and takes no disk space.
    const auto at = static_cast<off_t>(own_end - 7 - 200);
    ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), at), static_cast<ssize_t>(tail.size()));
    ::close(fd);
  }
  EXPECT_EQ(clean_page(placed(path), RemedyIo::system()), STATUS_CLEANED);
  EXPECT_EQ(std::filesystem::file_size(path), own_end);
}

// Cuts the page short right after its tail was read, as another program
// might.
class ShrinkingIo : public RemedyIo {
 public:
  explicit ShrinkingIo(std::string path) : path_(std::move(path)) {}
  std::optional<std::size_t> read_at(platform::File& file, std::uint64_t offset, void* buffer,
                                     std::size_t len) override {
    auto got = RemedyIo::read_at(file, offset, buffer, len);
    std::filesystem::resize_file(path_, 10);
    return got;
  }

 private:
  std::string path_;
};

TEST(PageRemedy, page_that_shrank_after_its_tail_was_read_is_not_cut_or_extended) {
  TempTree tree;
  const std::string path = tree.write("shrinks.htm", clean_page("Shrinks") + appended_block());
  ShrinkingIo io(path);
  EXPECT_EQ(clean_page(placed(path), io), STATUS_ERROR);
  EXPECT_EQ(std::filesystem::file_size(path), 10u);
}

}  // namespace
}  // namespace quarn::remedies
