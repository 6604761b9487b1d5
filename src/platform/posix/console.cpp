#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace quarn::platform {
namespace {

int descriptor_of(StdStream stream) { return stream == StdStream::output ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

bool is_terminal(StdStream stream) { return ::isatty(descriptor_of(stream)) == 1; }

std::optional<int> terminal_columns(StdStream stream) {
  struct winsize size {};
  if (::ioctl(descriptor_of(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
  return static_cast<int>(size.ws_col);
}

}  // namespace quarn::platform
