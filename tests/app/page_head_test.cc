#include "app/page_head.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/page_fixture.h"
#include "app/state.h"
#include "test_support.h"

namespace {

using test::capture_stdout;
using test::run_in_child;
using test::write_file;

RequestOptions request_from(std::vector<std::string> entries) {
  std::vector<char*> environment;
  for (std::string& entry : entries) {
    environment.push_back(entry.data());
  }
  environment.push_back(nullptr);
  RequestOptions options;
  read_request(environment.data(), options);
  return options;
}

struct RequestCase {
  std::vector<std::string> environment;
  bool next_given;
  int32_t next_value;
  bool daily_given;
  bool error;
};

TEST(QueryReader, ReadsOnlyTheStartOfTheQuery) {
  const RequestCase cases[] = {
      {{}, false, 0, false, false},
      {{"QUERY_STRING="}, false, 0, false, false},
      {{"QUERY_STRING=again="}, false, 0, false, false},
      {{"QUERY_STRING=again=x&next=3"}, false, 0, false, false},
      {{"QUERY_STRING=next=12&x=1"}, true, 12, false, false},
      {{"QUERY_STRING=next=abc"}, true, 0, false, false},
      {{"QUERY_STRING=next="}, true, 0, false, false},
      {{"QUERY_STRING=next=-5"}, true, -5, false, false},
      {{"QUERY_STRING=next=+4"}, true, 4, false, false},
      {{"QUERY_STRING=next=%31"}, true, 0, false, false},
      {{"QUERY_STRING=next=+-4"}, true, 0, false, false},
      {{"QUERY_STRING=next= \t\n\v\f\r7"}, true, 7, false, false},
      {{"QUERY_STRING=next=007x9"}, true, 7, false, false},
      {{"QUERY_STRING=next=+7"}, true, 7, false, false},
      {{"QUERY_STRING=daily=yes"}, false, 0, true, false},
      {{"QUERY_STRING=daily="}, false, 0, true, false},
      {{"QUERY_STRING=Next=3"}, false, 0, false, true},
      {{"QUERY_STRING=foo=1"}, false, 0, false, true},
      {{"QUERY_STRING=next"}, false, 0, false, true},
      {{"QUERY_STRING=daily"}, false, 0, false, true},
      {{"QUERY_STRING= next=1"}, false, 0, false, true},
      {{"QUERY_STRING=next%3D1"}, false, 0, false, true},
      {{"QUERY_STRINGS=foo", "query_string=foo", "QUERY_STRING"},
       false,
       0,
       false,
       false},
      {{"PATH=/bin", "QUERY_STRING=next=2", "HOME=/"}, true, 2, false, false},
      // Every entry by that name counts; a later number replaces an earlier.
      {{"QUERY_STRING=next=2", "QUERY_STRING=next=5"}, true, 5, false, false},
      {{"QUERY_STRING=next=2", "QUERY_STRING=daily="}, true, 2, true, false},
      // The scan stops at the first entry it does not recognise.
      {{"QUERY_STRING=x", "QUERY_STRING=next=3"}, false, 0, false, true},
      {{"QUERY_STRING=next=3", "QUERY_STRING=x"}, true, 3, false, true},
  };
  for (const RequestCase& c : cases) {
    std::string shown;
    for (const std::string& entry : c.environment) {
      shown += "[" + entry + "]";
    }
    SCOPED_TRACE(shown);
    RequestOptions options = request_from(c.environment);
    EXPECT_EQ(c.next_given, options.next_given);
    EXPECT_EQ(c.next_value, options.next_value);
    EXPECT_EQ(c.daily_given, options.daily_given);
    if (c.error) {
      EXPECT_STREQ("Parameter error", options.request_error);
    } else {
      EXPECT_EQ(nullptr, options.request_error);
    }
  }
}

// Digits beyond the signed 32-bit range saturate, so the clamp of the
// selection still shows the last quote or quote 0.
TEST(QueryReader, NumbersBeyond32BitsSaturate) {
  const struct {
    const char* query;
    int32_t value;
  } cases[] = {
      {"next=2147483647", INT32_MAX},
      {"next=2147483648", INT32_MAX},
      {"next=4294967297", INT32_MAX},
      {"next=99999999999999999999999999999999", INT32_MAX},
      {"next=-2147483648", INT32_MIN},
      {"next=-2147483649", INT32_MIN},
      {"next=-99999999999999999999999999999999", INT32_MIN},
      {"next=00000000000000000000000000000012", 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    RequestOptions options =
        request_from({std::string("QUERY_STRING=") + c.query});
    EXPECT_TRUE(options.next_given);
    EXPECT_EQ(c.value, options.next_value);
  }
}

class PageHead : public ScratchDirTest {};

TEST_F(PageHead, AbsentTemplateLeavesConsoleMode) {
  EXPECT_FALSE(open_head_template());
  EXPECT_FALSE(page_mode);
  std::filesystem::create_directory(path_of(head_template_name));
  EXPECT_FALSE(open_head_template());
  EXPECT_FALSE(page_mode);
}

TEST_F(PageHead, FoundTemplateTurnsOnPageModeAndStaysOpen) {
  write_file(path_of(head_template_name), "<head>\n");
  EXPECT_TRUE(open_head_template());
  EXPECT_TRUE(page_mode);
  EXPECT_TRUE(template_file.is_open);
}

TEST_F(PageHead, BuiltInHead) {
  RequestOptions options;
  EXPECT_EQ(std::string(page_header) + built_in_page_head,
            capture_stdout([&] { write_page_head(false, options); }));
}

TEST_F(PageHead, TemplateReplacesBuiltInHead) {
  write_file(path_of(head_template_name), "<html>\n<h1>Quotes</h1>");
  ASSERT_TRUE(open_head_template());
  RequestOptions options;
  EXPECT_EQ(std::string(page_header) + "<html>\n\n<h1>Quotes</h1>\n",
            capture_stdout([&] { write_page_head(true, options); }));
  EXPECT_FALSE(template_file.is_open);
}

TEST_F(PageHead, ParameterErrorPageEndsTheRun) {
  RequestOptions options;
  options.request_error = parameter_error;
  test::RunResult ending =
      run_in_child([&] { write_page_head(false, options); });
  EXPECT_EQ(1, ending.status);
  EXPECT_EQ(std::string(page_header) + built_in_page_head +
                "Parameter error<br><br>\n",
            ending.output);

  write_file(path_of(head_template_name), "<head>");
  ASSERT_TRUE(open_head_template());
  ending = run_in_child([&] { write_page_head(true, options); });
  EXPECT_EQ(1, ending.status);
  EXPECT_EQ(std::string(page_header) + "<head>\nParameter error<br><br>\n",
            ending.output);
}

TEST_F(PageHead, TemplatePathTooLongEndsTheRun) {
  std::string deep = enter_deep_directory();
  write_file(deep + "/" + head_template_name, "<head>\n");
  test::RunResult ending = run_in_child([] { open_head_template(); });
  EXPECT_EQ(1, ending.status);
  EXPECT_EQ("\npath too long for dictorn32head.htm", ending.output);
}

class CopyTemplate : public ScratchDirTest {};

// Each piece read (a line with its line feed, or at most 16,383 bytes) is
// written followed by one more line feed.
TEST_F(CopyTemplate, WritesEachPieceAndALineFeed) {
  const std::string x16383(16383, 'x');
  const struct {
    const char* what;
    std::string content;
    std::string output;
  } cases[] = {
      {"empty file", "", ""},
      {"first line with, second without a line feed", "one\ntwo",
       "one\n\ntwo\n"},
      {"empty lines", "\n\n", "\n\n\n\n"},
      {"CR LF line ends", "one\r\ntwo\r\n", "one\n\ntwo\n\n"},
      {"lone CR kept", "a\rb", "a\rb\n"},
      {"0x1A ends reading",
       "a\n\x1A"
       "b\n",
       "a\n\n"},
      {"printf conversions copied as they are", "100%s %d%%\n",
       "100%s %d%%\n\n"},
      {"bytes above 0x7F copied", "caf\xE9\x97\n", "caf\xE9\x97\n\n"},
      {"NUL ends the piece's text", std::string("ab\0cd\nef", 8), "ab\nef\n"},
      {"long line split by an added line feed", x16383 + "y\n",
       x16383 + "\ny\n\n"},
      {"CR LF just fitting", x16383.substr(1) + "\r\n",
       x16383.substr(1) + "\n\n"},
      {"CR LF in the next piece loses its CR", x16383 + "\r\n",
       x16383 + "\n\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(path_of("t.htm"), c.content);
    ASSERT_TRUE(text_open(template_file, path_of("t.htm").c_str()));
    EXPECT_EQ(c.output, capture_stdout(copy_template));
    EXPECT_FALSE(template_file.is_open);
  }
}

}  // namespace
