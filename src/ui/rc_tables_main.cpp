// Build step: turns the resource script into the C++ tables of
// resource_tables.h, for toolkits that have no resource compiler.
// Usage: quarn_rc_tables SCRIPT.rc OUTPUT.cpp
// A script it cannot read exactly fails the build, with the line.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "ui/rc_script.h"

namespace {

std::optional<std::string> read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A C++ string literal; every byte outside printable ASCII, and the quote
// and backslash, as a three-digit octal escape, which can never run on into
// a following digit.
std::string literal(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    }
  }
  out += "\"";
  if (text.find('\0') != std::string::npos) out += "sv";
  return out;
}

std::string hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08Xu", v);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SCRIPT.rc OUTPUT.cpp\n", argv[0]);
    return 2;
  }
  const std::string script_path = argv[1];
  const std::string folder = script_path.substr(0, script_path.find_last_of('/') + 1);
  auto text = read_whole(script_path);
  if (!text) {
    std::fprintf(stderr, "%s: cannot read\n", script_path.c_str());
    return 1;
  }
  auto parsed = quarn::ui::parse_rc(*text, [&](std::string_view name) {
    return read_whole(folder + std::string(name));
  });
  if (!parsed.script) {
    std::fprintf(stderr, "%s: %s\n", script_path.c_str(), parsed.error.c_str());
    return 1;
  }
  const quarn::ui::RcScript& script = *parsed.script;

  // Data only: the look-ups over it are resource_lookup.cpp. The arrays
  // have their length written out, so that a script without strings or
  // icons still gives valid C++.
  std::ostringstream out;
  out << "// Generated from " << script_path.substr(folder.size())
      << " by quarn_rc_tables. Do not edit.\n"
      << "#include <array>\n"
      << "#include <string_view>\n\n"
      << "#include \"ui/resource_tables.h\"\n\n"
      << "namespace quarn::ui {\nnamespace {\nusing namespace std::string_view_literals;\n\n";
  for (const auto& d : script.dialogs) {
    out << "constexpr std::array<ControlTemplate, " << d.controls.size() << "> kControls" << d.id << "{{\n";
    for (const auto& c : d.controls) {
      out << "    {" << c.id << ", " << literal(c.class_name) << ", " << literal(c.text) << ", " << c.x << ", "
          << c.y << ", " << c.cx << ", " << c.cy << ", " << hex(c.style) << ", " << hex(c.ex_style) << "},\n";
    }
    out << "}};\n\n";
  }
  out << "constexpr std::array<DialogTemplate, " << script.dialogs.size() << "> kDialogs{{\n";
  for (const auto& d : script.dialogs) {
    out << "    {" << d.id << ", " << (d.extended ? "true" : "false") << ", " << literal(d.caption) << ", " << d.x
        << ", " << d.y << ", " << d.cx << ", " << d.cy << ", " << hex(d.style) << ", " << hex(d.ex_style) << ", "
        << literal(d.font_name) << ", " << d.point_size << ", " << d.weight << ", "
        << (d.italic ? "true" : "false") << ", " << d.charset << ", kControls" << d.id << "},\n";
  }
  out << "}};\n\n";
  out << "constexpr std::array<StringResource, " << script.strings.size() << "> kStrings{{\n";
  for (const auto& [id, s] : script.strings) out << "    {" << id << ", " << literal(s) << "},\n";
  out << "}};\n\n";
  for (const auto& [id, file] : script.icons) {
    auto bytes = read_whole(folder + file);
    if (!bytes || bytes->empty()) {
      std::fprintf(stderr, "%s: cannot read icon %s\n", script_path.c_str(), file.c_str());
      return 1;
    }
    out << "constexpr std::array<std::uint8_t, " << bytes->size() << "> kIcon" << id << "{";
    for (std::size_t i = 0; i < bytes->size(); ++i) {
      out << (i % 16 == 0 ? "\n    " : " ") << static_cast<unsigned>(static_cast<unsigned char>((*bytes)[i])) << ",";
    }
    out << "\n};\n\n";
  }
  out << "constexpr std::array<IconResource, " << script.icons.size() << "> kIcons{{\n";
  for (const auto& [id, file] : script.icons) out << "    {" << id << ", kIcon" << id << "},\n";
  out << "}};\n\n";
  out << "}  // namespace\n\n"
      << "const std::span<const DialogTemplate> kDialogTemplates{kDialogs};\n"
      << "const std::span<const StringResource> kStringResources{kStrings};\n"
      << "const std::span<const IconResource> kIconResources{kIcons};\n\n"
      << "}  // namespace quarn::ui\n";

  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file << out.str();
  if (!file.flush()) {
    std::fprintf(stderr, "%s: cannot write\n", argv[2]);
    return 1;
  }
  return 0;
}
