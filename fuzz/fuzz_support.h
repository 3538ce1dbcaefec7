#pragma once
// What the fuzz targets share: running program code that may end the run
// (its exit is turned into a jump back here), capturing what it writes to
// standard output, recording the segments handed to emit_segment, putting
// the process-wide state back between inputs, and a scratch directory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// How a piece of program code ended, and what it wrote.
struct Outcome {
  bool ended = false;  // it called exit (fail, the usage text, a rebuild)
  int status = 0;      // the exit status when it ended
  std::string output;  // everything written to standard output
};

// Runs `body` with standard output captured and exit intercepted. The body
// must hold nothing that needs destruction: an exit jumps over its frames.
Outcome run_program_code(const std::function<void()>& body);

// One call of emit_segment and the bytes it wrote.
struct EmittedSegment {
  bool right_justified = false;
  std::string text;
  bool preformatted = false;
  std::string written;
};

// Segments recorded by the last run_program_code.
const std::vector<EmittedSegment>& emitted_segments();

// Puts every process-wide flag, buffer and open file back to the state a
// fresh process starts with, and closes descriptors opened since start-up.
void reset_program_state();

// A scratch directory made once per process; the current directory is set
// to it so the program's file search finds files placed there.
const std::string& work_directory();

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// Names in the work directory other than those listed.
std::vector<std::string> other_files(const std::vector<std::string>& known);

// Ends the fuzz process with a report; the fuzzer keeps the input that broke
// the property.
[[noreturn]] void property_broken(const char* property,
                                  const std::string& detail);

// Checks a property; the detail is only built when it does not hold, since
// most inputs pass every check.
#define REQUIRE(condition, property, detail) \
  do {                                        \
    if (!(condition)) {                       \
      property_broken(property, detail);      \
    }                                         \
  } while (false)

// Text with control and high bytes escaped, for reports.
std::string printable(const std::string& bytes);
