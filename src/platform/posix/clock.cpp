#include "platform/clock.h"

#include <ctime>

namespace quarn::platform {

std::int64_t now_seconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace quarn::platform
