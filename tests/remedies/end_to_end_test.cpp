// A whole scan of the sample tree on the worker thread: every file ends as
// the manifest says, and the log and the counters agree with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sha256.h"
#include "platform/system_error.h"
#include "remedies/handlers.h"
#include "scan/virus_scanner.h"
#include "support/temp_tree.h"
#include "tools/sample_tree.h"

namespace quarn {
namespace {

using quarn::testing::exists;
using quarn::testing::placed;
using quarn::testing::read_file;
using quarn::testing::TempTree;

class ResultScanner : public CVirusScanner {
 public:
  ResultScanner(const std::string& start, const std::string& log)
      : CVirusScanner(remedies::make_handlers, start.c_str(), log) {}
  ~ResultScanner() override { StopAndWaitForever(); }

  void OnFileResult(const char* pszPath, ScanStatus status) override {
    std::lock_guard lock(mutex_);
    results_.emplace_back(pszPath, status);
  }
  void run_to_end() {
    ASSERT_TRUE(Start());
    WaitForIdle(PollOrder::look_first, kWithoutLimit);
  }
  std::vector<std::pair<std::string, ScanStatus>> results() {
    std::lock_guard lock(mutex_);
    return results_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, ScanStatus>> results_;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));  // an unterminated line shows up as itself
      break;
    }
    lines.push_back(text.substr(start, end + 2 - start));
    start = end + 2;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

ScanStatus status_of(sample::Outcome outcome) {
  switch (outcome) {
    case sample::Outcome::cleaned: return STATUS_CLEANED;
    case sample::Outcome::deleted: return STATUS_DELETED;
    case sample::Outcome::unchanged: return STATUS_SCANNED;
    case sample::Outcome::error: return STATUS_ERROR;
    case sample::Outcome::untouched: break;
  }
  return STATUS_SKIPPED;
}

void scan_and_check(unsigned copies) {
  TempTree tmp;
  sample::SampleOptions options;
  options.copies = copies;
  const sample::SampleTree tree = sample::write_sample_tree(tmp.path("tree"), options);
  const std::string log = tmp.path("scan.log");

  ResultScanner scanner(tree.root, log);
  scanner.run_to_end();

  const sample::ExpectedCounts expected = tree.expected_counts();
  EXPECT_EQ(scanner.m_nFilesScanned.load(), expected.scanned);
  EXPECT_EQ(scanner.m_nFilesSkipped.load(), expected.skipped);
  EXPECT_EQ(scanner.m_nFilesInfected.load(), expected.infected);
  EXPECT_EQ(scanner.m_nFilesCleaned.load(), expected.cleaned);
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), expected.deleted);
  EXPECT_EQ(scanner.m_nScanErrors.load(), expected.errors);
  EXPECT_EQ(scanner.m_nDirectories.load(), expected.directories);
  EXPECT_EQ(scanner.m_nBytesRead.load(), expected.bytes_read);
  EXPECT_GT(expected.cleaned, 0);
  EXPECT_GT(expected.deleted, 0);

  EXPECT_EQ(lines_of(read_file(log)), tree.expected_log_lines());

  // One notification per matched file, with the status its log line names.
  auto results = scanner.results();
  EXPECT_EQ(results.size(), static_cast<std::size_t>(expected.infected));
  for (const auto& [path, status] : results) {
    auto file = std::find_if(tree.files.begin(), tree.files.end(),
                             [&, p = path](const sample::SampleFile& f) { return tree.path_of(f) == p; });
    ASSERT_NE(file, tree.files.end()) << path;
    EXPECT_EQ(status, status_of(file->outcome)) << path;
  }

  for (const auto& file : tree.files) {
    const std::string path = tree.path_of(file);
    if (!file.expected) {
      EXPECT_FALSE(exists(path)) << file.relative << " should be gone";
    } else {
      ASSERT_TRUE(exists(path)) << file.relative;
      EXPECT_EQ(read_file(path), *file.expected) << file.relative << ": " << file.what;
    }
  }
  // Every repaired page ends at its own closing tag, and nothing else was
  // left in the tree: no temporary file, no stray copy.
  for (const auto& file : tree.files) {
    if (file.outcome == sample::Outcome::cleaned && file.relative.find("site/") != std::string::npos) {
      const std::string page = read_file(tree.path_of(file));
      ASSERT_GE(page.size(), 7u);
      std::string end = page.substr(page.size() - 7);
      std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return std::tolower(c); });
      EXPECT_EQ(end, "</html>") << file.relative;
    }
  }
  std::size_t left = 0;
  for (const auto& file : tree.files) left += file.expected ? 1 : 0;
  EXPECT_EQ(quarn::testing::snapshot(tree.root).size(), left);
}

TEST(EndToEnd, scan_of_the_sample_tree_leaves_what_the_manifest_says) { scan_and_check(1); }

TEST(EndToEnd, scan_of_three_copies_counts_each_copy) { scan_and_check(3); }

TEST(EndToEnd, second_scan_finds_nothing_left_to_remedy) {
  TempTree tmp;
  const sample::SampleTree tree = sample::write_sample_tree(tmp.path("tree"));
  {
    ResultScanner first(tree.root, tmp.path("first.log"));
    first.run_to_end();
  }
  ResultScanner second(tree.root, tmp.path("second.log"));
  second.run_to_end();
  // What stays matched is what the remedies leave on purpose.
  std::int32_t kept_on_purpose = 0;
  for (const auto& file : tree.files) {
    kept_on_purpose += (file.outcome == sample::Outcome::unchanged || file.outcome == sample::Outcome::error) ? 1 : 0;
  }
  EXPECT_EQ(second.m_nFilesInfected.load(), kept_on_purpose);
  EXPECT_EQ(second.m_nFilesCleaned.load(), 0);
  EXPECT_EQ(second.m_nFilesDeleted.load(), 0);
}

// The forecast names the bytes that the remedy will leave, and the remedy
// of an expected file acts only on exactly those bytes: for every file of
// the sample tree that a remedy changes, a remedy expecting other bytes
// changes nothing, and the one expecting the file's own leaves the bytes
// the forecast named.
TEST(RemedyForecast, names_the_bytes_each_remedy_leaves_and_an_expected_remedy_needs_the_same_file) {
  TempTree tmp;
  const sample::SampleTree tree = sample::write_sample_tree(tmp.path("tree"));
  auto handlers = remedies::make_handlers();
  const auto handler_for = [&](const std::string& relative) -> CVirusHandler& {
    const std::string extension = relative.substr(relative.rfind('.') + 1);
    for (auto& handler : handlers) {
      if (handler->m_strExtensions.find(extension) != std::string::npos) return *handler;
    }
    return *handlers.front();
  };
  const auto digest_of = [](const std::string& bytes) {
    platform::Sha256 hash;
    hash.update(bytes.data(), bytes.size());
    return hash.finish();
  };
  int checked = 0;
  for (const sample::SampleFile& file : tree.files) {
    if (file.outcome != sample::Outcome::cleaned && file.outcome != sample::Outcome::deleted) continue;
    std::string lower = file.relative;
    platform::lower_ansi(lower);
    CVirusHandler& handler = handler_for(lower);
    const std::string path = tree.path_of(file);
    const RemedyForecast forecast = handler.Forecast(placed(path));
    ASSERT_EQ(forecast.status, status_of(file.outcome)) << file.relative;
    if (file.outcome == sample::Outcome::cleaned) {
      ASSERT_LE(forecast.kept_offset + forecast.kept_size, file.original.size()) << file.relative;
      EXPECT_EQ(file.original.substr(forecast.kept_offset, forecast.kept_size), *file.expected) << file.relative;
    }
    auto identity = platform::identity_of(path);
    ASSERT_TRUE(identity) << file.relative;
    ExpectedFile expected{*identity, file.original.size(), digest_of(file.original)};

    ExpectedFile other = expected;
    other.sha256[0] ^= 1;
    EXPECT_EQ(handler.CleanExpected(placed(path), other), STATUS_ERROR) << file.relative;
    EXPECT_EQ(platform::last_error().word, "changed") << file.relative;
    EXPECT_EQ(read_file(path), file.original) << file.relative;

    EXPECT_EQ(handler.CleanExpected(placed(path), expected), forecast.status) << file.relative;
    if (file.expected) {
      EXPECT_EQ(read_file(path), *file.expected) << file.relative;
    } else {
      EXPECT_FALSE(exists(path)) << file.relative;
    }
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

}  // namespace
}  // namespace quarn
