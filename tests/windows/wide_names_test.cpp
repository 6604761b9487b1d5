// Names of any script and length, and the reparse rules: the text
// conversions (text.h) and those that the Win32 layer keeps to itself
// (wide_path.h, reparse_rules.h), fed directly, and the platform's services
// on a tree of such names.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/directory.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "platform/win32/reparse_rules.h"
#include "platform/win32/wide_path.h"
#include "support/temp_tree.h"

namespace quarn::platform {
namespace {

using namespace win32;
using quarn::testing::TempTree;

// U+65E5 U+672C (Japanese), U+1F600 (an emoji: a surrogate pair), e-acute.
const std::wstring kJapanese = L"\u65E5\u672C";
const std::string kJapaneseUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC";
const std::wstring kEmoji = L"\U0001F600";
const std::string kEmojiUtf8 = "\xF0\x9F\x98\x80";

TEST(WidePath, every_utf16_name_has_one_inner_form_and_comes_back_unchanged) {
  EXPECT_EQ(narrow(kJapanese), kJapaneseUtf8);
  EXPECT_EQ(narrow(kEmoji), kEmojiUtf8);
  EXPECT_EQ(narrow(L"Caf\u00E9"), "Caf\xC3\xA9");
  // An unpaired half keeps its own three bytes.
  EXPECT_EQ(narrow(std::wstring(L"x\xD800")), "x\xED\xA0\x80");
  EXPECT_EQ(narrow(std::wstring(L"\xDC00")), "\xED\xB0\x80");
  for (const std::wstring& name : {kJapanese, kEmoji, std::wstring(L"a\xD83D.exe"), std::wstring(L"\xDE00z"),
                                   std::wstring(L"\xDC00\xD800"), std::wstring(L"\xD83D\xD83D\xDE00")}) {
    EXPECT_EQ(widen(narrow(name)), name);
  }
  // A byte that starts nothing valid cannot name a file it meant.
  EXPECT_EQ(widen("a\xE9z"), L"a\uFFFDz");
  EXPECT_EQ(widen("\xF0\x9F\x98"), L"\uFFFD\uFFFD\uFFFD");
}

TEST(WidePath, long_prefix_is_added_and_removed_for_drives_and_shares) {
  EXPECT_EQ(with_long_prefix(L"C:\\a\\b"), L"\\\\?\\C:\\a\\b");
  EXPECT_EQ(with_long_prefix(L"C:\\"), L"\\\\?\\C:\\");
  EXPECT_EQ(with_long_prefix(L"\\\\server\\share\\a"), L"\\\\?\\UNC\\server\\share\\a");
  EXPECT_EQ(with_long_prefix(L"\\\\?\\C:\\a"), L"\\\\?\\C:\\a");
  EXPECT_EQ(with_long_prefix(L"\\\\.\\NUL"), L"\\\\.\\NUL");
  EXPECT_EQ(without_long_prefix(L"\\\\?\\C:\\a\\b"), L"C:\\a\\b");
  EXPECT_EQ(without_long_prefix(L"\\\\?\\UNC\\server\\share\\a"), L"\\\\server\\share\\a");
  EXPECT_EQ(without_long_prefix(L"C:\\a"), L"C:\\a");
}

TEST(WidePath, only_the_system_side_is_made_absolute_and_normalised) {
  TempTree tree;
  const std::wstring root = widen(tree.root());
  EXPECT_EQ(system_path("c:\\"), L"\\\\?\\c:\\");
  EXPECT_EQ(system_path("c:/a//b/./c/../d"), L"\\\\?\\c:\\a\\b\\d");
  EXPECT_EQ(system_path("c:\\a\\"), L"\\\\?\\c:\\a\\");
  EXPECT_EQ(system_path("\\\\server\\share\\a"), L"\\\\?\\UNC\\server\\share\\a");
  // A path that has the prefix already is the user's exact name.
  EXPECT_EQ(system_path("\\\\?\\c:\\a\\..\\b."), L"\\\\?\\c:\\a\\..\\b.");
  // Relative start folders and the empty one are taken from the current
  // folder, as the ANSI API took them.
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));
  EXPECT_EQ(system_path("sub\\..\\x"), L"\\\\?\\" + root + L"\\x");
  EXPECT_EQ(system_path("."), L"\\\\?\\" + root);
  EXPECT_EQ(system_path(""), L"\\\\?\\" + root.substr(0, 3));
  SetCurrentDirectoryW(saved);
  // Names are joined to a folder's system path exactly as listed.
  EXPECT_EQ(system_join(L"\\\\?\\c:\\", "x. "), L"\\\\?\\c:\\x. ");
  EXPECT_EQ(system_join(L"\\\\?\\c:\\a", kEmojiUtf8), L"\\\\?\\c:\\a\\" + kEmoji);
}

TEST(WidePath, log_form_keeps_the_code_pages_bytes_and_writes_every_other_character_as_its_code_point) {
  // A code page that holds U+0000 to U+00FF as one byte each (Latin-1).
  const auto latin1 = [](std::wstring_view c) -> std::optional<std::string> {
    if (c.size() != 1 || c[0] > 0xFF) return std::nullopt;
    return std::string(1, static_cast<char>(c[0]));
  };
  EXPECT_EQ(log_form(L"c:\\Caf\u00E9\\" + kJapanese + L"\\" + kEmoji + L"\\x" + std::wstring(1, L'\xD800') + L".exe",
                     latin1),
            "c:\\Caf\xE9\\<U+65E5><U+672C>\\<U+1F600>\\x<U+D800>.exe");
  // The real code page: ASCII stays, and no ANSI code page but UTF-8 holds
  // an emoji.
  EXPECT_EQ(log_text("c:\\site\\index.htm"), "c:\\site\\index.htm");
  if (GetACP() != CP_UTF8) {
    EXPECT_EQ(log_text("c:\\" + kEmojiUtf8), "c:\\<U+1F600>");
  }
  if (GetACP() == 1252) {
    EXPECT_EQ(log_text("c:\\Caf\xC3\xA9"), "c:\\Caf\xE9");
  }
}

TEST(ReparseRules, only_name_surrogates_are_links_and_data_elsewhere_is_never_opened) {
  constexpr std::uint32_t kSymlink = 0xA000000C, kMountPoint = 0xA0000003, kDedup = 0x80000013,
                          kCloud = 0x9000001A, kWslLink = 0xA000001D;
  constexpr std::uint32_t kFile = 0x20, kDir = kAttributeDirectory, kPoint = kAttributeReparsePoint;
  EXPECT_EQ(entry_kind(kFile | kPoint, kSymlink), EntryKind::link);
  EXPECT_EQ(entry_kind(kDir | kPoint, kSymlink), EntryKind::link);
  EXPECT_EQ(entry_kind(kDir | kPoint, kMountPoint), EntryKind::link);
  EXPECT_EQ(entry_kind(kFile | kPoint, kWslLink), EntryKind::link);
  EXPECT_EQ(entry_kind(kFile | kPoint, kTagUnknown), EntryKind::link);
  // Other tags: the data is here behind a filter, and is scanned.
  EXPECT_EQ(entry_kind(kFile | kPoint, kDedup), EntryKind::regular);
  EXPECT_EQ(entry_kind(kDir | kPoint, kDedup), EntryKind::directory);
  EXPECT_EQ(entry_kind(kFile | kPoint, kCloud), EntryKind::regular);
  // The tag means nothing without the attribute.
  EXPECT_EQ(entry_kind(kFile, kSymlink), EntryKind::regular);
  for (std::uint32_t away : {kAttributeOffline, kAttributeRecallOnOpen, kAttributeRecallOnDataAccess}) {
    EXPECT_EQ(entry_kind(kFile | away, 0), EntryKind::not_on_disk) << away;
    EXPECT_EQ(entry_kind(kFile | kPoint | away, kCloud), EntryKind::not_on_disk) << away;
    // A folder whose listing is fetched is walked: its files say for
    // themselves whether their data is here.
    EXPECT_EQ(entry_kind(kDir | away, 0), EntryKind::directory) << away;
  }
  EXPECT_EQ(entry_kind(kAttributeDevice, 0), EntryKind::other);
  EXPECT_EQ(kAttributeRecallOnDataAccess, 0x400000u);
  EXPECT_EQ(kAttributeRecallOnOpen, 0x40000u);
}

// Writes a file through the wide API, below a folder given as a system path.
void write_wide(const std::wstring& path, const std::string& contents) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << narrow(path);
  DWORD written = 0;
  WriteFile(handle, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  CloseHandle(handle);
}

std::string read_through_platform(const Folder& folder, const std::string& name) {
  auto file = File::open_read(folder, name);
  if (!file) return "<not opened>";
  std::string text(64, '\0');
  text.resize(file->read(text.data(), text.size()));
  return text;
}

TEST(WideNames, any_script_and_any_length_are_listed_opened_replaced_and_deleted) {
  TempTree tree;
  std::wstring folder = L"\\\\?\\" + widen(tree.root());
  std::string shown = tree.root();
  // Folders of 100 characters, seven deep: a path of over 700.
  const std::string long_name = kJapaneseUtf8 + std::string(94, 'd');
  for (int level = 0; level < 7; ++level) {
    folder += L"\\" + widen(long_name);
    shown += "\\" + long_name;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << level;
  }
  ASSERT_GT(shown.size(), 600u);
  write_wide(folder + L"\\" + kEmoji + L".exe", "emoji");

  auto opened = Folder::open(shown, LinkAtEnd::refuse).folder;
  ASSERT_TRUE(opened.has_value());
  auto listing = opened->list();
  ASSERT_TRUE(listing.has_value());
  DirEntry entry;
  bool seen = false;
  while (listing->next(entry) == ListingStep::entry) seen = seen || entry.name == kEmojiUtf8 + ".exe";
  EXPECT_TRUE(seen);
  EXPECT_EQ(read_through_platform(*opened, kEmojiUtf8 + ".exe"), "emoji");
  EXPECT_EQ(node_kind(shown + "\\" + kEmojiUtf8 + ".exe"), NodeKind::regular);
  EXPECT_TRUE(identity_of(shown).has_value());
  EXPECT_EQ(full_path(shown), std::optional<std::string>(shown));

  // A restored copy takes the name's place; a dropped copy is deleted.
  std::string copy;
  {
    auto made = File::create_unique(*opened, "~quarn", copy);
    ASSERT_TRUE(made.has_value());
    ASSERT_TRUE(made->write_all("host", 4));
  }
  EXPECT_TRUE(opened->replace_file(copy, kEmojiUtf8 + ".exe"));
  EXPECT_EQ(read_through_platform(*opened, kEmojiUtf8 + ".exe"), "host");
  EXPECT_TRUE(opened->delete_file(kEmojiUtf8 + ".exe"));
  EXPECT_EQ(opened->kind_of(kEmojiUtf8 + ".exe"), NodeKind::missing);
}

TEST(WideNames, a_name_with_an_unpaired_surrogate_is_reached) {
  TempTree tree;
  const std::wstring name = std::wstring(L"x") + L'\xD800' + L".exe";
  const std::wstring path = L"\\\\?\\" + widen(tree.root()) + L"\\" + name;
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  // Wine keeps names in UTF-8 on the Linux side, which cannot hold one.
  if (handle == INVALID_HANDLE_VALUE) GTEST_SKIP() << "this system cannot make such a name (Wine cannot)";
  CloseHandle(handle);
  auto folder = Folder::open(tree.root(), LinkAtEnd::refuse).folder;
  ASSERT_TRUE(folder.has_value());
  auto listing = folder->list();
  ASSERT_TRUE(listing.has_value());
  DirEntry entry;
  bool seen = false;
  while (listing->next(entry) == ListingStep::entry) seen = seen || entry.name == narrow(name);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(File::open_read(*folder, narrow(name)).has_value());
  EXPECT_EQ(log_text(tree.root() + "\\" + narrow(name)), log_text(tree.root()) + "\\x<U+D800>.exe");
}

}  // namespace
}  // namespace quarn::platform
