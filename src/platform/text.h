// The program's text and the system's wide text.
//
// Inside the program every text, a path included, is WTF-8: UTF-8, except
// that a UTF-16 code unit that is half of a surrogate pair with no other
// half (which NTFS names may hold) is written as its own three bytes (ED A0
// 80 to ED BF BF). Every UTF-16 text therefore has exactly one form inside
// and comes back unchanged.
//
// Only Windows has a wide API, and there a wchar_t is one UTF-16 code unit.
// On POSIX the system takes the program's own bytes, so nothing there needs
// converting; the functions are not declared, and a use of them fails to
// compile rather than to link.
#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace quarn::platform {

// UTF-16 to WTF-8.
std::string narrow(std::wstring_view wide);
// WTF-8 to UTF-16. A byte that starts no valid sequence becomes U+FFFD.
std::wstring widen(std::string_view wtf8);

}  // namespace quarn::platform

#endif
