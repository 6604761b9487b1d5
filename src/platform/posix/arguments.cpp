#include "platform/arguments.h"

namespace quarn::platform {

std::vector<std::string> program_arguments(int argc, const char* const* argv) { return {argv, argv + argc}; }

}  // namespace quarn::platform
