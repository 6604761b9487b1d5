#include "platform/fs.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/system_error.h"

namespace quarn::platform {
namespace {

NodeKind kind_from_mode(mode_t mode) {
  if (S_ISDIR(mode)) return NodeKind::directory;
  if (S_ISREG(mode)) return NodeKind::regular;
  if (S_ISLNK(mode)) return NodeKind::link;
  return NodeKind::other;
}

std::optional<std::string> read_descriptor(int descriptor) {
  std::string bytes;
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    const ssize_t got = ::read(descriptor, chunk.data(), chunk.size());
    if (got == 0) return bytes;
    if (got > 0) {
      bytes.append(chunk.data(), static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      record_system_error();
      return std::nullopt;
    }
  }
}

}  // namespace

char separator() { return '/'; }

NodeKind node_kind(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return NodeKind::missing;
  return kind_from_mode(st.st_mode);
}

NodeKind node_kind_followed(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return NodeKind::missing;
  return kind_from_mode(st.st_mode);
}

bool delete_file(const std::string& path) {
  // DeleteFileA removes files only; unlink(2) would also accept a link, which
  // is what a caller that lists links as files expects as well.
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(path.c_str()) == 0;
}

bool replace_file(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool make_directories(const std::string& path) {
  if (path.empty()) return false;
  std::string prefix;
  prefix.reserve(path.size());
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      prefix.assign(path, 0, i);
      if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return record_system_error();
    }
  }
  // A level that exists as something other than a folder stops here.
  return node_kind_followed(path) == NodeKind::directory || record_system_error(ENOTDIR);
}

std::optional<FileIdentity> identity_of(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<std::string> own_program_path() {
  std::vector<char> buf(PATH_MAX);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return std::nullopt;
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

void lower_ansi(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

bool equal_no_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string log_text(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (unsigned char c : path) {
    if (c < 0x20 || c == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> read_to_end(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    record_system_error();
    return std::nullopt;
  }
  std::optional<std::string> bytes = read_descriptor(descriptor);
  ::close(descriptor);
  return bytes;
}

std::optional<std::string> read_standard_input() { return read_descriptor(STDIN_FILENO); }

std::string default_start_folder() { return "/"; }

std::optional<std::string> default_log_path() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return std::nullopt;
  std::string path = home;
  if (path.back() != '/') path += '/';
  return path + "vosko_clean.log";
}

}  // namespace quarn::platform
