// The scan log: one file, held exclusively by one running program. Opening
// takes the file for this process first and only then empties it, so a second
// running copy can neither empty nor write the first copy's log. quarn-scan
// may also write it to a character device (/dev/null, a terminal; NUL on
// Windows), which is neither held nor emptied.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn::platform {

class LogFile {
 public:
  LogFile(LogFile&& other) noexcept;
  LogFile& operator=(LogFile&& other) noexcept;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile();

  // Creates the file or empties an existing one. Nothing when the file cannot
  // be created or another program holds it.
  static std::optional<LogFile> open_exclusive(const std::string& path);

  // What a path names as a place for a log, looked at without following a
  // link at its end: a FIFO would block the writer and a folder cannot hold
  // lines, so quarn-scan refuses both by name. Anything else that is no
  // device (a link, a socket) is left to open_exclusive, which refuses it.
  enum class Place { file, device, fifo, folder };
  static Place place_of(const std::string& path);
  // Opens a character device to append to. Nothing is held or emptied: the
  // device belongs to every program. Nothing when path names anything else.
  static std::optional<LogFile> open_device(const std::string& path);

  // Hands the line to the operating system in one write, unbuffered.
  bool write(std::string_view line);
  // The system's words for why the last failed write failed ("No space left
  // on device"); empty while none has failed.
  const std::string& last_error() const { return last_error_; }

 private:
  explicit LogFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = -1;
  std::string last_error_;
};

}  // namespace quarn::platform
