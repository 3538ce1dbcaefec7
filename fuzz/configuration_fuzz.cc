// The configuration reader over any file content.
//
// Checked against a plain reading of the rules over the text reader's
// model: page mode is on, the address is the last cgiserver value (white
// space skipped, cut at 255 characters) or the default, and the output is
// exactly one warning per piece that is neither a comment nor the key.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/configuration.h"
#include "app/state.h"
#include "fuzz_support.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  write_file(work_directory() + "/dictorn32.conf", bytes);

  TextModel file;
  file.bytes = bytes;
  std::string address = "/cgi-bin/dictorn32.exe";
  std::string warnings;
  for (;;) {
    std::string piece = model_read_piece(file, 16383);
    if (piece.empty()) {
      break;
    }
    piece = piece.substr(0, piece.find_first_of(std::string("\n\0", 2)));
    if (!piece.empty() && piece[0] == '#') {
      continue;
    }
    if (piece.compare(0, 9, "cgiserver") == 0) {
      size_t value = piece.find_first_not_of(" \t\r\v\f", 9);
      address = value == std::string::npos ? "" : piece.substr(value, 255);
      continue;
    }
    warnings += "unknown configuration <" + piece + ">\n";
  }

  reset_program_state();
  Outcome outcome = run_program_code([] { read_configuration(); });
  REQUIRE(!outcome.ended, "reading the configuration never ends the run",
          printable(outcome.output));
  REQUIRE(page_mode, "a configuration file turns on page mode", "");
  REQUIRE(address == script_address, "the address is the last key's value",
          printable(script_address) + " vs " + printable(address));
  REQUIRE(outcome.output == warnings, "one warning per unknown line",
          printable(outcome.output) + "\nexpected\n" + printable(warnings));
  REQUIRE(!template_file.is_open, "the configuration file is closed", "");
  reset_program_state();
  return 0;
}
