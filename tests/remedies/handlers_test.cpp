// Status names, handler records and the extension map.
#include <gtest/gtest.h>

#include <cstring>

#include "scan/scan_status.h"
#include "remedies/handlers.h"
#include "scan/virus_scanner.h"
#include "support/temp_tree.h"

namespace quarn {
namespace {

using testing::placed;
using testing::TempTree;

TEST(ScanStatusNames, log_words_by_exact_value) {
  EXPECT_STREQ(log_status_name(0), "skipped");
  EXPECT_STREQ(log_status_name(1), "scanned");
  EXPECT_STREQ(log_status_name(2), "infected");
  EXPECT_STREQ(log_status_name(4), "cleaned");
  EXPECT_STREQ(log_status_name(8), "deleted");
  for (ScanStatus other : {128, 3, 5, 6, 7, 12, 16, -1}) EXPECT_STREQ(log_status_name(other), "error") << other;
}

TEST(ScanStatusNames, list_words_give_no_row_below_two) {
  EXPECT_EQ(list_status_name(0), nullptr);
  EXPECT_EQ(list_status_name(1), nullptr);
  EXPECT_EQ(list_status_name(-1), nullptr);
  EXPECT_STREQ(list_status_name(2), "infected");
  EXPECT_STREQ(list_status_name(4), "cleaned");
  EXPECT_STREQ(list_status_name(8), "deleted");
  for (ScanStatus other : {3, 6, 12, 128}) EXPECT_STREQ(list_status_name(other), "error") << other;
}

TEST(VirusHandler, defaults_when_built_with_nothing) {
  CVirusHandler handler(nullptr, nullptr, true);
  EXPECT_EQ(handler.m_strThreatName, "<unknown>");
  EXPECT_EQ(handler.m_strExtensions, "");
  EXPECT_EQ(handler.m_pszSignature, nullptr);
  EXPECT_TRUE(handler.m_bMatchAlways);
}

TEST(VirusHandler, the_three_handlers_carry_their_parameters) {
  CExeHandler exe;
  CHtmlHandler html;
  CMailHandler mail;
  EXPECT_EQ(exe.m_strThreatName, "Win32.Quarn");
  EXPECT_EQ(exe.m_strExtensions, "exe;dll");
  ASSERT_NE(exe.m_pszSignature, nullptr);
  EXPECT_EQ(std::strlen(exe.m_pszSignature), 13u);
  EXPECT_STREQ(exe.m_pszSignature, "Concept Virus");
  EXPECT_FALSE(exe.m_bMatchAlways);
  EXPECT_EQ(html.m_strExtensions, "html;htm;asp");
  ASSERT_NE(html.m_pszSignature, nullptr);
  EXPECT_EQ(std::strlen(html.m_pszSignature), 47u);
  EXPECT_STREQ(html.m_pszSignature, "<html><script language=\"JavaScript\">window.open");
  EXPECT_EQ(mail.m_strExtensions, "eml;nws");
  EXPECT_EQ(mail.m_pszSignature, nullptr);
  EXPECT_TRUE(mail.m_bMatchAlways);
  EXPECT_EQ(html.m_strThreatName, "Win32.Quarn");
  EXPECT_EQ(mail.m_strThreatName, "Win32.Quarn");
}

TEST(VirusHandler, base_clean_fails_and_leaves_the_file) {
  TempTree tree;
  std::string path = tree.write("a.exe", "payload");
  CVirusHandler handler("x", "exe", false);
  EXPECT_EQ(handler.Clean(placed(path)), STATUS_ERROR);
  EXPECT_EQ(testing::read_file(path), "payload");
}

TEST(VirusHandler, mail_clean_deletes_once_then_fails) {
  TempTree tree;
  std::string path = tree.write("inbox/m.eml", "anything");
  CMailHandler mail;
  EXPECT_EQ(mail.Preview(placed(path)), STATUS_DELETED);
  EXPECT_TRUE(testing::exists(path));
  EXPECT_EQ(mail.Clean(placed(path)), STATUS_DELETED);
  EXPECT_FALSE(testing::exists(path));
  EXPECT_EQ(mail.Clean(placed(path)), STATUS_ERROR);
  EXPECT_EQ(mail.Preview(placed(path)), STATUS_ERROR);
}

std::set<std::string> keys(const ExtensionMap& map) {
  std::set<std::string> out;
  for (const auto& [key, set] : map) out.insert(key);
  return out;
}

TEST(ExtensionMap, the_three_handlers_give_seven_keys_of_one_handler_each) {
  CExeHandler exe;
  CHtmlHandler html;
  CMailHandler mail;
  ExtensionMap map = CVirusScanner::BuildExtensionMap({&exe, &html, &mail});
  EXPECT_EQ(keys(map), (std::set<std::string>{"asp", "dll", "eml", "exe", "htm", "html", "nws"}));
  EXPECT_EQ(map["exe"], HandlerSet{&exe});
  EXPECT_EQ(map["dll"], HandlerSet{&exe});
  EXPECT_EQ(map["html"], HandlerSet{&html});
  EXPECT_EQ(map["asp"], HandlerSet{&html});
  EXPECT_EQ(map["nws"], HandlerSet{&mail});
}

TEST(ExtensionMap, list_pieces_are_lower_cased_and_empty_pieces_kept_except_a_trailing_one) {
  struct Case {
    const char* list;
    std::set<std::string> expected;
  } cases[] = {
      {"EXE;Dll", {"exe", "dll"}},
      {"exe;;dll", {"exe", "", "dll"}},
      {";exe", {"", "exe"}},
      {"exe;", {"exe"}},
      {";", {""}},
      {"exe;exe", {"exe"}},
  };
  for (const Case& c : cases) {
    CVirusHandler handler("t", c.list, false);
    ExtensionMap map = CVirusScanner::BuildExtensionMap({&handler});
    EXPECT_EQ(keys(map), c.expected) << c.list;
    for (const auto& [key, set] : map) EXPECT_EQ(set.size(), 1u) << c.list << " key " << key;
  }
}

TEST(ExtensionMap, handler_with_empty_list_joins_every_claimed_key_and_makes_none) {
  CExeHandler exe;
  CHtmlHandler html;
  CMailHandler mail;
  CVirusHandler everywhere("t", "", true);
  ExtensionMap map = CVirusScanner::BuildExtensionMap({&exe, &html, &mail, &everywhere});
  EXPECT_EQ(map.size(), 7u);
  for (const auto& [key, set] : map) {
    EXPECT_EQ(set.size(), 2u) << key;
    EXPECT_TRUE(set.count(&everywhere)) << key;
  }
  EXPECT_TRUE(CVirusScanner::BuildExtensionMap({&everywhere}).empty());
  EXPECT_TRUE(CVirusScanner::BuildExtensionMap({}).empty());
}

TEST(ExtensionMap, two_handlers_claiming_one_extension_share_its_set) {
  CVirusHandler a("a", "exe;com", false);
  CVirusHandler b("b", "EXE", false);
  ExtensionMap map = CVirusScanner::BuildExtensionMap({&a, &b});
  EXPECT_EQ(map["exe"], (HandlerSet{&a, &b}));
  EXPECT_EQ(map["com"], HandlerSet{&a});
}

}  // namespace
}  // namespace quarn
