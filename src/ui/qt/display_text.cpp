#include "ui/qt/display_text.h"

#include <QByteArray>
#include <QFile>

namespace quarn::ui {
namespace {

// The length of the well-formed UTF-8 sequence at the start of s, or 0 when
// it is not one (a stray continuation byte, a truncated, overlong or
// surrogate sequence, or one past U+10FFFF).
std::size_t utf8_sequence_length(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

void append_escape(QString& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += QLatin1String("\\x");
  out += QLatin1Char(kHex[c >> 4]);
  out += QLatin1Char(kHex[c & 0xF]);
}

}  // namespace

QString display_text(std::string_view bytes, bool keep_line_breaks) {
  QString out;
  std::size_t run_start = 0;
  std::size_t i = 0;
  // Valid runs go to the file system's own decoder in one piece.
  const auto flush_run = [&] {
    if (i > run_start) {
      out += QFile::decodeName(QByteArray(bytes.data() + run_start, static_cast<qsizetype>(i - run_start)));
    }
  };
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const bool line_break = keep_line_breaks && (c == '\n' || c == '\r' || c == '\t');
    const std::size_t length = is_control(c) && !line_break ? 0 : utf8_sequence_length(bytes.substr(i));
    if (length == 0) {
      flush_run();
      append_escape(out, c);
      ++i;
      run_start = i;
    } else {
      i += length;
    }
  }
  flush_run();
  return out;
}

std::string file_system_bytes(const QString& text) {
  const QByteArray bytes = QFile::encodeName(text);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace quarn::ui
