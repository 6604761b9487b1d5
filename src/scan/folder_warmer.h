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
// bounded too: at most kMostParents folders whose subfolders wait, and one
// being listed per thread.
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
  struct Task {
    std::shared_ptr<const platform::Folder> parent;
    std::string name;
  };

  void run();
  bool ahead() const {
    return listed_.load(std::memory_order_relaxed) >= entered_.load(std::memory_order_relaxed) + kAhead;
  }
  // Lists the folder of task and queues its subfolders.
  void warm(const Task& task);

  std::mutex mutex_;
  std::condition_variable wake_;
  // Newest last: the next task is taken from the back, and a folder's
  // subfolders are queued last first, so they are taken in listing order.
  std::deque<Task> tasks_;
  bool stopping_ = false;
  std::size_t busy_ = 0;
  std::atomic<std::size_t> entered_{0};
  std::atomic<std::size_t> listed_{0};
  std::vector<std::thread> threads_;
};

}  // namespace quarn
