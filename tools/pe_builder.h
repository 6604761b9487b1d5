// A minimal builder of Windows PE images (PE32 and PE32+), made for tests,
// the sample tree and the fuzzers. It writes a valid image with a tiny code
// section, an optional data section and an optional resource directory with
// any type / name / language entries. Nothing here comes from a real program:
// every byte is laid down by the code below.
//
// The layout it reports lets hostile tests patch single header fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remedies/pe_resources.h"

namespace quarn::sample {

inline constexpr std::uint32_t kRtDialog = 5;
inline constexpr std::uint32_t kRtString = 6;
inline constexpr std::uint32_t kRtVersion = 16;
// The type and ID the threat stores its host under: the reader's own, so the
// images built here and the reader cannot disagree on them.
using pe::kRtRcdata;
using pe::kHostProgramId;

inline constexpr std::uint32_t kFileAlignment = 0x200;
inline constexpr std::uint32_t kSectionAlignment = 0x1000;

// A resource directory key: a numeric ID, or a name when name is not empty.
struct ResourceKey {
  std::uint32_t id = 0;
  std::u16string name;

  static ResourceKey of(std::uint32_t id) { return {id, {}}; }
  static ResourceKey named(std::u16string name) { return {0, std::move(name)}; }
  bool is_named() const { return !name.empty(); }
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  std::uint16_t language = 0;
  std::string data;
};

// A resource section body, laid out as linkers do: every directory first,
// then the data entries, then the name strings, then the data.
struct ResourceSection {
  std::string bytes;
  // Section offset of each resource's 16-byte data entry, in the order of
  // the resources given.
  std::vector<std::uint32_t> data_entry_offsets;
  // Section offset of each resource's data.
  std::vector<std::uint32_t> data_offsets;
};

// Lays out a resource directory for a section that is mapped at section_rva
// (data entries hold RVAs). Entries are sorted as the format asks: named
// entries first by name, then IDs in ascending order.
ResourceSection build_resource_section(const std::vector<Resource>& resources, std::uint32_t section_rva);

enum class PeKind { pe32, pe32_plus };

struct PeRecipe {
  PeKind kind = PeKind::pe32;
  bool dll = false;
  // Builds a .rsrc section from these, unless raw_resources is given.
  std::vector<Resource> resources;
  // A hand-made .rsrc body; DataDirectory[2] points at its start.
  std::optional<std::string> raw_resources;
  // Contents of a .data section; no such section when empty.
  std::string data;
  // Bytes appended after the last section.
  std::string overlay;
};

// File offsets of the parts of a built image.
struct PeLayout {
  std::uint32_t pe_offset = 0;               // e_lfanew: the "PE\0\0" signature
  std::uint32_t file_header_offset = 0;      // COFF file header
  std::uint32_t optional_header_offset = 0;  // Magic
  std::uint32_t number_of_rva_offset = 0;    // NumberOfRvaAndSizes
  std::uint32_t data_directory_offset = 0;   // DataDirectory[0]
  std::uint32_t section_table_offset = 0;
  std::uint32_t size_of_headers = 0;
  std::uint16_t number_of_sections = 0;
  // The resource section, when there is one.
  std::uint32_t resource_section_index = 0;
  std::uint32_t resource_offset = 0;  // file offset of the resource root
  std::uint32_t resource_rva = 0;
  std::uint32_t resource_raw_size = 0;
  ResourceSection resource_layout;
};

struct BuiltPe {
  std::string bytes;
  PeLayout layout;
};

BuiltPe build_pe(const PeRecipe& recipe);

// A small, clean program standing for a user's own program; label makes each
// one's bytes distinct.
std::string host_program(std::string_view label, PeKind kind = PeKind::pe32, bool dll = false);

// A program as the threat leaves it: it carries host as RCDATA 102 in the
// given language and holds the signature "Concept Virus" in its data.
std::string infected_program(const std::string& host, PeKind kind = PeKind::pe32, bool dll = false,
                             std::uint16_t language = 0x0409);

// Little-endian field access on a byte string, for building and patching.
void put_u16(std::string& bytes, std::size_t offset, std::uint16_t value);
void put_u32(std::string& bytes, std::size_t offset, std::uint32_t value);
void put_u64(std::string& bytes, std::size_t offset, std::uint64_t value);
std::uint32_t get_u32(const std::string& bytes, std::size_t offset);

}  // namespace quarn::sample
