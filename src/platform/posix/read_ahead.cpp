#include "platform/read_ahead.h"

#include <liburing.h>

#include <algorithm>
#include <cerrno>

#include "platform/file.h"

namespace quarn::platform {
namespace {

// Files per batch: enough for the block layer to join a folder's
// neighbouring files into reads of some tens of KiB, few enough that a
// worker's open files and its buffer stay small.
constexpr std::size_t kMostFiles = 8;

// The offset that makes a read start at, and move, the file's own position.
constexpr __u64 kCurrentPosition = static_cast<__u64>(-1);

}  // namespace

struct ReadAhead::Queue {
  io_uring ring{};
  bool has_ring = false;
  // False once the ring cannot be trusted with another batch.
  bool ready = false;
  // A slice of kBytesPerFile for each file of a batch. The kernel writes
  // here until fetch has reaped every read it submitted, so the buffer is
  // never freed or reused while a read is in flight.
  std::unique_ptr<std::uint8_t[]> buffer;
};

std::size_t ReadAhead::most_files() { return kMostFiles; }

ReadAhead::ReadAhead() : queue_(std::make_unique<Queue>()) {
  if (io_uring_queue_init(kMostFiles, &queue_->ring, 0) != 0) return;
  queue_->has_ring = true;
  // Reads at the file's own position came with Linux 5.6; without them a
  // fetch could not be the file's first read.
  if ((queue_->ring.features & IORING_FEAT_RW_CUR_POS) == 0) return;
  queue_->buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kMostFiles * kBytesPerFile);
  queue_->ready = true;
}

ReadAhead::~ReadAhead() {
  if (queue_->has_ring) io_uring_queue_exit(&queue_->ring);
}

void ReadAhead::fetch(std::span<File* const> files, std::span<Fetched> fetched) {
  for (Fetched& one : fetched) one = {};
  if (!queue_->ready) return;
  io_uring& ring = queue_->ring;
  const std::size_t count = std::min({files.size(), fetched.size(), kMostFiles});
  std::uint32_t asked[kMostFiles] = {};
  // Whether files[i] has a read in flight, until its completion is reaped.
  bool in_flight[kMostFiles] = {};
  unsigned queued = 0;
  for (std::size_t i = 0; i < count; ++i) {
    File* file = files[i];
    if (file == nullptr || !file->is_open()) continue;
    // One byte past the length seen at open: a read that comes back short
    // there shows that the data ends, so the search need not ask again.
    asked[i] = static_cast<std::uint32_t>(std::min<std::uint64_t>(file->size_at_open_ + 1, kBytesPerFile));
    io_uring_sqe* sqe = io_uring_get_sqe(&ring);
    if (sqe == nullptr) break;
    io_uring_prep_read(sqe, static_cast<int>(file->handle_), queue_->buffer.get() + i * kBytesPerFile, asked[i],
                       kCurrentPosition);
    io_uring_sqe_set_data64(sqe, i);
    in_flight[i] = true;
    ++queued;
  }
  if (queued == 0) return;

  // One call hands the kernel every read, under one plug, which is where
  // neighbouring reads are joined.
  int submitted;
  do {
    submitted = io_uring_submit(&ring);
  } while (submitted == -EINTR);
  if (submitted < 0) submitted = 0;
  if (static_cast<unsigned>(submitted) < queued) {
    // Reads the kernel did not take stay queued in the ring and would go
    // out with the next batch, into slices that it reuses: this thread reads
    // ahead no more. The kernel takes them in order, so the ones it did not
    // take are the last queued, and they never moved their files.
    queue_->ready = false;
    unsigned seen = 0;
    for (bool& flight : in_flight) {
      if (flight && ++seen > static_cast<unsigned>(submitted)) flight = false;
    }
  }
  for (int reaped = 0; reaped < submitted;) {
    io_uring_cqe* cqe = nullptr;
    const int rc = io_uring_wait_cqe(&ring, &cqe);
    if (rc == -EINTR) continue;
    if (rc < 0) {
      // The reads cannot be waited for, so they may still land in the
      // buffer after this returns: it is given up, never freed, and this
      // thread reads ahead no more. A file whose read never reported may or
      // may not have moved on, so its search cannot be trusted to see all
      // of it: it counts as a failed read.
      static_cast<void>(queue_->buffer.release());
      queue_->ready = false;
      for (std::size_t j = 0; j < count; ++j) {
        if (in_flight[j]) files[j]->read_failed_ = true;
      }
      return;
    }
    const std::size_t i = static_cast<std::size_t>(io_uring_cqe_get_data64(cqe));
    const int result = cqe->res;
    io_uring_cqe_seen(&ring, cqe);
    ++reaped;
    if (i >= count) continue;
    in_flight[i] = false;
    if (result < 0) continue;
    File& file = *files[i];
    const auto n = static_cast<std::size_t>(result);
    file.position_ += n;
    fetched[i].bytes = {queue_->buffer.get() + i * kBytesPerFile, n};
    // Where File::read stops: at an empty read, or at a short one that has
    // reached the length seen at open.
    fetched[i].whole = n == 0 || (n < asked[i] && file.size_at_open_ != 0 && file.position_ >= file.size_at_open_);
  }
}

}  // namespace quarn::platform
