// The Win32 platform layer's own promises: exclusive opens, the scan log's
// share mode, device names, case rules, the file pointer that positioned
// reads and length changes leave alone, and the constants.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <set>
#include <string>

#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "platform/log_file.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/win32/volume.h"
#include "support/temp_tree.h"

namespace quarn::platform {
namespace {

using quarn::testing::read_file;
using quarn::testing::TempTree;

// Whether another opener gets the file with the given access, sharing all.
bool other_opener_gets(const std::string& path, DWORD access) {
  HANDLE handle = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

TEST(Win32Constants, start_folder_log_path_and_separator_are_the_windows_ones) {
  EXPECT_EQ(default_start_folder(), "c:\\");
  EXPECT_EQ(default_log_path(), std::optional<std::string>("c:\\vosko_clean.log"));
  EXPECT_EQ(separator(), '\\');
  // Names cannot hold control characters on Win32; the log takes them as
  // they are, backslashes included.
  EXPECT_EQ(log_text("c:\\site\\index.htm"), "c:\\site\\index.htm");
  EXPECT_GT(now_seconds(), 1000000000);
}

TEST(Win32Log, held_log_is_closed_to_every_other_opener_until_released) {
  TempTree tree;
  const std::string path = tree.write("scan.log", "an earlier run's lines");
  {
    auto log = LogFile::open_exclusive(path);
    ASSERT_TRUE(log.has_value());
    EXPECT_TRUE(log->write("cleaned:  c:\\x.htm\r\n"));
    // Share mode 0: no reader, no writer, and no second copy of the program.
    EXPECT_FALSE(other_opener_gets(path, GENERIC_READ));
    EXPECT_FALSE(other_opener_gets(path, GENERIC_WRITE));
    EXPECT_FALSE(LogFile::open_exclusive(path).has_value());
  }
  // The refused second opener emptied nothing.
  EXPECT_EQ(read_file(path), "cleaned:  c:\\x.htm\r\n");
  auto next = LogFile::open_exclusive(path);
  ASSERT_TRUE(next.has_value());
  next.reset();
  EXPECT_EQ(read_file(path), "");
}

TEST(Win32Log, log_is_created_when_missing_and_never_opens_a_folder) {
  TempTree tree;
  EXPECT_TRUE(LogFile::open_exclusive(tree.path("new.log")).has_value());
  EXPECT_FALSE(LogFile::open_exclusive(tree.make_dir("folder.log")).has_value());
}

TEST(Win32File, page_opened_for_repair_is_shared_with_nobody) {
  TempTree tree;
  const std::string path = tree.write("index.htm", "<html></html>");
  auto page = File::open_read_write(path);
  ASSERT_TRUE(page.has_value());
  EXPECT_FALSE(other_opener_gets(path, GENERIC_READ));
  EXPECT_FALSE(File::open_read(path).has_value());
  page->close();
  EXPECT_TRUE(other_opener_gets(path, GENERIC_READ));
}

TEST(Win32File, scanned_file_is_shared_with_readers_but_not_writers) {
  TempTree tree;
  const std::string path = tree.write("a.exe", "MZ");
  auto file = File::open_read(path);
  ASSERT_TRUE(file.has_value());
  EXPECT_TRUE(File::open_read(path).has_value());
  EXPECT_FALSE(other_opener_gets(path, GENERIC_WRITE));
  EXPECT_FALSE(File::open_read_write(path).has_value());
}

TEST(Win32File, device_names_are_not_regular_files) {
  // CON, NUL and the rest name devices in every folder; opening one would
  // read the console or nothing at all.
  EXPECT_FALSE(File::open_read("NUL").has_value());
  EXPECT_FALSE(File::open_read_write("NUL").has_value());
  EXPECT_FALSE(File::open_read("CON").has_value());
  EXPECT_FALSE(LogFile::open_exclusive("NUL").has_value());
}

TEST(Win32File, positioned_read_and_new_length_leave_the_sequential_position) {
  TempTree tree;
  const std::string path = tree.write("data.bin", "0123456789");
  auto file = File::open_read_write(path);
  ASSERT_TRUE(file.has_value());
  char buffer[4] = {};
  ASSERT_EQ(file->read(buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "012");
  ASSERT_EQ(file->read_at(7, buffer, 4), std::optional<std::size_t>(3));
  EXPECT_EQ(std::string(buffer, 3), "789");
  // Past the end is a count of zero, not an error.
  EXPECT_EQ(file->read_at(10, buffer, 4), std::optional<std::size_t>(0));
  EXPECT_EQ(file->read_at(1u << 20, buffer, 4), std::optional<std::size_t>(0));
  ASSERT_TRUE(file->set_length(8));
  EXPECT_EQ(file->size(), std::optional<std::uint64_t>(8));
  ASSERT_EQ(file->read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "3456");
}

TEST(Win32File, unique_files_are_new_and_distinct_with_or_without_a_closing_separator) {
  TempTree tree;
  std::set<std::string> names;
  for (const std::string& path : {tree.root(), tree.root() + "\\"}) {
    auto folder = Folder::open(path, LinkAtEnd::refuse).folder;
    ASSERT_TRUE(folder.has_value()) << path;
    for (int i = 0; i < 20; ++i) {
      std::string name;
      auto file = File::create_unique(*folder, "~quarn", name);
      ASSERT_TRUE(file.has_value());
      EXPECT_EQ(name.rfind("~quarn", 0), 0u) << name;
      EXPECT_EQ(node_kind(tree.path(name)), NodeKind::regular) << name;
      EXPECT_TRUE(names.insert(name).second) << name;
    }
  }
}

TEST(Win32File, attributes_travel_but_a_read_only_original_is_refused) {
  TempTree tree;
  const std::string original = tree.write("prog.exe", "infected");
  const std::string copy_path = tree.write("copy.tmp", "host");
  ASSERT_TRUE(SetFileAttributesA(original.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  {
    auto from = File::open_read(original);
    auto to = File::open_read_write(copy_path);
    ASSERT_TRUE(from && to);
    EXPECT_TRUE(to->copy_owner_from(*from));
    EXPECT_TRUE(to->copy_permissions_from(*from));
  }
  EXPECT_NE(GetFileAttributesA(copy_path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

  // A read-only file can be neither replaced nor deleted on Windows, so a
  // copy that took the attribute could not be cleaned away after the
  // refusal: the copy is refused first and keeps its own attributes.
  ASSERT_TRUE(SetFileAttributesA(original.c_str(), FILE_ATTRIBUTE_READONLY));
  {
    auto from = File::open_read(original);
    auto to = File::open_read_write(copy_path);
    ASSERT_TRUE(from && to);
    EXPECT_FALSE(to->copy_permissions_from(*from));
  }
  EXPECT_EQ(GetFileAttributesA(copy_path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  SetFileAttributesA(original.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32Fs, lower_casing_follows_the_system_for_every_script) {
  std::string name = "INDEX.HTM";
  lower_ansi(name);
  EXPECT_EQ(name, "index.htm");
  // A-umlaut, O-umlaut and Greek capitals become their small letters; the
  // multiplication sign, which is no letter, stays.
  std::string text = "\xC3\x84\xC3\x96\xCE\x91.HTM\xC3\x97";
  lower_ansi(text);
  EXPECT_EQ(text, "\xC3\xA4\xC3\xB6\xCE\xB1.htm\xC3\x97");
}

TEST(Win32Fs, case_blind_comparison_counts_every_byte) {
  EXPECT_TRUE(equal_no_case("C:\\TOOLS\\QUARN.EXE", "c:\\tools\\quarn.exe"));
  EXPECT_FALSE(equal_no_case(std::string("a.exe\0x", 7), std::string("a.exe\0y", 7)));
  EXPECT_FALSE(equal_no_case("a.exe", "a.exe "));
  EXPECT_TRUE(equal_no_case("C:\\\xC3\x89T\xC3\x89.EXE", "c:\\\xC3\xA9t\xC3\xA9.exe"));
}

TEST(Win32Fs, own_program_path_is_the_module_path) {
  char module[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, module, sizeof module), 0u);
  EXPECT_EQ(own_program_path(), std::optional<std::string>(module));
}

TEST(Win32Fs, directories_are_made_below_a_drive_root_and_a_trailing_separator) {
  TempTree tree;
  const std::string deep = tree.root() + "\\a\\b\\c\\";
  EXPECT_TRUE(make_directories(deep));
  EXPECT_EQ(node_kind(tree.path("a/b/c")), NodeKind::directory);
  EXPECT_TRUE(make_directories("c:\\"));
  EXPECT_FALSE(make_directories(tree.write("plain", "x") + "\\below"));
  EXPECT_EQ(node_kind_followed(tree.path("a")), NodeKind::directory);
  EXPECT_EQ(node_kind(tree.path("missing")), NodeKind::missing);
}

// The system gives a volume's root back in the form it was asked in: a
// path with the \\?\ prefix has a root with it too, and is still a drive's.
TEST(Win32Storage, paths_in_every_form_name_their_drives_volume_device) {
  TempTree tree;
  const std::string drive = tree.root().substr(0, 2);
  ASSERT_EQ(drive[1], ':');
  for (const std::string& path : {tree.root(), tree.root() + "\\", drive + "\\", tree.root() + "\\no\\such\\folder",
                                  "\\\\?\\" + tree.root()}) {
    EXPECT_EQ(win32::volume_device_of(path), std::optional<std::wstring>(L"\\\\.\\" + widen(drive))) << path;
  }
}

TEST(Win32Listing, folder_with_closing_separator_is_listed_like_without) {
  // "c:\" and "c:" + "\" + "*.*" give a doubled separator, which the system
  // reads as a single one.
  TempTree tree;
  tree.write("one.htm", "x");
  tree.make_dir("sub");
  for (const std::string& folder : {tree.root(), tree.root() + "\\"}) {
    auto opened = Folder::open(folder, LinkAtEnd::refuse).folder;
    ASSERT_TRUE(opened.has_value()) << folder;
    auto listing = opened->list();
    ASSERT_TRUE(listing.has_value()) << folder;
    std::set<std::pair<std::string, EntryKind>> seen;
    DirEntry entry;
    while (listing->next(entry) == ListingStep::entry) seen.insert({entry.name, entry.kind});
    EXPECT_TRUE(seen.count({"one.htm", EntryKind::regular})) << folder;
    EXPECT_TRUE(seen.count({"sub", EntryKind::directory})) << folder;
    EXPECT_TRUE(seen.count({".", EntryKind::directory})) << folder;
  }
}

TEST(Win32Listing, empty_folder_text_lists_the_current_drives_root) {
  auto folder = Folder::open("", LinkAtEnd::refuse).folder;
  ASSERT_TRUE(folder.has_value());
  auto listing = folder->list();
  ASSERT_TRUE(listing.has_value());
  DirEntry entry;
  EXPECT_EQ(listing->next(entry), ListingStep::entry);
}

TEST(Win32Thread, started_procedure_runs_with_its_argument) {
  std::atomic<int> value{0};
  ASSERT_TRUE(start_thread([](void* argument) { static_cast<std::atomic<int>*>(argument)->store(42); }, &value));
  for (int i = 0; i < 1000 && value.load() != 42; ++i) sleep_ms(10);
  EXPECT_EQ(value.load(), 42);
}

}  // namespace
}  // namespace quarn::platform
