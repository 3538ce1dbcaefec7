#pragma once
// Helpers shared by the unit and end-to-end tests: temporary directories,
// files with exact bytes, captured standard output, runs that end the
// process, and the built program run as a user runs it.
//
// Environment variables that adapt the end-to-end runs to another build
// (for instance the Windows program under Wine):
//   DICTORN_TEST_BINARY    the program to copy in place of the built one;
//                          its file name is kept
//   DICTORN_TEST_LAUNCHER  space-separated words put before the program's
//                          path, e.g. a Wine loader
//   DICTORN_TEST_PASS_ENV  space-separated names of variables handed on from
//                          the test's own environment (a launcher may need
//                          HOME or WINEPREFIX); nothing else is inherited
//   DICTORN_TEST_CRLF=1    the program's line feeds come out as CR LF:
//                          expected() translates the expected bytes
//   DICTORN_TEST_WINE_PATHS=1  the program reports paths in the form Wine
//                          gives Unix paths ("Z:\tmp\..."): shown_path()
//                          translates them

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace test {

// A fresh directory under the temporary directory, removed with everything
// in it when the object goes away. The path is absolute and free of symbolic
// links, as the program's own file search reports it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// Files with exact bytes. Failures to write are test failures.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool path_exists(const std::string& path);
void make_directory(const std::string& path);
// The names in a directory, without "." and "..", sorted.
std::vector<std::string> list_directory(const std::string& path);
// Makes each of `files` below `root`: a name ending in "/" a directory,
// any other name a file of those bytes, its directories made as needed.
void make_files(const std::string& root,
                const std::vector<std::pair<std::string, std::string>>& files);
// Creates directories below `base` so that the returned directory's path
// is exactly `length` characters long (components of at most 100).
std::string make_deep_directory(const std::string& base, size_t length);
// A file of `size` bytes that holds no data blocks (reads give zeros).
void make_sparse_file(const std::string& path, int64_t size);

// Index fields as the index stores them: 32-bit little-endian each.
std::string index_bytes(const std::vector<int32_t>& fields);

// How a run of a piece of code or of the program ended.
struct RunResult {
  std::string output;  // every byte written to standard output
  int status = -1;     // exit status; -1 when a signal ended the run
  int signal = 0;      // that signal, or 0
};

// Exit status of a child whose code under test returned instead of ending
// the run.
constexpr int returned_status = 200;

// Runs `body` with standard output (file descriptor 1 and stdout) sent to a
// file, and returns what it wrote. `body` must return.
std::string capture_stdout(const std::function<void()>& body);

// Runs `body` in a child process with standard output sent to a file: for
// code that ends the run. The child ends with returned_status if `body`
// returns.
RunResult run_in_child(const std::function<void()>& body);

// Puts every process-wide flag and buffer of the program back to its
// initial value and closes its open files. Each test that uses the program's
// state starts with a CleanState; each test runs in its own process under
// ctest, so this matters only when the test binary runs all tests at once.
void reset_program_state();
struct CleanState {
  CleanState() { reset_program_state(); }
  ~CleanState() { reset_program_state(); }
};

// Writes `bytes` as dictorn.txt in `dir`, opens it as the quote file and
// fills quote_path and index_path, as locate_quote_file would.
void use_quote_file(const TempDir& dir, const std::string& bytes);

// What the program would say for a quote path or index path: the path
// itself, or its Wine form under DICTORN_TEST_WINE_PATHS=1.
std::string shown_path(const std::string& path);

// Expected standard output of the program: `bytes`, with every line feed
// made CR LF under DICTORN_TEST_CRLF=1. Every end-to-end comparison of the
// program's output goes through this.
std::string expected(const std::string& bytes);

// The progress text of a rebuild that made `passes` passes:
// "\rline 1\rline 2...\rline <passes>".
std::string progress_text(int passes);

// The usage text, exactly as the program writes it.
std::string usage_text();

// One run of the program.
struct ProgramRun {
  std::string program_dir;              // where the program is copied
  std::string work_dir;                 // current directory; empty: program_dir
  std::vector<std::string> args;        // the arguments after its name
  std::vector<std::string> env;         // exactly its environment
  bool close_stdout = false;            // a pipe whose reader has gone
  // Called in the child once its standard streams are in place, just
  // before it enters work_dir and starts the program: limits and signal
  // dispositions a test sets. It must not allocate (the test may run
  // threads). Returning false ends the child with status 126.
  std::function<bool()> prepare;
};

// A started run whose standard output is a pipe that the test reads.
struct StartedRun {
  pid_t pid = -1;   // -1: the run did not start
  int output = -1;  // the pipe's read end
};

// Copies the program into `dir` (once) and returns the copy's path.
std::string install_program(const std::string& dir);

// Copies the program into `dir`, runs it there with exactly `env` as its
// environment, and returns its standard output and exit status. A run that
// takes more than a minute is ended by SIGALRM.
RunResult run_program(const std::string& dir,
                      const std::vector<std::string>& args,
                      const std::vector<std::string>& env = {});
RunResult run_program(const ProgramRun& run);

// Starts the program as run_program does (close_stdout aside), with its
// standard output on a pipe, and returns at once: the test reads the pipe
// when it chooses, and until then the program blocks once the pipe is full.
StartedRun start_program(const ProgramRun& run);

// Reads a started run's output to its end, closes the pipe and waits for
// the program.
RunResult finish_program(StartedRun& run);

}  // namespace test
