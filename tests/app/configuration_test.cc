#include "app/configuration.h"

#include <gtest/gtest.h>

#include <string>

#include "app/page_fixture.h"
#include "app/state.h"
#include "test_support.h"

namespace {

using test::capture_stdout;
using test::run_in_child;
using test::write_file;

class Configuration : public ScratchDirTest {};

constexpr char default_address[] = "/cgi-bin/dictorn32.exe";

struct ConfigurationCase {
  const char* what;
  std::string content;
  std::string address;  // script_address afterwards
  std::string output;   // warnings written
};

TEST_F(Configuration, AbsentFileLeavesConsoleModeAndAddress) {
  EXPECT_EQ("", capture_stdout(read_configuration));
  EXPECT_FALSE(page_mode);
  EXPECT_STREQ(default_address, script_address);
}

// The search skips a directory, so one by the file's name counts as absent.
TEST_F(Configuration, DirectoryOfThatNameCountsAsAbsent) {
  std::filesystem::create_directory(path_of(configuration_name));
  EXPECT_EQ("", capture_stdout(read_configuration));
  EXPECT_FALSE(page_mode);
}

TEST_F(Configuration, ReadsKeyCommentsAndWarnings) {
  const std::string long_value(300, 'v');
  const ConfigurationCase cases[] = {
      {"empty file", "", default_address, ""},
      {"comment holding the key", "#cgiserver /x\n", default_address, ""},
      {"spaces around the value", "cgiserver   /cgi-bin/q.exe  \n",
       "/cgi-bin/q.exe  ", ""},
      {"nothing between key and value", "cgiserver/x\n", "/x", ""},
      {"key alone", "cgiserver", "", ""},
      {"key alone with a line feed", "cgiserver\n", "", ""},
      {"every white space byte skipped", "cgiserver \t\r\v\f/x\n", "/x", ""},
      {"0xA0 is not white space", "cgiserver \xA0/x\n", "\xA0/x", ""},
      {"last key wins", "cgiserver /a\ncgiserver /b\ncgiserver /c", "/c", ""},
      {"CR LF line end dropped", "cgiserver /a\r\n", "/a", ""},
      {"lone CR kept", "cgiserver /a\r", "/a\r", ""},
      {"0x1A ends reading",
       "cgiserver /a\n\x1A"
       "cgiserver /b\n",
       "/a", ""},
      {"value cut to 255", "cgiserver " + long_value + "\n",
       std::string(255, 'v'), ""},
      {"key is case-sensitive", "CGISERVER /x\n", default_address,
       "unknown configuration <CGISERVER /x>\n"},
      {"empty line warned", "\ncgiserver /a\n", "/a",
       "unknown configuration <>\n"},
      {"CR LF empty line warned without CR", "\r\n", default_address,
       "unknown configuration <>\n"},
      {"indented key warned", " cgiserver /a\n", default_address,
       "unknown configuration < cgiserver /a>\n"},
      {"percent signs shown as they are", "%s%d\n", default_address,
       "unknown configuration <%s%d>\n"},
      {"NUL ends the line's text", std::string("ab\0cd\n", 6), default_address,
       "unknown configuration <ab>\n"},
  };
  for (const ConfigurationCase& c : cases) {
    SCOPED_TRACE(c.what);
    page_mode = false;
    snprintf(script_address, sizeof script_address, "%s", default_address);
    write_file(path_of(configuration_name), c.content);
    EXPECT_EQ(c.output, capture_stdout(read_configuration));
    EXPECT_TRUE(page_mode);
    EXPECT_EQ(c.address, std::string(script_address));
    EXPECT_FALSE(template_file.is_open);
  }
}

// A line longer than 16,383 bytes is read as pieces of at most 16,383 bytes,
// each judged by itself.
TEST_F(Configuration, LongLinesAreJudgedPieceByPiece) {
  const std::string comment = "#" + std::string(16382, 'c');  // 16,383 bytes
  const ConfigurationCase cases[] = {
      {"continuation holding the key", comment + "cgiserver /late\n", "/late",
       ""},
      {"continuation warned", comment + "tail\n", default_address,
       "unknown configuration <tail>\n"},
      {"continuation that is a comment", comment + "#cgiserver /x\n",
       default_address, ""},
      {"CR LF just fitting", comment.substr(1) + "\r\n", default_address,
       "unknown configuration <" + std::string(16382, 'c') + ">\n"},
      {"CR LF in the next piece loses its CR", comment + "\r\n",
       default_address, "unknown configuration <>\n"},
      {"long value cut to 255", "cgiserver " + std::string(16400, 'v') + "\n",
       std::string(255, 'v'),
       "unknown configuration <" + std::string(16400 - 16373, 'v') + ">\n"},
  };
  for (const ConfigurationCase& c : cases) {
    SCOPED_TRACE(c.what);
    snprintf(script_address, sizeof script_address, "%s", default_address);
    write_file(path_of(configuration_name), c.content);
    EXPECT_EQ(c.output, capture_stdout(read_configuration));
    EXPECT_EQ(c.address, std::string(script_address));
  }
}

// Warnings end with line_end, which is still "\n" when the file is read.
TEST_F(Configuration, WarningEndsWithLineEnd) {
  line_end = "<br>\n";
  write_file(path_of(configuration_name), "x\n");
  EXPECT_EQ("unknown configuration <x><br>\n",
            capture_stdout(read_configuration));
}

TEST_F(Configuration, FoundPathTooLongEndsTheRun) {
  std::string deep = enter_deep_directory();
  write_file(deep + "/" + configuration_name, "cgiserver /x\n");
  test::RunResult ending = run_in_child(read_configuration);
  EXPECT_EQ(1, ending.status);
  EXPECT_EQ("\npath too long for dictorn32.conf", ending.output);
}

}  // namespace
