#include "platform/storage.h"

namespace quarn::platform {

// Win32 tells a seek penalty only to a volume opened as a device; without
// an answer the caller keeps its default.
std::optional<bool> is_rotational(const std::string&) { return std::nullopt; }

}  // namespace quarn::platform
