// rand_s is declared only when this is defined before the first header.
#define _CRT_RAND_S

#include "platform/file.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/win32/folder_impl.h"
#include "platform/win32/handle.h"
#include "platform/system_error.h"
#include "platform/win32/reparse_rules.h"
#include "platform/win32/wide_path.h"

namespace quarn::platform {
namespace win32 {

bool is_regular_disk_file(HANDLE handle, std::uint64_t* size) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return false;
  auto node = attributes_of_handle(handle);
  if (!node || entry_kind(node->attributes, node->tag) != EntryKind::regular) return false;
  if (size != nullptr) {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(handle, &length)) return false;
    *size = static_cast<std::uint64_t>(length.QuadPart);
  }
  return true;
}

}  // namespace win32

namespace {

using win32::UniqueHandle;

// ReadFile and WriteFile take a 32-bit count; larger requests go in pieces.
constexpr std::size_t kMaxTransfer = 1u << 30;

// The attributes that travel with a file's contents when it is replaced by a
// restored copy.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::optional<std::uint64_t> file_index_of(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return (static_cast<std::uint64_t>(info.dwVolumeSerialNumber) << 32) ^
         ((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

// Opens an existing file without following a name surrogate at its end and
// insists on a regular disk file whose data is there. size receives its
// length.
std::optional<UniqueHandle> open_regular(const std::wstring& system, DWORD access, DWORD share, DWORD flags,
                                         std::uint64_t& size) {
  // The reparse point itself is opened first and never recalled, so that a
  // link is refused and a file whose data lies elsewhere is not fetched.
  constexpr DWORD kAsItself = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_OPEN_NO_RECALL;
  UniqueHandle handle(CreateFileW(system.c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | kAsItself | flags, nullptr));
  if (!handle.valid()) {
    record_system_error();
    return std::nullopt;
  }
  if (!win32::is_regular_disk_file(handle.get(), &size)) {
    record_error("not-regular", "not a regular file");
    return std::nullopt;
  }
  auto node = win32::attributes_of_handle(handle.get());
  if (!node || (node->attributes & win32::kAttributeReparsePoint) == 0) return handle;
  // A reparse point of another kind (a deduplicated file, for one) keeps its
  // data behind its filter, which only an ordinary open goes through. The
  // second open must reach the very file that the first one checked.
  const auto checked = file_index_of(handle.get());
  handle.reset();
  UniqueHandle through(CreateFileW(system.c_str(), access, share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_NO_RECALL | flags, nullptr));
  if (!through.valid()) {
    record_system_error();
    return std::nullopt;
  }
  if (!checked || file_index_of(through.get()) != checked) {
    record_error("changed", "the file changed while it was opened");
    return std::nullopt;
  }
  if (!win32::is_regular_disk_file(through.get(), &size)) return std::nullopt;
  return through;
}

std::optional<DWORD> attributes_of(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return info.dwFileAttributes;
}

// Gives a file these attribute bits and, unless it is 0, this last write
// time in FILETIME steps; its other times stay as they are.
bool set_basic_info(HANDLE handle, DWORD attributes, std::int64_t last_write) {
  FILE_BASIC_INFO info{};
  // Zero times mean "leave unchanged"; FILE_ATTRIBUTE_NORMAL stands for no
  // attribute at all, since zero would also mean "leave unchanged".
  info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  info.LastWriteTime.QuadPart = last_write;
  return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info) != 0 || record_system_error();
}

std::optional<File> open_read_system(const std::wstring& system) {
  std::uint64_t size = 0;
  auto handle = open_regular(system, GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN, size);
  if (!handle) return std::nullopt;
  return File::opened(win32::from_handle(handle->release()), size);
}

std::optional<File> open_read_write_system(const std::wstring& system) {
  std::uint64_t size = 0;
  auto handle = open_regular(system, GENERIC_READ | GENERIC_WRITE, 0, 0, size);
  if (!handle) return std::nullopt;
  return File::opened(win32::from_handle(handle->release()), size);
}

std::optional<File> create_new_system(const std::wstring& system) {
  // CREATE_NEW fails on any existing name, a link planted there included.
  HANDLE handle = CreateFileW(system.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    record_system_error();
    return std::nullopt;
  }
  return File::opened(win32::from_handle(handle), 0);
}

}  // namespace

std::optional<File> File::open_read(const std::string& path) { return open_read_system(win32::system_path(path)); }

std::optional<File> File::open_read_write(const std::string& path) {
  return open_read_write_system(win32::system_path(path));
}

std::optional<File> File::create_new(const std::string& path) { return create_new_system(win32::system_path(path)); }

std::optional<File> File::open_read(const Folder& folder, std::string_view name) {
  if (!is_plain_name(name)) return std::nullopt;
  return open_read_system(folder.impl().system_join(name));
}

std::optional<File> File::open_read_write(const Folder& folder, std::string_view name) {
  if (!is_plain_name(name)) return std::nullopt;
  return open_read_write_system(folder.impl().system_join(name));
}

std::optional<File> File::create_new(const Folder& folder, std::string_view name) {
  if (!is_plain_name(name)) return std::nullopt;
  return create_new_system(folder.impl().system_join(name));
}

std::optional<File> File::open_append(const Folder& folder, std::string_view name) {
  if (!is_plain_name(name)) return std::nullopt;
  const std::wstring system = folder.impl().system_join(name);
  // Append access alone: every write lands at the end, whoever else writes.
  constexpr DWORD kAppend = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE created = CreateFileW(system.c_str(), kAppend, kShare, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created != INVALID_HANDLE_VALUE) return File::opened(win32::from_handle(created), 0);
  if (GetLastError() != ERROR_FILE_EXISTS) {
    record_system_error();
    return std::nullopt;
  }
  std::uint64_t size = 0;
  auto handle = open_regular(system, kAppend, kShare, 0, size);
  if (!handle) return std::nullopt;
  return File::opened(win32::from_handle(handle->release()), size);
}

std::optional<File> File::opened(std::intptr_t handle, std::uint64_t size) {
  File file(handle);
  file.size_at_open_ = size;
  return file;
}

std::optional<File> File::create_unique(const Folder& folder, const std::string& stem, std::string& name) {
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    unsigned int high = 0, low = 0;
    if (rand_s(&high) != 0 || rand_s(&low) != 0) return std::nullopt;
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "%08x%04x", high, low & 0xFFFFu);
    std::string candidate = stem + suffix;
    auto file = create_new_system(folder.impl().system_join(candidate));
    if (file) {
      name = std::move(candidate);
      return file;
    }
    DWORD error = GetLastError();
    // Only a name that is taken is worth another try.
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return std::nullopt;
  }
  record_system_error(ERROR_FILE_EXISTS);
  return std::nullopt;
}

std::size_t File::read(void* buffer, std::size_t len) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < len) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min(len - done, kMaxTransfer));
    if (!ReadFile(win32::to_handle(handle_), out + done, want, &got, nullptr)) {
      read_failed_ = true;
      record_system_error();
      break;
    }
    if (got == 0) break;
    done += got;
    position_ += got;
    // A short read that reaches the length seen at open is the end: no
    // second call just to be told so.
    if (done < len && size_at_open_ != 0 && position_ >= size_at_open_) break;
  }
  return done;
}

std::optional<std::size_t> File::read_at(std::uint64_t offset, void* buffer, std::size_t len) {
  HANDLE handle = win32::to_handle(handle_);
  // A positioned ReadFile moves the file pointer; pread does not, so the
  // pointer that read() uses is put back afterwards.
  LARGE_INTEGER zero{}, saved{};
  if (!SetFilePointerEx(handle, zero, &saved, FILE_CURRENT)) {
    record_system_error();
    return std::nullopt;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  bool failed = false;
  while (done < len) {
    const std::uint64_t at = offset + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min(len - done, kMaxTransfer));
    if (!ReadFile(handle, out + done, want, &got, &where)) {
      failed = GetLastError() != ERROR_HANDLE_EOF;
      if (failed) record_system_error();
      break;
    }
    if (got == 0) break;
    done += got;
  }
  if (!SetFilePointerEx(handle, saved, nullptr, FILE_BEGIN) || failed) return std::nullopt;
  return done;
}

bool File::write_all(const void* data, std::size_t len) {
  const auto* in = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < len) {
    DWORD put = 0;
    DWORD want = static_cast<DWORD>(std::min(len - done, kMaxTransfer));
    if (!WriteFile(win32::to_handle(handle_), in + done, want, &put, nullptr)) return record_system_error();
    if (put == 0) return record_system_error(ERROR_DISK_FULL);
    done += put;
  }
  return true;
}

std::optional<std::uint64_t> File::size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(win32::to_handle(handle_), &size)) {
    record_system_error();
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<FileIdentity> File::identity() const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(win32::to_handle(handle_), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<std::uint64_t> File::link_count() const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(win32::to_handle(handle_), &info)) return std::nullopt;
  return info.nNumberOfLinks;
}

bool File::set_length(std::uint64_t length) {
  // Unlike SetEndOfFile, this leaves the file pointer where it was, as
  // ftruncate does.
  FILE_END_OF_FILE_INFO info{};
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return SetFileInformationByHandle(win32::to_handle(handle_), FileEndOfFileInfo, &info, sizeof info) != 0 ||
         record_system_error();
}

bool File::flush_to_disk() { return FlushFileBuffers(win32::to_handle(handle_)) != 0 || record_system_error(); }

bool File::copy_permissions_from(const File& other) {
  auto theirs = attributes_of(win32::to_handle(other.handle_));
  auto mine = attributes_of(win32::to_handle(handle_));
  if (!theirs || !mine) return record_system_error();
  // MoveFileEx refuses to replace a read-only file and DeleteFileW refuses
  // to remove one, so a copy that took the read-only attribute could neither
  // take the original's place nor be cleaned away after that refusal. A
  // read-only original is reported as a failure before anything changes.
  if ((*theirs & FILE_ATTRIBUTE_READONLY) != 0) return record_system_error(ERROR_ACCESS_DENIED);
  DWORD wanted = (*mine & ~kCopiedAttributes) | (*theirs & kCopiedAttributes);
  if (wanted == *mine) return true;
  return set_basic_info(win32::to_handle(handle_), wanted, 0);
}

bool File::copy_owner_from(const File&) {
  // A new file takes its owner and its security from the folder it is made
  // in, which is the original's folder.
  return true;
}

namespace {

// The attribute bits that FileAttributes::mode holds: those that a restored
// copy takes over, and the read-only one, which an undo gives back too.
constexpr DWORD kModeAttributes = FILE_ATTRIBUTE_READONLY | kCopiedAttributes;

// A FILETIME counts 100 ns steps since 1601-01-01 UTC; this many of them
// lie before 1970-01-01.
constexpr std::int64_t kStepsBefore1970 = 116444736000000000;
constexpr std::int64_t kNsPerStep = 100;

std::int64_t ns_since_1970(const FILETIME& time) {
  const auto steps = static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                               time.dwLowDateTime);
  return (steps - kStepsBefore1970) * kNsPerStep;
}

// Rounded down, so that a time between two steps is not moved forward.
std::int64_t steps_since_1601(std::int64_t ns) {
  std::int64_t steps = ns / kNsPerStep;
  if (ns % kNsPerStep < 0) steps -= 1;
  return steps + kStepsBefore1970;
}

}  // namespace

std::optional<FileAttributes> File::attributes() const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(win32::to_handle(handle_), &info)) {
    record_system_error();
    return std::nullopt;
  }
  FileAttributes attributes;
  attributes.mode = info.dwFileAttributes & kModeAttributes;
  attributes.modified_ns = ns_since_1970(info.ftLastWriteTime);
  return attributes;
}

bool File::set_attributes(const FileAttributes& attributes) {
  // A new file takes its owner and its security from its folder, and there
  // are no extended attributes to give: only the bits and the time travel.
  auto mine = attributes_of(win32::to_handle(handle_));
  if (!mine) return record_system_error();
  const DWORD wanted = (*mine & ~kModeAttributes) | (attributes.mode & kModeAttributes);
  return set_basic_info(win32::to_handle(handle_), wanted, steps_since_1601(attributes.modified_ns));
}

bool File::close() {
  if (handle_ == kInvalid) return true;
  return CloseHandle(win32::to_handle(std::exchange(handle_, kInvalid))) != 0 || record_system_error();
}

// Win32 needs no second handle: a file open without sharing is never
// deleted, and none is ever made here.
void File::release_lock() {
  if (lock_handle_ != kInvalid) CloseHandle(win32::to_handle(std::exchange(lock_handle_, kInvalid)));
}

}  // namespace quarn::platform
