#include <string>
#include <vector>

#include "cli/scan_command.h"
#include "platform/arguments.h"

int main(int argc, char** argv) {
  // Paths inside the program are in its own encoding, which the narrow argv
  // of Windows is not.
  const std::vector<std::string> arguments = quarn::platform::program_arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const auto& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return quarn::cli::run(static_cast<int>(arguments.size()), pointers.data());
}
