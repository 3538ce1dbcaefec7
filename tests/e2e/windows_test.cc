// End-to-end cases that hold for the Windows program only, where its file
// search is the system's SearchPathA and its paths are Windows paths.
// scripts/test-windows.sh runs them against the Windows program under Wine
// (DICTORN_TEST_WINE_PATHS=1, with the rest of the end-to-end suite); in a
// Linux run they are skipped.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using test::expected;
using test::RunResult;

bool testing_windows_program() {
  const char* value = getenv("DICTORN_TEST_WINE_PATHS");
  return value && strcmp(value, "1") == 0;
}

constexpr char windows_only[] =
    "the Windows program's own behaviour: run by scripts/test-windows.sh";

std::string rebuilt(const std::string& index, int passes) {
  return "\nre-building index file " + index + "\n" +
         test::progress_text(passes);
}

// The program's name once installed, for listings of its directory.
std::string program_name(const std::string& installed) {
  return installed.substr(installed.rfind('/') + 1);
}

struct SearchCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // "dir/" makes one
  std::string program_dir;      // below the root
  std::vector<std::string> env;  // "{root}" stands for the root
  std::string first_output;     // "{root}" stands for the root as shown
  int first_status;
  std::string second_output;    // a run asking for quote 0 next; "" if none
};

std::string with_root(std::string text, const std::string& root) {
  for (size_t at; (at = text.find("{root}")) != std::string::npos;) {
    text.replace(at, 6, root);
  }
  return text;
}

// The search takes the first match of the name in the system's order, in
// any letter case, and reports it as a full Windows path.
TEST(WindowsProgram, FileSearch) {
  if (!testing_windows_program()) {
    GTEST_SKIP() << windows_only;
  }
  const SearchCase cases[] = {
      {.name = "a directory of the name stops the search and cannot be opened",
       .files = {{"prog/dictorn.txt/", ""}, {"work/dictorn.txt", "a\n"}},
       .program_dir = "prog",
       .first_output = "\n\ncannot open {root}\\prog\\dictorn.txt",
       .first_status = 1},
      {.name = "a relative PATH entry is reported as a full path",
       .files = {{"bin/dictorn.txt", "a\nb\n"}},
       .program_dir = "prog",
       .env = {"PATH=../bin"},
       .first_output = "\n" + rebuilt("{root}\\bin\\dictorn.ndx", 3),
       .first_status = 0,
       .second_output = "\n  a\n\n"},
      {.name = "the name is found in another letter case",
       .files = {{"prog/DICTORN.TXT", "upper\n"}},
       .program_dir = "prog",
       .first_output = "\n" + rebuilt("{root}\\prog\\dictorn.ndx", 2),
       .first_status = 0,
       .second_output = "\n  upper\n\n"},
      {.name = "a dot in a folder name is not the extension",
       .files = {{"my.dir/dictorn.txt", "dotted\n"}},
       .program_dir = "my.dir",
       .first_output = "\n" + rebuilt("{root}\\my.dir\\dictorn.ndx", 2),
       .first_status = 0,
       .second_output = "\n  dotted\n\n"},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    for (const char* sub : {"prog", "work", "bin"}) {
      test::make_directory(dir.file(sub));
    }
    for (const auto& [name, bytes] : c.files) {
      if (name.back() == '/') {
        test::make_directory(dir.file(name));
      } else {
        test::make_directory(dir.file(name.substr(0, name.rfind('/'))));
        test::write_file(dir.file(name), bytes);
      }
    }
    test::ProgramRun run;
    run.program_dir = dir.file(c.program_dir);
    run.work_dir = dir.file("work");
    for (const std::string& entry : c.env) {
      run.env.push_back(with_root(entry, dir.path()));
    }
    std::string shown_root = test::shown_path(dir.path());
    RunResult first = test::run_program(run);
    EXPECT_EQ(first.output, expected(with_root(c.first_output, shown_root)));
    EXPECT_EQ(first.status, c.first_status);
    if (!c.second_output.empty()) {
      run.args = {"0"};
      RunResult second = test::run_program(run);
      EXPECT_EQ(second.output, expected(c.second_output));
      EXPECT_EQ(second.status, 1);
    }
  }
}

// A found path may take 259 characters, the system's limit less the
// terminator, counted in the program's own form (Wine's "Z:\..." is two
// longer than the Linux path). The rebuild writes its temporary index under
// a longer name than that, and must still put the index in place.
TEST(WindowsProgram, LongPaths) {
  if (!testing_windows_program()) {
    GTEST_SKIP() << windows_only;
  }
  const std::string name = "/dictorn.txt";
  for (size_t length : {259u, 260u}) {
    SCOPED_TRACE(testing::Message() << "quote path of " << length);
    test::TempDir dir;
    size_t extra = test::shown_path(dir.path()).size() - dir.path().size();
    std::string deep =
        test::make_deep_directory(dir.path(), length - extra - name.size());
    ASSERT_EQ(test::shown_path(deep + name).size(), length);
    test::write_file(deep + name, "first\nsecond\n");
    std::string program = test::install_program(deep);
    test::ProgramRun run;
    run.program_dir = deep;
    RunResult result = test::run_program(run);
    if (length == 260) {
      EXPECT_EQ(result.output, expected("\n\npath too long for dictorn.txt"));
      EXPECT_EQ(result.status, 1);
      continue;
    }
    EXPECT_EQ(result.output,
              expected("\n" + rebuilt(test::shown_path(deep + "/dictorn.ndx"),
                                      3)));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(test::read_file(deep + "/dictorn.ndx"),
              test::index_bytes({2, 13, 0, 6, 13}));
    std::vector<std::string> left = {"dictorn.ndx", "dictorn.txt",
                                     program_name(program)};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(test::list_directory(deep), left);
    run.args = {"1"};
    RunResult shown = test::run_program(run);
    EXPECT_EQ(shown.output, expected("\n  second\n\n"));
    EXPECT_EQ(shown.status, 1);
  }
}

}  // namespace
