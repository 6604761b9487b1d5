#include "remedies/exe_remedy.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/fs.h"
#include "platform/system_error.h"
#include "remedies/pe_resources.h"

namespace quarn {
namespace remedies {
namespace {

// The infected file read through the remedy's operations, so that a failing
// read in a test is seen by the resource reader as well.
class IoSource final : public pe::ByteSource {
 public:
  IoSource(RemedyIo& io, platform::File& file, std::uint64_t size) : io_(io), file_(file), size_(size) {}
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t offset, void* out, std::size_t len) override {
    if (offset > size_ || len > size_ - offset) return false;
    auto got = io_.read_at(file_, offset, out, len);
    if (got && *got == len) return true;
    read_failed_ = true;
    return false;
  }
  // A lookup that failed after a failed read failed for the system's
  // reason, not for the program's structure.
  bool read_failed() const { return read_failed_; }

 private:
  RemedyIo& io_;
  platform::File& file_;
  std::uint64_t size_;
  bool read_failed_ = false;
};

// Closes and removes the temporary file unless the restore went through.
class TemporaryFile {
 public:
  TemporaryFile(RemedyIo& io, platform::File& file, const platform::Folder& folder, const std::string& name)
      : io_(io), file_(file), folder_(folder), name_(name) {}
  ~TemporaryFile() {
    if (!armed_) return;
    const platform::KeepError first_cause;
    io_.close(file_);  // Win32 cannot delete a file that is still open.
    io_.delete_file(folder_, name_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  void keep() { armed_ = false; }

 private:
  RemedyIo& io_;
  platform::File& file_;
  const platform::Folder& folder_;
  const std::string& name_;
  bool armed_ = true;
};

enum class Plan { delete_copy, restore, leave, fail };

struct Inspection {
  Plan plan = Plan::fail;
  std::optional<platform::File> file;
  std::uint64_t size = 0;
  pe::ResourceLookup host;
};

// Everything the remedy decides by reading: Clean acts on it, Preview only
// reports it.
Inspection inspect(const platform::FileAt& at, RemedyIo& io) {
  Inspection in;
  if (is_dropped_copy(std::string(at.name))) {
    in.plan = Plan::delete_copy;
    return in;
  }
  in.file = io.open_read(at);
  if (!in.file) return in;
  auto size = io.size(*in.file);
  if (!size) return in;
  in.size = *size;
  IoSource source(io, *in.file, in.size);
  in.host = pe::find_host_program(source);
  switch (in.host.status) {
    case pe::LookupStatus::found: in.plan = Plan::restore; break;
    case pe::LookupStatus::no_resource: in.plan = Plan::leave; break;
    default:
      in.plan = Plan::fail;
      if (!source.read_failed()) platform::record_error("damaged", "the program's carried copy is damaged");
      break;
  }
  return in;
}

bool copy_range(RemedyIo& io, platform::File& from, std::uint64_t offset, std::uint64_t size, platform::File& to) {
  std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, platform::kCopyChunk)));
  while (size > 0) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
    auto got = io.read_at(from, offset, buffer.data(), chunk);
    if (!got || *got != chunk) return false;
    if (!io.write_all(to, buffer.data(), chunk)) return false;
    offset += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace

bool is_dropped_copy(const std::string& path) {
  auto sep = path.rfind(platform::separator());
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  platform::lower_ansi(name);
  return name.find("riched") != std::string::npos || name == "load.exe" || name == "load32.exe" ||
         name.find("tmp.exe") != std::string::npos;
}

// A rename or a deletion counts once the folder that records it is on the
// disk; until then a power cut could bring the old entry back.
ScanStatus after_folder_change(const platform::Folder& folder, RemedyIo& io, ScanStatus done) {
  return io.flush_folder(folder) ? done : STATUS_ERROR;
}

ScanStatus clean_program(const platform::FileAt& at, RemedyIo& io) {
  Inspection in = inspect(at, io);
  switch (in.plan) {
    case Plan::delete_copy:
      if (!io.delete_file(at.folder, at.name)) return STATUS_ERROR;
      return after_folder_change(at.folder, io, STATUS_DELETED);
    case Plan::leave: return STATUS_SCANNED;
    case Plan::fail: return STATUS_ERROR;
    case Plan::restore: break;
  }

  // The host goes to a new file beside the infected one and replaces it in
  // one rename, so at every moment the path holds either the infected file
  // or the complete host, and a failure leaves the infected file as it was.
  std::string temp_name;
  auto temp = io.create_unique(at.folder, kRestoreStem, temp_name);
  if (!temp) return STATUS_ERROR;
  TemporaryFile guard(io, *temp, at.folder, temp_name);
  if (!copy_range(io, *in.file, in.host.offset, in.host.size, *temp)) return STATUS_ERROR;
  if (!io.flush_to_disk(*temp)) return STATUS_ERROR;
  if (!io.copy_attributes(*temp, *in.file)) return STATUS_ERROR;
  if (!io.close(*temp)) return STATUS_ERROR;
  // The name must still lead to the file the host was read from: a file
  // put there by another program since is never replaced.
  const auto read_from = in.file->identity();
  // Win32 cannot replace a file that is still open; a failed close of a
  // file only read changes nothing.
  io.close(*in.file);
  if (!read_from || at.folder.identity_of(at.name) != read_from) {
    platform::record_error("changed", "the file changed while it was being cleaned");
    return STATUS_ERROR;
  }
  if (!io.replace_file(at.folder, temp_name, at.name)) return STATUS_ERROR;
  guard.keep();
  return after_folder_change(at.folder, io, STATUS_CLEANED);
}

RemedyForecast forecast_program(const platform::FileAt& at, RemedyIo& io) {
  Inspection in = inspect(at, io);
  switch (in.plan) {
    case Plan::delete_copy:
      return RemedyForecast{at.folder.kind_of(at.name) == platform::NodeKind::regular ? STATUS_DELETED : STATUS_ERROR};
    case Plan::restore: return RemedyForecast{STATUS_CLEANED, in.host.offset, in.host.size};
    case Plan::leave: return RemedyForecast{STATUS_SCANNED};
    case Plan::fail: break;
  }
  return RemedyForecast{STATUS_ERROR};
}

ScanStatus preview_program(const platform::FileAt& at, RemedyIo& io) { return forecast_program(at, io).status; }

platform::Abandoned remove_leftover(const platform::FileAt& at, RemedyIo& io) {
  const std::string_view stem = kRestoreStem;
  if (at.name.substr(0, stem.size()) != stem) return platform::Abandoned::not_ours;
  const platform::Abandoned result = io.remove_if_abandoned(at.folder, at.name);
  if (result == platform::Abandoned::removed && !io.flush_folder(at.folder)) return platform::Abandoned::failed;
  return result;
}

}  // namespace remedies
}  // namespace quarn
