// The parts of folder.h that every platform shares.
#include <array>

#include "platform/folder.h"

namespace quarn::platform {
namespace {

// statfs f_type of the file systems that hold the kernel's state rather than
// files. devtmpfs reports tmpfs's number and is told apart by its mount.
constexpr std::array<std::uint64_t, 14> kPseudoFileSystemTypes = {
    0x9fa0,      // proc
    0x62656572,  // sysfs
    0x1cd1,      // devpts
    0x27e0eb,    // cgroup
    0x63677270,  // cgroup2
    0x64626720,  // debugfs
    0x74726163,  // tracefs
    0x73636673,  // securityfs
    0x6165676c,  // pstore
    0xcafe4a11,  // bpf
    0x62656570,  // configfs
    0x65735543,  // fusectl
    0x19800202,  // mqueue
    0xde5e81e4,  // efivarfs
};

}  // namespace

bool lies_within(const std::string& full_path, const FileIdentity& folder) {
  return lies_within(full_path, [&](const FileIdentity& identity) { return identity == folder; });
}

bool lies_within(const std::string& full_path, const std::function<bool(const FileIdentity&)>& is_folder) {
  auto is_folder_at = [&](const std::string& path) {
    auto identity = identity_of(path);
    return identity && is_folder(*identity);
  };
  if (is_folder_at(full_path)) return true;
  const char sep = separator();
  for (std::size_t i = 0; i < full_path.size(); ++i) {
    if (full_path[i] == sep && is_folder_at(full_path.substr(0, i + 1))) return true;
  }
  return false;
}

bool is_pseudo_file_system_type(std::uint64_t type) {
  for (std::uint64_t pseudo : kPseudoFileSystemTypes) {
    if (type == pseudo) return true;
  }
  return false;
}

std::optional<PlacedFile> PlacedFile::open(const std::string& path) {
  std::string name;
  auto folder = Folder::open_parent_of(path, name);
  if (!folder) return std::nullopt;
  return PlacedFile{std::move(*folder), std::move(name), path};
}

}  // namespace quarn::platform
