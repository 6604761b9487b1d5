// Paths between the program and the wide (W) Win32 API. A path inside the
// program is WTF-8, and turns into UTF-16 and back as any text does
// (platform/text.h).
//
// The path text that the log, the list and the edit box show is the joined
// text of the walk. Only the text handed to the system is made absolute,
// normalised and given the \\?\ prefix, which lifts the MAX_PATH limit; the
// prefix is added and removed here and nowhere else.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace quarn::platform::win32 {

// The \\?\ form of an absolute, normalised path: "C:\a" gives "\\?\C:\a",
// "\\server\share\a" gives "\\?\UNC\server\share\a"; a path that already
// has the prefix and a device path ("\\.\NUL") stay as they are.
std::wstring with_long_prefix(std::wstring_view full);
// The reverse, for paths that the system hands back ("\\?\C:\a" gives
// "C:\a", "\\?\UNC\server\share" gives "\\server\share").
std::wstring without_long_prefix(std::wstring_view path);

// The path handed to the system for path: made absolute against the current
// folder, normalised by the system (GetFullPathNameW: "/" and "." and ".."
// and a run of separators), then given the \\?\ prefix. A path that already
// has the prefix is taken literally; the empty path is the current drive's
// root.
std::wstring system_path(std::string_view path);
// name joined to a folder's system path, which is never normalised again:
// a name is taken exactly as listed.
std::wstring system_join(const std::wstring& folder, std::string_view name);

// The form of path in the scan log and on quarn-scan's output: the bytes of
// the ANSI code page for every character it holds, so that such a path is
// byte for byte what the ANSI API gave; every other character (and every
// unpaired surrogate) as <U+XXXX>, its code point in four to six upper-case
// hex digits. '<' cannot occur in a Windows name, so the form is lossless.
// in_code_page gives the code page's bytes for one character (one code
// point, one or two UTF-16 units), or nothing when it cannot hold it.
std::string log_form(std::wstring_view path,
                     const std::function<std::optional<std::string>(std::wstring_view)>& in_code_page);

}  // namespace quarn::platform::win32
