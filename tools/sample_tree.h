// A sample infected folder tree: infected programs that carry their host
// program, the threat's dropped copies, infected and clean pages, mail and
// news files, and near misses that a scan must leave alone. It serves the
// tests, the benchmark and a newcomer's first run. Every file is made by
// code here; none comes from real malware.
//
// The manifest says, for each file, what one scan of the tree must leave:
// its bytes afterwards (or that it is gone) and the word of its log line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarn::sample {

enum class Outcome {
  untouched,  // not matched: no log line, bytes unchanged
  cleaned,    // repaired in place: "cleaned", bytes become `expected`
  deleted,    // "deleted", the file is gone
  unchanged,  // matched, but the remedy finds nothing to do: "scanned"
  error,      // matched, the remedy fails and leaves it: "error"
};

// The scan log's word for an outcome, or nullptr when it gets no line.
const char* log_word(Outcome outcome);

struct SampleFile {
  std::string relative;  // below the root, "/" between names
  std::string original;  // the bytes written
  Outcome outcome = Outcome::untouched;
  // The bytes after a scan; nothing when the file is deleted.
  std::optional<std::string> expected;
  // Its extension is one a handler claims, so the scan opens and reads it.
  bool claimed = false;
  std::string what;  // a short description for people
};

struct ExpectedCounts {
  std::int32_t scanned = 0;
  std::int32_t skipped = 0;
  std::int32_t infected = 0;
  std::int32_t cleaned = 0;
  std::int32_t deleted = 0;
  std::int32_t errors = 0;
  std::int32_t directories = 0;
  std::uint64_t bytes_read = 0;
};

struct SampleTree {
  std::string root;
  std::vector<SampleFile> files;
  std::vector<std::string> folders;  // relative, "" for the root itself

  // root, the platform's separator, and the relative path with the
  // platform's separators: the path the walk builds for the file.
  std::string path_of(const SampleFile& file) const;
  std::string path_of(const std::string& relative) const;
  // The counters after one scan of root with nothing else below it.
  ExpectedCounts expected_counts() const;
  // The scan log's lines for one scan of root, sorted (the walk's order is
  // the platform's listing order).
  std::vector<std::string> expected_log_lines() const;
  const SampleFile* find(const std::string& relative) const;
};

struct SampleOptions {
  // Copies of the whole tree; more than one puts each in set-NNN/.
  unsigned copies = 1;
  // Bytes that the big program's host carries past its headers: a larger
  // host makes a restore take long enough to be interrupted in the act.
  std::size_t big_host_padding = 300000;
};

// Writes the tree below root, which must be missing or empty. Throws
// std::runtime_error when a file cannot be written.
SampleTree write_sample_tree(const std::string& root, const SampleOptions& options = {});

// The pieces the tree is made of, for tests that build their own cases.
std::string clean_page(const std::string& title, bool upper_case_tags = false);
// The block the threat appends behind a page's own "</html>".
std::string appended_block(std::size_t padding = 0, bool upper_case_tags = false);

}  // namespace quarn::sample
