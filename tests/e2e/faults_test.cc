// Injected faults, run end to end: the index cannot be created, a write of
// the new index fails, a rebuild is killed midway, the quote file is 2 GiB
// or more, the index is damaged, the quote file is a directory, quote lines
// hold NUL and high bytes, the query string is huge. Each run ends with its
// exact message and status, and nothing is lost: an old index is left byte
// for byte, no temporary file stays behind (except after SIGKILL, which no
// program can clean up after), and the next ordinary run recovers.
//
// The tests run as root, which file modes do not stop: a directory that
// cannot take a new file is made with process limits, a read-only bind
// mount or a tmpfs without free inodes, in a mount namespace of the test's
// own (each test runs in a process of its own under ctest).

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/page_head.h"
#include "app/state.h"
#include "test_support.h"

namespace {

using test::expected;
using test::RunResult;
using Names = std::vector<std::string>;

bool windows_program() { return test::shown_path("/") != "/"; }
constexpr char posix_only[] =
    "a fault injected through POSIX limits, signals or mounts; the Linux "
    "program only";

// "quote 0\n" .. "quote <n-1>\n"
std::string numbered_quotes(int n) {
  std::string quotes;
  for (int i = 0; i < n; ++i) {
    quotes += "quote " + std::to_string(i) + "\n";
  }
  return quotes;
}

// The index the builder writes for a file of LF-ended lines.
std::string index_for(const std::string& quotes) {
  std::vector<int32_t> fields = {0, static_cast<int32_t>(quotes.size())};
  for (size_t at = 0; at < quotes.size(); at = quotes.find('\n', at) + 1) {
    fields.push_back(static_cast<int32_t>(at));
    if (quotes.find('\n', at) == std::string::npos) {
      break;
    }
  }
  fields[0] = static_cast<int32_t>(fields.size() - 2);
  fields.push_back(static_cast<int32_t>(quotes.size()));
  return test::index_bytes(fields);
}

// One installation: the program with its quote file in a fresh directory.
struct Install {
  test::TempDir dir;
  std::string program = test::install_program(dir.path());
  std::string quote() const { return dir.file("dictorn.txt"); }
  std::string index() const { return dir.file("dictorn.ndx"); }
  std::string shown_quote() const { return test::shown_path(quote()); }
  std::string shown_index() const { return test::shown_path(index()); }
  Names listing(Names more = {}) const {
    more.push_back(program.substr(program.rfind('/') + 1));
    more.push_back("dictorn.txt");
    std::sort(more.begin(), more.end());
    return more;
  }
};

// The output of a rebuild that completes: passes is the quote count + 1.
std::string rebuild_output(const Install& at, int passes, bool stale) {
  return expected("\n" +
                  std::string(stale ? "\ntext file size difference\n" : "") +
                  "\nre-building index file " + at.shown_index() + "\n" +
                  test::progress_text(passes));
}

// After a fault: the next run rebuilds the index (status 0) as a fresh
// build would, and the run after it shows quote 0.
void check_recovers(const Install& at, const std::string& quotes,
                    bool stale) {
  SCOPED_TRACE("the next runs");
  int passes = 1;
  for (char c : quotes) {
    passes += c == '\n' ? 1 : 0;
  }
  RunResult rebuild = test::run_program(at.dir.path(), {});
  EXPECT_EQ(rebuild.status, 0);
  EXPECT_TRUE(rebuild.output == rebuild_output(at, passes, stale))
      << rebuild.output.substr(0, 200);
  EXPECT_TRUE(test::read_file(at.index()) == index_for(quotes));
  RunResult shown = test::run_program(at.dir.path(), {"0"});
  EXPECT_EQ(shown.output,
            expected("\n  " + quotes.substr(0, quotes.find('\n')) + "\n\n"));
  EXPECT_EQ(shown.status, 1);
}

// ---- runs under process limits, for faults the test injects ----

struct Limits {
  rlim_t file_size = RLIM_INFINITY;
  rlim_t open_files = RLIM_INFINITY;
  bool sigxfsz_ignored = true;
};

// The program started as test::start_program starts it, with the limits
// applied; its standard output is a pipe, which no file size limit applies
// to.
test::StartedRun start(const Install& at, const Limits& limits) {
  test::ProgramRun run;
  run.program_dir = at.dir.path();
  // The leak checker of a sanitizer build opens files of its own at exit,
  // which a limit on open files takes away.
  const char* pass = getenv("DICTORN_TEST_PASS_ENV");
  const char* asan = getenv("ASAN_OPTIONS");
  if (asan && limits.open_files != RLIM_INFINITY &&
      (" " + std::string(pass ? pass : "") + " ").find(" ASAN_OPTIONS ") !=
          std::string::npos) {
    run.env.push_back(std::string("ASAN_OPTIONS=") + asan + ":detect_leaks=0");
  }
  run.prepare = [limits] {
    for (int fd = 3; fd < 1024; ++fd) {
      close(fd);
    }
    signal(SIGXFSZ, limits.sigxfsz_ignored ? SIG_IGN : SIG_DFL);
    // Only the limits asked for: the open-file limit cannot be unlimited.
    rlimit file_size = {limits.file_size, limits.file_size};
    rlimit open_files = {limits.open_files, limits.open_files};
    return (limits.file_size == RLIM_INFINITY ||
            setrlimit(RLIMIT_FSIZE, &file_size) == 0) &&
           (limits.open_files == RLIM_INFINITY ||
            setrlimit(RLIMIT_NOFILE, &open_files) == 0);
  };
  return test::start_program(run);
}

RunResult run_limited(const Install& at, const Limits& limits) {
  test::StartedRun started = start(at, limits);
  return test::finish_program(started);
}

// A mount namespace of this test process's own, so that its mounts vanish
// with it; undone mounts are also detached when the guard goes.
struct PrivateMounts {
  bool ready = unshare(CLONE_NEWNS) == 0 &&
               mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  std::vector<std::string> mounted;
  ~PrivateMounts() {
    for (auto it = mounted.rbegin(); it != mounted.rend(); ++it) {
      umount2(it->c_str(), MNT_DETACH);
    }
  }
  bool bind_read_only(const std::string& path) {
    if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      return false;
    }
    mounted.push_back(path);
    return mount(nullptr, path.c_str(), nullptr,
                 MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  bool tmpfs(const std::string& path, const std::string& options) {
    if (mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      return false;
    }
    mounted.push_back(path);
    return true;
  }
  void undo(const std::string& path) {
    umount2(path.c_str(), MNT_DETACH);
    mounted.pop_back();
  }
};

// Fills the file system holding `path` until a write fails with ENOSPC.
void fill_up(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  std::string block(4096, 'f');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  EXPECT_EQ(errno, ENOSPC);
  // Single bytes fill a last partial page.
  while (write(fd, "f", 1) > 0) {
  }
  close(fd);
}

// ---- the index cannot be created ----

std::string cannot_create_output(const Install& at, bool stale) {
  return std::string(stale ? "\n\ntext file size difference\n" : "\n") +
         "\nre-building index file " + at.index() + "\n\ncannot open new " +
         at.index();
}

// A quote file and an index left from an older version of it.
void place_stale(const Install& at, const std::string& quotes,
                 const std::string& old_index) {
  test::write_file(at.quote(), quotes);
  test::write_file(at.index(), old_index);
}

TEST(Faults, IndexCannotBeCreated) {
  if (windows_program()) {
    GTEST_SKIP() << posix_only;
  }
  const std::string quotes = numbered_quotes(10);
  const std::string old_index = index_for(numbered_quotes(3));

  {
    SCOPED_TRACE("no descriptor left for the new index");
    Install at;
    place_stale(at, quotes, old_index);
    // 0-2 are standard streams, 3 the quote file: neither the old index nor
    // a new one can be opened.
    RunResult run = run_limited(at, {.open_files = 4});
    EXPECT_EQ(run.output, cannot_create_output(at, false));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(test::read_file(at.index()) == old_index);
    EXPECT_EQ(test::list_directory(at.dir.path()), at.listing({"dictorn.ndx"}));
    check_recovers(at, quotes, true);
  }

  PrivateMounts mounts;
  if (!mounts.ready) {
    GTEST_SKIP() << "no private mount namespace here: the mount cases need "
                    "CAP_SYS_ADMIN";
  }
  {
    SCOPED_TRACE("the index's directory is a read-only bind mount");
    Install at;
    place_stale(at, quotes, old_index);
    ASSERT_TRUE(mounts.bind_read_only(at.dir.path()));
    RunResult run = test::run_program(at.dir.path(), {});
    EXPECT_EQ(run.output, cannot_create_output(at, true));
    EXPECT_EQ(run.status, 1);
    mounts.undo(at.dir.path());
    EXPECT_TRUE(test::read_file(at.index()) == old_index);
    EXPECT_EQ(test::list_directory(at.dir.path()), at.listing({"dictorn.ndx"}));
    check_recovers(at, quotes, true);
  }
  {
    SCOPED_TRACE("the index's directory is a tmpfs without a free inode");
    Install at;
    // The root directory and the three files take every inode.
    ASSERT_TRUE(mounts.tmpfs(at.dir.path(), "nr_inodes=4,size=64m"));
    test::install_program(at.dir.path());
    place_stale(at, quotes, old_index);
    RunResult run = test::run_program(at.dir.path(), {});
    EXPECT_EQ(run.output, cannot_create_output(at, true));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(test::read_file(at.index()) == old_index);
    EXPECT_EQ(test::list_directory(at.dir.path()), at.listing({"dictorn.ndx"}));
    mounts.undo(at.dir.path());
  }
}

// ---- a write of the new index fails ----

TEST(Faults, WritingTheIndexFails) {
  if (windows_program()) {
    GTEST_SKIP() << posix_only;
  }
  struct Case {
    const char* name;
    int quotes;
    rlim_t file_size;
  };
  const Case cases[] = {
      // The table is written in pieces of 16384 bytes and at the end.
      {"no byte may be written", 10, 0},
      {"the last piece fails", 10, 30},
      {"the second piece fails", 6000, 20000},
  };
  const std::string old_index = index_for(numbered_quotes(3));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Install at;
    std::string quotes = numbered_quotes(c.quotes);
    place_stale(at, quotes, old_index);
    RunResult run = run_limited(at, {.file_size = c.file_size});
    EXPECT_TRUE(run.output == rebuild_output(at, c.quotes + 1, true) +
                                  "\nerror writing " + at.index())
        << run.output.substr(run.output.size() > 100 ? run.output.size() - 100
                                                     : 0);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(test::read_file(at.index()) == old_index);
    EXPECT_EQ(test::list_directory(at.dir.path()), at.listing({"dictorn.ndx"}));
    check_recovers(at, quotes, true);
  }

  {
    SCOPED_TRACE("the file size limit's signal is not ignored");
    Install at;
    std::string quotes = numbered_quotes(10);
    place_stale(at, quotes, old_index);
    RunResult run =
        run_limited(at, {.file_size = 0, .sigxfsz_ignored = false});
    EXPECT_EQ(run.signal, SIGXFSZ);
    EXPECT_TRUE(test::read_file(at.index()) == old_index);
    // The killed run's temporary file stays; the next runs ignore it.
    Names left = test::list_directory(at.dir.path());
    EXPECT_EQ(left.size(), at.listing({"dictorn.ndx"}).size() + 1);
    check_recovers(at, quotes, true);
  }

  PrivateMounts mounts;
  if (!mounts.ready) {
    GTEST_SKIP() << "no private mount namespace here: the full file system "
                    "case needs CAP_SYS_ADMIN";
  }
  {
    SCOPED_TRACE("the file system is full");
    Install at;
    ASSERT_TRUE(mounts.tmpfs(at.dir.path(), "size=16m"));
    test::install_program(at.dir.path());
    std::string quotes = numbered_quotes(10);
    place_stale(at, quotes, old_index);
    fill_up(at.dir.file("filler"));
    RunResult run = test::run_program(at.dir.path(), {});
    EXPECT_EQ(run.output, rebuild_output(at, 11, true) + "\nerror writing " +
                              at.index());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(test::read_file(at.index()) == old_index);
    EXPECT_EQ(test::list_directory(at.dir.path()),
              at.listing({"dictorn.ndx", "filler"}));
    ASSERT_EQ(unlink(at.dir.file("filler").c_str()), 0);
    check_recovers(at, quotes, true);
    mounts.undo(at.dir.path());
  }
}

// ---- a rebuild killed midway ----

TEST(Faults, RebuildKilledMidway) {
  if (windows_program()) {
    GTEST_SKIP() << posix_only;
  }
  // Long enough that the rebuild blocks on its full output pipe, which the
  // test does not read, after the first piece of the table is written.
  const std::string quotes = numbered_quotes(200000);
  for (bool with_old_index : {true, false}) {
    SCOPED_TRACE(with_old_index ? "an old index" : "no index");
    Install at;
    std::string old_index = index_for(numbered_quotes(3));
    test::write_file(at.quote(), quotes);
    if (with_old_index) {
      test::write_file(at.index(), old_index);
    }
    test::StartedRun started = start(at, {});
    ASSERT_GT(started.pid, 0);
    // Wait until the new index holds a part of its table.
    std::string partial;
    for (int wait = 0; wait < 600; ++wait) {
      for (const std::string& name : test::list_directory(at.dir.path())) {
        if (name.size() > 12 && name.compare(0, 12, "dictorn.ndx.") == 0) {
          partial = at.dir.file(name);
        }
      }
      struct stat info;
      if (!partial.empty() && stat(partial.c_str(), &info) == 0 &&
          info.st_size > 0) {
        break;
      }
      usleep(50000);
    }
    ASSERT_FALSE(partial.empty()) << "the rebuild made no new index";
    kill(started.pid, SIGKILL);
    RunResult killed = test::finish_program(started);
    EXPECT_EQ(killed.signal, SIGKILL);
    std::string so_far = rebuild_output(at, 200001, with_old_index);
    EXPECT_TRUE(killed.output.size() < so_far.size() &&
                so_far.compare(0, killed.output.size(), killed.output) == 0)
        << "the killed run wrote more, or other, than a rebuild's start";
    // The index path holds the old index or nothing; never the part.
    if (with_old_index) {
      EXPECT_TRUE(test::read_file(at.index()) == old_index);
    } else {
      EXPECT_FALSE(test::path_exists(at.index()));
    }
    EXPECT_TRUE(test::path_exists(partial));
    check_recovers(at, quotes, with_old_index);
  }
}

// ---- a quote file of 2 GiB or more ----

TEST(Faults, QuoteFileOf2GiBOrMore) {
  struct Case {
    int64_t size;
    bool old_index;
  };
  const int64_t gib2 = int64_t{1} << 31;
  const Case cases[] = {{gib2 - 1, false}, {gib2 - 1, true}, {gib2, false},
                        {gib2, true},      {(gib2 << 1) + 1, false},
                        {(gib2 << 1) + 1, true}};
  const std::string old_index = index_for(numbered_quotes(3));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes"
                                    << (c.old_index ? ", old index" : ""));
    Install at;
    test::make_sparse_file(at.quote(), c.size);
    if (c.old_index) {
      test::write_file(at.index(), old_index);
    }
    RunResult run = test::run_program(at.dir.path(), {});
    std::string too_large =
        "\n" + at.shown_quote() + " is too large (limit 2147483647 bytes)";
    std::string rebuild = std::string(c.old_index ? "\ntext file size difference\n" : "") +
                          "\nre-building index file " + at.shown_index() + "\n";
    if (c.size < gib2) {
      // The size fits; its first line of NUL bytes does not.
      EXPECT_EQ(run.output, expected("\n" + rebuild + "\rline 1 too long in " +
                                     at.shown_quote() + " (limit 16384)"));
    } else if (c.old_index) {
      EXPECT_EQ(run.output, expected("\n" + too_large));
    } else {
      EXPECT_EQ(run.output, expected("\n" + rebuild + too_large));
    }
    EXPECT_EQ(run.status, 1);
    if (c.old_index) {
      EXPECT_TRUE(test::read_file(at.index()) == old_index);
    }
    EXPECT_EQ(test::list_directory(at.dir.path()),
              at.listing(c.old_index ? Names{"dictorn.ndx"} : Names{}));
  }
}

// ---- a damaged index ----

TEST(Faults, DamagedIndex) {
  const std::string quotes = "alpha\nbeta\ngamma\n";  // 17 bytes
  const std::string good = index_for(quotes);
  struct Case {
    std::string name;
    std::string index;
    std::string argument;
    std::string output;  // after the leading line feed; "{I}" and "{Q}" are
                         // the index and quote paths; "rebuild" a rebuild
    int status;
  };
  std::vector<Case> cases;
  for (size_t size = 0; size < 8; ++size) {
    cases.push_back({std::to_string(size) + " bytes", good.substr(0, size),
                     "0", "\nerror reading {I}", 1});
  }
  auto fields = [](std::vector<int32_t> f) { return test::index_bytes(f); };
  const std::vector<Case> more = {
      {"negative count", fields({-1, 17, 0, 6, 11, 17}), "0", "rebuild", 0},
      {"lowest count", fields({INT32_MIN, 17}), "0", "rebuild", 0},
      {"table shorter than the count, entry present",
       fields({3, 17, 0, 6}), "1", "  beta\n\n", 1},
      {"table shorter than the count, entry missing", fields({3, 17, 0, 6}),
       "2", "\nerror reading {I}", 1},
      {"count beyond the lines", fields({5, 17, 0, 6, 11, 17}), "4",
       "\nerror reading {I}", 1},
      {"largest count, last entry", fields({INT32_MAX, 17, 0, 6, 11, 17}),
       "2147483646", "\nerror reading {I}", 1},
      {"offset at the end of the quote file", fields({1, 17, 17}), "0",
       "\nerror reading {Q}", 1},
      {"offset beyond the quote file", fields({1, 17, 1000}), "0",
       "\nerror reading {Q}", 1},
      {"largest offset", fields({1, 17, INT32_MAX}), "0",
       "\nerror reading {Q}", 1},
      {"negative offset", fields({1, 17, -1}), "0", "\nerror seeking {Q}", 1},
      {"lowest offset", fields({1, 17, INT32_MIN}), "0",
       "\nerror seeking {Q}", 1},
      {"offset inside a line", fields({1, 17, 2}), "0", "  pha\n\n", 1},
  };
  cases.insert(cases.end(), more.begin(), more.end());

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Install at;
    test::write_file(at.quote(), quotes);
    test::write_file(at.index(), c.index);
    std::string want = c.output;
    if (want == "rebuild") {
      want = "\nre-building index file {I}\n" + test::progress_text(4);
    }
    for (const auto& [mark, path] :
         {std::pair{"{I}", at.shown_index()}, {"{Q}", at.shown_quote()}}) {
      for (size_t found; (found = want.find(mark)) != std::string::npos;) {
        want.replace(found, 3, path);
      }
    }
    // Twice: a damaged index is never changed by a failing run.
    for (int run_number = 0; run_number < 2; ++run_number) {
      RunResult run = test::run_program(at.dir.path(), {c.argument});
      EXPECT_EQ(run.output, expected("\n" + want));
      EXPECT_EQ(run.status, c.status);
      if (c.status == 0) {
        EXPECT_TRUE(test::read_file(at.index()) == good);
        break;
      }
      EXPECT_TRUE(test::read_file(at.index()) == c.index);
    }
    EXPECT_EQ(test::list_directory(at.dir.path()), at.listing({"dictorn.ndx"}));
  }

  if (!windows_program()) {
    SCOPED_TRACE("the index is a directory");
    Install at;
    test::write_file(at.quote(), quotes);
    test::make_directory(at.index());
    RunResult run = test::run_program(at.dir.path(), {});
    EXPECT_EQ(run.output, "\n\nerror reading " + at.index());
    EXPECT_EQ(run.status, 1);
  }
}

// ---- a quote file that is a directory ----

TEST(Faults, QuoteFileIsADirectory) {
  if (windows_program()) {
    GTEST_SKIP() << "the Windows search's handling is in windows_test.cc";
  }
  Install at;
  test::make_directory(at.quote());
  test::make_directory(at.dir.file("work"));
  test::ProgramRun run;
  run.program_dir = at.dir.path();
  run.work_dir = at.dir.file("work");
  RunResult result = test::run_program(run);
  EXPECT_EQ(result.output, "\n\ncannot find DICTORN.TXT");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(test::list_directory(at.dir.file("work")), Names{});
  // The search passes over the directory to a file further on.
  test::write_file(at.dir.file("work/dictorn.txt"), "found\n");
  result = test::run_program(run);
  EXPECT_EQ(result.output, "\n\nre-building index file " +
                               at.dir.file("work/dictorn.ndx") + "\n" +
                               test::progress_text(2));
  EXPECT_EQ(result.status, 0);
  result = test::run_program(run);
  EXPECT_EQ(result.output, "\n  found\n\n");
}

// ---- NUL bytes and bytes of 0x80 and above in quote lines ----

TEST(Faults, NulAndHighBytesInQuoteLines) {
  using namespace std::string_literals;
  struct Line {
    std::string bytes;
    std::string console;  // the run's output after its leading line feed
  };
  const Line lines[] = {
      // A NUL byte ends the text of a line there.
      {"abc\0def"s, "  abc\n\n"},
      {"\0starts with NUL"s, "  \n\n"},
      {"`\0preformatted"s, "\n\n"},
      {"\xff\xfe\xe9 high \x80\x97 bytes", "  \xff\xfe\xe9 high \x80\x97 bytes\n\n"},
      {"\xff", "  \xff\n\n"},
      {"dash--\xe9 ` \xc3\xa9" "crit",
       "  dash--\xe9\n" + std::string(56, ' ') + "- \xc3\xa9" "crit\n\n"},
  };
  std::string quotes;
  for (const Line& line : lines) {
    quotes += line.bytes + "\n";
  }
  Install at;
  test::write_file(at.quote(), quotes);
  RunResult built = test::run_program(at.dir.path(), {});
  EXPECT_EQ(built.status, 0);
  EXPECT_TRUE(test::read_file(at.index()) == index_for(quotes))
      << "NUL and high bytes count as bytes of their lines";
  for (size_t k = 0; k < std::size(lines); ++k) {
    SCOPED_TRACE(k);
    RunResult run = test::run_program(at.dir.path(), {std::to_string(k)});
    EXPECT_EQ(run.output, expected("\n" + lines[k].console));
    EXPECT_EQ(run.status, 1);
  }

  // In page mode high bytes pass unchanged; only a double hyphen becomes
  // the dash byte 0x97.
  test::write_file(at.dir.file("dictorn32.conf"), "");
  RunResult page = test::run_program(at.dir.path(), {},
                                     {"QUERY_STRING=next=5"});
  std::string block = "<div align=\"left\">\n  dash\x97\xe9\n"
                      "</div><div align=\"right\">\n- \xc3\xa9" "crit\n<br>\n"
                      "</div></font>";
  EXPECT_NE(page.output.find(expected(block)), std::string::npos)
      << page.output;
  EXPECT_EQ(page.status, 1);
}

// ---- a huge query string ----

TEST(Faults, HugeQueryStringInTheQueryReader) {
  test::CleanState clean;
  const std::string mebibyte(1 << 20, '9');
  struct Case {
    std::string value;
    bool next_given;
    int32_t next_value;
    bool daily_given;
    bool error;
  };
  const Case cases[] = {
      {"next=" + mebibyte, true, INT32_MAX, false, false},
      {"next=-" + mebibyte, true, INT32_MIN, false, false},
      {"next=" + std::string(1 << 20, '0') + "7", true, 7, false, false},
      {"daily=" + mebibyte, false, 0, true, false},
      {"again=" + mebibyte, false, 0, false, false},
      {mebibyte, false, 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.substr(0, 8));
    std::string entry = "QUERY_STRING=" + c.value;
    char* environment[] = {entry.data(), nullptr};
    RequestOptions options;
    read_request(environment, options);
    EXPECT_EQ(options.next_given, c.next_given);
    EXPECT_EQ(options.next_value, c.next_value);
    EXPECT_EQ(options.daily_given, c.daily_given);
    EXPECT_EQ(options.request_error != nullptr, c.error);
  }
}

TEST(Faults, HugeQueryStringThroughTheProgram) {
  if (windows_program()) {
    GTEST_SKIP() << "Windows limits a variable to 32767 characters";
  }
  // Linux takes no environment string longer than 32 pages (131072 bytes
  // with its terminator), so this is the largest QUERY_STRING a web server
  // can hand the program; the query reader gets 1 MiB above.
  const size_t longest = 131072 - 1 - std::string("QUERY_STRING=").size();
  Install at;
  test::write_file(at.quote(), numbered_quotes(10));
  test::write_file(at.dir.file("dictorn32.conf"), "");
  test::write_file(at.index(), index_for(numbered_quotes(10)));
  const std::string head =
      "Content-type: text/html\n\n<HTML><HEAD>\n"
      "<TITLE>DICTORN32 V2.0.00</TITLE>\n</HEAD><body>"
      "<h1>DICTORN32 V2.0.00</h1><br>\n";
  const std::string shown_last =
      head + "\n<font size=\"3\" face=\"Palatino Linotype,Palatino,Times\">"
             "<div align=\"left\">\n  quote 9\n<br>\n</div></font>";
  struct Case {
    std::string value;
    std::string output_start;
    bool whole;  // the output is exactly output_start
  };
  const Case cases[] = {
      {"next=" + std::string(longest - 5, '9'), shown_last, false},
      {"x" + std::string(longest - 1, '<'), head + "Parameter error<br><br>\n",
       true},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.value.size(), longest);
    RunResult run =
        test::run_program(at.dir.path(), {}, {"QUERY_STRING=" + c.value});
    EXPECT_EQ(run.status, 1);
    if (c.whole) {
      // Nothing of the request is echoed into the page.
      EXPECT_EQ(run.output, c.output_start);
    } else {
      EXPECT_EQ(run.output.substr(0, c.output_start.size()), c.output_start);
      EXPECT_EQ(run.output.find("999"), std::string::npos);
    }
  }
}

}  // namespace
