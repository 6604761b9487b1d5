// Where copies go, that they are whole, and that none is ever replaced.
#include <gtest/gtest.h>

#include <limits.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <vector>

#include "cli/backup_store.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "support/temp_tree.h"

namespace quarn::cli {
namespace {

using testing::read_file;
using testing::placed;
using testing::TempTree;
namespace fs = std::filesystem;

TEST(BackupStore, copy_goes_below_the_store_under_the_file_full_path) {
  TempTree tree;
  auto store = BackupStore::open(tree.path("deep/store"));
  ASSERT_TRUE(store);
  EXPECT_EQ(store->target_for("/mnt/c/site/index.htm"), tree.path("deep/store/mnt/c/site/index.htm"));
  EXPECT_EQ(store->target_for("/"), tree.path("deep/store"));
}

TEST(BackupStore, save_makes_an_exact_copy_with_the_same_permissions) {
  TempTree tree;
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
  const std::string file = tree.write("disk/a b/prog.exe", bytes);
  ::chmod(file.c_str(), 0751);
  auto store = BackupStore::open(tree.path("store"));
  ASSERT_TRUE(store);
  const std::string full = fs::canonical(file).string();
  auto copy = store->save(placed(file), full);
  ASSERT_TRUE(copy);
  const std::string kept = tree.path("store/" + copy->place);
  EXPECT_EQ(kept, store->target_for(full));
  EXPECT_EQ(copy->size, bytes.size());
  EXPECT_EQ(read_file(kept), bytes);
  EXPECT_EQ(fs::status(kept).permissions(), fs::status(file).permissions());
}

TEST(BackupStore, earlier_copies_are_kept_up_to_the_last_suffix) {
  TempTree tree;
  const std::string file = tree.write("disk/m.eml", "now");
  auto store = BackupStore::open(tree.path("store"));
  ASSERT_TRUE(store);
  const std::string target = store->target_for(file);
  tree.write("store" + file, "first");
  for (int i = 1; i < BackupStore::kMaxSuffix; ++i) tree.write("store" + file + "." + std::to_string(i), "older");
  auto last = store->save(placed(file), file);
  ASSERT_TRUE(last);
  EXPECT_EQ(tree.path("store/" + last->place), target + "." + std::to_string(BackupStore::kMaxSuffix));
  EXPECT_EQ(read_file(target + "." + std::to_string(BackupStore::kMaxSuffix)), "now");
  EXPECT_EQ(read_file(target), "first");
  // Every name is taken now, by other bytes: no copy, and the file is not to
  // be touched.
  tree.write("disk/m.eml", "later");
  EXPECT_FALSE(store->save(placed(file), file));
}

// The folder below from that names lead to, made where missing.
std::optional<platform::Folder> reach(const platform::Folder& from, const std::vector<std::string>& names) {
  std::optional<platform::Folder> here = from.create_child_folder(names.at(0));
  for (std::size_t i = 1; here && i < names.size(); ++i) here = here->create_child_folder(names[i]);
  return here;
}

void put(const platform::Folder& folder, const std::string& name, const std::string& bytes) {
  auto file = platform::File::create_new(folder, name);
  ASSERT_TRUE(file && file->write_all(bytes.data(), bytes.size()) && file->close()) << name;
}

std::string contents(const platform::Folder& folder, const std::string& name) {
  auto file = platform::File::open_read(folder, name);
  std::string bytes(file ? file->size_at_open() : 0, '\0');
  if (file) bytes.resize(file->read(bytes.data(), bytes.size()));
  return bytes;
}

std::set<std::string> names_in(const platform::Folder& folder) {
  std::set<std::string> names;
  auto listing = folder.list();
  platform::DirEntry entry;
  while (listing && listing->next(entry) == platform::ListingStep::entry) {
    if (entry.name != "." && entry.name != "..") names.insert(entry.name);
  }
  return names;
}

// A rerun keeps one copy of bytes that are kept already, and a copy with
// other bytes takes the next name, also where the path is longer than any
// path the system resolves. Nothing under a temporary name stays.
TEST(BackupStore, keeps_each_distinct_content_once_at_any_depth) {
  const std::string big(platform::kCopyChunk + 1, 'b');
  std::string big_changed = big;
  big_changed.back() = 'c';
  struct Case {
    const char* what;
    int levels;  // folders of 200-character names above the file
    std::vector<std::string> earlier;
    std::string bytes;
    const char* suffix;
    bool made;
  };
  const Case cases[] = {
      {"first copy", 0, {}, "now!", "", true},
      {"same bytes kept", 0, {"now!"}, "now!", "", false},
      {"same size, other bytes", 0, {"old!"}, "now!", ".1", true},
      {"same bytes in .1", 0, {"much older", "now!"}, "now!", ".1", false},
      {"last byte after a chunk differs", 0, {big}, big_changed, ".1", true},
      {"same bytes after a chunk", 0, {big_changed, big}, big, ".1", false},
      {"deeper than PATH_MAX", 24, {}, "now!", "", true},
      {"rerun deeper than PATH_MAX", 24, {"now!"}, "now!", "", false},
      {"changed deeper than PATH_MAX", 24, {"old!"}, "now!", ".1", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempTree tree;
    tree.make_dir("disk");
    auto store = BackupStore::open(tree.path("store"));
    ASSERT_TRUE(store);
    std::vector<std::string> chain;
    for (int i = 0; i < c.levels; ++i) chain.push_back(std::to_string(i) + std::string(200, 'd'));
    std::string full = fs::canonical(tree.path("disk")).string();
    for (const std::string& name : chain) full += "/" + name;
    full += "/m.eml";
    std::vector<std::string> below;  // the copy's folders below the store
    for (const auto& part : fs::path(full).parent_path().relative_path()) below.push_back(part.string());
    ASSERT_EQ(c.levels > 0, full.size() > PATH_MAX);

    auto disk = platform::Folder::open(tree.path("disk"), platform::LinkAtEnd::refuse).folder;
    ASSERT_TRUE(disk);
    auto home = chain.empty() ? platform::Folder::open(tree.path("disk"), platform::LinkAtEnd::refuse).folder
                              : reach(*disk, chain);
    ASSERT_TRUE(home);
    put(*home, "m.eml", c.bytes);
    auto top = platform::Folder::open(tree.path("store"), platform::LinkAtEnd::refuse).folder;
    ASSERT_TRUE(top);
    auto kept = reach(*top, below);
    ASSERT_TRUE(kept);
    std::set<std::string> before;
    for (std::size_t i = 0; i < c.earlier.size(); ++i) {
      const std::string earlier = i == 0 ? "m.eml" : "m.eml." + std::to_string(i);
      put(*kept, earlier, c.earlier[i]);
      before.insert(earlier);
    }

    auto copy = store->save(platform::FileAt{*home, "m.eml", full}, full);
    ASSERT_TRUE(copy);
    const std::string name = std::string("m.eml") + c.suffix;
    EXPECT_EQ(copy->place, fs::path(full).relative_path().string() + c.suffix);
    EXPECT_EQ(copy->size, c.bytes.size());
    EXPECT_EQ(copy->made, c.made);
    EXPECT_EQ(contents(*kept, name), c.bytes);
    std::set<std::string> after = before;
    after.insert(name);
    EXPECT_EQ(names_in(*kept), after);

    // Discarding removes only a copy that this save made.
    EXPECT_TRUE(store->discard(*copy));
    EXPECT_EQ(names_in(*kept), c.made ? before : after);
  }
}

TEST(BackupStore, a_link_or_a_missing_file_is_not_copied) {
  TempTree tree;
  const std::string file = tree.write("disk/real.eml", "mail");
  fs::create_symlink(file, tree.path("disk/link.eml"));
  auto store = BackupStore::open(tree.path("store"));
  ASSERT_TRUE(store);
  EXPECT_FALSE(store->save(placed(tree.path("disk/link.eml")), tree.path("disk/link.eml")));
  EXPECT_FALSE(store->save(placed(tree.path("disk/gone.eml")), tree.path("disk/gone.eml")));
  EXPECT_FALSE(testing::exists(store->target_for(tree.path("disk/link.eml"))));
}

TEST(BackupStore, knows_itself_by_identity_and_what_lies_below_it) {
  TempTree tree;
  tree.make_dir("store/inner");
  fs::create_directory_symlink(tree.path("store"), tree.path("alias"));
  auto store = BackupStore::open(tree.path("store"));
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->is_store(tree.path("alias")));
  EXPECT_TRUE(store->is_store(tree.path("store/")));
  EXPECT_FALSE(store->is_store(tree.path("store/inner")));
  const std::string full = fs::canonical(tree.path("store")).string();
  EXPECT_TRUE(store->holds(full));
  EXPECT_TRUE(store->holds(full + "/inner"));
  EXPECT_FALSE(store->holds(fs::canonical(tree.root()).string()));
}

}  // namespace
}  // namespace quarn::cli
