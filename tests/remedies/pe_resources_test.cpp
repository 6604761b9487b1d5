// The resource reader on images built in code: valid ones of every shape,
// and hostile ones, each limit at its boundary, one past it and at the
// field's maximum.
#include "remedies/pe_resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pe_builder.h"

namespace quarn::pe {
namespace {

using sample::build_pe;
using sample::BuiltPe;
using sample::get_u32;
using sample::PeKind;
using sample::PeRecipe;
using sample::put_u16;
using sample::put_u32;
using sample::Resource;
using sample::ResourceKey;

constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;

ResourceLookup lookup(const std::string& bytes) {
  MemorySource source(bytes);
  return find_host_program(source);
}

std::string resource_bytes(const std::string& file, const ResourceLookup& found) {
  return file.substr(static_cast<std::size_t>(found.offset), found.size);
}

Resource rcdata(std::uint16_t language, std::string data, std::uint32_t id = kHostProgramId) {
  return {ResourceKey::of(kRtRcdata), ResourceKey::of(id), language, std::move(data)};
}

BuiltPe image_with(std::vector<Resource> resources, PeKind kind = PeKind::pe32, bool dll = false) {
  PeRecipe recipe;
  recipe.kind = kind;
  recipe.dll = dll;
  recipe.data = "Concept Virus";
  recipe.resources = std::move(resources);
  return build_pe(recipe);
}

// The file offset of section i's header field at field_offset.
std::size_t section_field(const BuiltPe& pe, std::uint32_t index, std::uint32_t field_offset) {
  return pe.layout.section_table_offset + 40u * index + field_offset;
}

// The data entry of the first resource: OffsetToData, then Size.
std::size_t data_entry(const BuiltPe& pe) { return pe.layout.resource_offset + pe.layout.resource_layout.data_entry_offsets[0]; }

// Directory entries of a one-resource image, in file order: root's only
// entry (type), the type directory's (name), the name directory's (language).
std::size_t type_entry(const BuiltPe& pe) { return pe.layout.resource_offset + 16; }
std::size_t name_entry(const BuiltPe& pe) { return pe.layout.resource_offset + 24 + 16; }
std::size_t language_entry(const BuiltPe& pe) { return pe.layout.resource_offset + 48 + 16; }

TEST(PeResources, host_program_is_found_in_every_kind_of_image) {
  const std::string host = sample::host_program("the host");
  for (PeKind kind : {PeKind::pe32, PeKind::pe32_plus}) {
    for (bool dll : {false, true}) {
      BuiltPe pe = image_with({rcdata(0x0409, host)}, kind, dll);
      ResourceLookup found = lookup(pe.bytes);
      ASSERT_EQ(found.status, LookupStatus::found) << "plus=" << (kind == PeKind::pe32_plus) << " dll=" << dll;
      EXPECT_EQ(resource_bytes(pe.bytes, found), host);
      EXPECT_EQ(found.language, 0x0409);
    }
  }
}

TEST(PeResources, empty_resource_is_found_with_size_zero) {
  ResourceLookup found = lookup(image_with({rcdata(0, "")}).bytes);
  EXPECT_EQ(found.status, LookupStatus::found);
  EXPECT_EQ(found.size, 0u);
}

TEST(PeResources, language_neutral_wins_then_us_english_then_table_order) {
  EXPECT_EQ(lookup(image_with({rcdata(0x0407, "de"), rcdata(0x0409, "en"), rcdata(0x0000, "neutral")}).bytes).language,
            0x0000);
  BuiltPe en = image_with({rcdata(0x0407, "de"), rcdata(0x0409, "en"), rcdata(0x040C, "fr")});
  ResourceLookup found = lookup(en.bytes);
  EXPECT_EQ(found.language, 0x0409);
  EXPECT_EQ(resource_bytes(en.bytes, found), "en");

  // Without either, the first entry in the table wins, even when the table
  // is not in ascending order.
  BuiltPe other = image_with({rcdata(0x0407, "first"), rcdata(0x0408, "second")});
  put_u32(other.bytes, language_entry(other), 0x0411);
  put_u32(other.bytes, language_entry(other) + 8, 0x0410);
  found = lookup(other.bytes);
  EXPECT_EQ(found.language, 0x0411);
  EXPECT_EQ(resource_bytes(other.bytes, found), "first");
}

TEST(PeResources, id_102_under_other_types_is_no_resource) {
  std::vector<Resource> decoys;
  for (std::uint32_t type : {sample::kRtDialog, sample::kRtString, sample::kRtVersion, 9u, 11u}) {
    decoys.push_back({ResourceKey::of(type), ResourceKey::of(kHostProgramId), 0x0409, "decoy"});
  }
  decoys.push_back(rcdata(0x0409, "not 102", 101));
  decoys.push_back(rcdata(0x0409, "not 102", 103));
  EXPECT_EQ(lookup(image_with(decoys).bytes).status, LookupStatus::no_resource);

  // Beside the decoys, the real one is found.
  decoys.push_back(rcdata(0x0409, "the host"));
  BuiltPe pe = image_with(decoys);
  ResourceLookup found = lookup(pe.bytes);
  ASSERT_EQ(found.status, LookupStatus::found);
  EXPECT_EQ(resource_bytes(pe.bytes, found), "the host");
}

TEST(PeResources, named_entries_never_match_and_ids_match_on_all_32_bits) {
  EXPECT_EQ(lookup(image_with({{ResourceKey::named(u"RCDATA"), ResourceKey::of(kHostProgramId), 0, "x"}}).bytes).status,
            LookupStatus::no_resource);
  EXPECT_EQ(lookup(image_with({{ResourceKey::of(kRtRcdata), ResourceKey::named(u"102"), 0, "x"}}).bytes).status,
            LookupStatus::no_resource);

  BuiltPe pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, type_entry(pe), 0x0001000A);  // low word is RCDATA
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::no_resource);
  pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, name_entry(pe), 0x00010066);  // low word is 102
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::no_resource);
}

TEST(PeResources, image_without_resources_has_none) {
  PeRecipe recipe;
  recipe.data = "Concept Virus";
  EXPECT_EQ(lookup(build_pe(recipe).bytes).status, LookupStatus::no_resource);

  BuiltPe pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, pe.layout.data_directory_offset + 16, 0);  // DataDirectory[2] address
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::no_resource);
}

TEST(PeResources, number_of_rva_and_sizes_limits_the_directory) {
  for (PeKind kind : {PeKind::pe32, PeKind::pe32_plus}) {
    BuiltPe pe = image_with({rcdata(0, "x")}, kind);
    put_u32(pe.bytes, pe.layout.number_of_rva_offset, 2);
    EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::no_resource);
    put_u32(pe.bytes, pe.layout.number_of_rva_offset, 3);
    EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::found);
    put_u32(pe.bytes, pe.layout.number_of_rva_offset, kMax32);
    EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::found);
    put_u32(pe.bytes, pe.layout.number_of_rva_offset, 0);
    EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::no_resource);
  }
}

TEST(PeResources, only_the_two_known_magics_make_an_image) {
  BuiltPe pe = image_with({rcdata(0, "x")});
  for (std::uint16_t magic : {0x0000, 0x010A, 0x010C, 0x0107, 0x020A, 0x020C, 0xFFFF}) {
    put_u16(pe.bytes, pe.layout.optional_header_offset, magic);
    EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::not_an_image) << std::hex << magic;
  }
  std::string no_mz = image_with({rcdata(0, "x")}).bytes;
  no_mz[0] = 'Z';
  EXPECT_EQ(lookup(no_mz).status, LookupStatus::not_an_image);
  std::string no_pe = image_with({rcdata(0, "x")}).bytes;
  no_pe[0x81] = 'X';
  EXPECT_EQ(lookup(no_pe).status, LookupStatus::not_an_image);
}

TEST(PeResources, e_lfanew_is_unsigned_and_may_point_into_the_dos_header) {
  BuiltPe pe = image_with({rcdata(0, "the host")});
  put_u32(pe.bytes, 0x3C, kMax32);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::not_an_image);
  put_u32(pe.bytes, 0x3C, 0x80000000u);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::not_an_image);
  put_u32(pe.bytes, 0x3C, static_cast<std::uint32_t>(pe.bytes.size()));
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::not_an_image);

  // Move the headers to offset 4: e_lfanew (0x3C) then falls on the optional
  // header's SectionAlignment, which must therefore read 4 as well.
  BuiltPe tiny = image_with({rcdata(0, "the host")});
  const std::uint32_t headers_end = tiny.layout.section_table_offset + 40u * tiny.layout.number_of_sections;
  std::string nt = tiny.bytes.substr(0x80, headers_end - 0x80);
  std::fill(tiny.bytes.begin() + 2, tiny.bytes.begin() + headers_end, '\0');
  tiny.bytes.replace(4, nt.size(), nt);
  ASSERT_EQ(get_u32(tiny.bytes, 0x3C), 0x1000u);  // SectionAlignment now lies here
  put_u32(tiny.bytes, 0x3C, 4);
  ResourceLookup found = lookup(tiny.bytes);
  ASSERT_EQ(found.status, LookupStatus::found);
  EXPECT_EQ(resource_bytes(tiny.bytes, found), "the host");
}

TEST(PeResources, every_truncation_is_an_error_until_the_data_is_complete) {
  const std::string host = sample::host_program("truncated");
  for (PeKind kind : {PeKind::pe32, PeKind::pe32_plus}) {
    BuiltPe pe = image_with({rcdata(0x0409, host)}, kind);
    const std::uint64_t headers_end = pe.layout.section_table_offset + 40u * pe.layout.number_of_sections;
    const std::uint64_t data_end = pe.layout.resource_offset + pe.layout.resource_layout.data_offsets[0] + host.size();
    for (std::size_t length = 0; length <= pe.bytes.size(); ++length) {
      ResourceLookup found = lookup(pe.bytes.substr(0, length));
      if (length < headers_end) {
        ASSERT_EQ(found.status, LookupStatus::not_an_image) << length;
      } else if (length < data_end) {
        ASSERT_NE(found.status, LookupStatus::found) << length;
        ASSERT_NE(found.status, LookupStatus::no_resource) << length;
      } else {
        ASSERT_EQ(found.status, LookupStatus::found) << length;
        ASSERT_EQ(resource_bytes(pe.bytes, found), host);
      }
    }
  }
}

TEST(PeResources, section_table_must_lie_in_the_file) {
  BuiltPe pe = image_with({rcdata(0, "x")});
  put_u16(pe.bytes, pe.layout.file_header_offset + 2, 0xFFFF);  // NumberOfSections
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::not_an_image);

  pe = image_with({rcdata(0, "x")});
  put_u16(pe.bytes, pe.layout.file_header_offset + 16, 0xFFFF);  // SizeOfOptionalHeader
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::not_an_image);

  // The table starts where SizeOfOptionalHeader says, not where the fields
  // end: moved by 8 bytes, it no longer describes the resource section.
  pe = image_with({rcdata(0, "x")});
  put_u16(pe.bytes, pe.layout.file_header_offset + 16, 224 + 8);
  EXPECT_NE(lookup(pe.bytes).status, LookupStatus::found);
}

TEST(PeResources, raw_pointer_is_rounded_down_to_512_bytes) {
  BuiltPe pe = image_with({rcdata(0, "the host")});
  const std::size_t pointer = section_field(pe, pe.layout.resource_section_index, 20);
  put_u32(pe.bytes, pointer, pe.layout.resource_offset + 0x1FF);
  ResourceLookup found = lookup(pe.bytes);
  ASSERT_EQ(found.status, LookupStatus::found);
  EXPECT_EQ(resource_bytes(pe.bytes, found), "the host");
  put_u32(pe.bytes, pointer, pe.layout.resource_offset + 0x200);
  EXPECT_NE(lookup(pe.bytes).status, LookupStatus::found);
}

TEST(PeResources, first_section_holding_the_rva_maps_it) {
  BuiltPe pe = image_with({rcdata(0, "the host")});
  // Make the code section claim the resource RVAs with the right raw data,
  // and point the resource section's own raw data at the headers.
  put_u32(pe.bytes, section_field(pe, 0, 8), pe.layout.resource_raw_size);
  put_u32(pe.bytes, section_field(pe, 0, 12), pe.layout.resource_rva);
  put_u32(pe.bytes, section_field(pe, 0, 16), 0x200);
  put_u32(pe.bytes, section_field(pe, 0, 20), pe.layout.resource_offset);
  put_u32(pe.bytes, section_field(pe, pe.layout.resource_section_index, 20), 0);
  ResourceLookup found = lookup(pe.bytes);
  ASSERT_EQ(found.status, LookupStatus::found);
  EXPECT_EQ(resource_bytes(pe.bytes, found), "the host");
}

TEST(PeResources, subdirectory_flag_is_required_above_the_language_level_only) {
  BuiltPe pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, type_entry(pe) + 4, get_u32(pe.bytes, type_entry(pe) + 4) & 0x7FFFFFFFu);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);

  pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, name_entry(pe) + 4, get_u32(pe.bytes, name_entry(pe) + 4) & 0x7FFFFFFFu);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);

  pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, language_entry(pe) + 4, get_u32(pe.bytes, language_entry(pe) + 4) | 0x80000000u);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);
}

TEST(PeResources, directory_that_points_back_at_itself_ends) {
  // The name level is the root again: it holds no ID 102.
  BuiltPe pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, type_entry(pe) + 4, 0x80000000u);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::no_resource);

  // The language level is the root, whose entries are subdirectories.
  pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, name_entry(pe) + 4, 0x80000000u);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);

  // A name directory that is its own language directory.
  pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, name_entry(pe) + 4, get_u32(pe.bytes, type_entry(pe) + 4));
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);

  // Offsets are masked to 31 bits: one that is all ones points past the file.
  pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, type_entry(pe) + 4, kMax32);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);
}

// A resource section that is only a root directory of `count` zeroed
// entries, `room` entries long.
std::string root_only(std::uint16_t named, std::uint16_t ids, std::size_t room) {
  std::string body(16 + 8 * room, '\0');
  put_u16(body, 12, named);
  put_u16(body, 14, ids);
  PeRecipe recipe;
  recipe.raw_resources = body;
  return build_pe(recipe).bytes;
}

TEST(PeResources, entry_counts_are_checked_against_the_bytes_that_remain) {
  // The section's virtual size is exactly the directory's length.
  EXPECT_EQ(lookup(root_only(0, 4, 4)).status, LookupStatus::no_resource);
  EXPECT_EQ(lookup(root_only(0, 5, 4)).status, LookupStatus::malformed);
  EXPECT_EQ(lookup(root_only(2, 2, 4)).status, LookupStatus::no_resource);
  EXPECT_EQ(lookup(root_only(3, 2, 4)).status, LookupStatus::malformed);
  EXPECT_EQ(lookup(root_only(0xFFFF, 0xFFFF, 4)).status, LookupStatus::malformed);

  // The same at the type and language levels of a real directory.
  BuiltPe pe = image_with({rcdata(0, "x")});
  const std::uint32_t type_dir = pe.layout.resource_offset + 24;
  put_u16(pe.bytes, type_dir + 14, 0xFFFF);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);
  pe = image_with({rcdata(0, "x")});
  const std::uint32_t language_dir = pe.layout.resource_offset + 48;
  put_u16(pe.bytes, language_dir + 12, 0xFFFF);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);
}

TEST(PeResources, data_must_lie_whole_in_the_file) {
  const std::string host(1000, 'h');
  BuiltPe pe = image_with({rcdata(0, host)});
  const std::size_t entry = data_entry(pe);
  const std::uint32_t data_rva = get_u32(pe.bytes, entry);
  const std::uint32_t data_offset = pe.layout.resource_offset + pe.layout.resource_layout.data_offsets[0];
  // The section's raw data is the file's end: a size that reaches it exactly
  // is in, one byte more is out.
  const std::uint32_t room = static_cast<std::uint32_t>(pe.bytes.size()) - data_offset;
  ASSERT_EQ(pe.layout.resource_offset + get_u32(pe.bytes, section_field(pe, pe.layout.resource_section_index, 16)),
            pe.bytes.size());
  put_u32(pe.bytes, section_field(pe, pe.layout.resource_section_index, 8), 0x10000);  // virtual size past raw
  put_u32(pe.bytes, entry + 4, room);
  ResourceLookup found = lookup(pe.bytes);
  ASSERT_EQ(found.status, LookupStatus::found);
  EXPECT_EQ(found.offset + found.size, pe.bytes.size());
  put_u32(pe.bytes, entry + 4, room + 1);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::outside_file);
  put_u32(pe.bytes, entry + 4, kMax32);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::outside_file);

  put_u32(pe.bytes, entry + 4, 16);
  put_u32(pe.bytes, entry, kMax32);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::outside_file);
  put_u32(pe.bytes, entry, data_rva + room);  // inside the virtual size, past the raw data
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::outside_file);
}

TEST(PeResources, data_below_size_of_headers_maps_to_itself) {
  BuiltPe pe = image_with({rcdata(0, "x")});
  const std::size_t entry = data_entry(pe);
  const std::uint32_t headers = pe.layout.size_of_headers;
  put_u32(pe.bytes, entry, headers - 4);
  put_u32(pe.bytes, entry + 4, 4);
  ResourceLookup found = lookup(pe.bytes);
  ASSERT_EQ(found.status, LookupStatus::found);
  EXPECT_EQ(found.offset, headers - 4u);
  put_u32(pe.bytes, entry + 4, 5);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::outside_file);
  put_u32(pe.bytes, entry, 0);
  put_u32(pe.bytes, entry + 4, 2);
  found = lookup(pe.bytes);
  ASSERT_EQ(found.status, LookupStatus::found);
  EXPECT_EQ(resource_bytes(pe.bytes, found), "MZ");
}

TEST(PeResources, data_entry_outside_its_section_is_malformed) {
  BuiltPe pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, language_entry(pe) + 4, 0x7FFFFFF0u);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);
  pe = image_with({rcdata(0, "x")});
  put_u32(pe.bytes, language_entry(pe) + 4, pe.layout.resource_raw_size - 15);  // 15 of its 16 bytes remain
  put_u32(pe.bytes, section_field(pe, pe.layout.resource_section_index, 8), 0);  // span is the raw size
  put_u32(pe.bytes, section_field(pe, pe.layout.resource_section_index, 16), pe.layout.resource_raw_size);
  EXPECT_EQ(lookup(pe.bytes).status, LookupStatus::malformed);
}

}  // namespace
}  // namespace quarn::pe
