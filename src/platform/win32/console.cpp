#include "platform/console.h"

#include <windows.h>

namespace quarn::platform {
namespace {

HANDLE handle_of(StdStream stream) {
  return GetStdHandle(stream == StdStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

bool is_terminal(StdStream stream) {
  // Only a console answers GetConsoleMode; files and pipes do not.
  DWORD mode = 0;
  HANDLE handle = handle_of(stream);
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

std::optional<int> terminal_columns(StdStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(handle_of(stream), &info)) return std::nullopt;
  int columns = info.srWindow.Right - info.srWindow.Left + 1;
  if (columns <= 0) return std::nullopt;
  return columns;
}

}  // namespace quarn::platform
