// The program remedy on real files: dropped copies by name, restores of every
// kind of image, and every failure path with what it must leave behind.
#include "remedies/exe_remedy.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>

#include "remedies/faulty_io.h"
#include "remedies/handlers.h"
#include "support/temp_tree.h"
#include "tools/pe_builder.h"

namespace quarn::remedies {
namespace {

namespace fs = std::filesystem;
using quarn::testing::exists;
using quarn::testing::read_file;
using quarn::testing::placed;
using quarn::testing::TempTree;
using sample::PeKind;
using testing::FaultyIo;
using testing::Step;

// Files in folder whose names start with the restore stem.
int temporary_files_in(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind(kRestoreStem, 0) == 0) ++count;
  }
  return count;
}

mode_t mode_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(ExeRemedy, dropped_copies_are_known_by_file_name_only) {
  for (const char* name : {"riched20.dll", "RICHED20.DLL", "RichEd32.dll", "myriched.exe", "load.exe", "Load.EXE",
                           "LOAD32.exe", "xtmp.exe.dll", "tmp.exe", "TMP.EXE"}) {
    EXPECT_TRUE(is_dropped_copy(std::string("/some/folder/") + name)) << name;
  }
  for (const char* name : {"myload.exe", "load.exe.dll", "load32.exe.dll", "loader.exe", "tmp.ex", "tmpexe.dll",
                           "t.mp.exe", "riche.dll", "app.exe"}) {
    EXPECT_FALSE(is_dropped_copy(std::string("/some/folder/") + name)) << name;
  }
  EXPECT_FALSE(is_dropped_copy("/riched/load.exe.bak/app.exe"));
  EXPECT_TRUE(is_dropped_copy("load.exe"));
}

TEST(ExeRemedy, dropped_copy_is_deleted_once) {
  TempTree tree;
  const std::string path = tree.write("win/LOAD32.EXE", "MZ... Concept Virus");
  CExeHandler handler;
  EXPECT_EQ(handler.Preview(placed(path)), STATUS_DELETED);
  EXPECT_TRUE(exists(path));
  EXPECT_EQ(handler.Clean(placed(path)), STATUS_DELETED);
  EXPECT_FALSE(exists(path));
  EXPECT_EQ(handler.Preview(placed(path)), STATUS_ERROR);
  EXPECT_EQ(handler.Clean(placed(path)), STATUS_ERROR);
}

TEST(ExeRemedy, dropped_copy_that_cannot_be_deleted_stays) {
  TempTree tree;
  const std::string path = tree.write("riched20.dll", "Concept Virus");
  FaultyIo io(Step::delete_file);
  EXPECT_EQ(clean_program(placed(path), io), STATUS_ERROR);
  EXPECT_EQ(read_file(path), "Concept Virus");
}

TEST(ExeRemedy, infected_program_of_every_kind_gets_its_host_back) {
  struct Case {
    const char* name;
    PeKind kind;
    bool dll;
  };
  for (const Case& c : {Case{"app32.exe", PeKind::pe32, false}, Case{"app64.exe", PeKind::pe32_plus, false},
                        Case{"lib32.dll", PeKind::pe32, true}, Case{"lib64.dll", PeKind::pe32_plus, true}}) {
    TempTree tree;
    const std::string host = sample::host_program(c.name, c.kind, c.dll);
    const std::string infected = sample::infected_program(host, c.kind, c.dll);
    const std::string path = tree.write(std::string("riched/") + c.name, infected);
    CExeHandler handler;
    EXPECT_EQ(handler.Preview(placed(path)), STATUS_CLEANED) << c.name;
    EXPECT_EQ(read_file(path), infected) << "Preview changed " << c.name;
    EXPECT_EQ(handler.Clean(placed(path)), STATUS_CLEANED) << c.name;
    EXPECT_EQ(read_file(path), host) << c.name;
    EXPECT_EQ(temporary_files_in(tree.path("riched")), 0);
  }
}

TEST(ExeRemedy, path_with_a_doubled_separator_is_restored_beside_the_file) {
  // A walk started at a folder that ends with a separator builds such paths.
  TempTree tree;
  const std::string host = sample::host_program("doubled");
  tree.write("dbl.exe", sample::infected_program(host));
  EXPECT_EQ(clean_program(placed(tree.root() + "//dbl.exe"), RemedyIo::system()), STATUS_CLEANED);
  EXPECT_EQ(read_file(tree.path("dbl.exe")), host);
  EXPECT_EQ(temporary_files_in(tree.root()), 0);
}

TEST(ExeRemedy, empty_host_leaves_an_empty_file) {
  TempTree tree;
  sample::PeRecipe recipe;
  recipe.data = "Concept Virus";
  recipe.resources = {{sample::ResourceKey::of(10), sample::ResourceKey::of(102), 0, ""}};
  const std::string path = tree.write("empty.exe", sample::build_pe(recipe).bytes);
  EXPECT_EQ(clean_program(placed(path), RemedyIo::system()), STATUS_CLEANED);
  EXPECT_TRUE(exists(path));
  EXPECT_EQ(read_file(path), "");
}

TEST(ExeRemedy, restored_program_keeps_the_permission_bits) {
  TempTree tree;
  const std::string host = sample::host_program("modes");
  const std::string path = tree.write("modes.exe", sample::infected_program(host));
  ASSERT_EQ(::chmod(path.c_str(), 0751), 0);
  EXPECT_EQ(clean_program(placed(path), RemedyIo::system()), STATUS_CLEANED);
  EXPECT_EQ(mode_of(path), 0751u);
  EXPECT_EQ(read_file(path), host);
}

TEST(ExeRemedy, files_without_a_host_or_not_images_are_left_as_they_are) {
  TempTree tree;
  struct Case {
    const char* name;
    std::string bytes;
    ScanStatus expected;
  };
  sample::PeRecipe decoy;
  decoy.data = "Concept Virus";
  decoy.resources = {{sample::ResourceKey::of(sample::kRtDialog), sample::ResourceKey::of(102), 0x0409, "dialog"},
                     {sample::ResourceKey::of(sample::kRtString), sample::ResourceKey::of(102), 0x0409, "strings"},
                     {sample::ResourceKey::of(sample::kRtVersion), sample::ResourceKey::of(102), 0x0409, "version"}};
  sample::BuiltPe outside = sample::build_pe(
      {PeKind::pe32, false, {{sample::ResourceKey::of(10), sample::ResourceKey::of(102), 0, "host"}}, {}, "x", {}});
  sample::put_u32(outside.bytes,
                  outside.layout.resource_offset + outside.layout.resource_layout.data_entry_offsets[0] + 4, 0x100000);
  for (const Case& c : {Case{"decoy.exe", sample::build_pe(decoy).bytes, STATUS_SCANNED},
                        Case{"text.exe", "just text with Concept Virus in it", STATUS_ERROR},
                        Case{"empty.exe", "", STATUS_ERROR},
                        Case{"outside.exe", outside.bytes, STATUS_ERROR}}) {
    const std::string path = tree.write(c.name, c.bytes);
    EXPECT_EQ(preview_program(placed(path), RemedyIo::system()), c.expected) << c.name;
    EXPECT_EQ(clean_program(placed(path), RemedyIo::system()), c.expected) << c.name;
    EXPECT_EQ(read_file(path), c.bytes) << c.name;
  }
  EXPECT_EQ(temporary_files_in(tree.root()), 0);
  EXPECT_EQ(clean_program(placed(tree.path("missing.exe")), RemedyIo::system()), STATUS_ERROR);
}

TEST(ExeRemedy, link_to_an_infected_program_is_not_followed) {
  TempTree tree;
  const std::string infected = sample::infected_program(sample::host_program("target"));
  const std::string target = tree.write("target.exe", infected);
  const std::string link = tree.path("link.exe");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(clean_program(placed(link), RemedyIo::system()), STATUS_ERROR);
  EXPECT_EQ(read_file(target), infected);
  EXPECT_TRUE(fs::is_symlink(link));
}

TEST(ExeRemedy, every_failed_step_leaves_the_program_unchanged_and_no_temporary_file) {
  // A host bigger than one copy chunk, so reads and writes repeat.
  std::string host = sample::host_program("failures");
  host.append(200000, '\x5A');
  const std::string infected = sample::infected_program(host);

  // How often each repeated step runs on a good restore.
  auto calls_of = [&](Step step) {
    TempTree tree;
    const std::string path = tree.write("count.exe", infected);
    FaultyIo counter(step, 0);
    EXPECT_EQ(clean_program(placed(path), counter), STATUS_CLEANED);
    return counter.calls();
  };
  const int reads = calls_of(Step::read_at);
  const int writes = calls_of(Step::write_all);
  ASSERT_GT(reads, 4);
  ASSERT_GE(writes, 3);

  std::vector<std::pair<Step, int>> failures = {{Step::open_read, 1},      {Step::size, 1},
                                                {Step::create_unique, 1},  {Step::flush_to_disk, 1},
                                                {Step::copy_attributes, 1}, {Step::close, 1},
                                                {Step::replace_file, 1}};
  for (int n = 1; n <= reads; ++n) failures.emplace_back(Step::read_at, n);
  for (int n = 1; n <= writes; ++n) failures.emplace_back(Step::write_all, n);

  for (const auto& [step, nth] : failures) {
    TempTree tree;
    const std::string path = tree.write("app/app.exe", infected);
    FaultyIo io(step, nth);
    EXPECT_EQ(clean_program(placed(path), io), STATUS_ERROR) << static_cast<int>(step) << " #" << nth;
    EXPECT_GE(io.calls(), nth);  // the failing call was reached
    EXPECT_EQ(read_file(path), infected) << static_cast<int>(step) << " #" << nth;
    EXPECT_EQ(temporary_files_in(tree.path("app")), 0) << static_cast<int>(step) << " #" << nth;
  }
}

TEST(ExeRemedy, failed_close_of_the_infected_file_changes_nothing) {
  TempTree tree;
  const std::string host = sample::host_program("close");
  const std::string path = tree.write("close.exe", sample::infected_program(host));
  FaultyIo io(Step::close, 2);  // the temporary file closes first
  EXPECT_EQ(clean_program(placed(path), io), STATUS_CLEANED);
  EXPECT_EQ(read_file(path), host);
}

TEST(ExeRemedy, restore_counts_only_once_its_folder_is_on_the_disk) {
  TempTree tree;
  const std::string host = sample::host_program("flush");
  const std::string path = tree.write("flush.exe", sample::infected_program(host));
  FaultyIo io(Step::flush_folder, 1);
  EXPECT_EQ(clean_program(placed(path), io), STATUS_ERROR);
  EXPECT_EQ(io.calls(), 1);
  EXPECT_EQ(read_file(path), host);  // renamed, but not known to be durable
  EXPECT_EQ(temporary_files_in(tree.root()), 0);
}

TEST(ExeRemedy, files_that_look_like_temporary_files_are_left_alone) {
  TempTree tree;
  const std::string stray = tree.write(std::string(kRestoreStem) + "AAAAAA", "someone else's");
  const std::string host = sample::host_program("stray");
  const std::string path = tree.write("stray.exe", sample::infected_program(host));
  EXPECT_EQ(clean_program(placed(path), RemedyIo::system()), STATUS_CLEANED);
  EXPECT_EQ(read_file(stray), "someone else's");
  EXPECT_EQ(temporary_files_in(tree.root()), 1);
}

TEST(ExeRemedy, folder_without_write_permission_fails_cleanly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes to read-only folders; the injected failures cover this path";
  TempTree tree;
  const std::string infected = sample::infected_program(sample::host_program("read-only"));
  const std::string path = tree.write("ro/app.exe", infected);
  ASSERT_EQ(::chmod(tree.path("ro").c_str(), 0555), 0);
  EXPECT_EQ(clean_program(placed(path), RemedyIo::system()), STATUS_ERROR);
  EXPECT_EQ(read_file(path), infected);
  EXPECT_EQ(temporary_files_in(tree.path("ro")), 0);
}

// Another program's file, renamed over the infected one while the host is
// being copied out of it.
class ReplacingIo : public RemedyIo {
 public:
  ReplacingIo(std::string path, std::string other) : path_(std::move(path)), other_(std::move(other)) {}
  bool flush_to_disk(platform::File& file) override {
    std::filesystem::rename(other_, path_);
    return RemedyIo::flush_to_disk(file);
  }

 private:
  std::string path_, other_;
};

TEST(ExeRemedy, a_file_put_in_the_programs_place_during_the_restore_is_never_replaced) {
  TempTree tree;
  const std::string path = tree.write("app.exe", sample::infected_program(sample::host_program("moved")));
  const std::string other = tree.write("other.bin", "someone else's program");
  ReplacingIo io(path, other);
  EXPECT_EQ(clean_program(placed(path), io), STATUS_ERROR);
  EXPECT_EQ(read_file(path), "someone else's program");
  EXPECT_EQ(temporary_files_in(tree.root()), 0);
}

TEST(ExeRemedy, only_a_leftover_marked_with_its_own_name_is_removed) {
  TempTree tree;
  const std::string stem = kRestoreStem;
  auto marked = [&](const std::string& name, const std::string& marker) {
    const std::string path = tree.write(name, "a host");
    return ::setxattr(path.c_str(), "user.quarn.marker", marker.data(), marker.size(), 0) == 0;
  };
  if (!marked(stem + "AAAAAA", stem + "AAAAAA")) GTEST_SKIP() << "this file system keeps no extended attributes";
  tree.write(stem + "BBBBBB", "a user's file that only looks the part");
  ASSERT_TRUE(marked(stem + "CCCCCC", stem + "AAAAAA"));  // a copy of a leftover
  ASSERT_TRUE(marked("notes.txt", "notes.txt"));
  for (const char* name : {"AAAAAA", "BBBBBB", "CCCCCC"}) remove_leftover(placed(tree.path(stem + name)), RemedyIo::system());
  EXPECT_EQ(remove_leftover(placed(tree.path("notes.txt")), RemedyIo::system()), platform::Abandoned::not_ours);
  EXPECT_FALSE(exists(tree.path(stem + "AAAAAA")));
  EXPECT_TRUE(exists(tree.path(stem + "BBBBBB")));
  EXPECT_TRUE(exists(tree.path(stem + "CCCCCC")));
  EXPECT_TRUE(exists(tree.path("notes.txt")));
}

}  // namespace
}  // namespace quarn::remedies
