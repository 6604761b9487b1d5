#include "support/temp_tree.h"

#include "platform/fs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace quarn::testing {

TempTree::TempTree() {
  // create_directory reports whether it made the folder, so a name that
  // another test took already is simply tried again.
  std::random_device seed;
  std::mt19937_64 rng(seed());
  fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "quarn-test-%016llx", static_cast<unsigned long long>(rng()));
    fs::path candidate = base / name;
    if (fs::create_directory(candidate)) {
      root_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempTree::~TempTree() {
  std::error_code ec;
  // Restore permissions that a test took away, so removal succeeds.
  for (auto it = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root_, ec);
}

std::string TempTree::path(std::string_view relative) const {
  // The scanner joins with the platform's separator, so expected paths do too.
  std::string joined = root_ + platform::separator() + std::string(relative);
  for (char& c : joined) {
    if (c == '/') c = platform::separator();
  }
  return joined;
}

std::string TempTree::write(std::string_view relative, std::string_view contents) {
  std::string full = path(relative);
  fs::create_directories(fs::path(full).parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + full);
  return full;
}

std::string TempTree::make_dir(std::string_view relative) {
  std::string full = path(relative);
  fs::create_directories(full);
  return full;
}

platform::PlacedFile placed(const std::string& path) {
  auto file = platform::PlacedFile::open(path);
  if (!file) throw std::runtime_error("cannot open the folder of " + path);
  return std::move(*file);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

std::vector<std::pair<std::string, std::string>> snapshot(const std::string& root) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && !entry.is_symlink()) {
      files.emplace_back(fs::relative(entry.path(), root).string(), read_file(entry.path().string()));
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace quarn::testing
