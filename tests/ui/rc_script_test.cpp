// The resource script: res/quarn.rc must hold exactly the main window's
// template, the About box, the string and the icon; and the reader must
// refuse what it does not understand rather than guess.
#include "ui/rc_script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace quarn::ui {
namespace {

std::optional<std::string> read_source(const std::string& relative) {
  std::ifstream in(std::string(QUARN_SOURCE_DIR) + "/" + relative, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RcScript parse_project_script() {
  auto text = read_source("res/quarn.rc");
  EXPECT_TRUE(text.has_value());
  auto parsed = parse_rc(text.value_or(""), [](std::string_view name) { return read_source("res/" + std::string(name)); });
  EXPECT_TRUE(parsed.script.has_value()) << parsed.error;
  return parsed.script.value_or(RcScript{});
}

// Style sets of the main window's controls, as the platform headers define
// the bits (WS_CHILD 0x40000000, WS_VISIBLE 0x10000000, WS_GROUP 0x20000,
// WS_TABSTOP 0x10000, SS_RIGHT 2, SS_CENTERIMAGE 0x200, ...).
constexpr std::uint32_t kLabel = 0x50020200;    // + SS_LEFT, SS_CENTERIMAGE
constexpr std::uint32_t kValue = 0x50020202;    // + SS_RIGHT, SS_CENTERIMAGE
constexpr std::uint32_t kCaption = 0x50020000;  // + SS_LEFT
constexpr std::uint32_t kFrame = 0x50000008;    // SS_GRAYFRAME, no WS_GROUP
constexpr std::uint32_t kLine = 0x50000010;     // SS_ETCHEDHORZ
constexpr std::uint32_t kEdgeEx = 0x00020020;   // WS_EX_STATICEDGE | WS_EX_TRANSPARENT

const std::string kHint = std::string(41, ' ') + "hit Start to begin scanning...";

std::vector<RcControl> expected_main_controls() {
  return {
      {1, "BUTTON", "Start", 217, 289, 50, 14, 0x50010001, 0},
      {-1, "STATIC", "", 5, 283, 262, 1, kLine, 0},
      {-1, "STATIC", "", 5, 178, 262, 11, kFrame, 0},
      {-1, "STATIC", "Output", 12, 180, 22, 8, kCaption, 0},
      {-1, "STATIC", "", 5, 150, 262, 23, kFrame, 0},
      {-1, "STATIC", "Current File", 12, 153, 36, 8, kCaption, 0},
      {1001, "STATIC", kHint, 15, 162, 245, 8, 0x5002000C, 0},
      {-1, "STATIC", " Files Scanned", 5, 41, 71, 11, kLabel, kEdgeEx},
      {1006, "STATIC", "0 ", 80, 41, 48, 11, kValue, kEdgeEx},
      {-1, "STATIC", " Files Infected", 5, 94, 71, 11, kLabel, kEdgeEx},
      {1004, "STATIC", "0 ", 80, 94, 48, 11, kValue, kEdgeEx},
      {-1, "STATIC", " Files Cleaned", 144, 94, 71, 11, kLabel, kEdgeEx},
      {1003, "STATIC", "0 ", 219, 94, 48, 11, kValue, kEdgeEx},
      {-1, "STATIC", " Elapsed Time", 5, 132, 123, 11, kLabel, kEdgeEx},
      {1002, "STATIC", "", 144, 132, 123, 11, kValue, kEdgeEx},
      {-1, "STATIC", " Directories", 5, 72, 123, 11, kLabel, kEdgeEx},
      {1005, "STATIC", "0 ", 144, 72, 123, 11, kValue, kEdgeEx},
      {-1, "STATIC", "", 5, 88, 262, 1, kLine, 0},
      {-1, "STATIC", "", 5, 126, 262, 1, kLine, 0},
      {-1, "STATIC", " Files / Minute", 5, 56, 71, 11, kLabel, kEdgeEx},
      {1007, "STATIC", "0 ", 80, 56, 48, 11, kValue, kEdgeEx},
      {-1, "STATIC", " Scan Errors", 5, 110, 71, 11, kLabel, kEdgeEx},
      {1008, "STATIC", "0 ", 80, 110, 48, 11, kValue, kEdgeEx},
      {-1, "STATIC", " Files Deleted", 144, 110, 71, 11, kLabel, kEdgeEx},
      {1009, "STATIC", "0 ", 219, 110, 48, 11, kValue, kEdgeEx},
      {-1, "STATIC", " Files Skipped", 144, 41, 71, 11, kLabel, kEdgeEx},
      {1010, "STATIC", "0 ", 219, 41, 48, 11, kValue, kEdgeEx},
      {-1, "STATIC", " MBytes / Second", 144, 56, 71, 11, kLabel, kEdgeEx},
      {1011, "STATIC", "0 ", 219, 56, 48, 11, kValue, kEdgeEx},
      // LVS_REPORT 1 | LVS_SINGLESEL 4, WS_EX_STATICEDGE alone.
      {1012, "SysListView32", "List1", 5, 189, 262, 89, 0x50010005, 0x00020000},
      {-1, "BUTTON", " Begin Scan At: ", 5, 5, 262, 30, 0x50000007, 0},
      // WS_BORDER 0x800000, ES_AUTOHSCROLL 0x80.
      {1013, "EDIT", "", 11, 16, 250, 14, 0x50810080, 0},
  };
}

const RcDialog* find_dialog(const RcScript& script, int id) {
  for (const RcDialog& d : script.dialogs) {
    if (d.id == id) return &d;
  }
  return nullptr;
}

TEST(ResourceScript, main_window_template_holds_the_32_controls_in_template_order) {
  const RcScript script = parse_project_script();
  const RcDialog* main = find_dialog(script, 102);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(main->extended);
  EXPECT_EQ(main->caption, "Veda-Quarn Virus Killer");
  EXPECT_EQ(std::tie(main->x, main->y, main->cx, main->cy), std::make_tuple(0, 0, 272, 309));
  // WS_POPUP, WS_VISIBLE, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME, DS_SETFONT.
  EXPECT_EQ(main->style, 0x90C800C0u);
  EXPECT_EQ(main->ex_style, 0x00040000u);  // WS_EX_APPWINDOW
  EXPECT_EQ(main->font_name, "MS Sans Serif");
  EXPECT_EQ(main->point_size, 8);
  EXPECT_EQ(main->weight, 0);
  EXPECT_FALSE(main->italic);
  EXPECT_EQ(main->charset, 1);

  const auto expected = expected_main_controls();
  ASSERT_EQ(main->controls.size(), 32u);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(main->controls[i], expected[i]) << "control #" << i + 1 << " (\"" << expected[i].text << "\")";
  }
}

TEST(ResourceScript, about_box_string_icon_and_language_are_there) {
  const RcScript script = parse_project_script();
  const RcDialog* about = find_dialog(script, 100);
  ASSERT_NE(about, nullptr);
  EXPECT_FALSE(about->extended);
  EXPECT_EQ(about->caption, "About Cleaner");
  EXPECT_EQ(std::tie(about->x, about->y, about->cx, about->cy), std::make_tuple(0, 0, 176, 82));
  EXPECT_EQ(about->style, 0x80C800C0u);  // as the main window, less WS_VISIBLE
  EXPECT_EQ(about->ex_style, 0u);
  ASSERT_EQ(about->controls.size(), 2u);
  const RcControl& text = about->controls[0];
  EXPECT_EQ(text.style, 0x50020081u);  // SS_CENTER | SS_NOPREFIX | WS_GROUP
  EXPECT_NE(text.text.find("quarn"), std::string::npos);
  EXPECT_NE(text.text.find("2001"), std::string::npos);
  EXPECT_EQ(about->controls[1], (RcControl{1, "BUTTON", "OK", 63, 61, 50, 14, 0x50030001, 0}));

  ASSERT_EQ(script.strings.size(), 1u);
  EXPECT_EQ(script.strings.at(101), "&About quarn...");
  ASSERT_EQ(script.icons.count(128), 1u);
  EXPECT_EQ(script.icons.at(128), "quarn.ico");
  EXPECT_EQ(script.languages, std::vector<std::uint16_t>{0x0409});
}

RcParseResult parse_text(const std::string& text) {
  return parse_rc(text, [](std::string_view name) -> std::optional<std::string> {
    if (name == "ids.h") return std::string("#define IDD_X 7\n#ifndef IDOK\n#define IDOK 1\n#endif\n");
    return std::nullopt;
  });
}

TEST(ResourceScript, reader_handles_escapes_comments_defines_and_implicit_control_styles) {
  auto parsed = parse_text(
      "#include \"ids.h\"\n"
      "#include <windows.h>\n"
      "/* a block\n comment */ IDD_X DIALOG 1, 2, 3, 4 // trailing\n"
      "CAPTION \"say \"\"hi\"\" // not a comment\"\n"
      "BEGIN\n"
      "  CONTROL \"a\\tb\\\\c\", 0x10, \"Static\", SS_RIGHT, 1, 2, 3, 4\n"
      "  CONTROL \"x\", -1, \"Button\", WS_TABSTOP + BS_GROUPBOX, 0, 0, 1, 1, WS_EX_STATICEDGE\n"
      "END\n");
  ASSERT_TRUE(parsed.script) << parsed.error;
  ASSERT_EQ(parsed.script->dialogs.size(), 1u);
  const RcDialog& d = parsed.script->dialogs[0];
  EXPECT_EQ(d.id, 7);
  EXPECT_EQ(d.caption, "say \"hi\" // not a comment");
  ASSERT_EQ(d.controls.size(), 2u);
  EXPECT_EQ(d.controls[0].text, "a\tb\\c");
  EXPECT_EQ(d.controls[0].id, 16);
  // The resource compiler adds WS_CHILD | WS_VISIBLE to every CONTROL.
  EXPECT_EQ(d.controls[0].style, 0x50000002u);
  EXPECT_EQ(d.controls[1].style, 0x50010007u);
  EXPECT_EQ(d.controls[1].ex_style, 0x00020000u);
}

TEST(ResourceScript, reader_refuses_what_it_does_not_understand_and_names_the_line) {
  struct Case {
    const char* text;
    const char* error_part;
  };
  const Case cases[] = {
      {"1 DIALOG 0, 0, 1, 1\nSTYLE WS_BOGUS\nBEGIN\nEND\n", "line 2: unknown name WS_BOGUS"},
      {"1 DIALOG 0, 0, 1, 1\nBEGIN\n  LTEXT \"a\", 1, 0, 0, 1, 1\nEND\n", "line 3: expected CONTROL"},
      {"1 DIALOG 0, 0, 1, 1\nBEGIN\n  CONTROL \"a\", 1, \"STATIC\", 0, 0, 0, 1, 1\n", "dialog without END"},
      {"1 MENU\nBEGIN\nEND\n", "unsupported resource statement"},
      {"1 DIALOG 0, 0, 1, 1\nCAPTION \"open\nBEGIN\nEND\n", "unterminated string"},
      {"1 DIALOG 0, 0, 1, 1\nMENU 5\nBEGIN\nEND\n", "unsupported dialog option"},
      {"#include \"missing.h\"\n", "cannot read missing.h"},
      {"#ifdef X\n", "#if without #endif"},
      {"#if 1\n#endif\n", "unsupported directive #if"},
      {"STRINGTABLE\nBEGIN\n 1 \"a\\q\"\nEND\n", "unsupported escape"},
      {"1 ICON 5\n", "expected a quoted text"},
      {"1 DIALOG 0, 0, 0x1FFFFFFFF, 1\nBEGIN\nEND\n", "bad number"},
  };
  for (const Case& c : cases) {
    auto parsed = parse_text(c.text);
    EXPECT_FALSE(parsed.script) << c.text;
    EXPECT_NE(parsed.error.find(c.error_part), std::string::npos) << c.text << " gave: " << parsed.error;
  }
}

TEST(ResourceScript, a_truncated_script_at_every_length_is_refused_or_read_without_harm) {
  // Every prefix of the real script: the reader must end and never read
  // past its input, whatever it decides.
  auto text = read_source("res/quarn.rc");
  ASSERT_TRUE(text);
  auto reader = [](std::string_view name) { return read_source("res/" + std::string(name)); };
  std::size_t refused = 0;
  for (std::size_t n = 0; n <= text->size(); n += 7) {
    auto parsed = parse_rc(std::string_view(*text).substr(0, n), reader);
    if (!parsed.script) ++refused;
  }
  EXPECT_GT(refused, 0u);
}

}  // namespace
}  // namespace quarn::ui

// --- the Windows resource compiler reads the script the same way ------------

namespace quarn::ui {
namespace {

// Reads little-endian fields of a compiled resource file, every read
// checked against the end first.
class ResReader {
 public:
  explicit ResReader(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  std::size_t offset() const { return off_; }
  bool fits(std::uint64_t len) const { return off_ <= bytes_.size() && len <= bytes_.size() - off_; }
  std::uint32_t u16() { return static_cast<std::uint32_t>(take(2)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
  int s16() { return static_cast<std::int16_t>(take(2)); }
  std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
  void align4(std::size_t base) {
    while ((off_ - base) % 4 != 0 && ok_) take(1);
  }
  void skip(std::uint64_t n) {
    if (!fits(n)) ok_ = false;
    else off_ += static_cast<std::size_t>(n);
  }
  // A NUL-terminated UTF-16 text, narrowed: the script holds ASCII only.
  std::string text() {
    std::string out;
    for (std::uint32_t c = u16(); ok_ && c != 0; c = u16()) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  // A name or ordinal (sz_Or_Ord): 0xFFFF then the ordinal, or a text.
  std::string name_or_ordinal() {
    if (!fits(2)) return {};
    if (static_cast<unsigned char>(bytes_[off_]) == 0xFF && static_cast<unsigned char>(bytes_[off_ + 1]) == 0xFF) {
      u16();
      return std::string("#") + std::to_string(u16());
    }
    return text();
  }

 private:
  std::uint64_t take(unsigned n) {
    if (!ok_ || !fits(n)) {
      ok_ = false;
      return 0;
    }
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v |= std::uint64_t{static_cast<unsigned char>(bytes_[off_ + i])} << (8 * i);
    off_ += n;
    return v;
  }

  std::string_view bytes_;
  std::size_t off_ = 0;
  bool ok_ = true;
};

// The predefined window classes as the compiler stores them.
std::string class_name(const std::string& stored) {
  if (stored == "#128") return "BUTTON";
  if (stored == "#129") return "EDIT";
  if (stored == "#130") return "STATIC";
  std::string upper = stored;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

RcDialog read_dialog(std::string_view data, int id) {
  ResReader r(data);
  RcDialog d;
  d.id = id;
  std::uint32_t count = 0;
  if (r.u16() == 1 && r.u16() == 0xFFFF) {
    d.extended = true;
    r.u32();  // help id
    d.ex_style = r.u32();
    d.style = r.u32();
  } else {
    r = ResReader(data);
    d.style = r.u32();
    d.ex_style = r.u32();
  }
  count = r.u16();
  d.x = r.s16(), d.y = r.s16(), d.cx = r.s16(), d.cy = r.s16();
  EXPECT_EQ(r.name_or_ordinal(), "");  // no menu
  EXPECT_EQ(r.name_or_ordinal(), "");  // no class of its own
  d.caption = r.text();
  if (d.style & 0x40) {  // DS_SETFONT
    d.point_size = static_cast<int>(r.u16());
    if (d.extended) {
      d.weight = static_cast<int>(r.u16());
      d.italic = r.u8() != 0;
      d.charset = r.u8();
    }
    d.font_name = r.text();
  }
  for (std::uint32_t i = 0; i < count && r.ok(); ++i) {
    r.align4(0);
    RcControl c;
    if (d.extended) {
      r.u32();  // help id
      c.ex_style = r.u32();
      c.style = r.u32();
    } else {
      c.style = r.u32();
      c.ex_style = r.u32();
    }
    c.x = r.s16(), c.y = r.s16(), c.cx = r.s16(), c.cy = r.s16();
    c.id = d.extended ? static_cast<std::int32_t>(r.u32()) : r.s16();
    c.class_name = class_name(r.name_or_ordinal());
    c.text = r.name_or_ordinal();
    r.skip(r.u16());  // creation data
    d.controls.push_back(std::move(c));
  }
  EXPECT_TRUE(r.ok()) << "dialog " << id << " is cut short";
  return d;
}

TEST(ResourceScript, the_windows_resource_compiler_builds_the_same_dialogs_and_string) {
  const std::string windres = QUARN_WINDRES;
  if (windres.empty()) GTEST_SKIP() << "no i686-w64-mingw32-windres on this machine";
  const std::string out = ::testing::TempDir() + "quarn_rc_test.res";
  const std::string command = windres + " -I " + QUARN_SOURCE_DIR + "/res " + QUARN_SOURCE_DIR +
                              "/res/quarn.rc -O res -o " + out;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(out, std::ios::binary);
  const std::string res((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(out.c_str());

  const RcScript script = parse_project_script();
  std::map<int, RcDialog> compiled;
  std::map<int, std::string> strings;
  std::set<int> languages;
  ResReader r(res);
  while (r.ok() && r.fits(8)) {
    const std::size_t start = r.offset();
    const std::uint32_t data_size = r.u32();
    const std::uint32_t header_size = r.u32();
    const std::string type = r.name_or_ordinal();
    const std::string name = r.name_or_ordinal();
    r.align4(start);
    r.u32();  // data version
    r.u16();  // memory flags
    const std::uint32_t language = r.u16();
    ASSERT_TRUE(r.ok() && r.offset() - start <= header_size);
    r.skip(start + header_size - r.offset());
    ASSERT_TRUE(r.fits(data_size));
    const std::string_view data = std::string_view(res).substr(r.offset(), data_size);
    r.skip(data_size);
    r.align4(0);
    if (data_size == 0) continue;  // the file's leading empty entry
    languages.insert(static_cast<int>(language));
    const int id = name.size() > 1 && name[0] == '#' ? std::stoi(name.substr(1)) : -1;
    if (type == "#5") compiled[id] = read_dialog(data, id);
    if (type == "#6") {
      ResReader s(data);
      for (int i = 0; i < 16 && s.ok(); ++i) {
        std::string text;
        for (std::uint32_t n = s.u16(); n > 0 && s.ok(); --n) text.push_back(static_cast<char>(s.u16()));
        if (!text.empty()) strings[(id - 1) * 16 + i] = text;
      }
    }
  }
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(languages, std::set<int>{0x0409});
  EXPECT_EQ(strings, script.strings);
  ASSERT_EQ(compiled.size(), script.dialogs.size());
  for (RcDialog expected : script.dialogs) {
    ASSERT_EQ(compiled.count(expected.id), 1u);
    for (RcControl& c : expected.controls) c.class_name = class_name(c.class_name);
    const RcDialog& got = compiled.at(expected.id);
    EXPECT_EQ(got.caption, expected.caption);
    EXPECT_EQ(got.style, expected.style);
    EXPECT_EQ(got.font_name, expected.font_name);
    ASSERT_EQ(got.controls.size(), expected.controls.size());
    for (std::size_t i = 0; i < got.controls.size(); ++i) {
      EXPECT_EQ(got.controls[i], expected.controls[i]) << "dialog " << expected.id << " control #" << i + 1;
    }
    EXPECT_EQ(got, expected);
  }
}

}  // namespace
}  // namespace quarn::ui
