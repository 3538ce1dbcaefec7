// Page-mode runs of the built program, as a web server starts it: copied
// into a fresh directory with its files, run with exactly the environment a
// CGI program gets, its standard output compared byte for byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "app/page_fixture.h"
#include "test_support.h"

namespace {

using test::expected;
using test::RunResult;
using test::write_file;

constexpr char default_address[] = "/cgi-bin/dictorn32.exe";
constexpr char quote_block_opening[] =
    "<font size=\"3\" face=\"Palatino Linotype,Palatino,Times\">"
    "<div align=\"left\">\n";

// The quote file, and each quote as the page shows it.
const struct {
  const char* line;
  const char* shown;
} quotes[] = {
    {"Plain words on a page.", "  Plain words on a page.\n<br>\n"},
    {"First line^second line ` Some Author",
     "  First line\n<br>\nsecond line\n</div><div align=\"right\">\n"
     "- Some Author\n<br>\n"},
    {"`  two  spaces^`^ kept",
     "&nbsp;&nbsp;two&nbsp;&nbsp;spaces<br>\n^&nbsp;kept<br>\n<br>\n"},
    {"a--b & <i>html</i>",
     "  a\x97"
     "b & <i>html</i>\n<br>\n"},
    {"", "  \n<br>\n"},
    {"Quote five.", "  Quote five.\n<br>\n"},
    {"Quote six.", "  Quote six.\n<br>\n"},
    {"Quote seven.", "  Quote seven.\n<br>\n"},
    {"Quote eight.", "  Quote eight.\n<br>\n"},
    {"The last quote.", "  The last quote.\n<br>\n"},
};
constexpr int quote_count = sizeof quotes / sizeof quotes[0];

std::string quote_file() {
  std::string bytes;
  for (const auto& quote : quotes) {
    bytes += std::string(quote.line) + "\n";
  }
  return bytes;
}

// What frames the quote on a page: everything but the quote and the numbers.
struct PageFrame {
  std::string before_header;  // configuration warnings
  std::string head = built_in_page_head;
  std::string address = default_address;
  std::string tail = "</body>";
};

std::string page(const PageFrame& frame, int quote, int another) {
  int previous = quote == 0 ? quote_count - 1 : quote - 1;
  int next = quote == quote_count - 1 ? 0 : quote + 1;
  return expected(frame.before_header + page_header + frame.head + "\n" +
                  quote_block_opening + quotes[quote].shown +
                  page_footer(frame.address, another, previous, next) +
                  frame.tail);
}

// The generator of the quote of the day, written out here so that the test
// does not lean on the program's own: state * 214013 + 2531011, bits 16..30.
struct DayDraws {
  int quote;
  int another;
};

DayDraws day_draws(int64_t day, int count) {
  uint32_t state = static_cast<uint32_t>(day);
  int draws[2];
  for (int& draw : draws) {
    state = state * 214013u + 2531011u;
    draw = static_cast<int>((state >> 16) & 0x7FFF);
  }
  return {draws[0] * count / 32768, draws[1] * count / 32768};
}

// The "Another Quote..." number a page offers: the first value="..." on it.
int another_number(const std::string& output) {
  size_t at = output.find("value=\"");
  if (at == std::string::npos) {
    return -1;
  }
  return std::atoi(output.c_str() + at + 7);
}

class PageRun : public ::testing::Test {
 protected:
  // The program with the quotes and the given files, its index built.
  void install(const std::vector<std::pair<std::string, std::string>>& files) {
    write_file(dir_.file("dictorn.txt"), quote_file());
    for (const auto& [name, bytes] : files) {
      write_file(dir_.file(name), bytes);
    }
    RunResult rebuild = run({});
    ASSERT_EQ(0, rebuild.status) << rebuild.output;
  }

  RunResult run(const std::vector<std::string>& env) {
    return test::run_program(dir_.path(), {}, env);
  }

  // A quote drawn from the clock cannot be foreseen: the page must be that
  // of one of the quotes, whole and exact.
  void expect_page_of_some_quote(const PageFrame& frame,
                                 const std::vector<std::string>& env) {
    RunResult result = run(env);
    EXPECT_EQ(1, result.status);
    int another = another_number(result.output);
    EXPECT_GE(another, 0);
    EXPECT_LT(another, quote_count);
    for (int quote = 0; quote < quote_count; ++quote) {
      if (result.output == page(frame, quote, another)) {
        return;
      }
    }
    ADD_FAILURE() << "not a page of any quote:\n" << result.output;
  }

  test::TempDir dir_;
};

TEST_F(PageRun, FirstRunRebuildsTheIndexAndShowsNoQuote) {
  write_file(dir_.file("dictorn.txt"), quote_file());
  write_file(dir_.file("dictorn32.conf"), "");
  RunResult result = run({"QUERY_STRING=next=3"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(expected(std::string(page_header) + built_in_page_head + "\n" +
                     "\nre-building index file " +
                     test::shown_path(dir_.file("dictorn.ndx")) + "\n"),
            result.output);
  EXPECT_TRUE(test::path_exists(dir_.file("dictorn.ndx")));
}

// After a next= query the generator is seeded from the clock and drawn once,
// for the "Another Quote..." number, which this test reads off the page.
TEST_F(PageRun, NextShowsTheQuoteAskedForClampedToTheFile) {
  install({{"dictorn32.conf", ""}});
  const struct {
    const char* query;
    int quote;
  } cases[] = {
      {"next=0", 0},      {"next=1", 1},           {"next=2", 2},
      {"next=3", 3},      {"next=4", 4},           {"next=9", 9},
      {"next=12&x=1", 9}, {"next=1000", 9},        {"next=2147483648", 9},
      {"next=-5", 0},     {"next=-2147483649", 0}, {"next=abc", 0},
      {"next=%31", 0},    {"next=+4", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    RunResult result = run({std::string("QUERY_STRING=") + c.query});
    EXPECT_EQ(1, result.status);
    int another = another_number(result.output);
    EXPECT_GE(another, 0);
    EXPECT_LT(another, quote_count);
    EXPECT_EQ(page(PageFrame{}, c.quote, another), result.output);
  }
}

// The quote of the day and its "Another Quote..." number are the first and
// second draws after seeding with the day number: the same on every run of
// the day.
TEST_F(PageRun, DailyShowsTheSameQuoteAndNumberAllDay) {
  install({{"dictorn32.conf", ""}});
  for (const char* query : {"daily=", "daily=yes", "daily=1&next=3"}) {
    SCOPED_TRACE(query);
    for (int attempt = 0; attempt < 3; ++attempt) {
      int64_t day = time(nullptr) / 86400;
      RunResult first = run({std::string("QUERY_STRING=") + query});
      RunResult second = run({std::string("QUERY_STRING=") + query});
      if (time(nullptr) / 86400 != day) {
        continue;  // midnight UTC fell between the runs
      }
      DayDraws draws = day_draws(day, quote_count);
      EXPECT_EQ(1, first.status);
      EXPECT_EQ(page(PageFrame{}, draws.quote, draws.another), first.output);
      EXPECT_EQ(first.output, second.output);
      break;
    }
  }
}

// again=, an empty and an absent query give a quote drawn at random.
TEST_F(PageRun, RandomQueriesShowAQuoteOfTheFile) {
  install({{"dictorn32.conf", ""}});
  const std::vector<std::vector<std::string>> environments = {
      {"QUERY_STRING=again="},
      {"QUERY_STRING=again=7&next=3"},
      {"QUERY_STRING="},
      {},
      {"PATH=/usr/bin:/bin", "HOME=/"},
  };
  for (const auto& env : environments) {
    SCOPED_TRACE(env.empty() ? "no environment" : env[0]);
    for (int i = 0; i < 3; ++i) {
      expect_page_of_some_quote(PageFrame{}, env);
    }
  }
}

TEST_F(PageRun, UnrecognisedQueryGivesTheErrorPageBeforeAnyQuoteFile) {
  write_file(dir_.file("dictorn32.conf"), "");
  for (const char* query : {"Next=3", "foo=1", "next", " next=1"}) {
    SCOPED_TRACE(query);
    RunResult result = run({std::string("QUERY_STRING=") + query});
    EXPECT_EQ(1, result.status);
    EXPECT_EQ(expected(std::string(page_header) + built_in_page_head +
                       "Parameter error<br><br>\n"),
              result.output);
  }
  // No quote file was looked for, so no index was built.
  EXPECT_FALSE(test::path_exists(dir_.file("dictorn.ndx")));
}

// The head template alone turns on page mode; the templates' line ends are
// read as text (CR LF becomes LF) and each line gets one more line feed.
TEST_F(PageRun, TemplatesFrameThePage) {
  install({{"dictorn32head.htm", "<html><head>\r\n<title>Q</title></head>"},
           {"dictorn32tail.htm", "<p>end</p>\r\n</html>\r\n"}});
  PageFrame frame;
  frame.head = "<html><head>\n\n<title>Q</title></head>\n";
  frame.tail = "<p>end</p>\n\n</html>\n\n";
  RunResult result = run({"QUERY_STRING=next=1"});
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(page(frame, 1, another_number(result.output)), result.output);

  result = run({"QUERY_STRING=bad"});
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(expected(std::string(page_header) + frame.head +
                     "Parameter error<br><br>\n"),
            result.output);
}

// Warnings about unknown lines reach the web server before the header.
TEST_F(PageRun, ConfigurationSetsTheAddressAndWarnsBeforeTheHeader) {
  install({{"dictorn32.conf",
            "# quotes\r\ncgiserver /old\r\nbutton colour\r\n"
            "cgiserver \t/cgi-bin/quotes?a=1&b=%s\r\n"}});
  PageFrame frame;
  frame.before_header = "unknown configuration <button colour>\n";
  frame.address = "/cgi-bin/quotes?a=1&b=%s";
  RunResult result = run({"QUERY_STRING=next=9"});
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(page(frame, 9, another_number(result.output)), result.output);
}

// Without the configuration file and the head template, a run under a web
// server is a console run: no header, the query not read.
TEST_F(PageRun, WithoutConfigurationOrHeadTemplateRunsAsConsole) {
  write_file(dir_.file("dictorn.txt"), "Only quote.\n");
  write_file(dir_.file("dictorn32tail.htm"), "</html>\n");
  ASSERT_EQ(0, run({}).status);
  for (const char* query : {"QUERY_STRING=next=3", "QUERY_STRING=bad"}) {
    SCOPED_TRACE(query);
    RunResult result = run({query});
    EXPECT_EQ(1, result.status);
    EXPECT_EQ(expected("\n  Only quote.\n\n"), result.output);
  }
}

// A failure after the head cuts the page short at its message.
TEST_F(PageRun, EmptyQuoteFileEndsThePageWithTheMessage) {
  write_file(dir_.file("dictorn.txt"), "");
  write_file(dir_.file("dictorn32.conf"), "");
  ASSERT_EQ(0, run({}).status);
  RunResult result = run({"QUERY_STRING=next=0"});
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(
      expected(std::string(page_header) + built_in_page_head + "\n" +
               "\nerror reading " + test::shown_path(dir_.file("dictorn.txt"))),
      result.output);
}

}  // namespace
