#include "cli/backup_store.h"

#include <memory>

#include "platform/file.h"

namespace quarn::cli {
namespace {

// Copies every byte of source into target and checks the count against the
// source's size, since a short read alone cannot tell the end from an error.
bool copy_whole(platform::File& source, platform::File& target) {
  auto size = source.size();
  if (!size) return false;
  auto buffer = std::make_unique<unsigned char[]>(platform::kCopyChunk);
  std::uint64_t copied = 0;
  for (;;) {
    std::size_t n = source.read(buffer.get(), platform::kCopyChunk);
    if (n > 0 && !target.write_all(buffer.get(), n)) return false;
    copied += n;
    if (n < platform::kCopyChunk) break;
  }
  return copied == *size && target.copy_permissions_from(source) && target.flush_to_disk();
}

}  // namespace

std::optional<BackupStore> BackupStore::open(const std::string& folder) {
  if (!platform::make_directories(folder)) return std::nullopt;
  auto full = platform::full_path(folder);
  auto identity = platform::identity_of(folder);
  if (!full || !identity) return std::nullopt;
  return BackupStore(folder, *full, *identity);
}

bool BackupStore::is_store(const std::string& folder) const {
  auto identity = platform::identity_of(folder);
  return identity && *identity == identity_;
}

bool BackupStore::is_store(const platform::Folder& folder) const {
  auto identity = folder.identity();
  return identity && *identity == identity_;
}

bool BackupStore::holds(const std::string& full_path) const { return platform::lies_within(full_path, identity_); }

std::string BackupStore::target_for(const std::string& full_path) const {
  const std::string below = platform::path_without_root(full_path);
  if (below.empty()) return folder_;
  return folder_ + platform::separator() + below;
}

std::optional<std::string> BackupStore::save(const platform::FileAt& file, const std::string& full_path) const {
  auto source = platform::File::open_read(file.folder, file.name);
  if (!source) return std::nullopt;
  const std::string first = target_for(full_path);
  const std::size_t cut = first.rfind(platform::separator());
  if (cut != std::string::npos && cut > 0 && !platform::make_directories(first.substr(0, cut))) {
    return std::nullopt;
  }
  for (int suffix = 0; suffix <= kMaxSuffix; ++suffix) {
    const std::string candidate = suffix == 0 ? first : first + "." + std::to_string(suffix);
    auto target = platform::File::create_new(candidate);
    if (!target) {
      // Taken by an earlier copy: try the next name. Any other failure ends
      // the attempt.
      if (platform::node_kind(candidate) == platform::NodeKind::missing) return std::nullopt;
      continue;
    }
    const bool whole = copy_whole(*source, *target);
    const bool closed = target->close();
    if (whole && closed) return candidate;
    platform::delete_file(candidate);
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace quarn::cli
