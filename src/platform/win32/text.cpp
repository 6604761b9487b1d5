#include "platform/text.h"

namespace quarn::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void append_utf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void append_utf16(std::wstring& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<wchar_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (code >> 10));
    out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
  }
}

// The code point that starts at text[i] and the count of bytes it takes,
// or U+FFFD and one byte where no valid sequence starts. Surrogates encoded
// on their own are valid here; a pair encoded as two such halves is not
// WTF-8 (a pair has one four-byte form) and is read as two halves.
char32_t decode_at(std::string_view text, std::size_t i, std::size_t& length) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char lead = byte(0);
  length = 1;
  if (lead < 0x80) return lead;
  std::size_t count = 0;
  char32_t code = 0;
  char32_t least = 0;
  if ((lead & 0xE0) == 0xC0) {
    count = 2, code = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    count = 3, code = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    count = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return kReplacement;
  }
  if (i + count > text.size()) return kReplacement;
  for (std::size_t k = 1; k < count; ++k) {
    if (!is_continuation(byte(k))) return kReplacement;
    code = (code << 6) | (byte(k) & 0x3F);
  }
  if (code < least || code > 0x10FFFF) return kReplacement;
  length = count;
  return code;
}

}  // namespace

std::string narrow(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t unit = static_cast<char16_t>(wide[i]);
    if (is_high_surrogate(unit) && i + 1 < wide.size() && is_low_surrogate(static_cast<char16_t>(wide[i + 1]))) {
      const char32_t low = static_cast<char16_t>(wide[++i]);
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    append_utf8(out, unit);
  }
  return out;
}

std::wstring widen(std::string_view wtf8) {
  std::wstring out;
  out.reserve(wtf8.size());
  for (std::size_t i = 0; i < wtf8.size();) {
    std::size_t length = 1;
    append_utf16(out, decode_at(wtf8, i, length));
    i += length;
  }
  return out;
}

}  // namespace quarn::platform
