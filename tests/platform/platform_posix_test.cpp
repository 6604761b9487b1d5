// POSIX specifics: links are never followed, FIFOs never opened, control
// bytes in names are escaped for the log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>
#include <string>
#include <utility>

#include "platform/directory.h"
#include "platform/folder.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/log_file.h"
#include "platform/posix/mount_info.h"
#include "platform/storage.h"
#include "support/temp_tree.h"

namespace quarn::platform {
namespace {

using quarn::testing::read_file;
using quarn::testing::TempTree;

TEST(PosixFile, links_and_fifos_are_refused_by_every_open) {
  TempTree tree;
  std::string target = tree.write("target.htm", "page");
  std::filesystem::create_symlink(target, tree.path("link.htm"));
  ASSERT_EQ(::mkfifo(tree.path("pipe.htm").c_str(), 0600), 0);
  for (const char* name : {"link.htm", "pipe.htm"}) {
    EXPECT_FALSE(File::open_read(tree.path(name)).has_value()) << name;
    EXPECT_FALSE(File::open_read_write(tree.path(name)).has_value()) << name;
  }
  EXPECT_FALSE(File::create_new(tree.path("link.htm")).has_value());
  EXPECT_FALSE(LogFile::open_exclusive(tree.path("link.htm")).has_value());
  EXPECT_EQ(read_file(target), "page");
}

TEST(PosixLog, a_device_takes_the_log_only_through_its_own_opening_and_says_why_a_write_fails) {
  TempTree tree;
  const std::string file = tree.write("scan.log", "kept");
  std::filesystem::create_symlink("/dev/null", tree.path("link.log"));
  ASSERT_EQ(::mkfifo(tree.path("pipe.log").c_str(), 0600), 0);
  const std::pair<std::string, LogFile::Place> places[] = {
      {file, LogFile::Place::file},           {tree.path("new.log"), LogFile::Place::file},
      {tree.path("link.log"), LogFile::Place::file}, {"/dev/null", LogFile::Place::device},
      {tree.path("pipe.log"), LogFile::Place::fifo}, {tree.root(), LogFile::Place::folder}};
  for (const auto& [path, place] : places) EXPECT_EQ(LogFile::place_of(path), place) << path;
  // The window's log stays a file: its opening takes no device.
  EXPECT_FALSE(LogFile::open_exclusive("/dev/null").has_value());
  // Only a device itself, never a file, a link to one, or a FIFO without a
  // reader, which would otherwise wait here for ever.
  for (const std::string& path : {file, tree.path("link.log"), tree.path("pipe.log")}) {
    EXPECT_FALSE(LogFile::open_device(path).has_value()) << path;
  }
  EXPECT_EQ(read_file(file), "kept");
  auto full = LogFile::open_device("/dev/full");
  ASSERT_TRUE(full.has_value());
  EXPECT_EQ(full->last_error(), "");
  EXPECT_FALSE(full->write("cleaned:  /a.htm\r\n"));
  EXPECT_EQ(full->last_error(), "No space left on device");
}

// A link planted where a folder or a file is to be made is never followed.
TEST(PosixFolder, making_a_name_refuses_a_link_there) {
  TempTree tree;
  tree.make_dir("top/real");
  std::filesystem::create_directory_symlink(tree.path("top/real"), tree.path("top/to_folder"));
  std::filesystem::create_symlink(tree.path("top/real/new"), tree.path("top/dangling"));
  auto top = Folder::open(tree.path("top"), LinkAtEnd::refuse).folder;
  ASSERT_TRUE(top);
  EXPECT_FALSE(top->create_child_folder("to_folder").has_value());
  EXPECT_FALSE(File::create_new(*top, "dangling").has_value());
  EXPECT_EQ(top->kind_of("to_folder"), NodeKind::link);
  EXPECT_FALSE(std::filesystem::exists(tree.path("top/real/new")));
}

TEST(PosixDirectory, links_and_special_files_are_listed_as_such) {
  TempTree tree;
  tree.make_dir("real");
  std::filesystem::create_directory_symlink(tree.path("real"), tree.path("dirlink"));
  ASSERT_EQ(::mkfifo(tree.path("pipe").c_str(), 0600), 0);
  auto folder = Folder::open(tree.root(), LinkAtEnd::refuse).folder;
  ASSERT_TRUE(folder.has_value());
  auto listing = folder->list();
  ASSERT_TRUE(listing.has_value());
  DirEntry entry;
  int links = 0, others = 0;
  while (listing->next(entry) == ListingStep::entry) {
    if (entry.name == "dirlink") links += entry.kind == EntryKind::link;
    if (entry.name == "pipe") others += entry.kind == EntryKind::other;
  }
  EXPECT_EQ(links, 1);
  EXPECT_EQ(others, 1);
  // A link to a folder is opened only where it was named on purpose.
  EXPECT_FALSE(Folder::open(tree.path("dirlink"), LinkAtEnd::refuse).folder.has_value());
  EXPECT_TRUE(Folder::open(tree.path("dirlink"), LinkAtEnd::follow).folder.has_value());
  EXPECT_FALSE(folder->open_child("dirlink").has_value());
}

// Several listings of one folder, read in turns, each see every name once,
// across many reads of the listing's buffer and with names of the longest
// length. The folder's own descriptor keeps working beside them, and the
// first listing, which reads through it, goes on after the folder is gone.
TEST(PosixDirectory, listings_of_one_folder_read_in_turns_each_see_every_name) {
  TempTree tree;
  std::set<std::string> names;
  for (int i = 0; i < 600; ++i) {
    std::string name = std::to_string(i) + "-" + std::string(i % 3 == 0 ? 255 - 4 : i % 64, 'n');
    name.resize(std::min<std::size_t>(name.size(), 255));
    tree.write("d/" + name, "");
    names.insert(name);
  }
  auto folder = Folder::open(tree.path("d"), LinkAtEnd::refuse).folder;
  ASSERT_TRUE(folder.has_value());
  std::vector<DirectoryListing> listings;
  for (int i = 0; i < 3; ++i) listings.push_back(std::move(*folder->list()));
  std::vector<std::set<std::string>> seen(listings.size());
  int round = 0;
  for (bool more = true; more; ++round) {
    if (round == 300) {
      EXPECT_EQ(folder->kind_of(*names.begin()), NodeKind::regular);
      folder.reset();
    }
    more = false;
    for (std::size_t i = 0; i < listings.size(); ++i) {
      DirEntry entry;
      if (listings[i].next(entry) != ListingStep::entry) continue;
      more = true;
      if (entry.name == "." || entry.name == "..") continue;
      EXPECT_TRUE(seen[i].insert(entry.name).second) << entry.name;
    }
  }
  for (const auto& each : seen) EXPECT_EQ(each, names);
}

TEST(PosixFile, copy_permissions_takes_the_mode_bits) {
  TempTree tree;
  std::string source = tree.write("src", "x");
  ::chmod(source.c_str(), 0751);
  auto from = File::open_read(source);
  auto to = File::create_new(tree.path("dst"));
  ASSERT_TRUE(from && to);
  EXPECT_TRUE(to->copy_permissions_from(*from));
  struct stat st;
  ASSERT_EQ(::stat(tree.path("dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
}

// Beyond the mode and the time, the owner and the extended attributes reach
// the new file, but never the marker of a file that create_unique made:
// copied onto a user's file it would let a later scan remove that file. Only
// root may give a file away; for anyone else the attempt is no failure.
TEST(PosixFile, owner_and_extended_attributes_are_given_but_never_the_marker) {
  constexpr uid_t kOtherOwner = 4321;
  const bool root = ::getuid() == 0;
  TempTree tree;
  auto folder = Folder::open(tree.root(), LinkAtEnd::refuse).folder;
  ASSERT_TRUE(folder.has_value());
  std::string name;
  auto made = File::create_unique(*folder, "orig", name);
  ASSERT_TRUE(made.has_value());
  ASSERT_TRUE(made->write_all("old bytes", 9) && made->close());
  const std::string original = tree.path(name);
  if (::setxattr(original.c_str(), "user.quarn.test", "kept", 4, 0) != 0) {
    GTEST_SKIP() << "the temporary folder keeps no user extended attributes";
  }
  ASSERT_GT(::getxattr(original.c_str(), "user.quarn.marker", nullptr, 0), 0);
  if (root) {
    ASSERT_EQ(::chown(original.c_str(), kOtherOwner, kOtherOwner), 0);
  }
  // Read-only for its owner, which must not keep the attributes from being
  // written to the new file before it gets that mode.
  ASSERT_EQ(::chmod(original.c_str(), 0444), 0);

  auto source = File::open_read(original);
  ASSERT_TRUE(source.has_value());
  auto taken = source->attributes();
  ASSERT_TRUE(taken.has_value());
  const uid_t owner = root ? kOtherOwner : ::getuid();
  EXPECT_EQ(taken->owner, owner);
  EXPECT_EQ(std::count_if(taken->extended.begin(), taken->extended.end(),
                          [](const auto& attribute) { return attribute.first == "user.quarn.marker"; }),
            0);
  // Attributes that came from elsewhere are given as they are, but a marker.
  taken->owner = kOtherOwner;
  taken->extended.emplace_back("user.quarn.marker", "planted");

  const std::string copy = tree.path("copy");
  auto target = File::create_new(copy);
  ASSERT_TRUE(target.has_value());
  EXPECT_TRUE(target->set_attributes(*taken));
  EXPECT_TRUE(target->close());
  struct stat st;
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, owner);
  // An empty value stands for an attribute that the new file does not have.
  const std::pair<const char*, const char*> expected[] = {{"user.quarn.test", "kept"}, {"user.quarn.marker", ""}};
  for (const auto& [attribute, value] : expected) {
    char got[64] = {};
    const ssize_t n = ::getxattr(copy.c_str(), attribute, got, sizeof got);
    EXPECT_EQ(n < 0 ? "" : std::string(got, static_cast<std::size_t>(n)), value) << attribute;
  }
}

TEST(PosixFs, log_text_escapes_control_bytes_and_backslashes) {
  EXPECT_EQ(log_text("/plain/name.eml"), "/plain/name.eml");
  EXPECT_EQ(log_text("/a\r\nb"), "/a\\x0D\\x0Ab");
  EXPECT_EQ(log_text(std::string("/t\tx\x7f", 5)), "/t\\x09x\\x7F");
  EXPECT_EQ(log_text("/back\\slash"), "/back\\\\slash");
  EXPECT_EQ(log_text("/caf\xc3\xa9"), "/caf\xc3\xa9");  // UTF-8 stays as it is
}

// Only a block device can say whether it spins or count its reads: a
// kernel file system has no disk, and a path that is not there has no
// device. One that does answer counts each device once.
TEST(PosixStorage, no_answer_without_a_block_device) {
  EXPECT_EQ(is_rotational("/proc/self"), std::nullopt);
  EXPECT_EQ(is_rotational("/no/such/path/here"), std::nullopt);
  EXPECT_FALSE(DeviceWorkCounter({"/proc/self", "/no/such/path/here"}).read().has_value());
  const auto once = DeviceWorkCounter({"/proc/self", "/"}).read();
  if (is_rotational("/").has_value()) {
    ASSERT_TRUE(once.has_value());
    const auto twice = DeviceWorkCounter({"/", "/"}).read();
    ASSERT_TRUE(twice.has_value());
    // Counted once, not twice: the later count has grown by the few reads
    // made meanwhile, far from doubling.
    EXPECT_GE(twice->requests, once->requests);
    EXPECT_LT(twice->requests, once->requests + once->requests / 2 + 1);
  }
}

// The mount table names each file system's type and source; a source with
// a space in its path (an image in "My Disks") is written escaped.
TEST(PosixStorage, mount_entries_are_found_by_device_and_unescaped) {
  struct stat st;
  ASSERT_EQ(::stat("/proc/self", &st), 0);
  const auto proc = mount_entry_of(st.st_dev);
  ASSERT_TRUE(proc.has_value());
  EXPECT_EQ(proc->type, "proc");
  const std::pair<const char*, const char*> fields[] = {
      {"/img/My\\040Disks/a.ntfs", "/img/My Disks/a.ntfs"},
      {"a\\011b\\012c\\134d", "a\tb\nc\\d"},
      {"cut\\04", "cut\\04"},   // too short to be an escape
      {"not\\08x", "not\\08x"},  // 8 is no octal digit
      {"\\040", " "},
  };
  for (const auto& [field, text] : fields) EXPECT_EQ(unescaped_mount_field(field), text) << field;
}

TEST(PosixFs, default_places) {
  EXPECT_EQ(default_start_folder(), "/");
  EXPECT_EQ(separator(), '/');
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') {
    ASSERT_TRUE(default_log_path().has_value());
    EXPECT_EQ(std::filesystem::path(*default_log_path()).filename(), "vosko_clean.log");
  }
}

}  // namespace
}  // namespace quarn::platform
