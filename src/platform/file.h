// Files opened by the engine and the remedies. A File owns one native handle
// (a POSIX descriptor or a Win32 HANDLE) and closes it when it goes away.
// Every open refuses to follow a link at the last path component and refuses
// anything that is not a regular file, so a scan never blocks on a FIFO and
// a remedy never writes through a link into some other file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fs.h"

namespace quarn::platform {

class Folder;

// The step in which a file's bytes are copied to another file: large enough
// that the calls cost little next to the bytes they move.
inline constexpr std::size_t kCopyChunk = 64 * 1024;

// What a file carries besides its bytes, to be given to a file that takes its
// place (an undo writes a new file from a backup copy and gives it back what
// the original had).
struct FileAttributes {
  // POSIX: the permission bits (07777). Win32: the FILE_ATTRIBUTE_ bits
  // READONLY, HIDDEN, SYSTEM, ARCHIVE and NOT_CONTENT_INDEXED, the ones that
  // a restored copy takes over too.
  std::uint32_t mode = 0;
  // POSIX user and group; nothing on Win32, where a new file takes its
  // owner from its folder.
  std::optional<std::uint32_t> owner;
  std::optional<std::uint32_t> group;
  // The modification time in nanoseconds since 1970-01-01 UTC (on Win32 in
  // steps of 100 ns, converted from a FILETIME).
  std::int64_t modified_ns = 0;
  // Extended attributes, name and value, sorted by name; POSIX only. The
  // marker of File::create_unique is never among them.
  std::vector<std::pair<std::string, std::string>> extended;

  bool operator==(const FileAttributes&) const = default;
};

class File {
 public:
  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Opens an existing regular file for reading, shared with other readers.
  static std::optional<File> open_read(const std::string& path);
  // Opens an existing regular file for reading and writing. Where the
  // platform allows it no other opener may share it (Win32 share mode 0).
  static std::optional<File> open_read_write(const std::string& path);
  // Creates a file that did not exist before, for writing; never opens or
  // truncates an existing one.
  static std::optional<File> create_new(const std::string& path);
  // The same two opens for the entry name of an open folder.
  static std::optional<File> open_read(const Folder& folder, std::string_view name);
  static std::optional<File> open_read_write(const Folder& folder, std::string_view name);
  // create_new for the entry name of an open folder.
  static std::optional<File> create_new(const Folder& folder, std::string_view name);
  // Opens the regular file name of folder for appending, creating it (for
  // this user alone) when it is missing; every write goes to its end, so
  // that two writers' lines never overwrite each other. A link or anything
  // that is not a regular file is refused.
  static std::optional<File> open_append(const Folder& folder, std::string_view name);
  // Creates a new file with a unique name in folder, for writing: the name is
  // stem followed by random characters, and the file is created exclusively,
  // so it is never an existing file or a link planted there. name receives
  // its name in the folder. Where the file system keeps extended attributes
  // the file carries a marker holding its own name from the moment it has
  // that name, and where the file system has locks it is locked from before
  // it is marked until this File ends, past close() (a restore closes it
  // before the rename that Win32 cannot do on an open file): so that a
  // leftover of an interrupted process can be told from anything else named
  // alike, and from a file that a live process is still writing (see
  // Folder::remove_if_abandoned).
  static std::optional<File> create_unique(const Folder& folder, const std::string& stem, std::string& name);

  bool is_open() const { return handle_ != kInvalid; }

  // Reads until len bytes have come or the data ends (fread's contract):
  // a short count means end of file or a read error; read_failed tells
  // which.
  std::size_t read(void* buffer, std::size_t len);
  // True once a read has failed (an unreadable sector, a vanished device):
  // what came before it is not the whole file.
  bool read_failed() const { return read_failed_; }
  // Reads up to len bytes at offset, looping over short reads. Returns the
  // count, or nothing when the platform reports an error.
  std::optional<std::size_t> read_at(std::uint64_t offset, void* buffer, std::size_t len);
  bool write_all(const void* data, std::size_t len);

  std::optional<std::uint64_t> size() const;
  // The length when the file was opened.
  std::uint64_t size_at_open() const { return size_at_open_; }
  // The open file's identity, whatever name reaches it now.
  std::optional<FileIdentity> identity() const;
  // How many names (hard links) the open file has now.
  std::optional<std::uint64_t> link_count() const;
  bool set_length(std::uint64_t length);
  // Pushes written data and the new length to the device.
  bool flush_to_disk();
  // Gives this file the permission bits of another open file (POSIX mode
  // bits; the read-only attribute on Win32). On a file system that keeps no
  // modes (POSIX ENOSYS or EOPNOTSUPP, as FAT through fusefat answers) there
  // is nothing to copy and it succeeds; a refusal (EPERM) still fails.
  bool copy_permissions_from(const File& other);
  // Gives this file the owner and group of another open file where the
  // process may do so (POSIX; a no-op that succeeds on Win32). Call it before
  // copy_permissions_from, since a change of owner clears set-id bits. Like
  // copy_permissions_from it succeeds where the file system keeps no owners,
  // and fails when the owners differ and the change is refused.
  bool copy_owner_from(const File& other);
  // The open file's attributes; nothing, with the reason recorded, when
  // the platform cannot tell them.
  std::optional<FileAttributes> attributes() const;
  // Gives this file those attributes: the owner and group first where the
  // process may (a refusal, EPERM, is no failure, since only root may give
  // a file away, and a change of owner clears set-id bits and capabilities
  // that the later steps put back), then the extended attributes while the
  // file is still writable by its owner (the kernel checks the mode for
  // them), then the mode, and the modification time last. A write moves that
  // time again, so this comes after the last write. What the file system
  // does not keep (POSIX ENOSYS or EOPNOTSUPP) is no failure either. Returns
  // false with the reason recorded otherwise.
  bool set_attributes(const FileAttributes& attributes);
  // Closes the handle and reports whether the platform accepted the close.
  bool close();

  // Wraps a handle that a platform's open has just checked; for the
  // platform layer's own use.
  static std::optional<File> opened(std::intptr_t handle, std::uint64_t size);

 private:
  // Reads ahead through the handle, at the length seen at open.
  friend class ReadAhead;
  static constexpr std::intptr_t kInvalid = -1;
  explicit File(std::intptr_t handle) : handle_(handle) {}
  // Wraps a handle that create_unique has locked, with a second handle of
  // the same open to keep the lock past close().
  static File locked_file(std::intptr_t handle);
  // Lets go of lock_handle_; a no-op when there is none.
  void release_lock();
  std::intptr_t handle_ = kInvalid;
  // A second handle of create_unique's open, which holds its lock after
  // close(); kInvalid for every other file.
  std::intptr_t lock_handle_ = kInvalid;
  // The length when the file was opened and the offset that read() has
  // reached; read() stops asking once a short read has reached that length.
  std::uint64_t size_at_open_ = 0;
  std::uint64_t position_ = 0;
  bool read_failed_ = false;
};

}  // namespace quarn::platform
