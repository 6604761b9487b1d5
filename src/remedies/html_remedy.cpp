#include "remedies/html_remedy.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/system_error.h"

namespace quarn {
namespace {

constexpr const char kPageEnd[] = "</html>";
constexpr const char kBlockStart[] = "<html>";
constexpr const char kScriptTag[] = "<script language=\"JavaScript\">";
constexpr const char kScriptEnd[] = "</script>";
constexpr const char kWindowOpen[] = "window.open";

// Folds as unsigned bytes: only A-Z change, whatever the locale says.
unsigned char fold(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// FindNoCase on the text from start on, as a position in the whole text.
std::optional<std::size_t> find_from(const std::string& text, std::size_t start, const char* pattern) {
  auto found = FindNoCase(text.c_str() + start, pattern);
  if (!found) return std::nullopt;
  return start + *found;
}

}  // namespace

std::optional<std::size_t> FindNoCase(const char* pszText, const char* pszPattern) {
  for (std::size_t start = 0; pszText[start] != '\0'; ++start) {
    std::size_t i = 0;
    while (pszPattern[i] != '\0' && pszText[start + i] != '\0' && fold(pszPattern[i]) == fold(pszText[start + i])) {
      ++i;
    }
    if (pszPattern[i] == '\0') return start;
  }
  return std::nullopt;
}

namespace remedies {
namespace {

ScanStatus changed_meanwhile() {
  platform::record_error("changed", "the page changed while it was being cleaned");
  return STATUS_ERROR;
}

struct PageInspection {
  ScanStatus status = STATUS_ERROR;
  std::uint64_t length = 0;      // the page's length when its tail was read
  std::uint64_t cut_length = 0;  // with STATUS_CLEANED: the page's new length
};

// Reads the tail once and decides. Offsets are 64-bit, so a page over 4 GiB
// is cut at the right place.
PageInspection inspect(platform::File& file, RemedyIo& io) {
  PageInspection in;
  auto length = io.size(file);
  if (!length) return in;
  in.length = *length;
  const std::uint64_t wanted = std::min<std::uint64_t>(*length, kTailLength);
  const std::uint64_t offset = *length - wanted;
  std::array<char, kTailLength> tail;
  auto got = io.read_at(file, offset, tail.data(), static_cast<std::size_t>(wanted));
  if (!got) return in;
  if (*got == 0) {
    in.status = changed_meanwhile();
    return in;
  }
  TailVerdict verdict = analyse_tail(std::string_view(tail.data(), *got));
  in.status = verdict.status;
  if (in.status == STATUS_ERROR) {
    platform::record_error("damaged", "the page's end holds no whole page and appended block");
  }
  // The tail's first byte lies at offset, even when the read came back short.
  in.cut_length = offset + verdict.cut_at;
  return in;
}

}  // namespace

TailVerdict analyse_tail(std::string_view tail) {
  // The searched text ends at the first NUL; std::string keeps it terminated.
  const std::string text(tail.substr(0, std::min(tail.find('\0'), tail.size())));
  TailVerdict v;
  auto page_end = FindNoCase(text.c_str(), kPageEnd);
  if (!page_end) return v;  // not a page's tail at all
  auto block = find_from(text, *page_end, kBlockStart);
  if (!block) {
    v.status = STATUS_SCANNED;  // the page ends normally
    return v;
  }
  auto block_end = find_from(text, *block, kPageEnd);
  if (!block_end) return v;  // a block begins but does not end in the file
  // Each marker must begin inside the block: at or before its "</html>".
  for (const char* marker : {kScriptTag, kScriptEnd, kWindowOpen}) {
    auto at = find_from(text, *block, marker);
    if (!at || *at > *block_end) {
      v.status = STATUS_SCANNED;
      return v;
    }
  }
  v.status = STATUS_CLEANED;
  v.cut_at = *block;
  return v;
}

ScanStatus clean_page(const platform::FileAt& at, RemedyIo& io) {
  // Opened by name in its folder without following a link, so a page
  // swapped for a link cannot make the cut land in some other file. It is
  // read first and opened for writing only if it is to be cut, so that a
  // page that stays as it is can be judged on read-only media too.
  PageInspection in;
  std::optional<platform::FileIdentity> inspected;
  {
    auto reader = io.open_read(at);
    if (!reader) return STATUS_ERROR;
    in = inspect(*reader, io);
    if (in.status != STATUS_CLEANED) return in.status;
    inspected = reader->identity();
  }  // closed: Win32 would refuse the writer while a reader shares no writes
  auto file = io.open_read_write(at);
  if (!file) return STATUS_ERROR;
  if (!inspected || file->identity() != inspected) return changed_meanwhile();
  // Another program may have replaced, cut or grown the page since its tail
  // was read: cutting it then could extend it with zeros or cut the wrong
  // bytes.
  const auto length_now = io.size(*file);
  if (!length_now) return STATUS_ERROR;
  if (*length_now != in.length) return changed_meanwhile();
  if (!io.set_length(*file, in.cut_length)) return STATUS_ERROR;
  // The cut must be on the disk before the page counts as cleaned.
  if (!io.flush_to_disk(*file)) return STATUS_ERROR;
  if (!io.close(*file)) return STATUS_ERROR;
  return STATUS_CLEANED;
}

RemedyForecast forecast_page(const platform::FileAt& at, RemedyIo& io) {
  auto file = io.open_read(at);
  if (!file) return RemedyForecast{STATUS_ERROR};
  const PageInspection in = inspect(*file, io);
  if (in.status != STATUS_CLEANED) return RemedyForecast{in.status};
  return RemedyForecast{STATUS_CLEANED, 0, in.cut_length};
}

ScanStatus preview_page(const platform::FileAt& at, RemedyIo& io) { return forecast_page(at, io).status; }

}  // namespace remedies
}  // namespace quarn
