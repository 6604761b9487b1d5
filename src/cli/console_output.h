// The two streams of quarn-scan: result lines and the summary on the
// output, the live progress line on the error stream. The worker writes
// result lines while the main thread redraws the progress line; when both
// show on one terminal, one lock keeps them from mixing.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace quarn::cli {

class ConsoleOutput {
 public:
  // progress: draw the progress line on err at all. shared_terminal: out
  // shows on the same screen, so the progress line is wiped before each
  // result line and redrawn at the next refresh.
  ConsoleOutput(std::FILE* out, std::FILE* err, bool progress, bool shared_terminal);

  // Writes text to the output and flushes it at once. False, now and from
  // then on, when the output has failed (a closed pipe, a full disk).
  bool write(std::string_view text);

  // Writes a message to the error stream, on a line of its own.
  void note(std::string_view text);

  // Replaces the progress line with text (already cut to the screen width).
  // Does nothing when progress is off.
  void show_progress(std::string_view text);
  // Wipes the progress line, so the summary starts on a clean line.
  void clear_progress();

  bool output_failed() const { return failed_.load(std::memory_order_relaxed); }

 private:
  void wipe_locked();

  std::FILE* out_;
  std::FILE* err_;
  const bool progress_;
  const bool shared_terminal_;
  std::mutex mutex_;
  std::size_t shown_ = 0;  // bytes of progress text now on the screen
  std::atomic<bool> failed_{false};
};

}  // namespace quarn::cli
