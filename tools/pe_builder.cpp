#include "tools/pe_builder.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace quarn::sample {
namespace {

constexpr std::uint32_t kDirectoryHeaderSize = 16;
constexpr std::uint32_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kDataEntrySize = 16;
constexpr std::uint32_t kNameFlag = 0x80000000u;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;

constexpr std::uint32_t kDosHeaderSize = 0x40;
constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint32_t kFileHeaderSize = 20;
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kDataDirectories = 16;
constexpr std::uint32_t kResourceDirectoryIndex = 2;

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

void put_directory_header(std::string& out, std::uint32_t at, std::uint16_t named, std::uint16_t ids) {
  put_u16(out, at + 12, named);
  put_u16(out, at + 14, ids);
}

struct Section {
  std::string name;
  std::string bytes;
  std::uint32_t characteristics;
};

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
  // type -> name -> [(language, resource index)] in table order.
  using Leaves = std::vector<std::pair<std::uint16_t, std::size_t>>;
  using Names = std::map<ResourceKey, Leaves, KeyLess>;
  std::map<ResourceKey, Names, KeyLess> tree;
  for (std::size_t i = 0; i < resources.size(); ++i) {
    tree[resources[i].type][resources[i].name].emplace_back(resources[i].language, i);
  }
  for (auto& [type, names] : tree) {
    for (auto& [name, leaves] : names) {
      std::stable_sort(leaves.begin(), leaves.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
    }
  }

  // Sizes of the directory area, so every later part has a known offset.
  std::uint32_t dir_size = kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint32_t>(tree.size());
  for (const auto& [type, names] : tree) {
    dir_size += kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint32_t>(names.size());
    for (const auto& [name, leaves] : names) {
      dir_size += kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint32_t>(leaves.size());
    }
  }
  const std::uint32_t entries_at = dir_size;
  std::uint32_t strings_at = entries_at + kDataEntrySize * static_cast<std::uint32_t>(resources.size());

  ResourceSection out;
  out.data_entry_offsets.assign(resources.size(), 0);
  out.data_offsets.assign(resources.size(), 0);
  std::string& b = out.bytes;
  b.assign(strings_at, '\0');

  std::map<std::u16string, std::uint32_t> string_offsets;
  auto string_offset = [&](const std::u16string& text) {
    auto found = string_offsets.find(text);
    if (found != string_offsets.end()) return found->second;
    std::uint32_t at = static_cast<std::uint32_t>(b.size());
    put_u16(b, at, static_cast<std::uint16_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) put_u16(b, at + 2 + 2 * i, static_cast<std::uint16_t>(text[i]));
    string_offsets.emplace(text, at);
    return at;
  };
  auto key_field = [&](const ResourceKey& key) {
    return key.is_named() ? (kNameFlag | string_offset(key.name)) : key.id;
  };
  auto count_named = [](const auto& map) {
    return static_cast<std::uint16_t>(std::count_if(map.begin(), map.end(), [](const auto& kv) { return kv.first.is_named(); }));
  };

  // Directories, breadth first: root, every type, every name.
  std::uint32_t next_dir = kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint32_t>(tree.size());
  std::uint32_t next_entry = entries_at;
  std::uint16_t named_types = count_named(tree);
  put_directory_header(b, 0, named_types, static_cast<std::uint16_t>(tree.size() - named_types));
  std::uint32_t type_slot = kDirectoryHeaderSize;
  std::vector<std::pair<std::uint32_t, const Names*>> type_dirs;
  for (const auto& [type, names] : tree) {
    put_u32(b, type_slot, key_field(type));
    put_u32(b, type_slot + 4, kSubdirectoryFlag | next_dir);
    type_dirs.emplace_back(next_dir, &names);
    next_dir += kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint32_t>(names.size());
    type_slot += kDirectoryEntrySize;
  }
  for (const auto& [type_dir, names] : type_dirs) {
    std::uint16_t named = count_named(*names);
    put_directory_header(b, type_dir, named, static_cast<std::uint16_t>(names->size() - named));
    std::uint32_t name_slot = type_dir + kDirectoryHeaderSize;
    for (const auto& [name, leaves] : *names) {
      put_u32(b, name_slot, key_field(name));
      put_u32(b, name_slot + 4, kSubdirectoryFlag | next_dir);
      put_directory_header(b, next_dir, 0, static_cast<std::uint16_t>(leaves.size()));
      std::uint32_t lang_slot = next_dir + kDirectoryHeaderSize;
      for (const auto& [language, index] : leaves) {
        put_u32(b, lang_slot, language);
        put_u32(b, lang_slot + 4, next_entry);
        out.data_entry_offsets[index] = next_entry;
        next_entry += kDataEntrySize;
        lang_slot += kDirectoryEntrySize;
      }
      next_dir += kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint32_t>(leaves.size());
      name_slot += kDirectoryEntrySize;
    }
  }

  // The data, each piece 8-aligned, and the data entries pointing at it.
  for (std::size_t i = 0; i < resources.size(); ++i) {
    b.resize(align_up(static_cast<std::uint32_t>(b.size()), 8), '\0');
    std::uint32_t at = static_cast<std::uint32_t>(b.size());
    b += resources[i].data;
    out.data_offsets[i] = at;
    put_u32(b, out.data_entry_offsets[i], section_rva + at);
    put_u32(b, out.data_entry_offsets[i] + 4, static_cast<std::uint32_t>(resources[i].data.size()));
  }
  return out;
}

BuiltPe build_pe(const PeRecipe& recipe) {
  const bool plus = recipe.kind == PeKind::pe32_plus;
  const std::uint32_t optional_size = plus ? 240 : 224;

  std::vector<Section> sections;
  // Exe: xor eax,eax; ret. DLL entry must return TRUE: mov eax,1; ret (12 on
  // x86, where DllMain's three arguments are the callee's to pop).
  std::string code = recipe.dll ? (plus ? std::string("\xB8\x01\x00\x00\x00\xC3", 6)
                                      : std::string("\xB8\x01\x00\x00\x00\xC2\x0C\x00", 8))
                              : std::string("\x31\xC0\xC3", 3);
  sections.push_back({".text", code, 0x60000020u});  // code, execute, read
  if (!recipe.data.empty()) sections.push_back({".data", recipe.data, 0xC0000040u});  // initialised, read, write
  std::optional<std::size_t> rsrc_index;
  const bool has_resources = recipe.raw_resources.has_value() || !recipe.resources.empty();
  if (has_resources) {
    rsrc_index = sections.size();
    sections.push_back({".rsrc", {}, 0x40000040u});  // initialised, read
  }

  BuiltPe built;
  PeLayout& l = built.layout;
  l.pe_offset = kPeOffset;
  l.file_header_offset = kPeOffset + 4;
  l.optional_header_offset = l.file_header_offset + kFileHeaderSize;
  l.number_of_rva_offset = l.optional_header_offset + (plus ? 108 : 92);
  l.data_directory_offset = l.number_of_rva_offset + 4;
  l.section_table_offset = l.optional_header_offset + optional_size;
  l.number_of_sections = static_cast<std::uint16_t>(sections.size());
  l.size_of_headers = align_up(l.section_table_offset + kSectionHeaderSize * l.number_of_sections, kFileAlignment);

  // Place the sections: each starts on the file and section alignments.
  std::vector<std::uint32_t> rvas, raws;
  std::uint32_t rva = kSectionAlignment;
  std::uint32_t raw = l.size_of_headers;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (rsrc_index && i == *rsrc_index) {
      if (recipe.raw_resources) {
        sections[i].bytes = *recipe.raw_resources;
      } else {
        l.resource_layout = build_resource_section(recipe.resources, rva);
        sections[i].bytes = l.resource_layout.bytes;
      }
      l.resource_section_index = static_cast<std::uint32_t>(i);
      l.resource_offset = raw;
      l.resource_rva = rva;
    }
    rvas.push_back(rva);
    raws.push_back(raw);
    const auto size = static_cast<std::uint32_t>(sections[i].bytes.size());
    rva += align_up(std::max<std::uint32_t>(size, 1), kSectionAlignment);
    raw += align_up(size, kFileAlignment);
  }
  const std::uint32_t size_of_image = rva;

  std::string& b = built.bytes;
  b.assign(l.size_of_headers, '\0');
  // DOS header: "MZ", and e_lfanew at 0x3C. The stub between is left empty.
  b[0] = 'M';
  b[1] = 'Z';
  put_u16(b, 0x18, kDosHeaderSize);  // e_lfarlc
  put_u32(b, 0x3C, kPeOffset);
  b.replace(kPeOffset, 4, std::string("PE\0\0", 4));

  const std::uint32_t fh = l.file_header_offset;
  put_u16(b, fh + 0, plus ? 0x8664 : 0x014C);  // AMD64 or i386
  put_u16(b, fh + 2, l.number_of_sections);
  put_u16(b, fh + 16, static_cast<std::uint16_t>(optional_size));
  // EXECUTABLE_IMAGE, then 32BIT_MACHINE or LARGE_ADDRESS_AWARE, and DLL.
  std::uint16_t characteristics = 0x0002 | (plus ? 0x0020 : 0x0100) | (recipe.dll ? 0x2000 : 0);
  put_u16(b, fh + 18, characteristics);

  const std::uint32_t oh = l.optional_header_offset;
  put_u16(b, oh + 0, plus ? 0x20B : 0x10B);
  b[oh + 2] = 2;  // linker version 2.40
  b[oh + 3] = 40;
  put_u32(b, oh + 4, kFileAlignment);  // SizeOfCode
  put_u32(b, oh + 16, rvas[0]);        // AddressOfEntryPoint
  put_u32(b, oh + 20, rvas[0]);        // BaseOfCode
  if (plus) {
    put_u64(b, oh + 24, recipe.dll ? 0x180000000ull : 0x140000000ull);
  } else {
    put_u32(b, oh + 24, sections.size() > 1 ? rvas[1] : rvas[0]);  // BaseOfData
    put_u32(b, oh + 28, recipe.dll ? 0x10000000u : 0x00400000u);
  }
  put_u32(b, oh + 32, kSectionAlignment);
  put_u32(b, oh + 36, kFileAlignment);
  put_u16(b, oh + 40, 4);  // operating system 4.0
  put_u16(b, oh + 48, 4);  // subsystem 4.0
  put_u32(b, oh + 56, size_of_image);
  put_u32(b, oh + 60, l.size_of_headers);
  put_u16(b, oh + 68, 2);  // Windows GUI
  if (plus) {
    put_u64(b, oh + 72, 0x200000);
    put_u64(b, oh + 80, 0x1000);
    put_u64(b, oh + 88, 0x100000);
    put_u64(b, oh + 96, 0x1000);
  } else {
    put_u32(b, oh + 72, 0x200000);
    put_u32(b, oh + 76, 0x1000);
    put_u32(b, oh + 80, 0x100000);
    put_u32(b, oh + 84, 0x1000);
  }
  put_u32(b, l.number_of_rva_offset, kDataDirectories);
  if (rsrc_index) {
    l.resource_raw_size = static_cast<std::uint32_t>(sections[*rsrc_index].bytes.size());
    put_u32(b, l.data_directory_offset + 8 * kResourceDirectoryIndex, l.resource_rva);
    put_u32(b, l.data_directory_offset + 8 * kResourceDirectoryIndex + 4, l.resource_raw_size);
  }

  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::uint32_t sh = l.section_table_offset + kSectionHeaderSize * static_cast<std::uint32_t>(i);
    b.replace(sh, sections[i].name.size(), sections[i].name);
    const auto size = static_cast<std::uint32_t>(sections[i].bytes.size());
    put_u32(b, sh + 8, size);  // VirtualSize
    put_u32(b, sh + 12, rvas[i]);
    put_u32(b, sh + 16, align_up(size, kFileAlignment));
    put_u32(b, sh + 20, size == 0 ? 0 : raws[i]);
    put_u32(b, sh + 36, sections[i].characteristics);
  }
  for (std::size_t i = 0; i < sections.size(); ++i) {
    b.resize(raws[i], '\0');
    b += sections[i].bytes;
    b.resize(align_up(static_cast<std::uint32_t>(b.size()), kFileAlignment), '\0');
  }
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
  recipe.resources.push_back({ResourceKey::of(kRtRcdata), ResourceKey::of(kHostResourceId), language, host});
  return build_pe(recipe).bytes;
}

}  // namespace quarn::sample
