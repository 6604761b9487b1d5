// The scan log: one file, held exclusively by one running program. Opening
// takes the file for this process first and only then empties it, so a second
// running copy can neither empty nor write the first copy's log.
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

  // Hands the line to the operating system in one write, unbuffered.
  bool write(std::string_view line);

 private:
  explicit LogFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = -1;
};

}  // namespace quarn::platform
