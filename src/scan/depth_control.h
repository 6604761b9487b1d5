// How many files a scan reads at once when nobody said: found by trying,
// not by what the device says it is. Many virtual disks and USB bridges say
// they spin when they do not, and a disk image behind FUSE says nothing,
// yet the right depth differs fourfold between them.
//
// The scan starts with one read at a time, which times the device: a disk
// that seeks takes milliseconds per read, and stays at one, reading in the
// disk's order. Anything faster is given the most reads at once for one
// more span, and keeps them only if they did clearly more work per second;
// otherwise it goes back to one. Two spans decide, so that a short scan
// spends little time finding out, and one large step is judged instead of
// several small ones that noise could swing.
//
// The work of a span is counted in I/O operations: each file costs one (a
// small file is one random read), and each 64 KiB of data one more, so that
// spans of small and of large files weigh alike.
//
// Pure arithmetic on the samples it is given: the caller supplies the clock
// and the counts, and serialises the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {

class DepthControl {
 public:
  // most: the depth it tries after one. seeks_hint: the device says it
  // seeks, so the deep span must pay more clearly.
  DepthControl(std::size_t most, bool seeks_hint);

  // The counts of files done and bytes read so far, at now (seconds on a
  // steady clock). Returns the depth to use from now on.
  std::size_t sample(std::uint64_t files, std::uint64_t bytes, double now);

  std::size_t depth() const { return depth_; }
  bool settled() const { return settled_; }
  // Why the depth is what it is, for people.
  std::string reason() const;

  // A span is judged once it is this long and holds this many files, so
  // that a few slow files do not decide.
  static constexpr double kSpanSeconds = 0.15;
  static constexpr std::uint64_t kSpanFiles = 32;
  static constexpr std::uint64_t kBytesPerOperation = 64 * 1024;
  // One operation at a time taking longer than this is a disk that seeks
  // (a spinning one needs several milliseconds; flash, a tenth of one).
  static constexpr double kSeekingSeconds = 0.002;

 private:
  const std::size_t most_;
  const double gain_;  // the deep span must do this many times the work
  std::size_t depth_ = 1;
  bool settled_ = false;
  bool started_ = false;
  double span_start_ = 0;
  std::uint64_t files_at_start_ = 0;
  std::uint64_t bytes_at_start_ = 0;
  double rate_at_one_ = 0;   // operations per second, one at a time
  double deep_ratio_ = 0;    // the deep span's rate over rate_at_one_; 0 untried
};

}  // namespace quarn
