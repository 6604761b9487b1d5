#include "scan/depth_control.h"

#include <algorithm>
#include <cstdio>

namespace quarn {

DepthControl::DepthControl(std::size_t most, bool seeks_hint)
    : most_(std::max<std::size_t>(most, 1)),
      seeking_seconds_(seeks_hint ? kSaysItSeeksSeconds : kSeekingSeconds),
      settled_(most_ == 1) {}

std::size_t DepthControl::sample(std::uint64_t files, std::uint64_t bytes, double busy,
                                 std::optional<platform::DeviceWork> device) {
  if (settled_) return depth_;
  const std::uint64_t operations = files + bytes / kBytesPerOperation;
  const bool timed = busy > 0 && operations > 0;
  if (timed) seconds_per_operation_ = busy / static_cast<double>(operations);
  // The kernel tells the busy time in whole milliseconds, so a handful of
  // fast requests may come to 0.
  if (device && device->requests >= kFewestDeviceRequests) {
    device_requests_ = device->requests;
    device_seconds_per_request_ = device->busy_seconds / static_cast<double>(device->requests);
  }
  const bool device_fast = device_requests_ > 0 && device_seconds_per_request_ < kDeviceSeeksSeconds;
  // Enough requests of a device whose pace says it does not seek decide at
  // once, even before a file has been timed: the probe's files would only
  // confirm it, one at a time, while the walk waits for them.
  const bool enough =
      (timed && (files >= kProbeFiles || (files >= kProbeFewestFiles && operations >= kProbeOperations))) ||
      (device_fast && device_requests_ >= kDeviceRequestsThatDecide);
  if (!enough) return depth_;
  if (seconds_per_operation_ < seeking_seconds_ || device_fast) {
    depth_ = seconds_per_operation_ >= kSlowSeconds ? most_ : std::min(most_, kFastDepth);
  }
  settled_ = true;
  return depth_;
}

std::string DepthControl::reason() const {
  char text[320];
  if (most_ == 1) {
    std::snprintf(text, sizeof text, "1 at a time: no more were allowed");
  } else if (!settled_) {
    std::snprintf(text, sizeof text, "1 at a time: the scan ended before the device was timed");
  } else {
    std::size_t n = 0;
    auto add = [&](const char* format, auto... values) {
      if (n >= sizeof text) return;
      const int added = std::snprintf(text + n, sizeof text - n, format, values...);
      if (added > 0) n += static_cast<std::size_t>(added);
    };
    const char* says = seeking_seconds_ == kSeekingSeconds ? "" : " (the device says it seeks)";
    if (seconds_per_operation_ > 0) {
      add("%zu at %s: one at a time took %.3f ms an operation, %s %.1f ms%s", depth_,
          depth_ == 1 ? "a time" : "once", 1000 * seconds_per_operation_,
          seconds_per_operation_ < seeking_seconds_ ? "under" : "not under", 1000 * seeking_seconds_, says);
    } else {
      add("%zu at once: decided before a file was timed%s", depth_, says);
    }
    if (device_requests_ > 0) {
      add("; the device was busy %.3f ms a request over %llu, %s %.1f ms", 1000 * device_seconds_per_request_,
          static_cast<unsigned long long>(device_requests_),
          device_seconds_per_request_ < kDeviceSeeksSeconds ? "under" : "not under", 1000 * kDeviceSeeksSeconds);
    }
    if (depth_ > kFastDepth) add("%s", "; slow to answer without seeking, so the most at once");
  }
  return text;
}

}  // namespace quarn
