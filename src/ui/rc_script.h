// A reader for the part of the resource-script language that res/quarn.rc
// uses: #include / #define / #ifndef for resource.h, LANGUAGE, ICON, DIALOG
// and DIALOGEX with STYLE, EXSTYLE, CAPTION and FONT and generic CONTROL
// statements, STRINGTABLE, and VERSIONINFO (read past, not kept).
//
// Anything else is an error with its line number, so a script that the
// Windows build would read differently never turns silently into a different
// window on Linux. Like the resource compiler, a CONTROL's style always
// includes WS_CHILD and WS_VISIBLE.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::ui {

struct RcControl {
  int id = 0;
  std::string class_name;
  std::string text;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  friend bool operator==(const RcControl&, const RcControl&) = default;
};

struct RcDialog {
  int id = 0;
  bool extended = false;
  std::string caption;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  std::string font_name;
  int point_size = 0;
  int weight = 0;
  bool italic = false;
  int charset = 1;  // DEFAULT_CHARSET
  std::vector<RcControl> controls;
  friend bool operator==(const RcDialog&, const RcDialog&) = default;
};

struct RcScript {
  std::vector<RcDialog> dialogs;
  std::map<int, std::string> strings;
  std::map<int, std::string> icons;  // id to file name
  std::vector<std::uint16_t> languages;  // each LANGUAGE statement, as a LANGID
};

struct RcParseResult {
  std::optional<RcScript> script;
  std::string error;  // "line N: what", when script is empty
};

// Reads the text of an included file by the name in its quotes; nothing
// when it cannot be found. Files in angle brackets are the platform's own
// headers and are not read: their constants are built in.
using RcIncludeReader = std::function<std::optional<std::string>(std::string_view name)>;

RcParseResult parse_rc(std::string_view text, const RcIncludeReader& read_include);

// The value of one of the platform's constants that the reader knows
// (WS_CHILD, SS_RIGHT, LANG_ENGLISH, ...).
std::optional<std::uint32_t> rc_builtin_constant(std::string_view name);

}  // namespace quarn::ui
