// The queue between a walk and its threads: every item worked once, by a
// thread's own number, in batches (one item, then those taken on after it)
// that keep the producer's order, and a producer held back while the queue
// is full.
#include "scan/work_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace quarn {
namespace {

TEST(WorkerPool, works_every_item_once_in_ordered_batches_and_finish_waits_for_all) {
  constexpr int kItems = 2000;
  constexpr std::size_t kJobs = 3;
  constexpr std::size_t kBatch = 5;
  std::vector<std::atomic<int>> seen(kItems);
  std::atomic<bool> bad_worker{false};
  std::atomic<bool> bad_batch{false};
  {
    WorkerPool<int> pool(kJobs, 16, kBatch, [&](WorkerPool<int>::Batch& batch, std::size_t worker) {
      if (worker >= kJobs) bad_worker = true;
      if (batch.items().size() != 1) bad_batch = true;
      batch.more();
      const std::span<int> items = batch.items();
      if (items.empty() || items.size() > kBatch) bad_batch = true;
      for (std::size_t i = 0; i < items.size(); ++i) {
        // One producer: the items taken on are a run of consecutive items
        // after the first (another thread may have taken some in between).
        if (i == 1 && items[1] <= items[0]) bad_batch = true;
        if (i > 1 && items[i] != items[1] + static_cast<int>(i - 1)) bad_batch = true;
        seen[static_cast<std::size_t>(items[i])].fetch_add(1, std::memory_order_relaxed);
      }
    });
    for (int i = 0; i < kItems; ++i) pool.push(i);
    pool.finish();
    // finish has joined the threads: every count is final here.
    for (int i = 0; i < kItems; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)].load(), 1) << i;
  }
  EXPECT_FALSE(bad_worker);
  EXPECT_FALSE(bad_batch);
}

// Threads past the limit take nothing, from the first batch on; a raised
// limit lets the next ones in, and finish still drains everything.
TEST(WorkerPool, only_the_active_threads_take_batches) {
  constexpr int kItems = 400;
  std::vector<std::atomic<int>> by_worker(4);
  std::atomic<int> worked{0};
  WorkerPool<int> pool(
      4, 8, 2,
      [&](WorkerPool<int>::Batch& batch, std::size_t worker) {
        batch.more();
        by_worker[worker].fetch_add(static_cast<int>(batch.items().size()));
        worked.fetch_add(static_cast<int>(batch.items().size()));
      },
      1);
  for (int i = 0; i < kItems / 2; ++i) pool.push(i);
  while (worked.load() < kItems / 2) std::this_thread::yield();
  EXPECT_EQ(by_worker[0].load(), kItems / 2) << "only thread 0 was active";
  pool.set_active(3, 2);
  for (int i = kItems / 2; i < kItems; ++i) pool.push(i);
  pool.finish();
  EXPECT_EQ(worked.load(), kItems);
  EXPECT_EQ(by_worker[3].load(), 0) << "thread 3 lay past the limit throughout";
}

// Counts the items alive anywhere: queued, or in a thread's hands.
struct Token {
  static inline std::atomic<int> live{0};
  static inline std::atomic<int> most{0};
  bool owned = true;
  Token() { note(live.fetch_add(1) + 1); }
  Token(Token&& other) noexcept : owned(std::exchange(other.owned, false)) {}
  Token& operator=(Token&&) = delete;
  ~Token() {
    if (owned) live.fetch_sub(1);
  }
  static void note(int now) {
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
  }
};

TEST(WorkerPool, a_full_queue_holds_the_producer_back) {
  constexpr std::size_t kJobs = 2;
  constexpr std::size_t kCapacity = 3;
  constexpr std::size_t kBatch = 2;
  std::atomic<bool> release{false};
  WorkerPool<Token> pool(kJobs, kCapacity, kBatch, [&](WorkerPool<Token>::Batch& batch, std::size_t) {
    batch.more();
    while (!release.load()) std::this_thread::yield();
  });
  std::thread producer([&] {
    for (int i = 0; i < 200; ++i) pool.push(Token{});
  });
  // Both threads hold a batch and the queue is full; a queue without a bound
  // would let the producer make all 200 meanwhile.
  while (Token::live.load() < static_cast<int>(kJobs + kCapacity)) std::this_thread::yield();
  for (int i = 0; i < 1000; ++i) std::this_thread::yield();
  release = true;
  producer.join();
  pool.finish();
  EXPECT_EQ(Token::live.load(), 0);
  // One more may exist: the token that the producer has made and not yet
  // pushed.
  EXPECT_LE(Token::most.load(), static_cast<int>(kJobs * kBatch + kCapacity + 1));
}

}  // namespace
}  // namespace quarn
