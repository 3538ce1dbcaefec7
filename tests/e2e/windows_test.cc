// End-to-end cases that hold for the Windows program only, where its file
// search is the system's SearchPathA and its paths are Windows paths.
// scripts/test-windows.sh runs them against the Windows program under Wine
// (DICTORN_TEST_WINE_PATHS=1, with the rest of the end-to-end suite); in a
// Linux run they are skipped.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/page_fixture.h"
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
    test::make_files(dir.path(), c.files);
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

// A directory at the index path cannot be opened as a file, so the index
// counts as missing: the rebuild runs and cannot put its index in place.
// (The Linux program opens the directory and fails to read it.)
TEST(WindowsProgram, IndexPathTakenByADirectory) {
  if (!testing_windows_program()) {
    GTEST_SKIP() << windows_only;
  }
  test::TempDir dir;
  std::string program = test::install_program(dir.path());
  test::write_file(dir.file("dictorn.txt"), "alpha\nbeta\n");
  test::make_directory(dir.file("dictorn.ndx"));
  std::string index = test::shown_path(dir.file("dictorn.ndx"));
  for (int run = 0; run < 2; ++run) {
    RunResult result = test::run_program(dir.path(), {"1"});
    EXPECT_EQ(result.output,
              expected("\n" + rebuilt(index, 3) + "\nerror writing " + index));
    EXPECT_EQ(result.status, 1);
  }
  std::vector<std::string> left = {"dictorn.ndx", "dictorn.txt",
                                   program_name(program)};
  std::sort(left.begin(), left.end());
  EXPECT_EQ(test::list_directory(dir.path()), left);
  EXPECT_TRUE(test::list_directory(dir.file("dictorn.ndx")).empty());
}

// ---- a rebuild while another run holds the index ----

// A run of the program whose standard output is a pipe that the test reads
// when it chooses: until then the program blocks writing, its files open.
struct HeldRun {
  test::StartedRun started;
  std::string bytes;  // what has been read so far
};

HeldRun start_held_run(const std::string& dir,
                       const std::vector<std::string>& env) {
  test::ProgramRun run;
  run.program_dir = dir;
  run.env = env;
  return HeldRun{test::start_program(run), ""};
}

// Reads until `marker` has come (true), or the end or 30 s of silence.
bool read_until(HeldRun& run, const std::string& marker) {
  char chunk[4096];
  while (marker.empty() || run.bytes.find(marker) == std::string::npos) {
    pollfd ready = {run.started.output, POLLIN, 0};
    if (poll(&ready, 1, 30000) <= 0) {
      return false;
    }
    ssize_t got = read(run.started.output, chunk, sizeof chunk);
    if (got <= 0) {
      return false;
    }
    run.bytes.append(chunk, static_cast<size_t>(got));
  }
  return true;
}

// Reads to the end and returns the exit status.
int finish(HeldRun& run) {
  read_until(run, "");
  close(run.started.output);
  int status = 0;
  waitpid(run.started.pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Windows before 10 cannot replace a file that another process holds open,
// and Wine behaves the same: the rebuild waits for the run that holds the
// old index to let go, then puts the new index in place. Where Windows
// offers POSIX semantics the replacement is immediate.
TEST(WindowsProgram, RebuildReplacesAnIndexAnotherRunHolds) {
  if (!testing_windows_program()) {
    GTEST_SKIP() << windows_only;
  }
  test::TempDir dir;
  std::string program = test::install_program(dir.path());
  test::write_file(dir.file("dictorn.txt"), "alpha\nbeta\n");
  ASSERT_EQ(test::run_program(dir.path(), {}).status, 0);
  std::string old_index = test::read_file(dir.file("dictorn.ndx"));
  // A page run, whose tail is far more than a pipe holds: it blocks after
  // the quote, with the index open.
  test::write_file(dir.file("dictorn32.conf"), "");
  std::string tail_line(999, 't');
  std::string tail;
  for (int i = 0; i < 1024; ++i) {
    tail += tail_line + "\n";
  }
  test::write_file(dir.file("dictorn32tail.htm"), tail);
  HeldRun holder = start_held_run(dir.path(), {"QUERY_STRING=next=0"});
  ASSERT_TRUE(read_until(holder, "alpha")) << holder.bytes;

  // The quote file grows; the next run, a page run as well, rebuilds.
  test::write_file(dir.file("dictorn.txt"), "alpha\nbeta\ngamma\n");
  std::atomic<bool> rebuild_done = false;
  RunResult rebuild;
  std::thread rebuilding([&] {
    rebuild = test::run_program(dir.path(), {}, {"QUERY_STRING=next=0"});
    rebuild_done = true;
  });
  // Once the new index stands ready under its temporary name, the old one
  // is still in place, whole, for as long as the holder runs.
  bool ready = false;
  for (int wait = 0; wait < 3000 && !ready && !rebuild_done; ++wait) {
    for (const std::string& name : test::list_directory(dir.path())) {
      ready |= name.ends_with(".tmp");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(ready) << "the rebuild finished while the index was held";
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(test::read_file(dir.file("dictorn.ndx")) == old_index);

  std::string tail_shown;
  for (int i = 0; i < 1024; ++i) {
    tail_shown += tail_line + "\n\n";  // copy_template adds a line feed
  }
  EXPECT_EQ(finish(holder), 1);
  EXPECT_TRUE(holder.bytes.ends_with(expected(tail_shown)));
  rebuilding.join();

  EXPECT_EQ(rebuild.output,
            expected(std::string(page_header) + built_in_page_head + "\n" +
                     "\ntext file size difference\n" +
                     "\nre-building index file " +
                     test::shown_path(dir.file("dictorn.ndx")) + "\n"));
  EXPECT_EQ(rebuild.status, 0);
  EXPECT_EQ(test::read_file(dir.file("dictorn.ndx")),
            test::index_bytes({3, 17, 0, 6, 11, 17}));
  std::vector<std::string> left = {"dictorn.ndx", "dictorn.txt",
                                   "dictorn32.conf", "dictorn32tail.htm",
                                   program_name(program)};
  std::sort(left.begin(), left.end());
  EXPECT_EQ(test::list_directory(dir.path()), left);
}

}  // namespace
