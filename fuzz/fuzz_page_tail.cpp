// Feeds any bytes to the page-tail analysis and to FindNoCase, and checks
// what they promise: a cut lies inside the tail at an "<html>" behind a
// "</html>", and FindNoCase's answer is the first case-blind match.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "remedies/html_remedy.h"

namespace {

bool ascii_equal(char a, char b) {
  auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
  return fold(static_cast<unsigned char>(a)) == fold(static_cast<unsigned char>(b));
}

bool matches_at(const std::string& text, std::size_t at, const std::string& pattern) {
  if (at > text.size() || pattern.size() > text.size() - at) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (!ascii_equal(text[at + i], pattern[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const quarn::remedies::TailVerdict verdict = quarn::remedies::analyse_tail(bytes);
  const std::string text(bytes.substr(0, bytes.find('\0') == std::string_view::npos ? bytes.size() : bytes.find('\0')));
  if (verdict.status == quarn::STATUS_CLEANED) {
    if (!matches_at(text, verdict.cut_at, "<html>")) __builtin_trap();
    if (text.find("</", 0) == std::string::npos || verdict.cut_at < 7) __builtin_trap();
  } else if (verdict.status != quarn::STATUS_SCANNED && verdict.status != quarn::STATUS_ERROR) {
    __builtin_trap();
  }

  // The first byte splits the rest into a pattern and a text.
  if (size == 0) return 0;
  const std::string rest(bytes.substr(1));
  const std::size_t split = data[0] % (rest.size() + 1);
  const std::string pattern = rest.substr(0, split).c_str();
  const std::string haystack = rest.substr(split).c_str();
  const auto found = quarn::FindNoCase(haystack.c_str(), pattern.c_str());
  std::size_t first = std::string::npos;
  for (std::size_t at = 0; at < haystack.size() && first == std::string::npos; ++at) {
    if (matches_at(haystack, at, pattern)) first = at;
  }
  if (found.has_value() != (first != std::string::npos)) __builtin_trap();
  if (found && *found != first) __builtin_trap();
  return 0;
}
