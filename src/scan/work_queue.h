// Work handed from one producer to a fixed set of worker threads through a
// bounded queue. The bound is what keeps a fast producer (a walk that lists
// faster than files are read) from holding an unbounded number of items, and
// with them their memory and the folders that they keep open.
//
// Waits: the producer waits only while the queue is more than half full and
// a worker only while it holds less than a quarter and is still open, so
// the two never wait for each other at the same time. Finishing closes the queue and joins the workers, which
// take what is left and then end; a worker never waits for the producer
// after that.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

namespace quarn {

template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity)
      : capacity_(capacity > 0 ? capacity : 1), batch_(capacity_ / 4 > 0 ? capacity_ / 4 : 1) {}

  // Waits while the queue is full. An item pushed after close is dropped.
  void push(T item) {
    std::unique_lock lock(mutex_);
    if (items_.size() >= capacity_) {
      // Once full, the producer waits until half has been taken: it is
      // woken once per half a queue, not once per item, which would cost a
      // switch between threads for every small file.
      ++producers_waiting_;
      not_full_.wait(lock, [&] { return items_.size() <= capacity_ / 2 || closed_; });
      --producers_waiting_;
    }
    if (closed_) return;
    items_.push_back(std::move(item));
    const bool wake = consumers_waiting_ > 0 && items_.size() >= batch_;
    lock.unlock();
    if (wake) not_empty_.notify_one();
  }

  // Waits while the queue is empty and open, then moves up to most items,
  // the oldest first, into out (which it clears). False, with out empty,
  // once the queue is closed and empty.
  bool pop_some(std::vector<T>& out, std::size_t most) {
    out.clear();
    std::unique_lock lock(mutex_);
    if (items_.empty() && !closed_) {
      // Once empty, a consumer waits for a batch (or the close): when the
      // producer is the slower side, consumers are woken once per batch,
      // not once per item.
      ++consumers_waiting_;
      not_empty_.wait(lock, [&] { return items_.size() >= batch_ || closed_; });
      --consumers_waiting_;
    }
    take(lock, out, most);
    return !out.empty();
  }

  // Appends to out up to most of the items queued now, the oldest first,
  // and never waits. Returns how many came.
  std::size_t take_queued(std::vector<T>& out, std::size_t most) {
    std::unique_lock lock(mutex_);
    const std::size_t before = out.size();
    take(lock, out, most);
    return out.size() - before;
  }

  // No more items will come; what is queued is still handed out.
  void close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    not_empty_.notify_all();
    not_full_.notify_all();
  }

 private:
  void take(std::unique_lock<std::mutex>& lock, std::vector<T>& out, std::size_t most) {
    for (std::size_t n = 0; n < most && !items_.empty(); ++n) {
      out.push_back(std::move(items_.front()));
      items_.pop_front();
    }
    const bool wake = producers_waiting_ > 0 && items_.size() <= capacity_ / 2;
    lock.unlock();
    if (wake) not_full_.notify_all();
  }

  const std::size_t capacity_;
  const std::size_t batch_;
  std::mutex mutex_;
  std::condition_variable not_empty_;
  std::condition_variable not_full_;
  std::deque<T> items_;
  std::size_t producers_waiting_ = 0;
  std::size_t consumers_waiting_ = 0;
  bool closed_ = false;
};

// Runs work(batch, worker) on `jobs` threads until every item pushed has been
// in a batch: the item that a thread waited for, then any that work takes on
// with Batch::more, up to `batch` items in the order they were pushed.
// worker is the thread's number, 0 to jobs - 1, for scratch that each
// thread owns. work must not throw: it runs on a thread with nobody above it
// to catch.
//
// Only the first `active` threads take batches (all of them unless the
// constructor says otherwise), and set_active changes that and the batch.
// A thread past the limit waits at the gate before it takes anything, never
// while it holds a batch, and the gate opens for good at finish, where
// those threads end and the others take what is left: thread 0 is always
// active, so nothing is left untaken. A lower limit is reached as the
// threads that now lie past it finish the batch they are waiting for or
// hold: each may still take one.
template <typename T>
class WorkerPool {
 public:
  class Batch {
   public:
    // The items held, the first one first. more() may move them: take the
    // span again after it.
    std::span<T> items() { return items_; }
    // Takes on the oldest items queued now, without waiting, up to the
    // pool's batch; returns how many came. They were pushed one after
    // another, after those held (another thread may hold some in between).
    std::size_t more() {
      const std::size_t limit = limit_.load(std::memory_order_relaxed);
      return items_.size() < limit ? queue_.take_queued(items_, limit - items_.size()) : 0;
    }

   private:
    friend class WorkerPool;
    Batch(BoundedQueue<T>& queue, const std::atomic<std::size_t>& limit) : queue_(queue), limit_(limit) {}
    BoundedQueue<T>& queue_;
    const std::atomic<std::size_t>& limit_;
    std::vector<T> items_;
  };
  using Work = std::function<void(Batch& batch, std::size_t worker)>;

  // Starts the threads at once; throws std::system_error when one cannot be
  // started (the ones already running are finished first).
  WorkerPool(std::size_t jobs, std::size_t capacity, std::size_t batch, Work work, std::size_t active = 0)
      : queue_(capacity),
        batch_(batch > 0 ? batch : 1),
        active_(active > 0 && active < jobs ? active : jobs),
        work_(std::move(work)) {
    threads_.reserve(jobs);
    try {
      for (std::size_t i = 0; i < jobs; ++i) threads_.emplace_back([this, i] { drain(i); });
    } catch (...) {
      finish();
      throw;
    }
  }
  ~WorkerPool() { finish(); }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void push(T item) { queue_.push(std::move(item)); }

  // From the next batch on, only threads 0 to active - 1 take batches, of
  // up to batch items each. active is at least 1.
  void set_active(std::size_t active, std::size_t batch) {
    batch_.store(batch > 0 ? batch : 1, std::memory_order_relaxed);
    {
      std::lock_guard lock(gate_mutex_);
      active_ = active > 0 ? active : 1;
    }
    gate_.notify_all();
  }

  // Closes the queue and waits until every pushed item has been worked on.
  void finish() {
    {
      std::lock_guard lock(gate_mutex_);
      gate_closed_ = true;
    }
    gate_.notify_all();
    queue_.close();
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  void drain(std::size_t worker) {
    Batch batch(queue_, batch_);
    while (my_turn(worker) && queue_.pop_some(batch.items_, 1)) work_(batch, worker);
  }

  // Waits while the thread is past the limit; false once it ends there.
  bool my_turn(std::size_t worker) {
    std::unique_lock lock(gate_mutex_);
    gate_.wait(lock, [&] { return worker < active_ || gate_closed_; });
    return worker < active_;
  }

  BoundedQueue<T> queue_;
  std::atomic<std::size_t> batch_;
  std::mutex gate_mutex_;
  std::condition_variable gate_;
  std::size_t active_;
  bool gate_closed_ = false;
  Work work_;
  std::vector<std::thread> threads_;
};

}  // namespace quarn
