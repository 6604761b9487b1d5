// Helpers shared by the Win32 implementations of the platform layer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/fs.h"

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

// A file's attributes and, where they hold FILE_ATTRIBUTE_REPARSE_POINT, its
// reparse tag (reparse_rules.h decides what they make it).
struct NodeAttributes {
  std::uint32_t attributes = 0;
  std::uint32_t tag = 0;
};
// Of the entry at a system path (wide_path.h), not following a reparse
// point and never fetching a file's data.
std::optional<NodeAttributes> node_attributes(const std::wstring& system);
std::optional<NodeAttributes> attributes_of_handle(HANDLE handle);
// node_kind and identity_of (fs.h) for a system path.
NodeKind node_kind_at(const std::wstring& system);
std::optional<FileIdentity> identity_at(const std::wstring& system);

// True when a handle names an ordinary file on a disk whose data is there:
// not a folder, not a name surrogate (a symbolic link or a junction opened
// as itself), not a device such as CON or NUL, and not a file whose data
// lies elsewhere. A reparse point of any other tag is a file like any other.
bool is_regular_disk_file(HANDLE handle, std::uint64_t* size = nullptr);

}  // namespace quarn::platform::win32
