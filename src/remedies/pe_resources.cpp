#include "remedies/pe_resources.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace quarn::pe {
namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;

constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kLfanewOffset = 0x3C;
constexpr std::uint64_t kFileHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;

// Optional-header field offsets that differ between PE32 and PE32+.
constexpr std::uint64_t kSizeOfHeadersOffset = 60;
constexpr std::uint64_t kNumberOfRvaOffsetPe32 = 92;
constexpr std::uint64_t kNumberOfRvaOffsetPe32Plus = 108;
constexpr std::uint32_t kResourceDirectoryIndex = 2;

constexpr std::uint64_t kDirectoryHeaderSize = 16;
constexpr std::uint64_t kDirectoryEntrySize = 8;
constexpr std::uint64_t kDataEntrySize = 16;
constexpr std::uint32_t kNameIsStringFlag = 0x80000000u;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr std::uint32_t kOffsetMask = 0x7FFFFFFFu;

// The Windows loader reads a section from its raw pointer rounded down to
// 512 bytes, whatever FileAlignment says.
constexpr std::uint32_t kRawPointerMask = ~std::uint32_t{0x1FF};

constexpr std::uint16_t kLanguageNeutral = 0x0000;
constexpr std::uint16_t kLanguageUsEnglish = 0x0409;

// The one bounds primitive: [off, off + len) lies within [0, size).
constexpr bool in_bounds(std::uint64_t off, std::uint64_t len, std::uint64_t size) {
  return off <= size && len <= size - off;
}

std::uint16_t u16_at(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t u32_at(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t virtual_size;
  std::uint32_t raw_size;
  std::uint32_t raw_pointer;  // already rounded down
};

struct DirectoryEntry {
  std::uint32_t name;
  std::uint32_t offset;
};

class Reader {
 public:
  explicit Reader(ByteSource& source) : source_(source), size_(source.size()) {}

  // Reads len bytes at a file offset after checking them against the size.
  bool read(std::uint64_t offset, void* out, std::uint64_t len) {
    if (!in_bounds(offset, len, size_)) return false;
    return source_.read(offset, out, static_cast<std::size_t>(len));
  }

  ResourceLookup find(std::uint32_t type, std::uint32_t name);

 private:
  // The file offset of the len bytes at rva, when they all lie in the file:
  // in the raw data of the first section that holds rva, or in the headers.
  std::optional<std::uint64_t> map(std::uint64_t rva, std::uint64_t len) const;
  bool read_rva(std::uint64_t rva, void* out, std::uint64_t len) {
    auto offset = map(rva, len);
    return offset && read(*offset, out, len);
  }
  // The entries of the directory at root + offset; nothing when the
  // directory or its entries do not lie in the file.
  std::optional<std::vector<DirectoryEntry>> directory(std::uint32_t offset);
  // The offset of the subdirectory that the entry with exactly id leads
  // to, in the directory at offset; nothing, with the reason in failure,
  // when there is no such entry or it breaks the format.
  std::optional<std::uint32_t> subdirectory(std::uint32_t offset, std::uint32_t id, LookupStatus& failure);

  ByteSource& source_;
  std::uint64_t size_;
  std::uint64_t size_of_headers_ = 0;
  std::uint64_t root_rva_ = 0;
  std::vector<Section> sections_;
};

std::optional<std::uint64_t> Reader::map(std::uint64_t rva, std::uint64_t len) const {
  for (const Section& s : sections_) {
    // A section spans its virtual size; a zero virtual size means the raw size.
    const std::uint64_t span = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
    if (rva < s.virtual_address || rva - s.virtual_address >= span) continue;
    const std::uint64_t delta = rva - s.virtual_address;
    // Bytes past the raw data (or past the span) are zero-filled memory, not
    // file bytes: they cannot be read from the file.
    const std::uint64_t in_file = std::min<std::uint64_t>(s.raw_size, span);
    if (!in_bounds(delta, len, in_file)) return std::nullopt;
    const std::uint64_t offset = std::uint64_t{s.raw_pointer} + delta;
    if (!in_bounds(offset, len, size_)) return std::nullopt;
    return offset;
  }
  if (in_bounds(rva, len, size_of_headers_) && in_bounds(rva, len, size_)) return rva;
  return std::nullopt;
}

std::optional<std::vector<DirectoryEntry>> Reader::directory(std::uint32_t offset) {
  const std::uint64_t rva = root_rva_ + (offset & kOffsetMask);
  std::array<unsigned char, kDirectoryHeaderSize> header;
  if (!read_rva(rva, header.data(), header.size())) return std::nullopt;
  const std::uint64_t count = std::uint64_t{u16_at(&header[12])} + u16_at(&header[14]);
  // The whole entry array must lie in the file before it is read or walked.
  const std::uint64_t bytes = count * kDirectoryEntrySize;
  const auto at = map(rva + kDirectoryHeaderSize, bytes);
  if (!at) return std::nullopt;
  std::vector<unsigned char> raw(static_cast<std::size_t>(bytes));
  if (!read(*at, raw.data(), bytes)) return std::nullopt;
  std::vector<DirectoryEntry> entries(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i] = {u32_at(&raw[i * kDirectoryEntrySize]), u32_at(&raw[i * kDirectoryEntrySize + 4])};
  }
  return entries;
}

// The first ID entry whose name is exactly id; named entries never match.
const DirectoryEntry* find_id(const std::vector<DirectoryEntry>& entries, std::uint32_t id) {
  for (const auto& e : entries) {
    if ((e.name & kNameIsStringFlag) == 0 && e.name == id) return &e;
  }
  return nullptr;
}

std::optional<std::uint32_t> Reader::subdirectory(std::uint32_t offset, std::uint32_t id, LookupStatus& failure) {
  failure = LookupStatus::malformed;
  auto entries = directory(offset);
  if (!entries) return std::nullopt;
  const DirectoryEntry* entry = find_id(*entries, id);
  if (entry == nullptr) {
    failure = LookupStatus::no_resource;
    return std::nullopt;
  }
  if ((entry->offset & kSubdirectoryFlag) == 0) return std::nullopt;
  return entry->offset;
}

const DirectoryEntry* choose_language(const std::vector<DirectoryEntry>& entries) {
  if (const auto* e = find_id(entries, kLanguageNeutral)) return e;
  if (const auto* e = find_id(entries, kLanguageUsEnglish)) return e;
  for (const auto& e : entries) {
    if ((e.name & kNameIsStringFlag) == 0) return &e;
  }
  return nullptr;
}

ResourceLookup Reader::find(std::uint32_t type, std::uint32_t name) {
  ResourceLookup result;
  result.status = LookupStatus::not_an_image;

  std::array<unsigned char, kDosHeaderSize> dos;
  if (!read(0, dos.data(), dos.size()) || u16_at(dos.data()) != kDosMagic) return result;
  // e_lfanew is unsigned, and may point back into the DOS header itself.
  const std::uint64_t pe = u32_at(&dos[kLfanewOffset]);

  std::array<unsigned char, 4 + kFileHeaderSize> nt;
  if (!read(pe, nt.data(), nt.size()) || u32_at(nt.data()) != kPeSignature) return result;
  const std::uint16_t section_count = u16_at(&nt[4 + 2]);
  const std::uint16_t optional_size = u16_at(&nt[4 + 16]);
  const std::uint64_t optional = pe + nt.size();

  std::array<unsigned char, 2> magic;
  if (!read(optional, magic.data(), magic.size())) return result;
  std::uint64_t number_of_rva_at;
  switch (u16_at(magic.data())) {
    case kPe32Magic: number_of_rva_at = kNumberOfRvaOffsetPe32; break;
    case kPe32PlusMagic: number_of_rva_at = kNumberOfRvaOffsetPe32Plus; break;
    default: return result;
  }
  std::array<unsigned char, 4> field;
  if (!read(optional + kSizeOfHeadersOffset, field.data(), field.size())) return result;
  size_of_headers_ = u32_at(field.data());
  if (!read(optional + number_of_rva_at, field.data(), field.size())) return result;
  const std::uint32_t number_of_rva = u32_at(field.data());

  // The section table follows the optional header at its declared size and
  // must lie in the file whole.
  const std::uint64_t table = optional + optional_size;
  const std::uint64_t table_bytes = std::uint64_t{section_count} * kSectionHeaderSize;
  if (!in_bounds(table, table_bytes, size_)) return result;
  std::vector<unsigned char> raw_table(static_cast<std::size_t>(table_bytes));
  if (!read(table, raw_table.data(), table_bytes)) return result;
  sections_.reserve(section_count);
  for (std::size_t i = 0; i < section_count; ++i) {
    const unsigned char* s = &raw_table[i * kSectionHeaderSize];
    sections_.push_back({u32_at(s + 12), u32_at(s + 8), u32_at(s + 16), u32_at(s + 20) & kRawPointerMask});
  }

  result.status = LookupStatus::no_resource;
  if (number_of_rva <= kResourceDirectoryIndex) return result;
  std::array<unsigned char, 8> data_directory;
  const std::uint64_t directory_at = optional + number_of_rva_at + 4 + 8 * std::uint64_t{kResourceDirectoryIndex};
  if (!read(directory_at, data_directory.data(), data_directory.size())) {
    result.status = LookupStatus::not_an_image;
    return result;
  }
  root_rva_ = u32_at(data_directory.data());
  if (root_rva_ == 0) return result;

  // Type and name levels point at subdirectories; the language level at
  // data entries. The depth is fixed, so no offset can make the walk loop.
  auto names_at = subdirectory(0, type, result.status);
  if (!names_at) return result;
  auto languages_at = subdirectory(*names_at, name, result.status);
  if (!languages_at) return result;

  result.status = LookupStatus::malformed;
  auto languages = directory(*languages_at);
  if (!languages) return result;
  const DirectoryEntry* language_entry = choose_language(*languages);
  if (language_entry == nullptr) {
    result.status = LookupStatus::no_resource;
    return result;
  }
  if ((language_entry->offset & kSubdirectoryFlag) != 0) return result;

  std::array<unsigned char, kDataEntrySize> data_entry;
  if (!read_rva(root_rva_ + language_entry->offset, data_entry.data(), data_entry.size())) return result;
  const std::uint32_t data_rva = u32_at(data_entry.data());
  const std::uint32_t data_size = u32_at(&data_entry[4]);
  result.language = static_cast<std::uint16_t>(language_entry->name);
  result.size = data_size;
  if (data_size == 0) {
    result.status = LookupStatus::found;
    return result;
  }
  auto offset = map(data_rva, data_size);
  if (!offset) {
    result.status = LookupStatus::outside_file;
    result.size = 0;
    return result;
  }
  result.offset = *offset;
  result.status = LookupStatus::found;
  return result;
}

}  // namespace

bool MemorySource::read(std::uint64_t offset, void* out, std::size_t len) {
  if (!in_bounds(offset, len, bytes_.size())) return false;
  if (len != 0) std::memcpy(out, bytes_.data() + offset, len);
  return true;
}

ResourceLookup find_resource(ByteSource& source, std::uint32_t type, std::uint32_t name) {
  return Reader(source).find(type, name);
}

}  // namespace quarn::pe
