// The walk acts on what it listed, through folder descriptors: any depth,
// any path length, a bounded number of descriptors, links followed only at
// the start, and nothing outside the tree touched when a folder is swapped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <thread>

#include "remedies/handlers.h"
#include "scan/folder_warmer.h"
#include "scan/scanner_fixtures.h"
#include "support/temp_tree.h"
#include "tools/pe_builder.h"
#include "tools/sample_tree.h"

namespace quarn {
namespace {

using testing::exists;
using testing::read_file;
using testing::RecordingScanner;
using testing::TempTree;

// A descriptor that closes itself.
struct Fd {
  int fd;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Makes depth nested folders named name below root and returns the deepest,
// open; paths this long cannot be made by path.
int make_deep(const std::string& root, const std::string& name, int depth) {
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth && fd >= 0; ++i) {
    ::mkdirat(fd, name.c_str(), 0755);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  return fd;
}

void write_at(int dirfd, const char* name, const std::string& bytes) {
  const int fd = ::openat(dirfd, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

std::string read_at(int dirfd, const char* name) {
  const int fd = ::openat(dirfd, name, O_RDONLY);
  if (fd < 0) return "<missing>";
  std::string bytes;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  return bytes;
}

TEST(DescriptorWalk, tree_1000_deep_past_16_kib_is_remedied_with_a_bounded_number_of_descriptors) {
  TempTree tree;
  const std::string name(17, 'd');  // 1000 levels of 18 bytes: a path of over 17 KiB
  const std::string host = sample::host_program("deep");
  const std::string page = sample::clean_page("Deep");
  {
    Fd bottom(make_deep(tree.root(), name, 1000));
    ASSERT_GE(bottom.fd, 0);
    write_at(bottom.fd, "index.htm", page + sample::appended_block());
    write_at(bottom.fd, "app.exe", sample::infected_program(host));
    write_at(bottom.fd, "mail.eml", "x");
  }
  RecordingScanner scanner;
  // Far fewer descriptors than levels: a walk that held one per level fails.
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  struct rlimit few = old;
  few.rlim_cur = 128;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
  scanner.scan(tree.root());
  ::setrlimit(RLIMIT_NOFILE, &old);

  EXPECT_EQ(scanner.m_nScanErrors.load(), 0);
  EXPECT_EQ(scanner.m_nDirectories.load(), 1001);
  EXPECT_EQ(scanner.m_nFilesInfected.load(), 3);
  EXPECT_EQ(scanner.m_nFilesCleaned.load(), 2);
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 1);
  ASSERT_EQ(scanner.results().size(), 3u);
  EXPECT_GT(scanner.results()[0].path.size(), 16u * 1024);
  {
    Fd bottom(make_deep(tree.root(), name, 1000));
    EXPECT_EQ(read_at(bottom.fd, "app.exe"), host);
    EXPECT_EQ(read_at(bottom.fd, "index.htm"), page);
    EXPECT_EQ(read_at(bottom.fd, "mail.eml"), "<missing>");
  }
  // rm walks by descriptor too; a path-based removal would stop at PATH_MAX.
  ASSERT_EQ(std::system(("rm -rf '" + tree.root() + "/" + name + "'").c_str()), 0);
}

// With the most jobs, queued files and the batches in the threads' hands
// hold folders that the walk has closed: a file on every level of a deep
// tree still stays within the descriptors that a process gets by default.
TEST(DescriptorWalk, most_jobs_on_a_file_at_every_level_stay_within_the_default_descriptors) {
  TempTree tree;
  constexpr int kLevels = 1000;
  {
    int fd = ::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < kLevels && fd >= 0; ++i) {
      write_at(fd, "page.htm", "<html></html>");
      ::mkdirat(fd, "d", 0755);
      const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
      ::close(fd);
      fd = next;
    }
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  RecordingScanner scanner;
  scanner.set_jobs(64);
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  struct rlimit usual = old;
  usual.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &usual), 0);
  scanner.scan(tree.root());
  ::setrlimit(RLIMIT_NOFILE, &old);

  EXPECT_EQ(scanner.m_nScanErrors.load(), 0);
  EXPECT_EQ(scanner.m_nFilesScanned.load(), kLevels);
  EXPECT_EQ(scanner.m_nDirectories.load(), kLevels + 1);
  ASSERT_EQ(std::system(("rm -rf '" + tree.root() + "/d'").c_str()), 0);
}

// Before its remedy runs, swaps the file's folder for a link to a folder
// outside the tree that holds a file of the same name.
class SwappingHandler : public CMailHandler {
 public:
  SwappingHandler(std::string folder, std::string outside) : folder_(std::move(folder)), outside_(std::move(outside)) {}
  ScanStatus Clean(const platform::FileAt& file) override {
    std::filesystem::rename(folder_, folder_ + ".moved");
    std::filesystem::create_directory_symlink(outside_, folder_);
    return CMailHandler::Clean(file);
  }

 private:
  std::string folder_, outside_;
};

TEST(DescriptorWalk, folder_swapped_for_a_link_before_the_remedy_leaves_everything_outside_alone) {
  TempTree tree;
  tree.write("scan/site/victim.eml", "in the tree");
  const std::string outside = tree.write("elsewhere/victim.eml", "not to be touched");
  SwappingHandler handler(tree.path("scan/site"), tree.path("elsewhere"));
  RecordingScanner scanner;
  testing::use_handlers(scanner, {&handler});
  scanner.ScanDirectory(tree.path("scan"));
  EXPECT_EQ(read_file(outside), "not to be touched");
  // The remedy acted on the folder that was listed, now under its new name.
  EXPECT_FALSE(exists(tree.path("scan/site.moved/victim.eml")));
  EXPECT_EQ(scanner.m_nFilesDeleted.load(), 1);
}

TEST(DescriptorWalk, start_folder_given_as_a_link_is_followed_once_and_shown_as_typed) {
  TempTree tree;
  tree.write("real/mail.eml", "x");
  std::filesystem::create_directory_symlink(tree.path("real"), tree.path("real/up"));
  std::filesystem::create_directory_symlink(tree.path("real"), tree.path("typed"));
  RecordingScanner scanner;
  scanner.scan(tree.path("typed"));
  ASSERT_EQ(scanner.results().size(), 1u);
  EXPECT_EQ(scanner.results()[0].path, tree.path("typed/mail.eml"));
  EXPECT_FALSE(exists(tree.path("real/mail.eml")));
  EXPECT_EQ(scanner.m_nFilesSkipped.load(), 1);  // real/up: a link met inside is never followed
  EXPECT_EQ(scanner.m_nDirectories.load(), 1);
}

TEST(DescriptorWalk, pseudo_file_systems_below_the_start_are_counted_not_entered_but_walked_when_named) {
  TempTree tree;
  tree.write("mail.eml", "x");
  const std::string proc = tree.make_dir("proc");
  if (::mount("proc", proc.c_str(), "proc", 0, nullptr) != 0) {
    GTEST_SKIP() << "mounting proc needs root (CAP_SYS_ADMIN); the file system types are checked by the platform tests";
  }
  RecordingScanner below;
  below.scan(tree.root());
  RecordingScanner named;
  named.scan(proc + "/self/fdinfo");
  ::umount2(proc.c_str(), MNT_DETACH);

  EXPECT_EQ(below.m_nDirectories.load(), 2);  // the start folder and proc, once
  EXPECT_EQ(below.m_nFilesSkipped.load(), 0);
  EXPECT_EQ(below.m_nFilesDeleted.load(), 1);
  EXPECT_GT(named.m_nFilesSkipped.load(), 0);  // named by the user: walked
}

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

// Waits until the warmer has nothing to do until the walk moves on (or a
// deadline far beyond any run passes).
void wait_until_idle(FolderWarmer& warmer) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!warmer.idle() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The warmer lists every real folder below the start, however deep, never
// one behind a link, and never more than its distance ahead of a walk that
// has not moved.
TEST(FolderWarmer, lists_ahead_within_its_bound_and_never_through_a_link) {
  TempTree tree;
  tree.make_dir("t/a/x");
  tree.make_dir("t/a/y");
  for (int i = 0; i < 40; ++i) tree.make_dir("elsewhere/" + std::to_string(i));
  std::filesystem::create_directory_symlink(tree.path("elsewhere"), tree.path("t/link"));
  // Far deeper than the folders it keeps open, with siblings waiting on
  // most levels (all but those where the deeper folder is listed last).
  std::string deep = "deep";
  constexpr std::size_t kLevels = 2 * FolderWarmer::kMostParents + 16;
  constexpr std::size_t kSiblings = 8;
  constexpr std::size_t kDeepFolders = kLevels * (kSiblings + 1);
  for (std::size_t i = 0; i < kLevels; ++i) {
    // Names of their own on each level, so that the listing's order differs.
    for (std::size_t k = 0; k < kSiblings; ++k) tree.make_dir(deep + "/s" + std::to_string(i * kSiblings + k));
    deep += "/d" + std::to_string(i);
  }
  tree.make_dir(deep);
  for (std::size_t i = 0; i < FolderWarmer::kAhead + 50; ++i) tree.make_dir("wide/" + std::to_string(i));

  const struct {
    const char* start;
    std::size_t threads, walk_entered, fewest, most;
  } cases[] = {
      // Had the link been followed, its 40 folders would be among these.
      {"t", 4, 0, 3, 3},
      // The shallow parents are closed, opened again by name and listed.
      {"deep", 1, kDeepFolders, kDeepFolders, kDeepFolders},
      // A thread checks the distance before it takes a folder, so the
      // others may each finish one more.
      {"wide", 4, 0, FolderWarmer::kAhead, FolderWarmer::kAhead + 3},
  };
  for (const auto& c : cases) {
    auto start = platform::Folder::open(tree.path(c.start), platform::LinkAtEnd::refuse).folder;
    ASSERT_TRUE(start) << c.start;
    std::size_t listed = 0;
    {
      FolderWarmer warmer(std::make_shared<const platform::Folder>(std::move(*start)), c.threads);
      for (std::size_t i = 0; i < c.walk_entered; ++i) warmer.walk_entered();
      wait_until_idle(warmer);
      listed = warmer.listed();
    }
    EXPECT_GE(listed, c.fewest) << c.start;
    EXPECT_LE(listed, c.most) << c.start;
  }
}

}  // namespace
}  // namespace quarn
