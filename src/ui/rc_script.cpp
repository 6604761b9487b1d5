#include "ui/rc_script.h"

#include <cctype>
#include <charconv>
#include <utility>

#include "ui/platform_constants.h"

namespace quarn::ui {
namespace {

enum class TokenKind { end, identifier, number, string, punct };

struct Token {
  TokenKind kind = TokenKind::end;
  std::string text;  // identifier, decoded string or the punctuation
  std::int64_t number = 0;
  int line = 0;
};

bool is_identifier_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool is_identifier_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// A number as the resource compiler writes it: decimal or 0x hexadecimal,
// with an optional L or U suffix.
std::optional<std::int64_t> parse_number(std::string_view s) {
  while (!s.empty() && (s.back() == 'L' || s.back() == 'l' || s.back() == 'U' || s.back() == 'u')) {
    s.remove_suffix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (ec != std::errc() || end != s.data() + s.size() || value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::int64_t>(value);
}

// Removes comments and handles the preprocessor lines: the output keeps the
// line structure (directives and skipped lines become empty), so token line
// numbers match the script. Defines from included files are collected.
class Preprocessor {
 public:
  Preprocessor(const RcIncludeReader& reader, std::map<std::string, std::int64_t>& defines)
      : reader_(reader), defines_(defines) {}

  // The first error, if any; the output is then incomplete.
  const std::string& error() const { return error_; }

  std::string run(std::string_view text, int depth) {
    if (depth > 8) {
      fail("includes nested too deeply");
      return {};
    }
    std::string plain = strip_comments(text);
    std::string out;
    std::vector<bool> active{true};
    std::size_t pos = 0;
    int line = 1;
    while (pos <= plain.size() && error_.empty()) {
      std::size_t eol = plain.find('\n', pos);
      if (eol == std::string::npos) eol = plain.size();
      std::string_view raw(plain.data() + pos, eol - pos);
      std::string_view t = trim(raw);
      if (!t.empty() && t.front() == '#') {
        directive(t.substr(1), active, line, depth);
      } else if (active.back()) {
        out.append(raw);
      }
      if (eol == plain.size()) break;
      out.push_back('\n');
      pos = eol + 1;
      ++line;
    }
    if (active.size() != 1) fail("#if without #endif");
    return out;
  }

 private:
  static std::string strip_comments(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (in_string) {
        out.push_back(c);
        if (c == '\\' && i + 1 < text.size()) {
          out.push_back(text[++i]);
        } else if (c == '"' || c == '\n') {
          in_string = false;
        }
      } else if (c == '"') {
        in_string = true;
        out.push_back(c);
      } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
        while (i < text.size() && text[i] != '\n') ++i;
        if (i < text.size()) out.push_back('\n');
      } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
        i += 2;
        while (i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/')) {
          if (text[i] == '\n') out.push_back('\n');
          ++i;
        }
        ++i;
        out.push_back(' ');
      } else {
        out.push_back(c);
      }
    }
    return out;
  }

  void directive(std::string_view d, std::vector<bool>& active, int line, int depth) {
    d = trim(d);
    std::size_t word_end = 0;
    while (word_end < d.size() && is_identifier_char(d[word_end])) ++word_end;
    std::string_view word = d.substr(0, word_end);
    std::string_view rest = trim(d.substr(word_end));
    auto where = [&](const std::string& what) { fail("line " + std::to_string(line) + ": " + what); };

    if (word == "endif") {
      if (active.size() == 1) return where("#endif without #if");
      active.pop_back();
      return;
    }
    if (word == "ifdef" || word == "ifndef") {
      bool defined = defines_.count(std::string(rest)) != 0;
      active.push_back(active.back() && (word == "ifdef" ? defined : !defined));
      return;
    }
    if (!active.back()) return;
    if (word == "pragma") return;
    if (word == "define") {
      std::size_t name_end = 0;
      while (name_end < rest.size() && is_identifier_char(rest[name_end])) ++name_end;
      std::string name(rest.substr(0, name_end));
      std::string_view value = trim(rest.substr(name_end));
      if (name.empty()) return where("#define without a name");
      if (value.empty()) {
        defines_[name] = 0;
        return;
      }
      auto number = parse_number(value);
      if (!number) return where("#define " + name + " is not a number");
      defines_[name] = *number;
      return;
    }
    if (word == "include") {
      if (!rest.empty() && rest.front() == '<') return;  // the platform's headers: built in
      if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return where("bad #include");
      std::string_view name = rest.substr(1, rest.size() - 2);
      auto text = reader_(name);
      if (!text) return where("cannot read " + std::string(name));
      // An included header contributes its defines only.
      run(*text, depth + 1);
      return;
    }
    where("unsupported directive #" + std::string(word));
  }

  void fail(const std::string& what) {
    if (error_.empty()) error_ = what;
  }

  const RcIncludeReader& reader_;
  std::map<std::string, std::int64_t>& defines_;
  std::string error_;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  // After an error every token is the end, so every loop of the parser ends.
  Token next() {
    skip_space();
    Token t;
    t.line = line_;
    if (pos_ >= text_.size() || !error_.empty()) return t;
    char c = text_[pos_];
    if (c == '"') {
      std::string text = read_string();
      if (!error_.empty()) return Token{};
      t.kind = TokenKind::string;
      t.text = std::move(text);
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      std::size_t start = pos_;
      while (pos_ < text_.size() && std::isalnum(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      auto number = parse_number(text_.substr(start, pos_ - start));
      if (!number) return fail("bad number");
      t.kind = TokenKind::number;
      t.number = *number;
      return t;
    }
    if (is_identifier_start(c)) {
      std::size_t start = pos_;
      while (pos_ < text_.size() && is_identifier_char(text_[pos_])) ++pos_;
      t.kind = TokenKind::identifier;
      t.text = std::string(text_.substr(start, pos_ - start));
      return t;
    }
    if (c == ',' || c == '|' || c == '-' || c == '+') {
      ++pos_;
      t.kind = TokenKind::punct;
      t.text = std::string(1, c);
      return t;
    }
    return fail(std::string("unexpected character '") + c + "'");
  }

  // Records the first error and gives the end token.
  Token fail(const std::string& what) {
    if (error_.empty()) error_ = "line " + std::to_string(line_) + ": " + what;
    pos_ = text_.size();
    return Token{};
  }
  const std::string& error() const { return error_; }
  // Gives only end tokens from now on.
  void stop() { pos_ = text_.size(); }

 private:
  void skip_space() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }

  // A quoted text with the resource compiler's escapes; "" inside the quotes
  // stands for one quote.
  std::string read_string() {
    std::string out;
    ++pos_;
    for (;;) {
      if (pos_ >= text_.size() || text_[pos_] == '\n') {
        fail("unterminated string");
        return out;
      }
      char c = text_[pos_++];
      if (c == '"') {
        if (pos_ < text_.size() && text_[pos_] == '"') {
          out.push_back('"');
          ++pos_;
          continue;
        }
        return out;
      }
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (pos_ >= text_.size()) {
        fail("unterminated string");
        return out;
      }
      char e = text_[pos_++];
      switch (e) {
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'a': out.push_back('\b'); break;  // the resource compiler's \a is a backspace
        case '\\': out.push_back('\\'); break;
        case '"': out.push_back('"'); break;
        case '0': out.push_back('\0'); break;
        default:
          fail(std::string("unsupported escape \\") + e);
          return out;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::string error_;
};

class Parser {
 public:
  Parser(std::string_view text, const std::map<std::string, std::int64_t>& defines)
      : lexer_(text), defines_(defines) {
    advance();
  }

  RcScript parse() {
    RcScript script;
    while (tok_.kind != TokenKind::end) {
      if (is_word("LANGUAGE")) {
        advance();
        std::int64_t primary = expression();
        expect(",");
        std::int64_t sub = expression();
        script.languages.push_back(static_cast<std::uint16_t>((sub << 10) | primary));
        continue;
      }
      if (is_word("STRINGTABLE")) {
        advance();
        string_table(script);
        continue;
      }
      int id = static_cast<int>(expression());
      if (is_word("ICON")) {
        advance();
        script.icons[id] = string_value();
      } else if (is_word("DIALOG") || is_word("DIALOGEX")) {
        script.dialogs.push_back(dialog(id));
      } else if (is_word("VERSIONINFO")) {
        advance();
        skip_version_info();
      } else {
        fail("unsupported resource statement");
      }
    }
    return script;
  }

 private:
  void advance() { tok_ = lexer_.next(); }
  bool is_word(std::string_view w) const { return tok_.kind == TokenKind::identifier && tok_.text == w; }
  bool is_punct(std::string_view p) const { return tok_.kind == TokenKind::punct && tok_.text == p; }
  // Records the first error; the end token then ends every loop. An error
  // of the lexer came first and is the one to report.
  void fail(const std::string& what) {
    if (error_.empty() && lexer_.error().empty()) error_ = "line " + std::to_string(tok_.line) + ": " + what;
    lexer_.stop();
    tok_ = Token{};
  }
  void expect(std::string_view p) {
    if (!is_punct(p)) fail("expected '" + std::string(p) + "'");
    advance();
  }
  void expect_word(std::string_view w) {
    if (!is_word(w)) fail("expected " + std::string(w));
    advance();
  }
  std::string string_value() {
    if (tok_.kind != TokenKind::string) {
      fail("expected a quoted text");
      return {};
    }
    std::string s = tok_.text;
    advance();
    return s;
  }

  std::int64_t term() {
    if (is_punct("-")) {
      advance();
      return -term();
    }
    if (tok_.kind == TokenKind::number) {
      std::int64_t v = tok_.number;
      advance();
      return v;
    }
    if (tok_.kind == TokenKind::identifier) {
      std::int64_t v = 0;
      if (auto d = defines_.find(tok_.text); d != defines_.end()) {
        v = d->second;
      } else if (auto b = rc_builtin_constant(tok_.text)) {
        v = *b;
      } else {
        fail("unknown name " + tok_.text);
        return 0;
      }
      advance();
      return v;
    }
    fail("expected a number or a name");
    return 0;
  }

  // Terms joined by | or +, as the scripts write style sets.
  std::int64_t expression() {
    std::int64_t v = term();
    while (is_punct("|") || is_punct("+")) {
      bool is_or = is_punct("|");
      advance();
      std::int64_t t = term();
      v = is_or ? (v | t) : (v + t);
    }
    return v;
  }

  static std::uint32_t bits(std::int64_t v) { return static_cast<std::uint32_t>(v); }

  void string_table(RcScript& script) {
    expect_word("BEGIN");
    while (!is_word("END")) {
      if (tok_.kind == TokenKind::end) return fail("STRINGTABLE without END");
      int id = static_cast<int>(expression());
      if (is_punct(",")) advance();
      script.strings[id] = string_value();
    }
    advance();
  }

  RcDialog dialog(int id) {
    RcDialog d;
    d.id = id;
    d.extended = is_word("DIALOGEX");
    advance();
    d.x = static_cast<int>(expression());
    expect(",");
    d.y = static_cast<int>(expression());
    expect(",");
    d.cx = static_cast<int>(expression());
    expect(",");
    d.cy = static_cast<int>(expression());
    while (!is_word("BEGIN") && tok_.kind != TokenKind::end) {
      if (is_word("STYLE")) {
        advance();
        d.style = bits(expression());
      } else if (is_word("EXSTYLE")) {
        advance();
        d.ex_style = bits(expression());
      } else if (is_word("CAPTION")) {
        advance();
        d.caption = string_value();
      } else if (is_word("FONT")) {
        advance();
        d.point_size = static_cast<int>(expression());
        expect(",");
        d.font_name = string_value();
        if (d.extended && is_punct(",")) {
          advance();
          d.weight = static_cast<int>(expression());
          expect(",");
          d.italic = expression() != 0;
          expect(",");
          d.charset = static_cast<int>(expression());
        }
      } else {
        fail("unsupported dialog option");
      }
    }
    advance();
    while (!is_word("END")) {
      if (tok_.kind == TokenKind::end) {
        fail("dialog without END");
        return d;
      }
      d.controls.push_back(control());
    }
    advance();
    return d;
  }

  // CONTROL text, id, class, style, x, y, cx, cy [, exstyle]
  RcControl control() {
    expect_word("CONTROL");
    RcControl c;
    c.text = string_value();
    expect(",");
    c.id = static_cast<int>(expression());
    expect(",");
    c.class_name = string_value();
    expect(",");
    c.style = bits(expression()) | platform_constant("WS_CHILD") | platform_constant("WS_VISIBLE");
    expect(",");
    c.x = static_cast<int>(expression());
    expect(",");
    c.y = static_cast<int>(expression());
    expect(",");
    c.cx = static_cast<int>(expression());
    expect(",");
    c.cy = static_cast<int>(expression());
    if (is_punct(",")) {
      advance();
      c.ex_style = bits(expression());
    }
    return c;
  }

  // The version record matters to the Windows build only: its statements
  // are read past up to the END that closes its outermost block.
  void skip_version_info() {
    while (!is_word("BEGIN")) {
      if (tok_.kind == TokenKind::end) return fail("VERSIONINFO without BEGIN");
      advance();
    }
    int depth = 0;
    do {
      if (tok_.kind == TokenKind::end) return fail("VERSIONINFO without END");
      if (is_word("BEGIN")) ++depth;
      if (is_word("END")) --depth;
      advance();
    } while (depth > 0);
  }

  Lexer lexer_;
  const std::map<std::string, std::int64_t>& defines_;
  Token tok_;
  std::string error_;

 public:
  // The first error of the lexer or the parser, if any.
  std::string error() const { return lexer_.error().empty() ? error_ : lexer_.error(); }
};

}  // namespace

std::optional<std::uint32_t> rc_builtin_constant(std::string_view name) { return find_platform_constant(name); }

RcParseResult parse_rc(std::string_view text, const RcIncludeReader& read_include) {
  RcParseResult result;
  std::map<std::string, std::int64_t> defines;
  Preprocessor pre(read_include, defines);
  std::string body = pre.run(text, 0);
  if (!pre.error().empty()) {
    result.error = pre.error();
    return result;
  }
  Parser parser(body, defines);
  RcScript script = parser.parse();
  if (std::string error = parser.error(); !error.empty()) {
    result.error = std::move(error);
  } else {
    result.script = std::move(script);
  }
  return result;
}

}  // namespace quarn::ui
