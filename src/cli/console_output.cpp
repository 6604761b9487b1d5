#include "cli/console_output.h"

namespace quarn::cli {

ConsoleOutput::ConsoleOutput(std::FILE* out, std::FILE* err, bool progress, bool shared_terminal)
    : out_(out), err_(err), progress_(progress), shared_terminal_(progress && shared_terminal) {}

bool ConsoleOutput::write(std::string_view text) {
  // A pipe whose reader is slow blocks the write. Only when both streams
  // share one screen must the progress line wait for it; otherwise the
  // progress keeps moving while the worker waits.
  std::unique_lock lock(mutex_, std::defer_lock);
  if (shared_terminal_) {
    lock.lock();
    wipe_locked();
  }
  if (failed_.load(std::memory_order_relaxed)) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), out_) == text.size() && std::fflush(out_) == 0;
  if (!ok) failed_.store(true, std::memory_order_relaxed);
  return ok;
}

void ConsoleOutput::note(std::string_view text) {
  std::lock_guard lock(mutex_);
  wipe_locked();
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fflush(err_);
}

void ConsoleOutput::show_progress(std::string_view text) {
  if (!progress_) return;
  std::lock_guard lock(mutex_);
  // Carriage return, the new text, then blanks over whatever of the old
  // text was longer: no terminal escape sequence is needed. The line stays
  // as long as the longest text shown, so wiping covers all of it.
  std::string line = "\r";
  line.append(text.data(), text.size());
  if (shown_ > text.size()) line.append(shown_ - text.size(), ' ');
  std::fwrite(line.data(), 1, line.size(), err_);
  std::fflush(err_);
  if (text.size() > shown_) shown_ = text.size();
}

void ConsoleOutput::clear_progress() {
  if (!progress_) return;
  std::lock_guard lock(mutex_);
  wipe_locked();
}

void ConsoleOutput::wipe_locked() {
  if (shown_ == 0) return;
  std::string blank = "\r";
  blank.append(shown_, ' ');
  blank += '\r';
  std::fwrite(blank.data(), 1, blank.size(), err_);
  std::fflush(err_);
  shown_ = 0;
}

}  // namespace quarn::cli
