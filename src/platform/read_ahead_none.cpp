// Where there is no way to hand the kernel several reads at once, there is
// no read ahead: a batch is one file, and its search reads it as it goes.
#include "platform/read_ahead.h"

namespace quarn::platform {

struct ReadAhead::Queue {};

std::size_t ReadAhead::most_files() { return 1; }

ReadAhead::ReadAhead() = default;

ReadAhead::~ReadAhead() = default;

void ReadAhead::fetch(std::span<File* const>, std::span<Fetched> fetched) {
  for (Fetched& one : fetched) one = {};
}

}  // namespace quarn::platform
