#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace {

// A name that no directory of the test binary holds.
constexpr char probe[] = "dictorn-search-probe.txt";

// Runs a search from `work_dir` under `path_variable` (null: PATH unset),
// and puts the test process's directory and PATH back afterwards.
struct Search {
  SearchResult result = SearchResult::not_found;
  std::string path;
};

Search search_from(const std::string& work_dir, const char* path_variable) {
  char saved_dir[4096];
  EXPECT_NE(getcwd(saved_dir, sizeof saved_dir), nullptr);
  const char* old_path = getenv("PATH");
  std::string saved_path = old_path ? old_path : "";
  EXPECT_EQ(chdir(work_dir.c_str()), 0);
  if (path_variable) {
    setenv("PATH", path_variable, 1);
  } else {
    unsetenv("PATH");
  }
  Search search;
  char found[path_size] = {};
  search.result = search_file(probe, found);
  if (search.result == SearchResult::found) {
    search.path = found;
  }
  EXPECT_EQ(chdir(saved_dir), 0);
  if (old_path) {
    setenv("PATH", saved_path.c_str(), 1);
  } else {
    unsetenv("PATH");
  }
  return search;
}

TEST(FileSearch, FindsInCurrentDirectoryThenPath) {
  test::TempDir dir;
  test::make_directory(dir.file("work"));
  test::make_directory(dir.file("bin"));
  test::make_directory(dir.file("other"));
  test::write_file(dir.file("bin/") + probe, "x");
  std::string bin = dir.file("bin");
  std::string other = dir.file("other");

  struct Case {
    const char* name;
    std::string path_variable;
    std::string want;  // empty: not found
  };
  const Case cases[] = {
      {"path element", other + ":" + bin, bin + "/" + probe},
      {"entry as written", bin + "/", bin + "//" + probe},
      {"relative entry", "../bin", std::string("../bin/") + probe},
      {"empty element then more", ":" + bin, bin + "/" + probe},
      {"not on path", other, ""},
      {"empty path", "", ""},
      // A directory too long to be a path is passed over, not an error.
      {"long missing entry", dir.file(std::string(300, 'd')) + ":" + bin,
       bin + "/" + probe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Search search = search_from(dir.file("work"), c.path_variable.c_str());
    if (c.want.empty()) {
      EXPECT_EQ(search.result, SearchResult::not_found);
    } else {
      EXPECT_EQ(search.result, SearchResult::found);
      EXPECT_EQ(search.path, c.want);
    }
  }

  // Unset PATH adds no directories of its own.
  EXPECT_EQ(search_from(dir.file("work"), nullptr).result,
            SearchResult::not_found);

  // The current directory comes before PATH, and an empty element of PATH
  // stands for it.
  test::write_file(dir.file("work/") + probe, "x");
  Search search = search_from(dir.file("work"), bin.c_str());
  EXPECT_EQ(search.path, dir.file("work/") + probe);
  search = search_from(dir.file("work"), (other + "::").c_str());
  EXPECT_EQ(search.path, dir.file("work/") + probe);
}

TEST(FileSearch, SkipsDirectoriesOfTheName) {
  test::TempDir dir;
  test::make_directory(dir.file("work/") + probe);
  test::make_directory(dir.file("bin"));
  test::write_file(dir.file("bin/") + probe, "x");
  Search search = search_from(dir.file("work"), dir.file("bin").c_str());
  EXPECT_EQ(search.result, SearchResult::found);
  EXPECT_EQ(search.path, dir.file("bin/") + probe);
}

TEST(FileSearch, PathOfMoreThan259CharactersIsTooLong) {
  test::TempDir dir;
  // Directories that make the found path exactly 259 and 260 characters.
  std::string name_tail = std::string("/") + probe;
  for (size_t total : {258u, 259u, 260u, 300u}) {
    SCOPED_TRACE(testing::Message() << "path of " << total);
    std::string directory =
        test::make_deep_directory(dir.path(), total - name_tail.size());
    test::write_file(directory + name_tail, "x");
    Search search = search_from(dir.path(), directory.c_str());
    if (total <= 259) {
      EXPECT_EQ(search.result, SearchResult::found);
      EXPECT_EQ(search.path, directory + name_tail);
    } else {
      EXPECT_EQ(search.result, SearchResult::too_long);
    }
  }
}

TEST(Clocks, TickCountsMillisecondsAndCalendarCountsSeconds) {
  uint32_t before = tick_milliseconds();
  usleep(120 * 1000);
  uint32_t elapsed = tick_milliseconds() - before;  // wraps like the count
  EXPECT_GE(elapsed, 120u);
  EXPECT_LT(elapsed, 5000u);
  int64_t now = static_cast<int64_t>(time(nullptr));
  int64_t calendar = calendar_seconds();
  EXPECT_GE(calendar, now);
  EXPECT_LE(calendar, now + 2);
}

}  // namespace
