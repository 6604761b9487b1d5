#include "scan/folder_warmer.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "platform/directory.h"

namespace quarn {
namespace {

// How long a thread that is far enough ahead waits before it looks again.
constexpr std::chrono::milliseconds kPause{1};

// The names of the folders in folder's listing, in its order; nothing when
// it cannot be listed.
std::vector<std::string> subfolders_of(const platform::Folder& folder) {
  std::vector<std::string> names;
  auto listing = folder.list();
  if (!listing) return names;
  platform::DirEntry entry;
  while (listing->next(entry) == platform::ListingStep::entry) {
    if (entry.kind == platform::EntryKind::directory && entry.name != "." && entry.name != "..") {
      names.push_back(std::move(entry.name));
    }
  }
  return names;
}

}  // namespace

FolderWarmer::FolderWarmer(std::shared_ptr<const platform::Folder> start, std::size_t threads) {
  // The start folder's own subfolders are the first tasks; the walk lists
  // the start folder itself.
  auto names = subfolders_of(*start);
  if (names.size() > kMostTasks) names.resize(kMostTasks);
  for (auto it = names.rbegin(); it != names.rend(); ++it) tasks_.push_back(Task{start, std::move(*it)});
  try {
    for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { run(); });
  } catch (...) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    throw;
  }
}

FolderWarmer::~FolderWarmer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    tasks_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void FolderWarmer::run() {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      for (;;) {
        if (stopping_) return;
        if (!tasks_.empty() && !ahead()) break;
        // Far enough ahead, or nothing to do until another thread queues
        // more: look again shortly (the walk does not wake the warmer, so
        // that it never waits for it).
        wake_.wait_for(lock, kPause);
      }
      task = std::move(tasks_.back());
      tasks_.pop_back();
      ++busy_;
    }
    warm(task);
    std::lock_guard lock(mutex_);
    --busy_;
  }
}

bool FolderWarmer::idle() {
  std::lock_guard lock(mutex_);
  return busy_ == 0 && (tasks_.empty() || ahead());
}

void FolderWarmer::warm(const Task& task) {
  auto opened = task.parent->open_child(task.name);
  if (!opened) return;
  // Another file system (a mount point, the kernel's own) is the walk's to
  // decide on; the warmer never reads there.
  const auto parent_identity = task.parent->identity();
  const auto identity = opened->identity();
  if (!parent_identity || !identity || identity->device != parent_identity->device) return;
  auto folder = std::make_shared<const platform::Folder>(std::move(*opened));
  auto names = subfolders_of(*folder);
  listed_.fetch_add(1, std::memory_order_relaxed);
  if (names.empty()) return;
  // The walk is never more than kAhead folders behind, so the names past
  // the first few hundred of a vast folder would wait long for nothing.
  if (names.size() > kMostTasks) names.resize(kMostTasks);
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  for (auto it = names.rbegin(); it != names.rend(); ++it) tasks_.push_back(Task{folder, std::move(*it)});
  // The oldest tasks lie farthest ahead of the walk, below the shallowest
  // folders: they go first when too many folders wait open for them.
  std::size_t parents = 0;
  const platform::Folder* last = nullptr;
  for (auto it = tasks_.rbegin(); it != tasks_.rend(); ++it) {
    if (it->parent.get() != last) {
      last = it->parent.get();
      if (++parents > kMostParents) {
        tasks_.erase(tasks_.begin(), it.base());
        break;
      }
    }
  }
  wake_.notify_all();
}

}  // namespace quarn
