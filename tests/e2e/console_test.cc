// Console runs of the built program, as a user runs it: copied into a fresh
// directory with a quote file, run with exactly the environment given, its
// standard output compared byte for byte and its exit status checked.
//
// Every case has the same layout under one temporary directory: the program
// in prog/, an empty current directory work/ unless a case says otherwise,
// and bin/ for PATH.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using test::expected;
using test::RunResult;

using Files = std::vector<std::pair<std::string, std::string>>;

// The paths a run reports, as the program shows them.
struct Where {
  std::string root;
  std::string quote(const std::string& dir) const {
    return test::shown_path(root + "/" + dir + "/dictorn.txt");
  }
  std::string index(const std::string& dir) const {
    return test::shown_path(root + "/" + dir + "/dictorn.ndx");
  }
};

std::string rebuilt(const std::string& index, int passes) {
  return "\nre-building index file " + index + "\n" +
         test::progress_text(passes);
}

std::string sp(size_t n) { return std::string(n, ' '); }

std::string ten_quotes() {
  std::string bytes;
  for (int i = 0; i < 10; ++i) {
    bytes += "quote " + std::to_string(i) + "\n";
  }
  return bytes;
}

struct Case {
  const char* name;
  Files files;                   // relative to the root; "prog/dictorn.txt"
  std::vector<std::string> args;
  std::function<std::string(const Where&)> output;  // before expected()
  int status;
  bool build_first = false;      // a run that builds the index comes first
  Files after_build;             // files replaced after that run
  std::string work = "work";     // the current directory
  std::optional<std::string> path_variable;  // "{root}" stands for the root
  std::vector<std::string> more_env;
  std::optional<std::string> index_after;  // the index file afterwards
  bool no_index_after = false;  // neither an index nor its temporary file
  bool posix_search = false;    // a rule of the POSIX search (see below)
};

std::string with_root(std::string text, const std::string& root) {
  for (size_t at; (at = text.find("{root}")) != std::string::npos;) {
    text.replace(at, 6, root);
  }
  return text;
}

// Run against the Windows program (scripts/test-windows.sh), whose search is
// SearchPathA: the cases of the POSIX search's own rules have their Windows
// forms in windows_test.cc.
bool windows_program() { return test::shown_path("/") != "/"; }

void run_case(const Case& c) {
  SCOPED_TRACE(c.name);
  if (c.posix_search && windows_program()) {
    return;
  }
  test::TempDir dir;
  Where where{dir.path()};
  for (const char* sub : {"prog", "work", "bin"}) {
    test::make_directory(dir.file(sub));
  }
  test::make_files(dir.path(), c.files);
  test::ProgramRun run;
  run.program_dir = dir.file("prog");
  run.work_dir = dir.file(c.work);
  run.args = c.args;
  run.env = c.more_env;
  if (c.path_variable) {
    run.env.push_back("PATH=" + with_root(*c.path_variable, dir.path()));
  }
  if (c.build_first) {
    test::ProgramRun build = run;
    build.args = {};
    RunResult built = test::run_program(build);
    ASSERT_EQ(built.status, 0) << built.output;
    test::make_files(dir.path(), c.after_build);
  }
  RunResult result = test::run_program(run);
  EXPECT_EQ(result.output, expected(c.output(where)));
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.signal, 0);
  if (c.index_after) {
    EXPECT_EQ(test::read_file(dir.file("prog/dictorn.ndx")), *c.index_after);
  }
  if (c.no_index_after) {
    std::string program = test::install_program(dir.file("prog"));
    std::vector<std::string> left = {program.substr(program.rfind('/') + 1),
                                      "dictorn.txt"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(test::list_directory(dir.file("prog")), left);
  }
}

TEST(Console, Runs) {
  const std::string too_long_line = std::string(16382, 'x') + "\n";
  const Case cases[] = {
      // The index.
      {.name = "first run rebuilds and shows no quote",
       .files = {{"prog/dictorn.txt", "one\ntwo\n"}},
       .args = {"1"},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("prog"), 3);
       },
       .status = 0,
       .index_after = test::index_bytes({2, 8, 0, 4, 8})},
      {.name = "a rebuild comes before the usage check",
       .files = {{"prog/dictorn.txt", "one\ntwo\n"}},
       .args = {"x"},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("prog"), 3);
       },
       .status = 0},
      {.name = "stale index is rebuilt",
       .files = {{"prog/dictorn.txt", "one\ntwo\n"}},
       .args = {"1"},
       .output = [](const Where& w) {
         return "\n\ntext file size difference\n" +
                rebuilt(w.index("prog"), 4);
       },
       .status = 0,
       .build_first = true,
       .after_build = {{"prog/dictorn.txt", "one\ntwo\nthree\n"}},
       .index_after = test::index_bytes({3, 14, 0, 4, 8, 14})},
      {.name = "an edit of the same size keeps the old index",
       .files = {{"prog/dictorn.txt", "abc\ndef\n"}},
       .args = {"1"},
       .output = [](const Where&) { return std::string("\n  \n\n"); },
       .status = 1,
       .build_first = true,
       .after_build = {{"prog/dictorn.txt", "abcd\nef\n"}}},
      {.name = "negative count rebuilds without the size message",
       .files = {{"prog/dictorn.txt", "one\ntwo\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("prog"), 3);
       },
       .status = 0,
       .build_first = true,
       .after_build = {{"prog/dictorn.ndx",
                        test::index_bytes({-1, 8, 0, 4, 8})}},
       .index_after = test::index_bytes({2, 8, 0, 4, 8})},
      {.name = "index shorter than its header",
       .files = {{"prog/dictorn.txt", "one\n"},
                 {"prog/dictorn.ndx", std::string("\x01\0\0\0\x04", 5)}},
       .args = {},
       .output = [](const Where& w) {
         return "\n\nerror reading " + w.index("prog");
       },
       .status = 1,
       .index_after = std::string("\x01\0\0\0\x04", 5)},
      {.name = "empty index file",
       .files = {{"prog/dictorn.txt", "one\n"}, {"prog/dictorn.ndx", ""}},
       .args = {},
       .output = [](const Where& w) {
         return "\n\nerror reading " + w.index("prog");
       },
       .status = 1},

      // The quote file's contents.
      {.name = "empty file rebuilds",
       .files = {{"prog/dictorn.txt", ""}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("prog"), 1);
       },
       .status = 0,
       .index_after = test::index_bytes({0, 0, 0})},
      {.name = "empty file has no quote",
       .files = {{"prog/dictorn.txt", ""}},
       .args = {},
       .output = [](const Where& w) {
         return "\n\nerror reading " + w.quote("prog");
       },
       .status = 1,
       .build_first = true},
      {.name = "empty file and a number",
       .files = {{"prog/dictorn.txt", ""}},
       .args = {"3"},
       .output = [](const Where& w) {
         return "\n\nerror reading " + w.quote("prog");
       },
       .status = 1,
       .build_first = true},
      {.name = "empty file and no number shows the usage",
       .files = {{"prog/dictorn.txt", ""}},
       .args = {"x"},
       .output = [](const Where&) { return "\n" + test::usage_text(); },
       .status = 1,
       .build_first = true},
      {.name = "cr lf file",
       .files = {{"prog/dictorn.txt", "one\r\ntwo ` Me\r\n"}},
       .args = {"1"},
       .output = [](const Where&) {
         return "\n  two\n" + sp(60) + "- Me\n\n";
       },
       .status = 1,
       .build_first = true,
       .index_after = test::index_bytes({2, 15, 0, 5, 15})},
      {.name = "cr lf file, first run",
       .files = {{"prog/dictorn.txt", "one\r\ntwo\r\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("prog"), 3);
       },
       .status = 0,
       .index_after = test::index_bytes({2, 10, 0, 5, 10})},
      {.name = "0x1A ends the quotes",
       .files = {{"prog/dictorn.txt", "one\ntwo\n\x1Athree\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("prog"), 3);
       },
       .status = 0,
       .index_after = test::index_bytes({2, 15, 0, 4, 8})},
      {.name = "0x1A: quote numbers wrap at two",
       .files = {{"prog/dictorn.txt", "one\ntwo\n\x1Athree\n"}},
       .args = {"2"},
       .output = [](const Where&) { return std::string("\n  one\n\n"); },
       .status = 1,
       .build_first = true},
      {.name = "0x1A inside the last quote",
       .files = {{"prog/dictorn.txt", "one\ntw\x1Ao\n"}},
       .args = {"1"},
       .output = [](const Where&) { return std::string("\n  tw\n\n"); },
       .status = 1,
       .build_first = true},
      {.name = "too-long line",
       .files = {{"prog/dictorn.txt", "ok\n" + too_long_line + "ok\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("prog"), 2) + " too long in " +
                w.quote("prog") + " (limit 16384)";
       },
       .status = 1,
       .no_index_after = true},
      {.name = "too-long line keeps the old index",
       .files = {{"prog/dictorn.txt", "ok\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n\ntext file size difference\n" +
                rebuilt(w.index("prog"), 1) + " too long in " +
                w.quote("prog") + " (limit 16384)";
       },
       .status = 1,
       .build_first = true,
       .after_build = {{"prog/dictorn.txt", too_long_line}},
       .index_after = test::index_bytes({1, 3, 0, 3})},

      // Choosing the quote.
      {.name = "the one quote, drawn at random",
       .files = {{"prog/dictorn.txt", "Hello there ` Me"}},
       .args = {},
       .output = [](const Where&) {
         return "\n  Hello there\n" + sp(60) + "- Me\n\n";
       },
       .status = 1,
       .build_first = true},
      {.name = "12 of 10 quotes is quote 2",
       .files = {{"prog/dictorn.txt", ten_quotes()}},
       .args = {"12"},
       .output = [](const Where&) { return std::string("\n  quote 2\n\n"); },
       .status = 1,
       .build_first = true},
      {.name = "leading digits",
       .files = {{"prog/dictorn.txt", ten_quotes()}},
       .args = {"7abc", "x"},
       .output = [](const Where&) { return std::string("\n  quote 7\n\n"); },
       .status = 1,
       .build_first = true},
      {.name = "digits beyond 32 bits",
       .files = {{"prog/dictorn.txt", ten_quotes()}},
       .args = {"99999999999999999999999999"},
       .output = [](const Where&) { return std::string("\n  quote 9\n\n"); },
       .status = 1,
       .build_first = true},
      {.name = "usage",
       .files = {{"prog/dictorn.txt", ten_quotes()}},
       .args = {"x"},
       .output = [](const Where&) { return "\n" + test::usage_text(); },
       .status = 1,
       .build_first = true},
      {.name = "empty argument shows the usage",
       .files = {{"prog/dictorn.txt", ten_quotes()}},
       .args = {""},
       .output = [](const Where&) { return "\n" + test::usage_text(); },
       .status = 1,
       .build_first = true},
      {.name = "a query string alone does not make a page",
       .files = {{"prog/dictorn.txt", ten_quotes()}},
       .args = {"4"},
       .output = [](const Where&) { return std::string("\n  quote 4\n\n"); },
       .status = 1,
       .build_first = true,
       .more_env = {"QUERY_STRING=next=3", "GATEWAY_INTERFACE=CGI/1.1"}},

      // Finding the quote file.
      {.name = "in the program's directory",
       .files = {{"prog/dictorn.txt", "a\n"}, {"work/dictorn.txt", "b\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("prog"), 2);
       },
       .status = 0,
       .path_variable = "{root}/bin"},
      {.name = "in the current directory",
       .files = {{"work/dictorn.txt", "a\n"}, {"bin/dictorn.txt", "b\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("work"), 2);
       },
       .status = 0,
       .path_variable = "{root}/bin"},
      {.name = "through PATH",
       .files = {{"bin/dictorn.txt", "a\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("bin"), 2);
       },
       .status = 0,
       .path_variable = "{root}/none:{root}/bin"},
      {.name = "through PATH, shown from its index",
       .files = {{"bin/dictorn.txt", "a\nb\n"}},
       .args = {"1"},
       .output = [](const Where&) { return std::string("\n  b\n\n"); },
       .status = 1,
       .build_first = true,
       .path_variable = "{root}/bin"},
      {.name = "PATH entry as written",
       .files = {{"bin/dictorn.txt", "a\n"}},
       .args = {},
       .output = [](const Where&) {
         return "\n" + rebuilt("../bin/dictorn.ndx", 2);
       },
       .status = 0,
       .path_variable = "../bin",
       .posix_search = true},
      {.name = "empty PATH element",
       .files = {{"bin/dictorn.txt", "a\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("bin"), 2);
       },
       .status = 0,
       .path_variable = ":{root}/bin"},
      {.name = "no PATH adds nothing",
       .files = {{"bin/dictorn.txt", "a\n"}},
       .args = {},
       .output = [](const Where&) {
         return std::string("\n\ncannot find DICTORN.TXT");
       },
       .status = 1},
      {.name = "found nowhere",
       .files = {},
       .args = {},
       .output = [](const Where&) {
         return std::string("\n\ncannot find DICTORN.TXT");
       },
       .status = 1,
       .path_variable = "{root}/bin:"},
      {.name = "a directory of the name is passed over",
       .files = {{"prog/dictorn.txt/", ""}, {"work/dictorn.txt", "a\n"}},
       .args = {},
       .output = [](const Where& w) {
         return "\n" + rebuilt(w.index("work"), 2);
       },
       .status = 0,
       .posix_search = true},
  };
  for (const Case& c : cases) {
    run_case(c);
  }
}

TEST(Console, RebuildsThenShowsQuotes) {
  test::TempDir dir;
  Where where{dir.path()};
  test::write_file(dir.file("dictorn.txt"),
                   "First line^second line ` Some Author\nplain\n");
  RunResult first = test::run_program(dir.path(), {});
  EXPECT_EQ(first.output,
            expected("\n" + rebuilt(test::shown_path(dir.file("dictorn.ndx")),
                                    3)));
  EXPECT_EQ(first.status, 0);
  std::string shown =
      "\n  First line\nsecond line\n" + sp(51) + "- Some Author\n\n";
  for (int run = 0; run < 2; ++run) {
    RunResult again = test::run_program(dir.path(), {"0"});
    EXPECT_EQ(again.output, expected(shown));
    EXPECT_EQ(again.status, 1);
  }
  RunResult other = test::run_program(dir.path(), {"3"});
  EXPECT_EQ(other.output, expected("\n  plain\n\n"));
  EXPECT_EQ(other.status, 1);
}

TEST(Console, RandomPicksShowWholeQuotes) {
  test::TempDir dir;
  test::write_file(dir.file("dictorn.txt"), ten_quotes());
  ASSERT_EQ(test::run_program(dir.path(), {}).status, 0);
  for (int run = 0; run < 5; ++run) {
    RunResult result = test::run_program(dir.path(), {});
    EXPECT_EQ(result.status, 1);
    bool whole_quote = false;
    for (int i = 0; i < 10; ++i) {
      whole_quote |= result.output ==
                     expected("\n  quote " + std::to_string(i) + "\n\n");
    }
    EXPECT_TRUE(whole_quote) << result.output;
  }
}

// The quote file's path is 259 characters at most.
TEST(Console, PathLimit) {
  for (size_t length : {259u, 260u}) {
    SCOPED_TRACE(testing::Message() << "path of " << length);
    test::TempDir dir;
    test::make_directory(dir.file("prog"));
    // Counted in the program's form of the path (Wine's is two longer).
    size_t extra = test::shown_path(dir.path()).size() - dir.path().size();
    std::string work = test::make_deep_directory(
        dir.path(), length - extra - std::string("/dictorn.txt").size());
    test::write_file(work + "/dictorn.txt", "a\n");
    test::ProgramRun run;
    run.program_dir = dir.file("prog");
    run.work_dir = work;
    RunResult result = test::run_program(run);
    if (length == 259) {
      EXPECT_EQ(result.output,
                expected("\n" + rebuilt(test::shown_path(work + "/dictorn.ndx"),
                                        2)));
      EXPECT_EQ(result.status, 0);
    } else {
      EXPECT_EQ(result.output, expected("\n\npath too long for dictorn.txt"));
      EXPECT_EQ(result.status, 1);
    }
  }
}

TEST(Console, QuoteFileThatCannotBeOpened) {
  if (windows_program()) {
    GTEST_SKIP() << "Wine shows a socket to a Windows program as no file; "
                    "windows_test.cc opens a directory of the name instead";
  }
  test::TempDir dir;
  // A socket is found as a file, but does not open.
  std::string quote = dir.file("dictorn.txt");
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(quote.size(), sizeof address.sun_path);
  snprintf(address.sun_path, sizeof address.sun_path, "%s", quote.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address),
            0);
  RunResult result = test::run_program(dir.path(), {});
  close(fd);
  EXPECT_EQ(result.output,
            expected("\n\ncannot open " + test::shown_path(quote)));
  EXPECT_EQ(result.status, 1);
}

TEST(Console, QuoteFileOf2GiBIsRefused) {
  test::TempDir dir;
  std::string quote = dir.file("dictorn.txt");
  std::string index = dir.file("dictorn.ndx");
  test::make_sparse_file(quote, int64_t{1} << 31);
  std::string too_large =
      "\n" + test::shown_path(quote) + " is too large (limit 2147483647 bytes)";
  // Measured by the rebuild, and by the check of an existing index.
  RunResult result = test::run_program(dir.path(), {});
  EXPECT_EQ(result.output,
            expected("\n\nre-building index file " + test::shown_path(index) +
                     "\n" + too_large));
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(test::path_exists(index));
  test::write_file(index, test::index_bytes({0, INT32_MAX, 0}));
  result = test::run_program(dir.path(), {});
  EXPECT_EQ(result.output, expected("\n" + too_large));
  EXPECT_EQ(result.status, 1);
}

// A closed standard output must not cut a rebuild short.
TEST(Console, RebuildCompletesWhenOutputIsClosed) {
  test::TempDir dir;
  std::string quotes;
  for (int i = 0; i < 20000; ++i) {
    quotes += "q\n";
  }
  test::write_file(dir.file("dictorn.txt"), quotes);
  test::ProgramRun run;
  run.program_dir = dir.path();
  run.close_stdout = true;
  RunResult result = test::run_program(run);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.status, 0);
  std::vector<int32_t> index = {20000, 40000};
  for (int32_t i = 0; i <= 20000; ++i) {
    index.push_back(2 * i);
  }
  EXPECT_EQ(test::read_file(dir.file("dictorn.ndx")), test::index_bytes(index));
}

}  // namespace
