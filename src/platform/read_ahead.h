// Reading ahead of the search: the first bytes of several open files are
// asked of the disk in one batch, before any of them is searched.
//
// A thread that opens a file and reads it waits for the disk with one request
// in flight. Handed over together, the requests for a handful of files reach
// the device at once, and those for files that lie side by side on the disk
// (a folder's files, taken in the order of their file numbers) are joined
// into one larger read. On a cold disk full of small files that is most of
// the difference between one read at a time and the device's own rate.
//
// Each fetch is its file's own first read: the file's position moves past
// the bytes fetched, and its search takes them from here before it reads on.
// A fetch that fails leaves its file as it was, to be read, and to fail, in
// the search's own reads; a platform that cannot read ahead fetches nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace quarn::platform {

class File;

class ReadAhead {
 public:
  // What one file's fetch brought: its first bytes, and whether they are
  // all of it (the read came back short at the length seen at open, or
  // empty, which is where File::read would have stopped too).
  struct Fetched {
    std::span<const std::uint8_t> bytes;
    bool whole = false;
  };

  // The most files that one fetch takes: 1 where there is no way to read
  // ahead, so that a caller that batches by this number opens one file at a
  // time there, as it would without a batch.
  static std::size_t most_files();
  // The most bytes fetched from the start of each file: all of most small
  // files. A longer one goes on with its search's own reads.
  static constexpr std::size_t kBytesPerFile = 64 * 1024;

  // Sets up the system's queue for this thread's batches; without one (an
  // older kernel, or one that refuses this process) fetch fetches nothing.
  ReadAhead();
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Reads up to kBytesPerFile bytes from the current position of each open
  // file, all at once, and returns when every read has ended. fetched[i]
  // tells what came of files[i] (nothing, for a file past most_files(), one
  // that is not open, or a read that failed); its bytes stay valid until the
  // next fetch. Call it from one thread at a time.
  void fetch(std::span<File* const> files, std::span<Fetched> fetched);

 private:
  struct Queue;
  std::unique_ptr<Queue> queue_;
};

}  // namespace quarn::platform
