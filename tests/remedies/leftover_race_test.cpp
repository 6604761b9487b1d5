// A restore's temporary file met by a second scan while the restore is still
// under way, as when two scans share a tree: the second scan must neither
// take it for a leftover nor count it as a file. The restore is held at a
// chosen step and the file is offered at that very moment, so the overlap
// is forced, not hoped for.
#include <gtest/gtest.h>

#include <sys/xattr.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

#include "remedies/exe_remedy.h"
#include "remedies/handlers.h"
#include "scan/virus_scanner.h"
#include "support/temp_tree.h"
#include "tools/pe_builder.h"

namespace quarn::remedies {
namespace {

using quarn::testing::read_file;
using quarn::testing::TempTree;

enum class HoldAt { after_create, before_rename };

// The system's operations, with the restore held at one step until the test
// lets it go; the temporary file's name is known by then.
class HoldingIo : public RemedyIo {
 public:
  explicit HoldingIo(HoldAt at) : at_(at) {}

  std::optional<platform::File> create_unique(const platform::Folder& folder, const std::string& stem,
                                              std::string& name) override {
    auto file = RemedyIo::create_unique(folder, stem, name);
    if (at_ == HoldAt::after_create) hold(name);
    return file;
  }
  bool replace_file(const platform::Folder& folder, std::string_view from, std::string_view to) override {
    if (at_ == HoldAt::before_rename) hold(std::string(from));
    return RemedyIo::replace_file(folder, from, to);
  }

  // Waits until the restore is held; returns its temporary file's name.
  std::string wait_until_held() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return held_; });
    return name_;
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  void hold(const std::string& name) {
    std::unique_lock lock(mutex_);
    name_ = name;
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_; });
  }

  const HoldAt at_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string name_;
  bool held_ = false;
  bool released_ = false;
};

// The program handler, restoring through the holding operations.
class HoldingExeHandler : public CExeHandler {
 public:
  explicit HoldingExeHandler(HoldingIo& io) : io_(io) {}
  ScanStatus Clean(const platform::FileAt& file) override { return clean_program(file, io_); }

 private:
  HoldingIo& io_;
};

class Scanner : public CVirusScanner {
 public:
  Scanner(HandlerFactory factory, const std::string& start) : CVirusScanner(std::move(factory), start.c_str(), {}) {}
  ~Scanner() override { StopAndWaitForever(); }
  void wait_until_done() { WaitForIdle(PollOrder::look_first, kWithoutLimit); }
};

TEST(LeftoverRace, a_restore_under_way_is_never_taken_for_a_leftover_by_another_scan) {
  for (HoldAt at : {HoldAt::after_create, HoldAt::before_rename}) {
    SCOPED_TRACE(at == HoldAt::after_create ? "held after create" : "held before rename");
    TempTree tree;
    const std::string probe = tree.write("probe", "");
    if (::setxattr(probe.c_str(), "user.quarn.probe", "1", 1, 0) != 0) {
      GTEST_SKIP() << "this file system keeps no extended attributes, so no file is ever taken for a leftover";
    }
    const std::string host = sample::host_program("held");
    const std::string program = tree.write("app/app.exe", sample::infected_program(host));

    HoldingIo io(at);
    Scanner restoring(
        [&io] {
          std::vector<std::unique_ptr<CVirusHandler>> handlers;
          handlers.push_back(std::make_unique<HoldingExeHandler>(io));
          return handlers;
        },
        tree.path("app"));
    ASSERT_TRUE(restoring.Start());
    const std::string temporary = io.wait_until_held();

    // The other scan lists the folder now and is offered the restore's file.
    CExeHandler handler;
    Scanner other(remedies::make_handlers, tree.path("app"));
    other.m_setHandlers = {&handler};
    other.m_mapExtensions = CVirusScanner::BuildExtensionMap(other.m_setHandlers);
    EXPECT_TRUE(other.ScanFile(tree.path("app/" + temporary)));
    EXPECT_TRUE(std::filesystem::exists(tree.path("app/" + temporary)));

    io.release();
    restoring.wait_until_done();
    EXPECT_EQ(restoring.m_nFilesCleaned.load(), 1);
    EXPECT_EQ(restoring.m_nScanErrors.load(), 0);
    EXPECT_TRUE(read_file(program) == host) << "the program was not restored";

    // Offered again once the restore has renamed it away: still nothing.
    EXPECT_TRUE(other.ScanFile(tree.path("app/" + temporary)));
    EXPECT_EQ(other.m_nFilesSkipped.load(), 0);
    EXPECT_EQ(other.m_nScanErrors.load(), 0);
    EXPECT_EQ(other.m_nFilesScanned.load(), 0);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(tree.path("app"))) ++entries;
    EXPECT_EQ(entries, 1u);
  }
}

}  // namespace
}  // namespace quarn::remedies
