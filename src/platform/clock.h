// Calendar time in whole seconds.
#pragma once

#include <cstdint>

namespace quarn::platform {

std::int64_t now_seconds();

}  // namespace quarn::platform
