// Lists ahead, on threads of its own, the folders that a walk will enter,
// so that when the walk gets there their entries are in memory already and
// several folders' reads are in flight at once, which a device that serves
// requests side by side answers in the time of one.
//
// It only ever reads: every folder is opened below its parent without
// following a link, never on another file system than its parent's, and is
// listed and closed. The walk itself is unchanged, in its order and in what
// it decides; the warmer is a cache, and nothing depends on what it did.
//
// It goes through the tree in the walk's own order (depth first, a
// folder's subfolders in their listing's order) and keeps at most kAhead
// folders ahead of the walk, so that it neither races through a tree whose
// listings are cached already nor holds more than a bounded number of
// names: at most kMostTasks of each folder wait. Its own open folders are
// bounded too: at most kMostParents folders whose subfolders wait stay
// open, and each thread holds at most the one it lists and its parent. A
// folder closed to keep that bound is opened again by name from its nearest
// open ancestor when one of its subfolders is taken, and only if every step
// leads to the very folder that was listed; nothing that waits is dropped,
// so the warmer keeps up with the walk through the whole tree.
//
// On a tree whose listings are cached it lists every folder a second time,
// on other processors than the walk's: a warm walk of /usr takes about a
// sixth longer. A listing's time cannot tell the cache from the disk's own
// read-ahead, which serves a cold small folder as fast, so it does not try.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/folder.h"

namespace quarn {

class FolderWarmer {
 public:
  static constexpr std::size_t kAhead = 256;
  static constexpr std::size_t kMostParents = 32;
  static constexpr std::size_t kMostTasks = 4 * kAhead;

  // Starts threads that list below start (already open), which lies on
  // device. Throws std::system_error when no thread can be had.
  FolderWarmer(std::shared_ptr<const platform::Folder> start, std::size_t threads);
  // Stops the threads, which drop what they had left to list.
  ~FolderWarmer();
  FolderWarmer(const FolderWarmer&) = delete;
  FolderWarmer& operator=(const FolderWarmer&) = delete;

  // The walk has entered one more folder.
  void walk_entered() { entered_.fetch_add(1, std::memory_order_relaxed); }
  // How many folders the threads have listed; for tests.
  std::size_t listed() const { return listed_.load(std::memory_order_relaxed); }
  // No thread is listing, and nothing is left to list until the walk moves
  // on; for tests.
  bool idle();

 private:
  // A folder that the warmer listed, while subfolders of it wait.
  struct Node {
    std::shared_ptr<const Node> parent;  // null for the start folder
    std::string name;                    // below parent
    std::optional<platform::FileIdentity> identity;
    // The rest is under mutex_: the folder while it is open (the start
    // folder's always is), and how many of its subfolders wait.
    mutable std::shared_ptr<const platform::Folder> folder;
    mutable std::size_t waiting = 0;
  };
  struct Task {
    std::shared_ptr<const Node> parent;
    std::string name;
  };

  void run();
  // The parent's folder, opened again if it was closed; nothing when it
  // cannot be reached as the folder that was listed.
  std::shared_ptr<const platform::Folder> folder_of(const std::shared_ptr<const Node>& node);
  // Keeps node's folder open while subfolders of it wait; closes the
  // longest open others past kMostParents. Under mutex_.
  void keep_open(const std::shared_ptr<const Node>& node, std::shared_ptr<const platform::Folder> folder);
  // A subfolder of node was taken: its folder closes once none waits.
  // Under mutex_.
  void taken_from(const Node& node);
  bool ahead() const {
    return listed_.load(std::memory_order_relaxed) >= entered_.load(std::memory_order_relaxed) + kAhead;
  }
  // Lists the folder of task, below parent (its parent's folder), and
  // queues its subfolders.
  void warm(const Task& task, std::shared_ptr<const platform::Folder> parent);

  std::mutex mutex_;
  std::condition_variable wake_;
  // Newest last: the next task is taken from the back, and a folder's
  // subfolders are queued last first, so they are taken in listing order.
  std::deque<Task> tasks_;
  // The folders kept open for their waiting subfolders, the oldest first.
  std::deque<std::shared_ptr<const Node>> open_;
  bool stopping_ = false;
  std::size_t busy_ = 0;
  std::atomic<std::size_t> entered_{0};
  std::atomic<std::size_t> listed_{0};
  std::vector<std::thread> threads_;
};

}  // namespace quarn
