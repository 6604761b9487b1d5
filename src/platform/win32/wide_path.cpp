#include "platform/win32/wide_path.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace quarn::platform::win32 {
namespace {

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\";

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool starts_with(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

std::wstring with_long_prefix(std::wstring_view full) {
  if (starts_with(full, kLongPrefix) || starts_with(full, kDevicePrefix)) return std::wstring(full);
  if (starts_with(full, L"\\\\")) return kLongUncPrefix + std::wstring(full.substr(2));
  return kLongPrefix + std::wstring(full);
}

std::wstring without_long_prefix(std::wstring_view path) {
  if (starts_with(path, kLongUncPrefix)) return L"\\\\" + std::wstring(path.substr(8));
  if (starts_with(path, kLongPrefix)) return std::wstring(path.substr(4));
  return std::wstring(path);
}

std::wstring system_path(std::string_view path) {
  std::wstring wide = path.empty() ? std::wstring(L"\\") : widen(path);
  if (starts_with(wide, kLongPrefix)) return wide;
  // GetFullPathNameW has no MAX_PATH limit; it asks for the size first.
  DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::vector<wchar_t> buffer(needed);
  DWORD length = GetFullPathNameW(wide.c_str(), needed, buffer.data(), nullptr);
  if (length == 0 || length >= needed) return wide;
  return with_long_prefix(std::wstring_view(buffer.data(), length));
}

std::wstring system_join(const std::wstring& folder, std::string_view name) {
  std::wstring joined = folder;
  if (joined.empty() || joined.back() != L'\\') joined += L'\\';
  joined += widen(name);
  return joined;
}

std::string log_form(std::wstring_view path,
                     const std::function<std::optional<std::string>(std::wstring_view)>& in_code_page) {
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size();) {
    const char32_t unit = static_cast<char16_t>(path[i]);
    // Plain ASCII is the same in every ANSI code page.
    if (unit < 0x80) {
      out += static_cast<char>(unit);
      ++i;
      continue;
    }
    std::size_t length = 1;
    char32_t code = unit;
    if (is_high_surrogate(unit) && i + 1 < path.size() && is_low_surrogate(static_cast<char16_t>(path[i + 1]))) {
      length = 2;
      code = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char16_t>(path[i + 1]) - 0xDC00);
    }
    std::optional<std::string> bytes;
    if (!is_high_surrogate(unit) && !is_low_surrogate(unit)) bytes = in_code_page(path.substr(i, 1));
    else if (length == 2) bytes = in_code_page(path.substr(i, 2));
    if (bytes) {
      out += *bytes;
    } else {
      char escape[16];
      std::snprintf(escape, sizeof escape, "<U+%04X>", static_cast<unsigned>(code));
      out += escape;
    }
    i += length;
  }
  return out;
}

}  // namespace quarn::platform::win32
