// How many files a scan reads at once when nobody said: found by trying,
// not by what the device says it is. Many virtual disks and USB bridges say
// they spin when they do not, and a disk image behind FUSE says nothing,
// yet the right depth differs fourfold between them.
//
// The scan starts with one file at a time for a span, which times the
// device: a disk that seeks takes milliseconds per read, and stays at one,
// reading in the disk's order; anything faster reads the most files at once
// from then on. One short probe decides, since spans at different depths
// cover different files, and a comparison of their rates measured the
// files as much as the depth.
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
  // most: the depth of a device that does not seek. seeks_hint: the device
  // says it seeks, so only a read well under a seek's time counts as fast
  // (a spinning disk reading one long file in order is fast per 64 KiB,
  // yet would seek between files read side by side).
  DepthControl(std::size_t most, bool seeks_hint);

  // The counts so far of files done, bytes read and seconds that threads
  // spent on files, at now (seconds on a steady clock). Returns the depth
  // to use from now on. The time per operation is taken from the busy
  // seconds, not from the clock: a walk that lists many folders for each
  // file it hands on (a walk of /usr) leaves the one thread idle between
  // files, and that wait is no time of the device's.
  std::size_t sample(std::uint64_t files, std::uint64_t bytes, double busy, double now);

  std::size_t depth() const { return depth_; }
  bool settled() const { return settled_; }
  // Why the depth is what it is, for people.
  std::string reason() const;

  // A span is judged once it is this long and holds this many files, so
  // that a few slow files do not decide.
  static constexpr double kSpanSeconds = 0.15;
  static constexpr std::uint64_t kSpanFiles = 32;
  static constexpr std::uint64_t kBytesPerOperation = 64 * 1024;
  // One operation at a time taking this long or longer is a disk that seeks
  // (a spinning one needs several milliseconds; flash, a tenth of one); for
  // a device that says it seeks, the shorter time.
  static constexpr double kSeekingSeconds = 0.002;
  static constexpr double kSaysItSeeksSeconds = 0.0005;

 private:
  const std::size_t most_;
  const double seeking_seconds_;
  std::size_t depth_ = 1;
  bool settled_ = false;
  bool started_ = false;
  double span_start_ = 0;
  std::uint64_t files_at_start_ = 0;
  std::uint64_t bytes_at_start_ = 0;
  double busy_at_start_ = 0;
  double rate_at_one_ = 0;  // operations per second, one at a time; 0 untimed
};

}  // namespace quarn
