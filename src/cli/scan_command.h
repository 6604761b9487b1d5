// quarn-scan from its command line to its exit status.
#pragma once

namespace quarn::cli {

int run(int argc, const char* const* argv);

}  // namespace quarn::cli
