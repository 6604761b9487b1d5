#include "tools/pe_builder.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>

namespace quarn::sample {
namespace {

// DOS header. The stub between it and the PE signature is left empty.
constexpr std::uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr std::uint32_t kDosHeaderSize = 0x40;
constexpr std::uint32_t kLfarlcOffset = 0x18;  // e_lfarlc: where a DOS relocation table would start
constexpr std::uint32_t kLfanewOffset = 0x3C;  // e_lfanew: the PE signature's file offset
constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint32_t kSignatureSize = 4;

// COFF file header.
constexpr std::uint32_t kFileHeaderSize = 20;
constexpr std::uint32_t kMachineOffset = 0;
constexpr std::uint32_t kNumberOfSectionsOffset = 2;
constexpr std::uint32_t kSizeOfOptionalHeaderOffset = 16;
constexpr std::uint32_t kCharacteristicsOffset = 18;
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kLargeAddressAware = 0x0020;
constexpr std::uint16_t k32BitMachine = 0x0100;
constexpr std::uint16_t kDllImage = 0x2000;

// Optional header. PE32+ drops BaseOfData and widens ImageBase and the four
// stack and heap sizes to 8 bytes, which moves NumberOfRvaAndSizes on.
constexpr std::uint32_t kOptionalHeaderSizePe32 = 224;
constexpr std::uint32_t kOptionalHeaderSizePe32Plus = 240;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kMagicOffset = 0;
constexpr std::uint32_t kMajorLinkerVersionOffset = 2;
constexpr std::uint32_t kMinorLinkerVersionOffset = 3;
constexpr std::uint32_t kSizeOfCodeOffset = 4;
constexpr std::uint32_t kAddressOfEntryPointOffset = 16;
constexpr std::uint32_t kBaseOfCodeOffset = 20;
constexpr std::uint32_t kBaseOfDataOffset = 24;  // PE32 only
constexpr std::uint32_t kImageBaseOffsetPe32 = 28;
constexpr std::uint32_t kImageBaseOffsetPe32Plus = 24;
constexpr std::uint32_t kSectionAlignmentOffset = 32;
constexpr std::uint32_t kFileAlignmentOffset = 36;
constexpr std::uint32_t kMajorOperatingSystemVersionOffset = 40;
constexpr std::uint32_t kMajorSubsystemVersionOffset = 48;
constexpr std::uint32_t kSizeOfImageOffset = 56;
constexpr std::uint32_t kSizeOfHeadersOffset = 60;
constexpr std::uint32_t kSubsystemOffset = 68;
constexpr std::uint32_t kSizeOfStackReserveOffset = 72;  // then StackCommit, HeapReserve, HeapCommit
constexpr std::uint32_t kNumberOfRvaOffsetPe32 = 92;
constexpr std::uint32_t kNumberOfRvaOffsetPe32Plus = 108;
constexpr std::uint32_t kNumberOfRvaSize = 4;
constexpr std::uint32_t kDataDirectories = 16;
constexpr std::uint32_t kDataDirectorySize = 8;
constexpr std::uint32_t kDataDirectoryRvaOffset = 0;
constexpr std::uint32_t kDataDirectorySizeOffset = 4;
constexpr std::uint32_t kResourceDirectoryIndex = 2;

constexpr std::uint8_t kLinkerMajor = 2;  // linker version 2.40
constexpr std::uint8_t kLinkerMinor = 40;
constexpr std::uint16_t kOperatingSystemMajor = 4;
constexpr std::uint16_t kSubsystemMajor = 4;
constexpr std::uint16_t kSubsystemWindowsGui = 2;
constexpr std::uint32_t kImageBaseExe32 = 0x00400000u;
constexpr std::uint32_t kImageBaseDll32 = 0x10000000u;
constexpr std::uint64_t kImageBaseExe64 = 0x140000000ull;
constexpr std::uint64_t kImageBaseDll64 = 0x180000000ull;
// SizeOfStackReserve, SizeOfStackCommit, SizeOfHeapReserve, SizeOfHeapCommit.
constexpr std::array<std::uint32_t, 4> kStackAndHeap = {0x200000, 0x1000, 0x100000, 0x1000};

// Section header.
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kSectionNameOffset = 0;
constexpr std::uint32_t kVirtualSizeOffset = 8;
constexpr std::uint32_t kVirtualAddressOffset = 12;
constexpr std::uint32_t kSizeOfRawDataOffset = 16;
constexpr std::uint32_t kPointerToRawDataOffset = 20;
constexpr std::uint32_t kSectionCharacteristicsOffset = 36;
constexpr std::uint32_t kContainsCode = 0x00000020u;
constexpr std::uint32_t kContainsInitializedData = 0x00000040u;
constexpr std::uint32_t kMemoryExecute = 0x20000000u;
constexpr std::uint32_t kMemoryRead = 0x40000000u;
constexpr std::uint32_t kMemoryWrite = 0x80000000u;

// Resource directory table, its entries, and the data entries at the leaves.
constexpr std::uint32_t kDirectoryHeaderSize = 16;
constexpr std::uint32_t kNumberOfNamedEntriesOffset = 12;
constexpr std::uint32_t kNumberOfIdEntriesOffset = 14;
constexpr std::uint32_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kEntryNameOffset = 0;
constexpr std::uint32_t kEntryTargetOffset = 4;
constexpr std::uint32_t kDataEntrySize = 16;
constexpr std::uint32_t kDataRvaOffset = 0;
constexpr std::uint32_t kDataSizeOffset = 4;
constexpr std::uint32_t kNameFlag = 0x80000000u;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr std::uint32_t kResourceDataAlignment = 8;

std::uint32_t align_up(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Orders keys as the format asks: names first, then IDs ascending.
struct KeyLess {
  bool operator()(const ResourceKey& a, const ResourceKey& b) const {
    if (a.is_named() != b.is_named()) return a.is_named();
    if (a.is_named()) return a.name < b.name;
    return a.id < b.id;
  }
};

// type -> name -> [(language, resource index)], languages ascending and
// otherwise in the order given.
using Leaves = std::vector<std::pair<std::uint16_t, std::size_t>>;
using Names = std::map<ResourceKey, Leaves, KeyLess>;
using ResourceTree = std::map<ResourceKey, Names, KeyLess>;

ResourceTree resource_tree(const std::vector<Resource>& resources) {
  ResourceTree tree;
  for (std::size_t i = 0; i < resources.size(); ++i) {
    tree[resources[i].type][resources[i].name].emplace_back(resources[i].language, i);
  }
  for (auto& [type, names] : tree) {
    for (auto& [name, leaves] : names) {
      std::stable_sort(leaves.begin(), leaves.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
    }
  }
  return tree;
}

std::uint32_t directory_size(std::size_t entries) {
  return kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint32_t>(entries);
}

// The bytes that all the directories take, so every later part has a known offset.
std::uint32_t directory_area_size(const ResourceTree& tree) {
  std::uint32_t size = directory_size(tree.size());
  for (const auto& [type, names] : tree) {
    size += directory_size(names.size());
    for (const auto& [name, leaves] : names) size += directory_size(leaves.size());
  }
  return size;
}

template <typename KeyedMap>
void put_directory_header(std::string& out, std::uint32_t at, const KeyedMap& entries) {
  const auto named = static_cast<std::uint16_t>(
      std::count_if(entries.begin(), entries.end(), [](const auto& kv) { return kv.first.is_named(); }));
  put_u16(out, at + kNumberOfNamedEntriesOffset, named);
  put_u16(out, at + kNumberOfIdEntriesOffset, static_cast<std::uint16_t>(entries.size() - named));
}

void put_entry(std::string& out, std::uint32_t at, std::uint32_t name, std::uint32_t target) {
  put_u32(out, at + kEntryNameOffset, name);
  put_u32(out, at + kEntryTargetOffset, target);
}

// Writes the directories breadth first: the root, then each type's
// directory of names, then each name's directory of languages. Name strings
// go to the end of the bytes as they are first met, each written once.
class TreeWriter {
 public:
  TreeWriter(ResourceSection& out, std::uint32_t first_subdirectory, std::uint32_t first_data_entry)
      : out_(out), bytes_(out.bytes), next_dir_(first_subdirectory), next_entry_(first_data_entry) {}

  void write(const ResourceTree& tree) {
    put_directory_header(bytes_, 0, tree);
    std::uint32_t slot = kDirectoryHeaderSize;
    std::vector<std::pair<std::uint32_t, const Names*>> type_dirs;
    for (const auto& [type, names] : tree) {
      put_entry(bytes_, slot, key_field(type), kSubdirectoryFlag | next_dir_);
      type_dirs.emplace_back(next_dir_, &names);
      next_dir_ += directory_size(names.size());
      slot += kDirectoryEntrySize;
    }
    for (const auto& [type_dir, names] : type_dirs) write_names(type_dir, *names);
  }

 private:
  void write_names(std::uint32_t dir, const Names& names) {
    put_directory_header(bytes_, dir, names);
    std::uint32_t slot = dir + kDirectoryHeaderSize;
    for (const auto& [name, leaves] : names) {
      put_entry(bytes_, slot, key_field(name), kSubdirectoryFlag | next_dir_);
      write_languages(next_dir_, leaves);
      next_dir_ += directory_size(leaves.size());
      slot += kDirectoryEntrySize;
    }
  }

  // Languages are IDs only; each leads to the next data entry.
  void write_languages(std::uint32_t dir, const Leaves& leaves) {
    put_u16(bytes_, dir + kNumberOfNamedEntriesOffset, 0);
    put_u16(bytes_, dir + kNumberOfIdEntriesOffset, static_cast<std::uint16_t>(leaves.size()));
    std::uint32_t slot = dir + kDirectoryHeaderSize;
    for (const auto& [language, index] : leaves) {
      put_entry(bytes_, slot, language, next_entry_);
      out_.data_entry_offsets[index] = next_entry_;
      next_entry_ += kDataEntrySize;
      slot += kDirectoryEntrySize;
    }
  }

  std::uint32_t key_field(const ResourceKey& key) {
    return key.is_named() ? (kNameFlag | string_offset(key.name)) : key.id;
  }

  // A length-prefixed UTF-16 string.
  std::uint32_t string_offset(const std::u16string& text) {
    auto found = strings_.find(text);
    if (found != strings_.end()) return found->second;
    const auto at = static_cast<std::uint32_t>(bytes_.size());
    put_u16(bytes_, at, static_cast<std::uint16_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) put_u16(bytes_, at + 2 + 2 * i, static_cast<std::uint16_t>(text[i]));
    strings_.emplace(text, at);
    return at;
  }

  ResourceSection& out_;
  std::string& bytes_;
  std::map<std::u16string, std::uint32_t> strings_;
  std::uint32_t next_dir_;
  std::uint32_t next_entry_;
};

// The data, each piece 8-aligned, and the data entries pointing at it.
void write_resource_data(const std::vector<Resource>& resources, std::uint32_t section_rva, ResourceSection& out) {
  std::string& b = out.bytes;
  for (std::size_t i = 0; i < resources.size(); ++i) {
    b.resize(align_up(static_cast<std::uint32_t>(b.size()), kResourceDataAlignment), '\0');
    const auto at = static_cast<std::uint32_t>(b.size());
    b += resources[i].data;
    out.data_offsets[i] = at;
    put_u32(b, out.data_entry_offsets[i] + kDataRvaOffset, section_rva + at);
    put_u32(b, out.data_entry_offsets[i] + kDataSizeOffset, static_cast<std::uint32_t>(resources[i].data.size()));
  }
}

struct Section {
  std::string name;
  std::string bytes;
  std::uint32_t characteristics;
};

// Where each section lies in memory and in the file.
struct Placement {
  std::vector<std::uint32_t> rvas;
  std::vector<std::uint32_t> raws;
  std::uint32_t size_of_image = 0;
};

bool has_resources(const PeRecipe& recipe) { return recipe.raw_resources.has_value() || !recipe.resources.empty(); }

std::uint32_t optional_header_size(bool plus) { return plus ? kOptionalHeaderSizePe32Plus : kOptionalHeaderSizePe32; }

// Exe: xor eax,eax; ret. DLL entry must return TRUE: mov eax,1; ret (12 on
// x86, where DllMain's three arguments are the callee's to pop).
std::string entry_code(bool dll, bool plus) {
  if (!dll) return std::string("\x31\xC0\xC3", 3);
  return plus ? std::string("\xB8\x01\x00\x00\x00\xC3", 6) : std::string("\xB8\x01\x00\x00\x00\xC2\x0C\x00", 8);
}

// Code, then .data when the recipe has data, then .rsrc when it has
// resources; the resource body is laid out once its RVA is known.
std::vector<Section> plan_sections(const PeRecipe& recipe) {
  std::vector<Section> sections;
  sections.push_back({".text", entry_code(recipe.dll, recipe.kind == PeKind::pe32_plus),
                      kContainsCode | kMemoryExecute | kMemoryRead});
  if (!recipe.data.empty()) {
    sections.push_back({".data", recipe.data, kContainsInitializedData | kMemoryRead | kMemoryWrite});
  }
  if (has_resources(recipe)) sections.push_back({".rsrc", {}, kContainsInitializedData | kMemoryRead});
  return sections;
}

PeLayout header_layout(bool plus, std::uint16_t number_of_sections) {
  PeLayout l;
  l.pe_offset = kPeOffset;
  l.file_header_offset = kPeOffset + kSignatureSize;
  l.optional_header_offset = l.file_header_offset + kFileHeaderSize;
  l.number_of_rva_offset = l.optional_header_offset + (plus ? kNumberOfRvaOffsetPe32Plus : kNumberOfRvaOffsetPe32);
  l.data_directory_offset = l.number_of_rva_offset + kNumberOfRvaSize;
  l.section_table_offset = l.optional_header_offset + optional_header_size(plus);
  l.number_of_sections = number_of_sections;
  l.size_of_headers = align_up(l.section_table_offset + kSectionHeaderSize * number_of_sections, kFileAlignment);
  return l;
}

// The resource section's body: the recipe's hand-made one, or a directory
// built for the RVA the section is placed at.
void fill_resource_section(Section& section, const PeRecipe& recipe, std::uint32_t rva, PeLayout& l) {
  if (recipe.raw_resources) {
    section.bytes = *recipe.raw_resources;
  } else {
    l.resource_layout = build_resource_section(recipe.resources, rva);
    section.bytes = l.resource_layout.bytes;
  }
  l.resource_rva = rva;
  l.resource_raw_size = static_cast<std::uint32_t>(section.bytes.size());
}

// Places the sections after the headers, each on the section and file
// alignments; a section takes at least one page of memory.
Placement place_sections(std::vector<Section>& sections, const PeRecipe& recipe, PeLayout& l) {
  Placement placed;
  std::uint32_t rva = kSectionAlignment;
  std::uint32_t raw = l.size_of_headers;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (sections[i].name == ".rsrc") {
      fill_resource_section(sections[i], recipe, rva, l);
      l.resource_section_index = static_cast<std::uint32_t>(i);
      l.resource_offset = raw;
    }
    placed.rvas.push_back(rva);
    placed.raws.push_back(raw);
    const auto size = static_cast<std::uint32_t>(sections[i].bytes.size());
    rva += align_up(std::max<std::uint32_t>(size, 1), kSectionAlignment);
    raw += align_up(size, kFileAlignment);
  }
  placed.size_of_image = rva;
  return placed;
}

void write_dos_header(std::string& b) {
  put_u16(b, 0, kDosMagic);
  put_u16(b, kLfarlcOffset, kDosHeaderSize);
  put_u32(b, kLfanewOffset, kPeOffset);
  put_u32(b, kPeOffset, kPeSignature);
}

void write_file_header(std::string& b, const PeLayout& l, const PeRecipe& recipe) {
  const bool plus = recipe.kind == PeKind::pe32_plus;
  const std::uint32_t fh = l.file_header_offset;
  put_u16(b, fh + kMachineOffset, plus ? kMachineAmd64 : kMachineI386);
  put_u16(b, fh + kNumberOfSectionsOffset, l.number_of_sections);
  put_u16(b, fh + kSizeOfOptionalHeaderOffset, static_cast<std::uint16_t>(optional_header_size(plus)));
  const std::uint16_t characteristics = kExecutableImage | (plus ? kLargeAddressAware : k32BitMachine) |
                                        (recipe.dll ? kDllImage : 0);
  put_u16(b, fh + kCharacteristicsOffset, characteristics);
}

// ImageBase, and in PE32 BaseOfData: the second section, or the code when
// there is no other.
void write_bases(std::string& b, std::uint32_t oh, const PeRecipe& recipe, const Placement& placed) {
  if (recipe.kind == PeKind::pe32_plus) {
    put_u64(b, oh + kImageBaseOffsetPe32Plus, recipe.dll ? kImageBaseDll64 : kImageBaseExe64);
  } else {
    put_u32(b, oh + kBaseOfDataOffset, placed.rvas.size() > 1 ? placed.rvas[1] : placed.rvas[0]);
    put_u32(b, oh + kImageBaseOffsetPe32, recipe.dll ? kImageBaseDll32 : kImageBaseExe32);
  }
}

// The four stack and heap sizes: 4 bytes each in PE32, 8 in PE32+.
void write_stack_and_heap(std::string& b, std::uint32_t oh, bool plus) {
  std::uint32_t at = oh + kSizeOfStackReserveOffset;
  for (const std::uint32_t size : kStackAndHeap) {
    if (plus) {
      put_u64(b, at, size);
      at += 8;
    } else {
      put_u32(b, at, size);
      at += 4;
    }
  }
}

void write_optional_header(std::string& b, const PeLayout& l, const PeRecipe& recipe, const Placement& placed) {
  const bool plus = recipe.kind == PeKind::pe32_plus;
  const std::uint32_t oh = l.optional_header_offset;
  put_u16(b, oh + kMagicOffset, plus ? kPe32PlusMagic : kPe32Magic);
  b[oh + kMajorLinkerVersionOffset] = static_cast<char>(kLinkerMajor);
  b[oh + kMinorLinkerVersionOffset] = static_cast<char>(kLinkerMinor);
  put_u32(b, oh + kSizeOfCodeOffset, kFileAlignment);
  put_u32(b, oh + kAddressOfEntryPointOffset, placed.rvas[0]);
  put_u32(b, oh + kBaseOfCodeOffset, placed.rvas[0]);
  write_bases(b, oh, recipe, placed);
  put_u32(b, oh + kSectionAlignmentOffset, kSectionAlignment);
  put_u32(b, oh + kFileAlignmentOffset, kFileAlignment);
  put_u16(b, oh + kMajorOperatingSystemVersionOffset, kOperatingSystemMajor);
  put_u16(b, oh + kMajorSubsystemVersionOffset, kSubsystemMajor);
  put_u32(b, oh + kSizeOfImageOffset, placed.size_of_image);
  put_u32(b, oh + kSizeOfHeadersOffset, l.size_of_headers);
  put_u16(b, oh + kSubsystemOffset, kSubsystemWindowsGui);
  write_stack_and_heap(b, oh, plus);
  put_u32(b, l.number_of_rva_offset, kDataDirectories);
}

void write_resource_data_directory(std::string& b, const PeLayout& l) {
  const std::uint32_t at = l.data_directory_offset + kDataDirectorySize * kResourceDirectoryIndex;
  put_u32(b, at + kDataDirectoryRvaOffset, l.resource_rva);
  put_u32(b, at + kDataDirectorySizeOffset, l.resource_raw_size);
}

// An empty section gets no raw data pointer.
void write_section_table(std::string& b, std::uint32_t table, const std::vector<Section>& sections,
                         const Placement& placed) {
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::uint32_t sh = table + kSectionHeaderSize * static_cast<std::uint32_t>(i);
    b.replace(sh + kSectionNameOffset, sections[i].name.size(), sections[i].name);
    const auto size = static_cast<std::uint32_t>(sections[i].bytes.size());
    put_u32(b, sh + kVirtualSizeOffset, size);
    put_u32(b, sh + kVirtualAddressOffset, placed.rvas[i]);
    put_u32(b, sh + kSizeOfRawDataOffset, align_up(size, kFileAlignment));
    put_u32(b, sh + kPointerToRawDataOffset, size == 0 ? 0 : placed.raws[i]);
    put_u32(b, sh + kSectionCharacteristicsOffset, sections[i].characteristics);
  }
}

void append_section_bodies(std::string& b, const std::vector<Section>& sections, const Placement& placed) {
  for (std::size_t i = 0; i < sections.size(); ++i) {
    b.resize(placed.raws[i], '\0');
    b += sections[i].bytes;
    b.resize(align_up(static_cast<std::uint32_t>(b.size()), kFileAlignment), '\0');
  }
}

}  // namespace

void put_u16(std::string& bytes, std::size_t offset, std::uint16_t value) {
  if (bytes.size() < offset + 2) bytes.resize(offset + 2, '\0');
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

void put_u32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  put_u16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
  put_u16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void put_u64(std::string& bytes, std::size_t offset, std::uint64_t value) {
  put_u32(bytes, offset, static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
  put_u32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t get_u32(const std::string& bytes, std::size_t offset) {
  if (offset + 4 > bytes.size()) throw std::out_of_range("get_u32 past the end");
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
  return value;
}

ResourceSection build_resource_section(const std::vector<Resource>& resources, std::uint32_t section_rva) {
  const ResourceTree tree = resource_tree(resources);
  const std::uint32_t entries_at = directory_area_size(tree);
  ResourceSection out;
  out.data_entry_offsets.assign(resources.size(), 0);
  out.data_offsets.assign(resources.size(), 0);
  // Directories, then the data entries; the name strings follow as written.
  out.bytes.assign(entries_at + kDataEntrySize * static_cast<std::uint32_t>(resources.size()), '\0');
  TreeWriter(out, directory_size(tree.size()), entries_at).write(tree);
  write_resource_data(resources, section_rva, out);
  return out;
}

BuiltPe build_pe(const PeRecipe& recipe) {
  std::vector<Section> sections = plan_sections(recipe);
  BuiltPe built;
  PeLayout& l = built.layout;
  l = header_layout(recipe.kind == PeKind::pe32_plus, static_cast<std::uint16_t>(sections.size()));
  const Placement placed = place_sections(sections, recipe, l);

  std::string& b = built.bytes;
  b.assign(l.size_of_headers, '\0');
  write_dos_header(b);
  write_file_header(b, l, recipe);
  write_optional_header(b, l, recipe, placed);
  if (has_resources(recipe)) write_resource_data_directory(b, l);
  write_section_table(b, l.section_table_offset, sections, placed);
  append_section_bodies(b, sections, placed);
  b += recipe.overlay;
  return built;
}

std::string host_program(std::string_view label, PeKind kind, bool dll) {
  PeRecipe recipe;
  recipe.kind = kind;
  recipe.dll = dll;
  recipe.data = "host program: ";
  recipe.data += label;
  // A version-like decoy resource: clean programs carry resources too.
  recipe.resources.push_back({ResourceKey::of(kRtVersion), ResourceKey::of(1), 0x0409, "version " + std::string(label)});
  return build_pe(recipe).bytes;
}

std::string infected_program(const std::string& host, PeKind kind, bool dll, std::uint16_t language) {
  PeRecipe recipe;
  recipe.kind = kind;
  recipe.dll = dll;
  recipe.data = "Concept Virus";
  recipe.resources.push_back({ResourceKey::of(kRtRcdata), ResourceKey::of(kHostProgramId), language, host});
  return build_pe(recipe).bytes;
}

}  // namespace quarn::sample
