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
  auto root = std::make_shared<Node>();
  root->identity = start->identity();
  root->folder = std::move(start);
  root->waiting = names.size();
  for (auto it = names.rbegin(); it != names.rend(); ++it) tasks_.push_back(Task{root, std::move(*it)});
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
    open_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void FolderWarmer::run() {
  for (;;) {
    Task task;
    std::shared_ptr<const platform::Folder> parent;
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
      // Taken before the last waiting subfolder lets the parent close.
      parent = task.parent->folder;
      taken_from(*task.parent);
      ++busy_;
    }
    warm(task, parent ? std::move(parent) : folder_of(task.parent));
    std::lock_guard lock(mutex_);
    --busy_;
  }
}

bool FolderWarmer::idle() {
  std::lock_guard lock(mutex_);
  return busy_ == 0 && (tasks_.empty() || ahead());
}

std::shared_ptr<const platform::Folder> FolderWarmer::folder_of(const std::shared_ptr<const Node>& node) {
  // The names from the nearest open ancestor down to node, deepest first.
  std::vector<const Node*> closed;
  std::shared_ptr<const platform::Folder> folder;
  {
    std::lock_guard lock(mutex_);
    for (const Node* at = node.get(); at != nullptr && !folder; at = at->parent.get()) {
      if (at->folder) {
        folder = at->folder;
      } else {
        closed.push_back(at);
      }
    }
  }
  if (closed.empty() || !folder) return folder;
  for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
    auto child = folder->open_child((*it)->name);
    if (!child || !(*it)->identity || child->identity() != (*it)->identity) return nullptr;
    folder = std::make_shared<const platform::Folder>(std::move(*child));
  }
  std::lock_guard lock(mutex_);
  if (!stopping_ && node->waiting > 0 && !node->folder) keep_open(node, folder);
  return folder;
}

void FolderWarmer::keep_open(const std::shared_ptr<const Node>& node, std::shared_ptr<const platform::Folder> folder) {
  node->folder = std::move(folder);
  open_.push_back(node);
  // The folders open longest are the shallowest, whose waiting subfolders
  // come last in the walk's order: they close first, and open again when
  // their turn comes.
  while (open_.size() > kMostParents) {
    open_.front()->folder.reset();
    open_.pop_front();
  }
}

void FolderWarmer::taken_from(const Node& node) {
  if (--node.waiting > 0 || node.parent == nullptr || !node.folder) return;
  node.folder.reset();
  std::erase_if(open_, [&](const std::shared_ptr<const Node>& open) { return open.get() == &node; });
}

void FolderWarmer::warm(const Task& task, std::shared_ptr<const platform::Folder> parent) {
  if (!parent) return;
  auto opened = parent->open_child(task.name);
  if (!opened) return;
  // Another file system (a mount point, the kernel's own) is the walk's to
  // decide on; the warmer never reads there.
  const auto identity = opened->identity();
  if (!task.parent->identity || !identity || identity->device != task.parent->identity->device) return;
  auto folder = std::make_shared<const platform::Folder>(std::move(*opened));
  auto names = subfolders_of(*folder);
  listed_.fetch_add(1, std::memory_order_relaxed);
  if (names.empty()) return;
  // The walk is never more than kAhead folders behind, so the names past
  // the first few hundred of a vast folder would wait long for nothing.
  if (names.size() > kMostTasks) names.resize(kMostTasks);
  auto node = std::make_shared<Node>();
  node->parent = task.parent;
  node->name = task.name;
  node->identity = identity;
  node->waiting = names.size();
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  for (auto it = names.rbegin(); it != names.rend(); ++it) tasks_.push_back(Task{node, std::move(*it)});
  keep_open(node, std::move(folder));
  wake_.notify_all();
}

}  // namespace quarn
