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
    const std::uint64_t files = DepthControl::kProbeFiles;
    const double busy = static_cast<double>(files) * device.milliseconds_per_file / 1000;
    EXPECT_EQ(control.sample(files, 0, busy), device.settles_at) << device.name;
    EXPECT_TRUE(control.settled()) << device.name;
    EXPECT_FALSE(control.reason().empty()) << device.name;
  }
}

// The probe ends at enough files, or earlier at enough work once it holds
// the fewest files that may decide; its bytes count as work.
TEST(DepthControl, ends_the_probe_at_its_boundaries_and_counts_bytes_as_work) {
  struct Probe {
    const char* name;
    std::uint64_t files;
    std::uint64_t operations_of_bytes;
    bool settled;
    std::size_t depth;
  };
  constexpr std::uint64_t kFewest = DepthControl::kProbeFewestFiles;
  constexpr std::uint64_t kWork = DepthControl::kProbeOperations;
  const Probe probes[] = {
      {"one file short, no bytes", DepthControl::kProbeFiles - 1, 0, false, 1},
      {"enough files", DepthControl::kProbeFiles, 0, true, 1},
      {"enough work, one file short of the fewest", kFewest - 1, 1000, false, 1},
      {"enough work at the fewest files", kFewest, kWork - kFewest, true, 1},
      {"one operation short of the work", kFewest, kWork - kFewest - 1, false, 1},
      {"a few long files: many short operations", kFewest, 5000, true, 16},
  };
  for (const Probe& probe : probes) {
    DepthControl control(16, false);
    // A busy second: 31 ms a file, a disk that seeks, unless the bytes make
    // the operations many and short.
    const std::size_t depth =
        control.sample(probe.files, probe.operations_of_bytes * DepthControl::kBytesPerOperation, 1);
    EXPECT_EQ(control.settled(), probe.settled) << probe.name;
    EXPECT_EQ(depth, probe.depth) << probe.name;
  }
}

}  // namespace
}  // namespace quarn
