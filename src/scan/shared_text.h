// A text that one thread replaces while another copies it. A short lock on
// both sides means a copy never sees a half-replaced or released text.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace quarn {

class SharedText {
 public:
  SharedText() = default;
  explicit SharedText(std::string text) : text_(std::move(text)) {}

  void set(std::string_view text) {
    std::lock_guard lock(mutex_);
    text_.assign(text.data(), text.size());
  }
  std::string get() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace quarn
