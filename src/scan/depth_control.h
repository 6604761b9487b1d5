// How many files a scan reads at once when nobody said: found by timing,
// not by what the device says it is. Many virtual disks and USB bridges say
// they spin when they do not, and a disk image behind FUSE says nothing,
// yet the right depth differs fourfold between them.
//
// The scan starts with one file at a time for a short probe, which times
// the device: a disk that seeks takes milliseconds per read, and stays at
// one, reading in the disk's order; anything faster reads several files at
// once from then on: kFastDepth, or the most for one that is slow to answer
// yet does not seek (FUSE, a network), which needs more reads in flight to
// be kept busy. One probe decides, since spans at different depths
// cover different files, and a comparison of their rates measured the files
// as much as the depth. The probe is short, since a fast device is ten
// times under the line and a small tree may be done within a quarter
// second.
//
// The work is counted in I/O operations: each file costs one (a small file
// is one random read), and each 64 KiB of data one more, so that small and
// large files weigh alike. Its time is the time the thread spent on the
// files, not the clock's: a walk that lists many folders for each file it
// hands on (a walk of /usr) leaves the one thread idle between files, and
// that wait is no time of the device's.
//
// Where the device's own counts can be had, a slow clock must be confirmed
// by them: the time the device was busy, per request it completed, must be
// a seek's time too. The reader's clock alone cannot tell a disk that seeks
// from a fast one whose reader waited for a processor: on two processors
// shared with the threads that list ahead, a virtual disk that was busy
// 0.07 ms a request was timed at 0.7 ms an operation.
//
// Pure arithmetic on the samples it is given: the caller supplies the
// counts and the times, and serialises the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/storage.h"

namespace quarn {

class DepthControl {
 public:
  // most: the depth of a slow device that does not seek. seeks_hint: the device
  // says it seeks, so only a read well under a seek's time counts as fast
  // (a spinning disk reading one long file in order is fast per 64 KiB,
  // yet would seek between files read side by side).
  DepthControl(std::size_t most, bool seeks_hint);

  // The counts so far of files done, bytes read and seconds that threads
  // spent on files, and what the device has done since the scan began, if
  // it counts. Returns the depth to use from now on.
  std::size_t sample(std::uint64_t files, std::uint64_t bytes, double busy,
                     std::optional<platform::DeviceWork> device = std::nullopt);

  std::size_t depth() const { return depth_; }
  bool settled() const { return settled_; }
  // Why the depth is what it is, for people.
  std::string reason() const;

  // The probe ends at this many files, or earlier at this many operations
  // once it holds the fewest files that may decide: one long file alone
  // says little of what a seek costs.
  static constexpr std::uint64_t kProbeFiles = 32;
  static constexpr std::uint64_t kProbeFewestFiles = 8;
  static constexpr std::uint64_t kProbeOperations = 48;
  static constexpr std::uint64_t kBytesPerOperation = 64 * 1024;
  // One operation at a time taking this long or longer is a disk that seeks
  // (a spinning one needs several milliseconds; flash, a tenth of one); for
  // a device that says it seeks, the shorter time.
  static constexpr double kSeekingSeconds = 0.002;
  static constexpr double kSaysItSeeksSeconds = 0.0005;
  // A device busy this long or longer per request seeks (a spinning disk
  // takes milliseconds for a random read, and about one for 128 KiB in
  // order; flash a tenth of one). Counted from this many requests; from the
  // larger count, a fast device ends the probe before its files.
  static constexpr double kDeviceSeeksSeconds = 0.001;
  static constexpr std::uint64_t kFewestDeviceRequests = 8;
  static constexpr std::uint64_t kDeviceRequestsThatDecide = 32;
  // The depth of a device that answers fast: on this 2-core machine 8 and
  // 16 tied on small files and /usr, and 16 lost a tenth on large files
  // read side by side. One whose reader takes this long an operation yet
  // does not seek gets the most: a FUSE driver (16 at once beat 8 by a
  // tenth through ntfs-3g), a network, or processors so busy that the
  // answers wait for them.
  static constexpr std::size_t kFastDepth = 8;
  static constexpr double kSlowSeconds = 0.0005;

 private:
  const std::size_t most_;
  const double seeking_seconds_;
  std::size_t depth_ = 1;
  bool settled_ = false;
  double seconds_per_operation_ = 0;  // one at a time; 0 until timed
  std::uint64_t device_requests_ = 0;  // 0 when the device did not count
  double device_seconds_per_request_ = 0;
};

}  // namespace quarn
