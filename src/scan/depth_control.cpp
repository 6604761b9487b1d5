#include "scan/depth_control.h"

#include <algorithm>
#include <cstdio>

namespace quarn {

DepthControl::DepthControl(std::size_t most, bool seeks_hint)
    : most_(std::max<std::size_t>(most, 1)),
      seeking_seconds_(seeks_hint ? kSaysItSeeksSeconds : kSeekingSeconds),
      settled_(most_ == 1) {}

std::size_t DepthControl::sample(std::uint64_t files, std::uint64_t bytes, double busy) {
  if (settled_) return depth_;
  const std::uint64_t operations = files + bytes / kBytesPerOperation;
  const bool enough = files >= kProbeFiles || (files >= kProbeFewestFiles && operations >= kProbeOperations);
  if (!enough || busy <= 0) return depth_;
  seconds_per_operation_ = busy / static_cast<double>(operations);
  if (seconds_per_operation_ < seeking_seconds_) depth_ = most_;
  settled_ = true;
  return depth_;
}

std::string DepthControl::reason() const {
  char text[200];
  if (most_ == 1) {
    std::snprintf(text, sizeof text, "1 at a time: no more were allowed");
  } else if (seconds_per_operation_ == 0) {
    std::snprintf(text, sizeof text, "1 at a time: the scan ended before the device was timed");
  } else {
    std::snprintf(text, sizeof text, "%zu at %s: one at a time took %.3f ms an operation, %s %.1f ms%s", depth_,
                  depth_ == 1 ? "a time" : "once", 1000 * seconds_per_operation_, depth_ == 1 ? "not under" : "under",
                  1000 * seeking_seconds_, seeking_seconds_ == kSeekingSeconds ? "" : " (the device says it seeks)");
  }
  return text;
}

}  // namespace quarn
