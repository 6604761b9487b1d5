#include "platform/arguments.h"

#include <windows.h>

#include "platform/win32/wide_path.h"

// The C run-time's own split of the wide command line, by the same rules
// as the narrow argv; msvcrt exports it, MinGW's headers do not declare it.
struct QuarnStartupInfo {
  int new_mode;
};
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand_wildcards,
                                      QuarnStartupInfo* startup);

namespace quarn::platform {

std::vector<std::string> program_arguments(int argc, const char* const* argv) {
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  QuarnStartupInfo startup{0};
  if (__wgetmainargs(&count, &wide, &environment, 0, &startup) != 0 || wide == nullptr || count != argc) {
    return {argv, argv + argc};
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
  return arguments;
}

}  // namespace quarn::platform
