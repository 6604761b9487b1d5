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

// DOS header: e_magic opens it; e_lfanew is the file offset of the PE signature.
constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kLfanewOffset = 0x3C;

// The PE signature, then the COFF file header.
constexpr std::uint64_t kSignatureSize = 4;
constexpr std::uint64_t kFileHeaderSize = 20;
constexpr std::uint64_t kNumberOfSectionsOffset = 2;
constexpr std::uint64_t kSizeOfOptionalHeaderOffset = 16;

// Optional header. NumberOfRvaAndSizes lies further in PE32+ (wider fields
// before it); the data directories follow it, 8 bytes each.
constexpr std::uint64_t kOptionalMagicOffset = 0;
constexpr std::uint64_t kOptionalMagicSize = 2;
constexpr std::uint64_t kSizeOfHeadersOffset = 60;
constexpr std::uint64_t kNumberOfRvaOffsetPe32 = 92;
constexpr std::uint64_t kNumberOfRvaOffsetPe32Plus = 108;
constexpr std::uint64_t kNumberOfRvaSize = 4;
constexpr std::uint64_t kDataDirectorySize = 8;
constexpr std::uint64_t kDataDirectoryRvaOffset = 0;
constexpr std::uint32_t kResourceDirectoryIndex = 2;

// Section header.
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kVirtualSizeOffset = 8;
constexpr std::uint64_t kVirtualAddressOffset = 12;
constexpr std::uint64_t kSizeOfRawDataOffset = 16;
constexpr std::uint64_t kPointerToRawDataOffset = 20;

// Resource directory table, its entries, and the data entries at the leaves.
constexpr std::uint64_t kDirectoryHeaderSize = 16;
constexpr std::uint64_t kNumberOfNamedEntriesOffset = 12;
constexpr std::uint64_t kNumberOfIdEntriesOffset = 14;
constexpr std::uint64_t kDirectoryEntrySize = 8;
constexpr std::uint64_t kEntryNameOffset = 0;
constexpr std::uint64_t kEntryTargetOffset = 4;  // OffsetToData: a subdirectory or a data entry
constexpr std::uint64_t kDataEntrySize = 16;
constexpr std::uint64_t kDataRvaOffset = 0;
constexpr std::uint64_t kDataSizeOffset = 4;
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

Section section_at(const unsigned char* header) {
  return {u32_at(header + kVirtualAddressOffset), u32_at(header + kVirtualSizeOffset),
          u32_at(header + kSizeOfRawDataOffset), u32_at(header + kPointerToRawDataOffset) & kRawPointerMask};
}

struct DirectoryEntry {
  std::uint32_t name;
  std::uint32_t offset;
};

// Where NumberOfRvaAndSizes lies in the optional header with this Magic;
// nothing for a Magic that is neither PE32 nor PE32+.
std::optional<std::uint64_t> number_of_rva_offset(std::uint16_t magic) {
  switch (magic) {
    case kPe32Magic: return kNumberOfRvaOffsetPe32;
    case kPe32PlusMagic: return kNumberOfRvaOffsetPe32Plus;
    default: return std::nullopt;
  }
}

// What the headers say; offsets are file offsets.
struct ImageHeaders {
  std::uint64_t size_of_headers;
  std::uint64_t section_table;
  std::uint16_t section_count;
  std::uint32_t number_of_rva;
  std::uint64_t data_directories;  // DataDirectory[0]
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
  std::optional<std::uint32_t> read_u32(std::uint64_t offset) {
    std::array<unsigned char, 4> field;
    if (!read(offset, field.data(), field.size())) return std::nullopt;
    return u32_at(field.data());
  }
  // The DOS, PE and optional headers' fields; nothing when they do not
  // describe an image or do not all lie in the file.
  std::optional<ImageHeaders> read_headers();
  // Fills sections_; false when the table does not lie in the file whole.
  bool read_section_table(std::uint64_t table, std::uint16_t count);
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
  // Walks the tree from root_rva_: type, name, then language.
  ResourceLookup walk(std::uint32_t type, std::uint32_t name);
  // The resource that the language entry leaf leads to through its data entry.
  ResourceLookup resource_data(const DirectoryEntry& leaf);

  ByteSource& source_;
  std::uint64_t size_;
  std::uint64_t size_of_headers_ = 0;
  std::uint64_t root_rva_ = 0;
  std::vector<Section> sections_;
};

std::optional<ImageHeaders> Reader::read_headers() {
  std::array<unsigned char, kDosHeaderSize> dos;
  if (!read(0, dos.data(), dos.size()) || u16_at(dos.data()) != kDosMagic) return std::nullopt;
  // e_lfanew is unsigned, and may point back into the DOS header itself.
  const std::uint64_t pe = u32_at(&dos[kLfanewOffset]);

  std::array<unsigned char, kSignatureSize + kFileHeaderSize> nt;
  if (!read(pe, nt.data(), nt.size()) || u32_at(nt.data()) != kPeSignature) return std::nullopt;
  const unsigned char* file_header = &nt[kSignatureSize];
  const std::uint64_t optional = pe + nt.size();

  std::array<unsigned char, kOptionalMagicSize> magic;
  if (!read(optional + kOptionalMagicOffset, magic.data(), magic.size())) return std::nullopt;
  const auto number_of_rva_at = number_of_rva_offset(u16_at(magic.data()));
  if (!number_of_rva_at) return std::nullopt;
  const auto size_of_headers = read_u32(optional + kSizeOfHeadersOffset);
  if (!size_of_headers) return std::nullopt;
  const auto number_of_rva = read_u32(optional + *number_of_rva_at);
  if (!number_of_rva) return std::nullopt;

  // The section table follows the optional header at its declared size.
  return ImageHeaders{*size_of_headers, optional + u16_at(file_header + kSizeOfOptionalHeaderOffset),
                      u16_at(file_header + kNumberOfSectionsOffset), *number_of_rva,
                      optional + *number_of_rva_at + kNumberOfRvaSize};
}

bool Reader::read_section_table(std::uint64_t table, std::uint16_t count) {
  const std::uint64_t table_bytes = std::uint64_t{count} * kSectionHeaderSize;
  if (!in_bounds(table, table_bytes, size_)) return false;
  std::vector<unsigned char> raw_table(static_cast<std::size_t>(table_bytes));
  if (!read(table, raw_table.data(), table_bytes)) return false;
  sections_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) sections_.push_back(section_at(&raw_table[i * kSectionHeaderSize]));
  return true;
}

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
  const std::uint64_t count =
      std::uint64_t{u16_at(&header[kNumberOfNamedEntriesOffset])} + u16_at(&header[kNumberOfIdEntriesOffset]);
  // The whole entry array must lie in the file before it is read or walked.
  const std::uint64_t bytes = count * kDirectoryEntrySize;
  const auto at = map(rva + kDirectoryHeaderSize, bytes);
  if (!at) return std::nullopt;
  std::vector<unsigned char> raw(static_cast<std::size_t>(bytes));
  if (!read(*at, raw.data(), bytes)) return std::nullopt;
  std::vector<DirectoryEntry> entries(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const unsigned char* entry = &raw[i * kDirectoryEntrySize];
    entries[i] = {u32_at(entry + kEntryNameOffset), u32_at(entry + kEntryTargetOffset)};
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
  const std::optional<ImageHeaders> image = read_headers();
  if (!image) return result;
  size_of_headers_ = image->size_of_headers;
  if (!read_section_table(image->section_table, image->section_count)) return result;

  result.status = LookupStatus::no_resource;
  if (image->number_of_rva <= kResourceDirectoryIndex) return result;
  std::array<unsigned char, kDataDirectorySize> resource_directory;
  const std::uint64_t directory_at = image->data_directories + kDataDirectorySize * kResourceDirectoryIndex;
  if (!read(directory_at, resource_directory.data(), resource_directory.size())) {
    result.status = LookupStatus::not_an_image;
    return result;
  }
  root_rva_ = u32_at(&resource_directory[kDataDirectoryRvaOffset]);
  if (root_rva_ == 0) return result;
  return walk(type, name);
}

ResourceLookup Reader::walk(std::uint32_t type, std::uint32_t name) {
  // Type and name levels point at subdirectories; the language level at
  // data entries. The depth is fixed, so no offset can make the walk loop.
  ResourceLookup result;
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
  return resource_data(*language_entry);
}

ResourceLookup Reader::resource_data(const DirectoryEntry& leaf) {
  ResourceLookup result;
  result.status = LookupStatus::malformed;
  std::array<unsigned char, kDataEntrySize> data_entry;
  if (!read_rva(root_rva_ + leaf.offset, data_entry.data(), data_entry.size())) return result;
  const std::uint32_t data_rva = u32_at(&data_entry[kDataRvaOffset]);
  const std::uint32_t data_size = u32_at(&data_entry[kDataSizeOffset]);
  result.language = static_cast<std::uint16_t>(leaf.name);
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
