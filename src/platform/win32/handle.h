// Helpers shared by the Win32 implementations of the platform layer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

namespace quarn::platform::win32 {

// Owns one kernel handle and closes it when it goes away.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  void reset() {
    if (valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The platform layer keeps a HANDLE in a std::intptr_t, so that its headers
// stay free of <windows.h>; INVALID_HANDLE_VALUE is -1 there as well.
inline HANDLE to_handle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
inline std::intptr_t from_handle(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// True when a handle names an ordinary file on a disk: not a folder, not a
// reparse point (a symbolic link or a junction opened as itself), and not a
// device such as CON or NUL.
bool is_regular_disk_file(HANDLE handle, std::uint64_t* size = nullptr);

}  // namespace quarn::platform::win32
