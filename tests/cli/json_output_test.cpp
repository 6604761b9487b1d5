// The JSON Lines of --json, read back with a JSON parser.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/json_output.h"
#include "remedies/handlers.h"

namespace quarn::cli {
namespace {

using nlohmann::json;

json parsed(const std::string& line) {
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line, ended";
  return json::parse(line);
}

TEST(Base64, encodes_the_standard_vectors_with_padding) {
  EXPECT_EQ(base64(""), "");
  EXPECT_EQ(base64("f"), "Zg==");
  EXPECT_EQ(base64("fo"), "Zm8=");
  EXPECT_EQ(base64("foo"), "Zm9v");
  EXPECT_EQ(base64("foob"), "Zm9vYg==");
  EXPECT_EQ(base64("fooba"), "Zm9vYmE=");
  EXPECT_EQ(base64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(base64(std::string("\xFF\xFE\x00", 3)), "//4A");  // high bytes and a zero byte
}

TEST(JsonFileLine, names_the_word_the_preview_flag_the_threat_and_the_handler) {
  CHtmlHandler html;
  const json object = parsed(json_file_line(STATUS_CLEANED, true, &html, "/s/index.htm"));
  EXPECT_EQ(object, json::parse(R"({"type":"file","status":"cleaned","report_only":true,
                                    "threat":"Win32.Quarn","handler":"html","path":"/s/index.htm"})"));
  CExeHandler exe;
  CMailHandler mail;
  CVirusHandler other("Other.Threat", "txt", true);
  EXPECT_STREQ(handler_name(exe), "exe");
  EXPECT_STREQ(handler_name(mail), "mail");
  EXPECT_STREQ(handler_name(other), "other");
  EXPECT_EQ(parsed(json_file_line(STATUS_CLEANED | STATUS_ERROR, false, &other, "a")).at("status"), "error");
  EXPECT_EQ(parsed(json_file_line(STATUS_DELETED, false, &other, "a")).at("threat"), "Other.Threat");
}

// Where UTF-8 ends: the last code point and the first beyond it, a
// surrogate, an overlong form and a sequence cut short.
TEST(JsonFileLine, gives_path_bytes_exactly_when_the_path_is_not_utf8) {
  CMailHandler mail;
  for (const std::string valid : {"/a/\x7F", "/a/\xC2\x80", "/a/\xED\x9F\xBF", "/a/\xF4\x8F\xBF\xBF"}) {
    const json object = parsed(json_file_line(STATUS_DELETED, false, &mail, valid));
    EXPECT_EQ(object.at("path"), valid);
    EXPECT_FALSE(object.contains("path_bytes")) << valid;
  }
  for (const std::string invalid : {"/a/\xF4\x90\x80\x80", "/a/\xED\xA0\x80", "/a/\xC0\xAF", "/a/\xC3", "/a/\x80"}) {
    const json object = parsed(json_file_line(STATUS_DELETED, false, &mail, invalid));
    EXPECT_EQ(object.at("path_bytes"), base64(invalid)) << object;
    EXPECT_EQ(object.at("path").get<std::string>().rfind("/a/\xEF\xBF\xBD", 0), 0u) << object;
  }
  // Control bytes are valid UTF-8: JSON escapes them, the line stays one line.
  const json control = parsed(json_file_line(STATUS_DELETED, false, &mail, "/a\nb\x1b"));
  EXPECT_EQ(control.at("path"), "/a\nb\x1b");
}

TEST(JsonSummaryLine, holds_every_counter_the_bytes_and_the_seconds) {
  Figures f;
  f.files_scanned = 120;
  f.files_skipped = 7;
  f.files_infected = 5;
  f.files_cleaned = 3;
  f.files_deleted = 1;
  f.scan_errors = 1;
  f.directories = 9;
  f.bytes_read = 5'000'000'000;  // past 32 bits
  f.elapsed_seconds = 3725;
  EXPECT_EQ(parsed(json_summary_line(f, false, SummaryFacts{4, platform::StopSignal::none, 2, 8, "a reason"})),
            json::parse(R"({"type":"summary","report_only":false,"files_scanned":120,"files_skipped":7,
                            "files_infected":5,"files_cleaned":3,"files_deleted":1,"scan_errors":1,
                            "directories":9,"excluded":2,"log_lines_lost":4,"bytes_read":5000000000,
                            "elapsed_seconds":3725,"stopped_by":null,"jobs":8,"jobs_reason":"a reason"})"));
  f.elapsed_seconds = -2;  // the clock was set back
  EXPECT_EQ(parsed(json_summary_line(f, true, SummaryFacts{})).at("elapsed_seconds"), 0);
  SummaryFacts hung_up;
  hung_up.stop = platform::StopSignal::hangup;
  const json stopped = parsed(json_summary_line(f, true, hung_up));
  EXPECT_EQ(stopped.at("stopped_by"), "SIGHUP");
  EXPECT_EQ(stopped.at("jobs_reason"), "--jobs");
}

}  // namespace
}  // namespace quarn::cli
