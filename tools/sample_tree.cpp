#include "tools/sample_tree.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "platform/fs.h"
#include "tools/pe_builder.h"

namespace fs = std::filesystem;

namespace quarn::sample {
namespace {

constexpr const char kSignature[] = "Concept Virus";

bool claimed_extension(const std::string& relative) {
  static const std::set<std::string> kClaimed = {"exe", "dll", "html", "htm", "asp", "eml", "nws"};
  auto slash = relative.rfind('/');
  auto dot = relative.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string ext = relative.substr(dot + 1);
  platform::lower_ansi(ext);
  return kClaimed.count(ext) != 0;
}

// A program that holds the signature but no host to restore.
std::string signed_program(const std::string& label, std::vector<Resource> resources = {}) {
  PeRecipe recipe;
  recipe.data = "dropped: " + label + " " + kSignature;
  recipe.resources = std::move(resources);
  return build_pe(recipe).bytes;
}

class TreeBuilder {
 public:
  explicit TreeBuilder(std::string prefix) : prefix_(std::move(prefix)) {}

  void add(const std::string& relative, std::string bytes, Outcome outcome, std::optional<std::string> expected,
           std::string what) {
    SampleFile f;
    f.relative = prefix_ + relative;
    f.original = std::move(bytes);
    f.outcome = outcome;
    switch (outcome) {
      case Outcome::cleaned: f.expected = std::move(expected); break;
      case Outcome::deleted: f.expected.reset(); break;
      default: f.expected = f.original; break;
    }
    f.claimed = claimed_extension(f.relative);
    f.what = std::move(what);
    files.push_back(std::move(f));
  }

  void kept(const std::string& relative, std::string bytes, std::string what) {
    add(relative, std::move(bytes), Outcome::untouched, std::nullopt, std::move(what));
  }

  std::vector<SampleFile> files;

 private:
  std::string prefix_;
};

void add_programs(TreeBuilder& t, std::size_t big_host_padding) {
  const std::string calc = host_program("calculator");
  t.add("Program Files/Calc/calc.exe", infected_program(calc), Outcome::cleaned, calc,
        "infected program (PE32): its host comes back");
  const std::string tool64 = host_program("64-bit tool", PeKind::pe32_plus);
  t.add("Program Files/Tools/tool64.exe", infected_program(tool64, PeKind::pe32_plus), Outcome::cleaned, tool64,
        "infected program (PE32+): its host comes back");
  const std::string plugin = host_program("plug-in library", PeKind::pe32, true);
  t.add("Program Files/Calc/plugin.dll", infected_program(plugin, PeKind::pe32, true), Outcome::cleaned, plugin,
        "infected library: its host comes back");
  const std::string app = host_program("app in a folder named riched");
  t.add("riched/app.exe", infected_program(app), Outcome::cleaned, app,
        "infected program in a folder named riched: folders are not dropped-copy names");

  // Several languages of RCDATA 102: the neutral one wins, then US English.
  const std::string english = host_program("english edition");
  const std::string german = host_program("german edition");
  PeRecipe multi;
  multi.data = kSignature;
  multi.resources = {{ResourceKey::of(kRtRcdata), ResourceKey::of(kHostProgramId), 0x0407, german},
                     {ResourceKey::of(kRtRcdata), ResourceKey::of(kHostProgramId), 0x0409, english}};
  t.add("Program Files/Editor/editor.exe", build_pe(multi).bytes, Outcome::cleaned, english,
        "infected program with hosts in German and US English: the US English one comes back");

  // A big host, so the signature lies behind the first wrap of the ring.
  std::string big_host = host_program("big program");
  big_host.append(big_host_padding, '\x90');
  PeRecipe big;
  big.resources = {{ResourceKey::of(kRtRcdata), ResourceKey::of(kHostProgramId), 0x0409, big_host}};
  big.overlay = kSignature;
  t.add("Program Files/Big/big.exe", build_pe(big).bytes, Outcome::cleaned, big_host,
        "big infected program (300 KB unless asked otherwise), signature at its very end");

  PeRecipe empty_host;
  empty_host.data = kSignature;
  empty_host.resources = {{ResourceKey::of(kRtRcdata), ResourceKey::of(kHostProgramId), 0, ""}};
  t.add("Program Files/Empty/empty.exe", build_pe(empty_host).bytes, Outcome::cleaned, std::string(),
        "infected program whose host is empty: it becomes an empty file");

  // Decoys: ID 102 under other types is not the host.
  t.add("Program Files/Decoy/decoy.exe",
        signed_program("decoy", {{ResourceKey::of(kRtDialog), ResourceKey::of(kHostProgramId), 0x0409, "dialog"},
                                 {ResourceKey::of(kRtString), ResourceKey::of(kHostProgramId), 0x0409, "strings"},
                                 {ResourceKey::of(kRtVersion), ResourceKey::of(kHostProgramId), 0x0409, "version"}}),
        Outcome::unchanged, std::nullopt, "signature, DIALOG/STRING/VERSION 102 but no RCDATA 102: left as it is");
  t.add("Program Files/Damaged/damaged.exe", std::string("This is no program. ") + kSignature + "\r\n", Outcome::error,
        std::nullopt, "signature in a file that is not a PE image: an error, left as it is");
}

void add_dropped_copies(TreeBuilder& t) {
  t.add("Windows/System32/riched20.dll", signed_program("riched20"), Outcome::deleted, std::nullopt,
        "dropped copy (name holds riched)");
  t.add("Windows/System32/RichEd32.DLL", signed_program("RichEd32"), Outcome::deleted, std::nullopt,
        "dropped copy, upper-case name");
  t.add("Windows/load.exe", signed_program("load"), Outcome::deleted, std::nullopt, "dropped copy load.exe");
  t.add("Windows/LOAD32.EXE", signed_program("load32"), Outcome::deleted, std::nullopt, "dropped copy LOAD32.EXE");
  t.add("Temp/xtmp.exe.dll", signed_program("xtmp"), Outcome::deleted, std::nullopt,
        "dropped copy (name holds tmp.exe)");
}

void add_program_near_misses(TreeBuilder& t) {
  t.add("Windows/myload.exe", signed_program("myload"), Outcome::unchanged, std::nullopt,
        "signature but not a dropped-copy name (myload.exe), no host: left as it is");
  t.add("Windows/load.exe.dll", signed_program("load.exe.dll"), Outcome::unchanged, std::nullopt,
        "signature but not a dropped-copy name (load.exe.dll), no host: left as it is");
  t.kept("Program Files/Calc/readme.exe", host_program("a clean program"), "clean program");
  t.kept("riched/clean.exe", host_program("clean in riched"), "clean program in a folder named riched");
  t.kept("Program Files/Tools/lower.exe", host_program("concept virus"),
         "holds \"concept virus\" in lower case: signatures are case-sensitive");
  t.kept("Program Files/Tools/partial.exe", host_program("partial") + "Concept Viru",
         "ends with a partial signature");
  t.kept("Program Files/Tools/notes.txt", std::string("Concept Virus, and a host: not a claimed extension.\n"),
         "signature in a text file: its extension is not claimed");
}

void add_pages(TreeBuilder& t) {
  const std::string index = clean_page("Home");
  t.add("site/index.htm", index + appended_block(), Outcome::cleaned, index, "infected page");
  const std::string about = clean_page("About", true);
  t.add("site/ABOUT.HTML", about + appended_block(0, true), Outcome::cleaned, about,
        "infected page with upper-case tags");
  const std::string cart = clean_page("Cart");
  t.add("site/shop/cart.asp", cart + appended_block(40), Outcome::cleaned, cart, "infected active page");
  t.kept("site/contact.html", clean_page("Contact"), "clean page");
  t.kept("site/popup.htm",
         clean_page("Popup") + "\r\n<!-- <script language=\"JavaScript\">window.open('x')</script> -->\r\n",
         "clean page that mentions window.open");
  // The page's own end lies more than 200 bytes before the file's end, so the
  // last 200 bytes hold only the block: nothing certain to cut.
  t.add("site/long.htm", clean_page("Long") + appended_block(300), Outcome::unchanged, std::nullopt,
        "page whose own </html> lies more than 200 bytes before its end: left as it is");
  t.kept("site/page.txt", clean_page("Text") + appended_block(), "infected page bytes under an unclaimed extension");
}

void add_mail(TreeBuilder& t) {
  t.add("Mail/Inbox/message.eml", "From: a@example.invalid\r\nSubject: hello\r\n\r\nHi.\r\n", Outcome::deleted,
        std::nullopt, "mail file: deleted whatever it holds");
  t.add("Mail/Sent/REPLY.EML", "From: b@example.invalid\r\n\r\nRe: hi\r\n", Outcome::deleted, std::nullopt,
        "mail file, upper-case name");
  t.add("News/comp.os.nws", "Newsgroups: comp.os\r\n\r\nPost.\r\n", Outcome::deleted, std::nullopt, "news file");
  t.kept("Mail/archive.emlx", "From: c@example.invalid\r\n\r\nKept.\r\n", "near miss: extension emlx");
}

}  // namespace

const char* log_word(Outcome outcome) {
  switch (outcome) {
    case Outcome::untouched: return nullptr;
    case Outcome::cleaned: return "cleaned";
    case Outcome::deleted: return "deleted";
    case Outcome::unchanged: return "scanned";
    case Outcome::error: return "error";
  }
  return nullptr;
}

std::string clean_page(const std::string& title, bool upper_case_tags) {
  std::string page = "<!DOCTYPE html>\r\n<html>\r\n<head><title>" + title + "</title></head>\r\n<body>\r\n<h1>" + title +
                     "</h1>\r\n<p>An ordinary page.</p>\r\n</body>\r\n</html>";
  if (upper_case_tags) {
    std::string upper;
    bool in_tag = false;
    for (char c : page) {
      if (c == '<') in_tag = true;
      if (c == '>') in_tag = false;
      upper += (in_tag && c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    page = upper;
  }
  return page;
}

std::string appended_block(std::size_t padding, bool upper_case_tags) {
  // The block must start with the case-sensitive signature to be found; only
  // its closing tags may change case.
  std::string block = "<html><script language=\"JavaScript\">window.open(\"http://example.invalid/";
  block.append(padding, 'x');
  block += "\");";
  block += upper_case_tags ? "</SCRIPT></HTML>" : "</script></html>";
  block += "\r\n";
  return block;
}

std::string SampleTree::path_of(const std::string& relative) const {
  std::string path = root;
  path += platform::separator();
  for (char c : relative) path += c == '/' ? platform::separator() : c;
  return path;
}

std::string SampleTree::path_of(const SampleFile& file) const { return path_of(file.relative); }

ExpectedCounts SampleTree::expected_counts() const {
  ExpectedCounts c;
  for (const auto& f : files) {
    if (!f.claimed) {
      ++c.skipped;
      continue;
    }
    ++c.scanned;
    c.bytes_read += f.original.size();
    if (f.outcome == Outcome::untouched) continue;
    ++c.infected;
    if (f.outcome == Outcome::cleaned) ++c.cleaned;
    if (f.outcome == Outcome::deleted) ++c.deleted;
    if (f.outcome == Outcome::error) ++c.errors;
  }
  c.directories = static_cast<std::int32_t>(folders.size());
  return c;
}

std::vector<std::string> SampleTree::expected_log_lines() const {
  std::vector<std::string> lines;
  for (const auto& f : files) {
    if (const char* word = log_word(f.outcome)) {
      lines.push_back(std::string(word) + ":  " + platform::log_text(path_of(f)) + "\r\n");
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

const SampleFile* SampleTree::find(const std::string& relative) const {
  for (const auto& f : files) {
    if (f.relative == relative) return &f;
  }
  return nullptr;
}

SampleTree write_sample_tree(const std::string& root, const SampleOptions& options) {
  std::error_code ec;
  if (fs::exists(root, ec) && !fs::is_empty(root, ec)) {
    throw std::runtime_error(root + " is not empty");
  }
  SampleTree tree;
  tree.root = root;
  const unsigned copies = std::max(1u, options.copies);
  for (unsigned i = 0; i < copies; ++i) {
    std::string prefix;
    if (copies > 1) {
      char name[32];
      std::snprintf(name, sizeof name, "set-%03u/", i + 1);
      prefix = name;
    }
    TreeBuilder t(prefix);
    add_programs(t, options.big_host_padding);
    add_dropped_copies(t);
    add_program_near_misses(t);
    add_pages(t);
    add_mail(t);
    for (auto& f : t.files) tree.files.push_back(std::move(f));
  }

  std::set<std::string> folders = {""};
  for (const auto& f : tree.files) {
    for (auto slash = f.relative.find('/'); slash != std::string::npos; slash = f.relative.find('/', slash + 1)) {
      folders.insert(f.relative.substr(0, slash));
    }
  }
  tree.folders.assign(folders.begin(), folders.end());

  for (const auto& folder : tree.folders) {
    fs::create_directories(fs::path(root) / fs::path(folder), ec);
    if (ec) throw std::runtime_error("cannot create " + folder + ": " + ec.message());
  }
  for (const auto& f : tree.files) {
    std::ofstream out(fs::path(root) / fs::path(f.relative), std::ios::binary | std::ios::trunc);
    out.write(f.original.data(), static_cast<std::streamsize>(f.original.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + f.relative);
  }
  return tree;
}

}  // namespace quarn::sample
