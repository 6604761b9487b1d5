// The program's command-line arguments in the program's own encoding of
// text: as they came on POSIX; on Win32 the wide command line in WTF-8
// (text.h), since the ANSI argv holds "?" for every name that the ANSI
// code page cannot hold.
#pragma once

#include <string>
#include <vector>

namespace quarn::platform {

std::vector<std::string> program_arguments(int argc, const char* const* argv);

}  // namespace quarn::platform
