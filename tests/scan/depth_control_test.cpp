// How many reads at once the scan settles on, fed the rates of made-up
// devices: the device's answer decides, never its label.
#include <gtest/gtest.h>

#include <map>

#include "scan/depth_control.h"

namespace quarn {
namespace {

struct Device {
  const char* name;
  double one_at_a_time;  // files per second
  double most_at_once;
  bool seeks_hint;
  std::size_t most;
  std::size_t settles_at;
};

// Feeds spans of a quarter second at the device's rate until it settles.
std::size_t settle(DepthControl& control, const Device& device) {
  double now = 100;
  std::uint64_t files = 0;
  control.sample(files, 0, now);
  for (int span = 0; span < 10 && !control.settled(); ++span) {
    now += 0.25;
    files += static_cast<std::uint64_t>((control.depth() == 1 ? device.one_at_a_time : device.most_at_once) * 0.25);
    control.sample(files, 0, now);
  }
  return control.depth();
}

TEST(DepthControl, settles_by_the_time_one_read_takes_and_what_more_at_once_gain) {
  const Device devices[] = {
      {"flash: deep reads pay", 2000, 9000, false, 16, 16},
      {"flash that says it spins", 2000, 9000, true, 16, 16},
      {"spins: 8 ms a read", 125, 0, false, 16, 1},
      {"at the seek time: 2 ms a read", 500, 600, false, 16, 1},
      {"just under it", 520, 600, false, 16, 16},
      {"fast, but more at once only cost", 3000, 2500, false, 16, 1},
      {"a gain that is not clear enough for a disk that says it spins", 3000, 3600, true, 16, 1},
      {"the same gain is enough otherwise", 3000, 3600, false, 16, 16},
      {"one allowed", 3000, 9000, false, 1, 1},
  };
  for (const Device& device : devices) {
    DepthControl control(device.most, device.seeks_hint);
    EXPECT_EQ(settle(control, device), device.settles_at) << device.name;
    EXPECT_TRUE(control.settled()) << device.name;
    EXPECT_FALSE(control.reason().empty()) << device.name;
  }
}

// A span is judged only once it holds enough files and enough time, and
// its bytes count as work: a few large files weigh as much as many small.
TEST(DepthControl, judges_a_span_only_at_its_boundary_and_counts_bytes_as_work) {
  DepthControl control(16, false);
  control.sample(0, 0, 0);
  EXPECT_EQ(control.sample(DepthControl::kSpanFiles - 1, 0, 0.001), 1u) << "one file short";
  EXPECT_EQ(control.sample(DepthControl::kSpanFiles, 0, DepthControl::kSpanSeconds / 2), 1u) << "too soon";
  // 32 files in 0.15 s: 4.7 ms a read, a disk that seeks, were it not for
  // the 64 KiB operations that the bytes add.
  const std::uint64_t bytes = 100 * DepthControl::kBytesPerOperation;
  EXPECT_EQ(control.sample(DepthControl::kSpanFiles, bytes, DepthControl::kSpanSeconds), 16u);
}

}  // namespace
}  // namespace quarn
