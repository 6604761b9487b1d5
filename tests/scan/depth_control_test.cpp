// How many reads at once the scan settles on, fed the timings of made-up
// devices: the time a read takes decides, never the device's label.
#include <gtest/gtest.h>

#include "scan/depth_control.h"

namespace quarn {
namespace {

// The clock is confirmed by the device's own times where it counts them.
TEST(DepthControl, one_probe_of_single_reads_decides_by_the_time_an_operation_takes) {
  struct Device {
    const char* name;
    double milliseconds_per_file;  // files of no bytes: one operation each
    bool seeks_hint;
    std::size_t most;
    std::size_t settles_at;
    std::uint64_t device_requests = 0;  // none: the device does not count
    double device_milliseconds_per_request = 0;
  };
  constexpr std::uint64_t kFewest = DepthControl::kFewestDeviceRequests;
  constexpr std::size_t kFast = DepthControl::kFastDepth;
  const Device devices[] = {
      {"flash", 0.1, false, 16, kFast},
      {"flash that says it spins", 0.1, true, 16, kFast},
      {"a spinning disk", 8, false, 16, 1},
      {"at the seek time", 2, false, 16, 1},
      {"just under it: slow to answer, no seeks (FUSE)", 1.99, false, 16, 16},
      {"at the slow line", 0.5, false, 16, 16},
      {"just under the slow line", 0.49, false, 16, kFast},
      {"just under it, but the device says it seeks", 1.99, true, 16, 1},
      {"under the stricter time", 0.49, true, 16, kFast},
      {"one allowed", 0.1, false, 1, 1},
      {"fewer allowed than a fast device gets", 0.1, false, 4, 4},
      {"slow on the clock, the device busy briefly per request", 0.6, true, 16, 16, kFewest, 0.1},
      {"fast on the clock, the device slow", 0.1, true, 16, kFast, 100, 5},
      {"the same at the device's seek time", 0.6, true, 16, 1, kFewest, 1},
      {"just under the device's seek time", 2.5, false, 16, 16, 100, 0.999},
      {"one device request too few to count", 0.6, true, 16, 1, kFewest - 1, 0.1},
      {"a spinning disk that counts", 8, false, 16, 1, 100, 6},
  };
  for (const Device& device : devices) {
    DepthControl control(device.most, device.seeks_hint);
    const std::uint64_t files = DepthControl::kProbeFiles;
    const double busy = static_cast<double>(files) * device.milliseconds_per_file / 1000;
    std::optional<platform::DeviceWork> counted;
    if (device.device_requests > 0) {
      counted = platform::DeviceWork{device.device_requests, static_cast<double>(device.device_requests) *
                                                               device.device_milliseconds_per_request / 1000};
    }
    EXPECT_EQ(control.sample(files, 0, busy, counted), device.settles_at) << device.name;
    EXPECT_TRUE(control.settled()) << device.name;
    EXPECT_FALSE(control.reason().empty()) << device.name;
  }
}

// The probe ends at enough files, or earlier at enough work once it holds
// the fewest files that may decide; its bytes count as work. Enough of the
// device's fast requests end it at once, before its first file even; slow
// ones never do.
TEST(DepthControl, ends_the_probe_at_its_boundaries_and_counts_bytes_as_work) {
  struct Probe {
    const char* name;
    std::uint64_t files;
    std::uint64_t operations_of_bytes;
    bool settled;
    std::size_t depth;
    std::uint64_t device_requests = 0;
    double device_seconds = 0;
  };
  constexpr std::uint64_t kDeciding = DepthControl::kDeviceRequestsThatDecide;
  constexpr std::uint64_t kFewest = DepthControl::kProbeFewestFiles;
  constexpr std::uint64_t kWork = DepthControl::kProbeOperations;
  const Probe probes[] = {
      {"one file short, no bytes", DepthControl::kProbeFiles - 1, 0, false, 1},
      {"enough files", DepthControl::kProbeFiles, 0, true, 1},
      {"enough work, one file short of the fewest", kFewest - 1, 1000, false, 1},
      {"enough work at the fewest files", kFewest, kWork - kFewest, true, 1},
      {"one operation short of the work", kFewest, kWork - kFewest - 1, false, 1},
      {"a few long files: many short operations", kFewest, 5000, true, DepthControl::kFastDepth},
      {"one file, enough fast device requests", 1, 0, true, 16, kDeciding, 0},
      {"no file yet, enough fast device requests", 0, 0, true, DepthControl::kFastDepth, kDeciding, 0},
      {"no file yet, many slow device requests", 0, 0, false, 1, 1000, 5},
      {"one file, one fast device request short", 1, 0, false, 1, kDeciding - 1, 0},
      {"one file, many slow device requests", 1, 0, false, 1, 1000, 5},
      {"enough files, slow device requests", DepthControl::kProbeFiles, 0, true, 1, 1000, 5},
  };
  for (const Probe& probe : probes) {
    DepthControl control(16, false);
    // A busy second: 31 ms a file, a disk that seeks, unless the bytes make
    // the operations many and short.
    std::optional<platform::DeviceWork> device;
    if (probe.device_requests > 0) device = platform::DeviceWork{probe.device_requests, probe.device_seconds};
    const std::size_t depth =
        control.sample(probe.files, probe.operations_of_bytes * DepthControl::kBytesPerOperation, 1, device);
    EXPECT_EQ(control.settled(), probe.settled) << probe.name;
    EXPECT_EQ(depth, probe.depth) << probe.name;
    EXPECT_EQ(control.reason().find("ended before") != std::string::npos, !probe.settled) << probe.name;
  }
}

}  // namespace
}  // namespace quarn
