// The platform layer's contracts that the engine relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <functional>
#include <set>
#include <thread>

#include "platform/directory.h"
#include "platform/folder.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/log_file.h"
#include "platform/read_ahead.h"
#include "platform/system_error.h"
#include "support/temp_tree.h"

namespace quarn::platform {
namespace {

using quarn::testing::read_file;
using quarn::testing::TempTree;

TEST(DirectoryListing, lists_dot_entries_files_and_folders_with_their_kinds) {
  TempTree tree;
  tree.write("file.txt", "x");
  tree.make_dir("sub");
  auto folder = Folder::open(tree.root(), LinkAtEnd::refuse).folder;
  ASSERT_TRUE(folder.has_value());
  auto listing = folder->list();
  ASSERT_TRUE(listing.has_value());
  std::set<std::pair<std::string, EntryKind>> seen;
  DirEntry entry;
  ListingStep step;
  while ((step = listing->next(entry)) == ListingStep::entry) seen.insert({entry.name, entry.kind});
  EXPECT_EQ(step, ListingStep::end);
  EXPECT_TRUE(seen.count({"file.txt", EntryKind::regular}));
  EXPECT_TRUE(seen.count({"sub", EntryKind::directory}));
  EXPECT_TRUE(Folder::open(tree.path("missing"), LinkAtEnd::refuse).missing);
  const FolderOpening file = Folder::open(tree.path("file.txt"), LinkAtEnd::refuse);
  EXPECT_FALSE(file.folder.has_value());
  EXPECT_FALSE(file.missing);
  EXPECT_TRUE(folder->open_child("sub").has_value());
  EXPECT_FALSE(folder->open_child("file.txt").has_value());
  EXPECT_FALSE(folder->open_child("..").has_value());
}

TEST(File, read_returns_short_count_only_at_the_end) {
  TempTree tree;
  std::string path = tree.write("data.bin", std::string(100000, 'z'));
  auto file = File::open_read(path);
  ASSERT_TRUE(file.has_value());
  std::string buffer(131070, '\0');
  EXPECT_EQ(file->read(buffer.data(), buffer.size()), 100000u);
  EXPECT_EQ(file->read(buffer.data(), buffer.size()), 0u);
  EXPECT_FALSE(File::open_read(tree.path("missing")).has_value());
  EXPECT_FALSE(File::open_read(tree.root()).has_value());  // a folder is not a regular file
}

// A fetch is each file's first read: what it brought and what the file
// reads on from there are the file, whole, at every length around the
// fetch's limit. A file that is not open, or past the batch's limit, gets
// nothing and is read in full by its own reads.
TEST(ReadAhead, fetched_bytes_and_the_reads_that_follow_are_each_file_whole) {
  TempTree tree;
  const std::size_t limit = ReadAhead::kBytesPerFile;
  const std::size_t lengths[] = {0, 1, limit - 1, limit, limit + 1, 3 * limit};
  const std::size_t count = std::max(std::size(lengths), ReadAhead::most_files() + 2);
  std::vector<std::string> contents;
  std::vector<File> files;
  for (std::size_t i = 0; i < count; ++i) {
    std::string body(lengths[i % std::size(lengths)], '\0');
    for (std::size_t k = 0; k < body.size(); ++k) body[k] = static_cast<char>('a' + (k * 7 + i) % 26);
    auto file = File::open_read(tree.write("f" + std::to_string(i), body));
    ASSERT_TRUE(file.has_value());
    contents.push_back(body);
    files.push_back(std::move(*file));
  }
  File not_open;
  std::vector<File*> batch{&not_open};
  for (File& file : files) batch.push_back(&file);
  std::vector<ReadAhead::Fetched> fetched(batch.size());
  ReadAhead ahead;
  ahead.fetch(batch, fetched);

  EXPECT_TRUE(fetched[0].bytes.empty());
  for (std::size_t i = 0; i < count; ++i) {
    const ReadAhead::Fetched& one = fetched[i + 1];
    if (i + 1 >= ReadAhead::most_files()) {
      EXPECT_TRUE(one.bytes.empty()) << i;
    }
    std::string got(one.bytes.begin(), one.bytes.end());
    if (one.whole) {
      EXPECT_EQ(got.size(), contents[i].size()) << i;
    }
    std::string rest(limit, '\0');
    while (std::size_t n = files[i].read(rest.data(), rest.size())) got.append(rest, 0, n);
    EXPECT_EQ(got, contents[i]) << i;
    EXPECT_FALSE(files[i].read_failed()) << i;
  }
}

TEST(File, create_new_never_opens_an_existing_file) {
  TempTree tree;
  std::string path = tree.write("taken", "keep");
  EXPECT_FALSE(File::create_new(path).has_value());
  EXPECT_EQ(read_file(path), "keep");
  auto fresh = File::create_new(tree.path("fresh"));
  ASSERT_TRUE(fresh.has_value());
  EXPECT_TRUE(fresh->write_all("abc", 3));
  EXPECT_TRUE(fresh->flush_to_disk());
  EXPECT_TRUE(fresh->close());
  EXPECT_EQ(read_file(tree.path("fresh")), "abc");
}

// Each call that makes a name in an open folder takes a free name, takes a
// taken one only where that is its promise (an existing folder), and leaves
// what is there as it was.
TEST(Folder, making_a_name_in_an_open_folder) {
  enum class Call { child_folder, new_file, rename_to_new_name };
  enum class There { nothing, folder, file };
  struct Case {
    Call call;
    const char* name;
    There there;
    bool succeeds;
    const char* then;  // what "x" holds afterwards: a file's bytes, "<folder>" or "<none>"
  };
  const Case cases[] = {
      {Call::child_folder, "x", There::nothing, true, "<folder>"},
      {Call::child_folder, "x", There::folder, true, "<folder>"},
      {Call::child_folder, "x", There::file, false, "keep"},
      {Call::child_folder, "..", There::nothing, false, "<none>"},
      {Call::new_file, "x", There::nothing, true, "abc"},
      {Call::new_file, "x", There::file, false, "keep"},
      {Call::new_file, "x", There::folder, false, "<folder>"},
      {Call::rename_to_new_name, "x", There::nothing, true, "from"},
      {Call::rename_to_new_name, "x", There::file, false, "keep"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    TempTree tree;
    tree.write("top/from", "from");
    if (c.there == There::folder) tree.make_dir("top/x/inner");
    if (c.there == There::file) tree.write("top/x", "keep");
    auto top = Folder::open(tree.path("top"), LinkAtEnd::refuse).folder;
    ASSERT_TRUE(top);
    bool succeeded = false;
    if (c.call == Call::child_folder) {
      auto child = top->create_child_folder(c.name);
      succeeded = child.has_value();
      if (child) {
        // The folder that was there is the one opened, with what it held.
        EXPECT_EQ(child->identity(), top->identity_of(c.name));
        if (c.there == There::folder) {
          EXPECT_EQ(child->kind_of("inner"), NodeKind::directory);
        }
      }
    } else if (c.call == Call::new_file) {
      auto file = File::create_new(*top, c.name);
      succeeded = file.has_value();
      if (file) {
        EXPECT_TRUE(file->write_all("abc", 3) && file->close());
      }
    } else {
      succeeded = top->rename_to_new_name("from", c.name);
      EXPECT_EQ(top->kind_of("from"), succeeded ? NodeKind::missing : NodeKind::regular);
    }
    EXPECT_EQ(succeeded, c.succeeds);
    const NodeKind kind = top->kind_of("x");
    const std::string then = kind == NodeKind::directory ? "<folder>"
                             : kind == NodeKind::regular ? read_file(tree.path("top/x"))
                                                         : "<none>";
    EXPECT_EQ(then, c.then);
  }
}

// What a file carries besides its bytes reaches a new file written in its
// place: the mode (the read-only attribute on Win32) and the modification
// time to the last step the platform keeps. The original is made through the
// standard library, whose own reading is the measure; it keeps whole seconds
// on Win32.
TEST(File, attributes_of_one_file_are_given_to_another) {
  namespace fs = std::filesystem;
  using std::chrono::nanoseconds;
  struct Case {
    fs::perms perms;
    std::int64_t modified_ns;
  };
  const Case cases[] = {
      {fs::perms::owner_read | fs::perms::owner_write, 1000000000123456789},
      {fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read,
       1700000000500000000},
      {fs::perms::owner_read | fs::perms::group_read, 86400000000000},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    TempTree tree;
    const std::string original = tree.write("original", "old bytes");
    fs::last_write_time(original, fs::file_time_type::clock::from_sys(std::chrono::sys_time<nanoseconds>(
                                      nanoseconds(c.modified_ns))));
    fs::permissions(original, c.perms);
    const auto kept_ns = std::chrono::duration_cast<nanoseconds>(
        fs::file_time_type::clock::to_sys(fs::last_write_time(original)).time_since_epoch());

    auto source = File::open_read(original);
    ASSERT_TRUE(source.has_value());
    const auto taken = source->attributes();
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->modified_ns, kept_ns.count());

    const std::string copy = tree.path("copy");
    auto target = File::create_new(copy);
    ASSERT_TRUE(target.has_value());
    ASSERT_TRUE(target->write_all("new bytes", 9));
    EXPECT_TRUE(target->set_attributes(*taken));
    EXPECT_TRUE(target->close());

    auto given = File::open_read(copy);
    ASSERT_TRUE(given.has_value());
    EXPECT_EQ(given->attributes(), taken);
    EXPECT_EQ(fs::status(copy).permissions(), fs::status(original).permissions());
    EXPECT_EQ(fs::last_write_time(copy), fs::last_write_time(original));
  }
}

TEST(File, set_length_cuts_and_read_at_reads_the_tail) {
  TempTree tree;
  std::string path = tree.write("page.htm", "0123456789");
  auto file = File::open_read_write(path);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->size(), 10u);
  char tail[4];
  EXPECT_EQ(file->read_at(7, tail, 4), 3u);
  EXPECT_TRUE(file->set_length(4));
  EXPECT_TRUE(file->close());
  EXPECT_EQ(read_file(path), "0123");
}

TEST(Fs, replace_file_moves_over_an_existing_file) {
  TempTree tree;
  std::string from = tree.write("new", "new bytes");
  std::string to = tree.write("old", "old bytes");
  EXPECT_TRUE(replace_file(from, to));
  EXPECT_EQ(read_file(to), "new bytes");
  EXPECT_EQ(node_kind(from), NodeKind::missing);
  EXPECT_FALSE(replace_file(from, to));
}

TEST(Fs, delete_file_refuses_folders_and_missing_files) {
  TempTree tree;
  std::string dir = tree.make_dir("d");
  EXPECT_FALSE(delete_file(dir));
  EXPECT_FALSE(delete_file(tree.path("missing")));
  std::string file = tree.write("f", "x");
  EXPECT_TRUE(delete_file(file));
  EXPECT_EQ(node_kind(file), NodeKind::missing);
}

TEST(Fs, make_directories_creates_every_missing_level) {
  TempTree tree;
  std::string deep = tree.path("a/b/c");
  EXPECT_TRUE(make_directories(deep));
  EXPECT_EQ(node_kind(deep), NodeKind::directory);
  EXPECT_TRUE(make_directories(deep));  // already there
  std::string file = tree.write("plain", "x");
  EXPECT_FALSE(make_directories(file));
}

TEST(Fs, identity_is_the_same_under_two_path_texts) {
  TempTree tree;
  tree.make_dir("d");
  std::string twice = tree.root() + separator() + separator() + "d";
  auto a = identity_of(tree.path("d"));
  auto b = identity_of(twice);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
  EXPECT_FALSE(identity_of(tree.path("missing")).has_value());
}

TEST(Fs, lower_casing_and_case_blind_comparison) {
  std::string text = "INDEX.HTM Dll";
  lower_ansi(text);
  EXPECT_EQ(text, "index.htm dll");
  EXPECT_TRUE(equal_no_case("C:\\Tools\\Quarn.EXE", "c:\\tools\\quarn.exe"));
  EXPECT_FALSE(equal_no_case("a.exe", "a.ex"));
  EXPECT_FALSE(equal_no_case("a.exe", "b.exe"));
}

TEST(LogFile, second_opener_is_refused_and_cannot_empty_the_log) {
  TempTree tree;
  std::string path = tree.write("scan.log", "earlier run");
  auto first = LogFile::open_exclusive(path);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(read_file(path), "");
  EXPECT_TRUE(first->write("cleaned:  x\r\n"));
  EXPECT_FALSE(LogFile::open_exclusive(path).has_value());
  EXPECT_EQ(read_file(path), "cleaned:  x\r\n");
  first.reset();
  // Once the first copy has ended, the next one takes and empties it.
  auto next = LogFile::open_exclusive(path);
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(read_file(path), "");
}

// A failure leaves this thread's record with a word that scripts can rely on
// and the system's own text; a KeepError puts the first cause back after a
// cleanup that failed too, and another thread never sees the record.
TEST(ErrorRecord, each_failure_gives_its_word_and_the_systems_reason) {
  TempTree tree;
  tree.write("taken", "keep");
  tree.write("other", "x");
  auto folder = Folder::open(tree.root(), LinkAtEnd::refuse).folder;
  ASSERT_TRUE(folder.has_value());
  struct Case {
    const char* what;
    std::function<bool()> fails;
    const char* word;
  };
  const Case cases[] = {
      {"open a missing file", [&] { return !File::open_read(*folder, "missing"); }, "not-found"},
      {"create over a file", [&] { return !File::create_new(*folder, "taken"); }, "exists"},
      {"delete a missing file", [&] { return !folder->delete_file("missing"); }, "not-found"},
      {"rename onto a file", [&] { return !folder->rename_to_new_name("other", "taken"); }, "exists"},
  };
  for (const Case& c : cases) {
    clear_error();
    ASSERT_TRUE(c.fails()) << c.what;
    EXPECT_EQ(last_error().word, c.word) << c.what;
    EXPECT_FALSE(last_error().reason.empty()) << c.what;
    EXPECT_NE(last_error().reason.back(), '.') << c.what;
  }

  record_error("changed", "first cause");
  {
    const KeepError keep;
    folder->delete_file("missing");
    EXPECT_EQ(last_error().word, "not-found");
  }
  EXPECT_EQ(last_error().reason, "first cause");
  bool other_thread_saw_nothing = false;
  std::thread([&] { other_thread_saw_nothing = last_error().empty(); }).join();
  EXPECT_TRUE(other_thread_saw_nothing);
}

}  // namespace
}  // namespace quarn::platform
