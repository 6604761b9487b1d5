#include "scan/depth_control.h"

#include <algorithm>
#include <cstdio>

namespace quarn {

DepthControl::DepthControl(std::size_t most, bool seeks_hint)
    : most_(std::max<std::size_t>(most, 1)),
      seeking_seconds_(seeks_hint ? kSaysItSeeksSeconds : kSeekingSeconds),
      settled_(most_ == 1) {}

std::size_t DepthControl::sample(std::uint64_t files, std::uint64_t bytes, double busy, double now) {
  if (settled_) return depth_;
  if (!started_) {
    started_ = true;
    span_start_ = now;
    files_at_start_ = files;
    bytes_at_start_ = bytes;
    busy_at_start_ = busy;
    return depth_;
  }
  const double seconds = now - span_start_;
  const std::uint64_t span_files = files - files_at_start_;
  if (seconds < kSpanSeconds || span_files < kSpanFiles) return depth_;
  const double operations =
      static_cast<double>(span_files) + static_cast<double>(bytes - bytes_at_start_) / kBytesPerOperation;
  const double busy_seconds = busy - busy_at_start_;
  const double rate = busy_seconds > 0 ? operations / busy_seconds : operations / seconds;

  rate_at_one_ = rate;
  if (1 / rate < seeking_seconds_) depth_ = most_;
  settled_ = true;
  return depth_;
}

std::string DepthControl::reason() const {
  char text[200];
  if (most_ == 1) {
    std::snprintf(text, sizeof text, "1 at a time: no more were allowed");
  } else if (rate_at_one_ == 0) {
    std::snprintf(text, sizeof text, "1 at a time: the scan ended before the device was timed");
  } else {
    std::snprintf(text, sizeof text, "%zu at %s: one at a time took %.3f ms an operation, %s %.1f ms%s", depth_,
                  depth_ == 1 ? "a time" : "once", 1000 / rate_at_one_, depth_ == 1 ? "not under" : "under",
                  1000 * seeking_seconds_, seeking_seconds_ == kSeekingSeconds ? "" : " (the device says it seeks)");
  }
  return text;
}

}  // namespace quarn
