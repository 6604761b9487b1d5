#include "scan/depth_control.h"

#include <algorithm>
#include <cstdio>

namespace quarn {

DepthControl::DepthControl(std::size_t most, bool seeks_hint)
    : most_(std::max<std::size_t>(most, 1)), gain_(seeks_hint ? 1.3 : 1.1), settled_(most_ == 1) {}

std::size_t DepthControl::sample(std::uint64_t files, std::uint64_t bytes, double now) {
  if (settled_) return depth_;
  if (!started_) {
    started_ = true;
    span_start_ = now;
    files_at_start_ = files;
    bytes_at_start_ = bytes;
    return depth_;
  }
  const double seconds = now - span_start_;
  const std::uint64_t span_files = files - files_at_start_;
  if (seconds < kSpanSeconds || span_files < kSpanFiles) return depth_;
  const double operations =
      static_cast<double>(span_files) + static_cast<double>(bytes - bytes_at_start_) / kBytesPerOperation;
  const double rate = operations / seconds;
  span_start_ = now;
  files_at_start_ = files;
  bytes_at_start_ = bytes;

  if (depth_ == 1) {
    rate_at_one_ = rate;
    if (1 / rate >= kSeekingSeconds) {
      settled_ = true;
    } else {
      depth_ = most_;
    }
    return depth_;
  }
  deep_ratio_ = rate / rate_at_one_;
  if (deep_ratio_ < gain_) depth_ = 1;
  settled_ = true;
  return depth_;
}

std::string DepthControl::reason() const {
  char text[200];
  const double milliseconds = rate_at_one_ > 0 ? 1000 / rate_at_one_ : 0;
  if (most_ == 1) {
    std::snprintf(text, sizeof text, "1 at a time: no more were allowed");
  } else if (rate_at_one_ == 0) {
    std::snprintf(text, sizeof text, "1 at a time: the scan ended before the device was timed");
  } else if (deep_ratio_ == 0 && settled_) {
    std::snprintf(text, sizeof text, "1 at a time: each read took %.2f ms, so the device seeks", milliseconds);
  } else if (deep_ratio_ == 0) {
    std::snprintf(text, sizeof text, "%zu at once: each read took %.2f ms one at a time; the scan ended before "
                  "%zu at once were judged", depth_, milliseconds, most_);
  } else {
    std::snprintf(text, sizeof text, "%zu at %s: %zu at once did %.2f times the work per second of one at a time "
                  "(%.2f ms a read)", depth_, depth_ == 1 ? "a time" : "once", most_, deep_ratio_, milliseconds);
  }
  return text;
}

}  // namespace quarn
