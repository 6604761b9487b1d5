// The parts of file.h that every platform shares: moving a File and letting
// it go. Only close() knows what kind of handle it holds.
#include <utility>

#include "platform/file.h"

namespace quarn::platform {

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, kInvalid)),
      lock_handle_(std::exchange(other.lock_handle_, kInvalid)),
      size_at_open_(other.size_at_open_),
      position_(other.position_),
      read_failed_(other.read_failed_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    release_lock();
    handle_ = std::exchange(other.handle_, kInvalid);
    lock_handle_ = std::exchange(other.lock_handle_, kInvalid);
    size_at_open_ = other.size_at_open_;
    position_ = other.position_;
    read_failed_ = other.read_failed_;
  }
  return *this;
}

File::~File() {
  close();
  release_lock();
}

}  // namespace quarn::platform
