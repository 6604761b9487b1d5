// Where copies go, that they are whole, and that none is ever replaced.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "cli/backup_store.h"
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
  EXPECT_EQ(*copy, store->target_for(full));
  EXPECT_EQ(read_file(*copy), bytes);
  EXPECT_EQ(fs::status(*copy).permissions(), fs::status(file).permissions());
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
  EXPECT_EQ(*last, target + "." + std::to_string(BackupStore::kMaxSuffix));
  EXPECT_EQ(read_file(*last), "now");
  EXPECT_EQ(read_file(target), "first");
  // Every name is taken now: no copy, and the file is not to be touched.
  EXPECT_FALSE(store->save(placed(file), file));
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
