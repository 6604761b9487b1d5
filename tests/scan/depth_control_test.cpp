// How many reads at once the scan settles on, fed the timings of made-up
// devices: the time a read takes decides, never the device's label.
#include <gtest/gtest.h>

#include "scan/depth_control.h"

namespace quarn {
namespace {

TEST(DepthControl, one_probe_of_single_reads_decides_by_the_time_an_operation_takes) {
  struct Device {
    const char* name;
    double milliseconds_per_file;  // files of no bytes: one operation each
    bool seeks_hint;
    std::size_t most;
    std::size_t settles_at;
  };
  const Device devices[] = {
      {"flash", 0.1, false, 16, 16},
      {"flash that says it spins", 0.1, true, 16, 16},
      {"a spinning disk", 8, false, 16, 1},
      {"at the seek time", 2, false, 16, 1},
      {"just under it", 1.99, false, 16, 16},
      {"just under it, but the device says it seeks", 1.99, true, 16, 1},
      {"under the stricter time", 0.49, true, 16, 16},
      {"one allowed", 0.1, false, 1, 1},
  };
  for (const Device& device : devices) {
    DepthControl control(device.most, device.seeks_hint);
    control.sample(0, 0, 0, 100);
    // The probe: 100 files, each taking its time on the one thread, spread
    // over a whole second of the clock (the walk kept it waiting between).
    const double busy = 100 * device.milliseconds_per_file / 1000;
    EXPECT_EQ(control.sample(100, 0, busy, 101), device.settles_at) << device.name;
    EXPECT_TRUE(control.settled()) << device.name;
    EXPECT_FALSE(control.reason().empty()) << device.name;
  }
}

// A probe is judged only once it holds enough files and enough time, and
// its bytes count as work: a few large files weigh as much as many small.
TEST(DepthControl, judges_the_probe_only_at_its_boundary_and_counts_bytes_as_work) {
  struct Probe {
    const char* name;
    std::uint64_t files;
    double seconds;
    std::size_t depth;
  };
  // Each probe's files take a whole busy second: 31 ms a read, a disk that
  // seeks, were it not for the 5,000 operations of 64 KiB that its bytes
  // add (about 0.2 ms each).
  const Probe probes[] = {
      {"one file short", DepthControl::kSpanFiles - 1, 1, 1},
      {"too soon", DepthControl::kSpanFiles, DepthControl::kSpanSeconds / 2, 1},
      {"at the boundary", DepthControl::kSpanFiles, DepthControl::kSpanSeconds, 16},
  };
  for (const Probe& probe : probes) {
    DepthControl control(16, false);
    control.sample(0, 0, 0, 0);
    EXPECT_EQ(control.sample(probe.files, 5000 * DepthControl::kBytesPerOperation, 1, probe.seconds), probe.depth)
        << probe.name;
  }
}

}  // namespace
}  // namespace quarn
