// The file operations the two in-place remedies perform, behind one seam.
// The remedies run on the system's operations; tests pass their own to make
// each step fail in turn and check what the remedy leaves behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string>

#include "platform/file.h"
#include "platform/folder.h"
#include "platform/system_error.h"
#include "scan/scan_status.h"
#include "scan/virus_handler.h"

namespace quarn::remedies {

class RemedyIo {
 public:
  virtual ~RemedyIo() = default;

  virtual std::optional<platform::File> open_read(const platform::FileAt& file) {
    return platform::File::open_read(file.folder, file.name);
  }
  virtual std::optional<platform::File> open_read_write(const platform::FileAt& file) {
    return platform::File::open_read_write(file.folder, file.name);
  }
  virtual std::optional<platform::File> create_unique(const platform::Folder& folder, const std::string& stem,
                                                      std::string& name) {
    return platform::File::create_unique(folder, stem, name);
  }
  virtual std::optional<std::uint64_t> size(platform::File& file) { return file.size(); }
  virtual std::optional<std::size_t> read_at(platform::File& file, std::uint64_t offset, void* buffer,
                                             std::size_t len) {
    return file.read_at(offset, buffer, len);
  }
  virtual bool write_all(platform::File& file, const void* data, std::size_t len) { return file.write_all(data, len); }
  virtual bool set_length(platform::File& file, std::uint64_t length) { return file.set_length(length); }
  virtual bool flush_to_disk(platform::File& file) { return file.flush_to_disk(); }
  // Owner first, then permission bits: a change of owner clears set-id bits.
  virtual bool copy_attributes(platform::File& to, const platform::File& from) {
    return to.copy_owner_from(from) && to.copy_permissions_from(from);
  }
  virtual bool close(platform::File& file) { return file.close(); }
  virtual bool replace_file(const platform::Folder& folder, std::string_view from, std::string_view to) {
    return folder.replace_file(from, to);
  }
  virtual bool delete_file(const platform::Folder& folder, std::string_view name) { return folder.delete_file(name); }
  virtual platform::Abandoned remove_if_abandoned(const platform::Folder& folder, std::string_view name) {
    return folder.remove_if_abandoned(name);
  }
  virtual bool flush_folder(const platform::Folder& folder) { return folder.flush_to_disk(); }

  // The system's own operations.
  static RemedyIo& system();
};

// A remedy's operations that act only on the expected file: a file is
// opened only when the handle reaches a file of the expected identity and
// length whose bytes, read through that handle, hash to the expected digest;
// a file is deleted only when it is that file just before. Everything else
// passes to the operations underneath.
class ExpectingIo : public RemedyIo {
 public:
  ExpectingIo(RemedyIo& inner, const ExpectedFile& expected) : inner_(inner), expected_(expected) {}
  std::optional<platform::File> open_read(const platform::FileAt& file) override;
  std::optional<platform::File> open_read_write(const platform::FileAt& file) override;
  std::optional<platform::File> create_unique(const platform::Folder& folder, const std::string& stem,
                                              std::string& name) override {
    return inner_.create_unique(folder, stem, name);
  }
  std::optional<std::uint64_t> size(platform::File& file) override { return inner_.size(file); }
  std::optional<std::size_t> read_at(platform::File& file, std::uint64_t offset, void* buffer,
                                     std::size_t len) override {
    return inner_.read_at(file, offset, buffer, len);
  }
  bool write_all(platform::File& file, const void* data, std::size_t len) override {
    return inner_.write_all(file, data, len);
  }
  bool set_length(platform::File& file, std::uint64_t length) override { return inner_.set_length(file, length); }
  bool flush_to_disk(platform::File& file) override { return inner_.flush_to_disk(file); }
  bool copy_attributes(platform::File& to, const platform::File& from) override {
    return inner_.copy_attributes(to, from);
  }
  bool close(platform::File& file) override { return inner_.close(file); }
  bool replace_file(const platform::Folder& folder, std::string_view from, std::string_view to) override {
    return inner_.replace_file(folder, from, to);
  }
  bool delete_file(const platform::Folder& folder, std::string_view name) override;
  platform::Abandoned remove_if_abandoned(const platform::Folder& folder, std::string_view name) override {
    return inner_.remove_if_abandoned(folder, name);
  }
  bool flush_folder(const platform::Folder& folder) override { return inner_.flush_folder(folder); }

 private:
  // The opened file, or nothing with the reason recorded when it is not
  // the expected one.
  std::optional<platform::File> checked(std::optional<platform::File> file);

  RemedyIo& inner_;
  const ExpectedFile expected_;
};

// Runs a remedy so that it never throws: running out of memory is one more
// failure, and the remedy's guards have cleaned up by the time it is caught.
template <class Remedy>
ScanStatus without_throwing(Remedy&& remedy) noexcept {
  try {
    return remedy();
  } catch (const std::bad_alloc&) {
    platform::record_error("no-memory", "out of memory");
    return STATUS_ERROR;
  } catch (...) {
    platform::record_error("other", "an unexpected failure");
    return STATUS_ERROR;
  }
}

}  // namespace quarn::remedies
