#include "platform/clock.h"

#include <ctime>

namespace quarn::platform {

// MinGW-w64's time_t is 64 bits wide, so the count does not end in 2038.
std::int64_t now_seconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace quarn::platform
