// Byte texts to and from what a Qt control shows.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace quarn::ui {

// Decodes bytes as the file system's encoding does (QFile::decodeName).
// Bytes that are not valid there, and control bytes, are shown as \xHH, so a
// name that is not valid text still shows every byte and can never break a
// line. With keep_line_breaks, CR, LF and TAB pass unchanged (for multi-line
// texts of the templates).
QString display_text(std::string_view bytes, bool keep_line_breaks = false);

// The bytes of a text the user typed, in the file system's encoding.
std::string file_system_bytes(const QString& text);

}  // namespace quarn::ui
