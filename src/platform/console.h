// What the program's standard streams are attached to.
#pragma once

#include <optional>

namespace quarn::platform {

enum class StdStream { output, error };

// True when the stream is an interactive terminal (a console on Win32).
bool is_terminal(StdStream stream);

// The width in columns of the terminal behind the stream, if it has one.
std::optional<int> terminal_columns(StdStream stream);

}  // namespace quarn::platform
