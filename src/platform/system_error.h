// Why an operation of the platform layer failed, kept per thread: a stable
// word that scripts can test ("permission", "read-only", "no-space", ...)
// and the system's own text for people ("Permission denied").
//
// The record is taken at the failing call, before any other call can change
// errno or GetLastError. It stays until the next failure on the same thread
// or until clear_error, so whoever acts on a failure clears the record
// before the work and reads it right after. Code that may fail again while
// it cleans up after a failure (removing a temporary file) holds a
// KeepError, so that the first cause is the one reported.
#pragma once

#include <string>
#include <string_view>

namespace quarn::platform {

struct ErrorRecord {
  std::string word;    // empty while nothing has failed
  std::string reason;  // the system's text, without a final full stop

  bool empty() const { return word.empty(); }
};

// This thread's record.
const ErrorRecord& last_error();
void clear_error();

// Takes the system's code of the call that just failed (errno, or
// GetLastError on Windows) into the record. Returns false, so that a
// failing branch can end in "return record_system_error();".
bool record_system_error();
// The same for a code already in hand.
bool record_system_error(int code);

// A failure that is not the system's, such as a file that changed under
// the remedy: a word and a text of the program's own.
bool record_error(std::string_view word, std::string_view reason);

// The stable word for a system code: one of "permission", "read-only",
// "no-space", "not-found", "exists", "in-use", "io", "name-too-long",
// "not-supported", "no-memory", "too-many-files", "other".
const char* error_word(int code);

// The system's text for a code.
std::string error_reason(int code);

// Restores the record that was there when it was made, when it ends.
class KeepError {
 public:
  KeepError() : saved_(last_error()) {}
  ~KeepError();
  KeepError(const KeepError&) = delete;
  KeepError& operator=(const KeepError&) = delete;

 private:
  ErrorRecord saved_;
};

}  // namespace quarn::platform
