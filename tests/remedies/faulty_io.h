// The system's file operations, with one chosen step made to fail, so that
// every failure path of a remedy can be walked on a real file.
#pragma once

#include <string>

#include "remedies/remedy_io.h"

namespace quarn::remedies::testing {

enum class Step {
  none,
  open_read,
  open_read_write,
  create_unique,
  size,
  read_at,
  write_all,
  set_length,
  flush_to_disk,
  copy_attributes,
  close,
  replace_file,
  delete_file,
  flush_folder,
};

class FaultyIo : public RemedyIo {
 public:
  // Fails the nth call (counting from 1) of step; every other call goes
  // through to the system.
  explicit FaultyIo(Step step, int nth = 1) : step_(step), nth_(nth) {}

  std::optional<platform::File> open_read(const platform::FileAt& file) override {
    return fail(Step::open_read) ? std::nullopt : RemedyIo::open_read(file);
  }
  std::optional<platform::File> open_read_write(const platform::FileAt& file) override {
    return fail(Step::open_read_write) ? std::nullopt : RemedyIo::open_read_write(file);
  }
  std::optional<platform::File> create_unique(const platform::Folder& folder, const std::string& stem,
                                              std::string& name) override {
    return fail(Step::create_unique) ? std::nullopt : RemedyIo::create_unique(folder, stem, name);
  }
  std::optional<std::uint64_t> size(platform::File& file) override {
    return fail(Step::size) ? std::nullopt : RemedyIo::size(file);
  }
  std::optional<std::size_t> read_at(platform::File& file, std::uint64_t offset, void* buffer,
                                     std::size_t len) override {
    return fail(Step::read_at) ? std::nullopt : RemedyIo::read_at(file, offset, buffer, len);
  }
  bool write_all(platform::File& file, const void* data, std::size_t len) override {
    // A short write: half the bytes reach the file before the failure.
    if (fail(Step::write_all)) return RemedyIo::write_all(file, data, len / 2) && false;
    return RemedyIo::write_all(file, data, len);
  }
  bool set_length(platform::File& file, std::uint64_t length) override {
    return !fail(Step::set_length) && RemedyIo::set_length(file, length);
  }
  bool flush_to_disk(platform::File& file) override { return !fail(Step::flush_to_disk) && RemedyIo::flush_to_disk(file); }
  bool copy_attributes(platform::File& to, const platform::File& from) override {
    return !fail(Step::copy_attributes) && RemedyIo::copy_attributes(to, from);
  }
  bool close(platform::File& file) override {
    // The handle goes either way, as a failed close does on every platform.
    bool ok = RemedyIo::close(file);
    return !fail(Step::close) && ok;
  }
  bool replace_file(const platform::Folder& folder, std::string_view from, std::string_view to) override {
    return !fail(Step::replace_file) && RemedyIo::replace_file(folder, from, to);
  }
  bool delete_file(const platform::Folder& folder, std::string_view name) override {
    return !fail(Step::delete_file) && RemedyIo::delete_file(folder, name);
  }
  bool flush_folder(const platform::Folder& folder) override {
    return !fail(Step::flush_folder) && RemedyIo::flush_folder(folder);
  }

  // How many calls of the chosen step were made.
  int calls() const { return calls_; }

 private:
  bool fail(Step step) {
    if (step != step_) return false;
    return ++calls_ == nth_;
  }

  Step step_;
  int nth_;
  int calls_ = 0;
};

}  // namespace quarn::remedies::testing
