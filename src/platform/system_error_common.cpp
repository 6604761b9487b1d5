#include "platform/system_error.h"

#include <utility>

namespace quarn::platform {
namespace {

thread_local ErrorRecord record;

}  // namespace

const ErrorRecord& last_error() { return record; }

void clear_error() {
  record.word.clear();
  record.reason.clear();
}

bool record_system_error(int code) {
  record.word = error_word(code);
  record.reason = error_reason(code);
  return false;
}

bool record_error(std::string_view word, std::string_view reason) {
  record.word = word;
  record.reason = reason;
  return false;
}

KeepError::~KeepError() { record = std::move(saved_); }

}  // namespace quarn::platform
