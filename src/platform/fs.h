// File-system services other than reading and writing a file's bytes.
// Paths are byte strings, joined plainly with separator() and never
// normalised: on POSIX the names' own bytes, on Win32 WTF-8 (UTF-8 that also
// keeps an unpaired surrogate), which the Win32 layer alone turns into the
// absolute \\?\ form that the system is given.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quarn::platform {

// "/" on POSIX, "\\" on Win32.
char separator();

// What a path names, looked at without following a link at its end.
enum class NodeKind { missing, directory, regular, link, other };
NodeKind node_kind(const std::string& path);
// The same, following links (for paths that a user names on purpose).
NodeKind node_kind_followed(const std::string& path);

// Deletes one file (unlink; DeleteFileW). True on success.
bool delete_file(const std::string& path);

// Moves from over to in one step, replacing to: rename(2) on POSIX,
// MoveFileEx with replace-existing and write-through on Win32. Both paths
// must lie on one volume.
bool replace_file(const std::string& from, const std::string& to);

// Creates a folder and every missing folder above it.
bool make_directories(const std::string& path);

// Identifies a file or folder independently of the path text that reaches it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
  // Some order, so that many identities can be looked up in a set.
  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};
std::optional<FileIdentity> identity_of(const std::string& path);
// Whether the file or folder at full_path (an absolute path) is the folder
// with identity folder or lies below it. Compared by identity, folder by
// folder upwards, so that letter case, links and other spellings of the
// folder's path make no difference.
bool lies_within(const std::string& full_path, const FileIdentity& folder);
// The same for whichever folders is_folder says yes to: one look at each
// folder on the way, however many folders are asked about.
bool lies_within(const std::string& full_path, const std::function<bool(const FileIdentity&)>& is_folder);

// The full path of the running program (GetModuleFileNameW), if known.
std::optional<std::string> own_program_path();

// Lower-cases text in place: on Win32 by the system's case rules for every
// script; on POSIX only A-Z change, since names there are UTF-8 or opaque
// bytes.
void lower_ansi(std::string& text);

// Case-insensitive comparison of two paths, by the rules of lower_ansi.
bool equal_no_case(const std::string& a, const std::string& b);

// The path as it goes into the scan log. On POSIX a name may hold CR, LF and
// other control bytes; they are written as \xHH (and a backslash as \\) so
// that each file keeps exactly one line. Win32 names cannot hold them; there
// the path is written in the ANSI code page, byte for byte what the ANSI API
// gave, and a character that the code page cannot hold as <U+XXXX>.
std::string log_text(const std::string& path);

// The folder the window offers ("c:\\" on Win32, "/" on POSIX) and the scan
// log's place ("c:\\vosko_clean.log"; on POSIX vosko_clean.log in $HOME,
// since ordinary users cannot write to the root folder). Nothing when $HOME
// is not set.
std::string default_start_folder();
std::optional<std::string> default_log_path();

// The absolute path of an existing file or folder, with links resolved where
// the platform resolves them (realpath; GetFullPathNameW on Win32). Nothing
// when the path does not exist or cannot be resolved.
std::optional<std::string> full_path(const std::string& path);

// An absolute path without its root, so that it can be placed below another
// folder: "/a/b" gives "a/b"; on Win32 "C:\a\b" gives "C\a\b" and
// "\\server\share\a" gives "server\share\a". The root alone gives "".
std::string path_without_root(const std::string& absolute);

// Everything that the file, pipe or device at path gives up to its end, its
// links followed (a shell hands a list over as /dev/fd/63), or that the
// standard input gives; the bytes as they come, no line end translated.
// Nothing on failure, with the reason in last_error().
std::optional<std::string> read_to_end(const std::string& path);
std::optional<std::string> read_standard_input();

}  // namespace quarn::platform
