// The markup interpreter and the segment writer over any quote line, in both
// modes, preformatted or not. The first byte chooses the mode; the rest is
// the quote file, whose first line is shown.
//
// Checked against the reference model: every segment and every output byte.
// Checked on their own, whatever the model says: a segment of an ordinary
// line holds at most the wrap width unless it is one long word (no space);
// no segment holds a line feed; in page mode a preformatted segment before
// the attribution has no raw space and no segment's output keeps a double
// hyphen; on the console an attribution segment is right-aligned in 64
// columns.

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/state.h"
#include "fuzz_support.h"
#include "reference.h"
#include "render/quote_line.h"

namespace {

void check_segment(const EmittedSegment& segment, bool page) {
  const std::string& text = segment.text;
  REQUIRE(text.find('\n') == std::string::npos, "a segment holds no line feed",
          printable(text));
  size_t width = segment.right_justified ? 42 : 64;
  if (!segment.preformatted) {
    REQUIRE(text.size() <= width || text.find(' ') == std::string::npos,
            "an ordinary segment fits the wrap width or is one long word",
            printable(text));
  }
  const std::string& written = segment.written;
  if (page) {
    std::string end = segment.preformatted ? "<br>\n" : "\n";
    REQUIRE(written.size() >= end.size() &&
                written.compare(written.size() - end.size(), end.size(),
                                end) == 0,
            "a page segment ends with its line end", printable(written));
    std::string body = written.substr(0, written.size() - end.size());
    if (segment.preformatted && !segment.right_justified) {
      REQUIRE(body.find(' ') == std::string::npos,
              "a preformatted page segment has no raw space",
              printable(written));
    }
    REQUIRE(body.find("--") == std::string::npos,
            "a page segment keeps no double hyphen", printable(written));
  } else {
    std::string expected = text + "\n";
    if (segment.right_justified && text.size() < 64) {
      expected = std::string(64 - text.size(), ' ') + expected;
    }
    REQUIRE(written == expected, "a console segment is written as is",
            printable(written));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) {
    return 0;
  }
  const bool page = (data[0] & 1) != 0;
  const std::string quotes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string path = work_directory() + "/dictorn.txt";
  write_file(path, quotes);

  reset_program_state();
  snprintf(quote_path, sizeof quote_path, "%s", path.c_str());
  REQUIRE(text_open(quote_file, quote_path), "the quote file opens", path);
  page_mode = page;
  line_end = page ? "<br>\n" : "\n";
  static QuoteLine line;
  line = QuoteLine{};
  Outcome outcome = run_program_code([] {
    read_quote_line(line);
    format_quote(line);
  });

  LineModel model_line = model_quote_line(quotes, 0);
  if (!model_line.readable) {
    REQUIRE(outcome.ended && outcome.status == 1 &&
                outcome.output == "\nerror reading " + path,
            "an empty file fails with the read message",
            printable(outcome.output));
    reset_program_state();
    return 0;
  }
  REQUIRE(!outcome.ended, "a readable line is shown", printable(outcome.output));
  REQUIRE(line.preformatted == model_line.preformatted,
          "a leading backtick makes the line preformatted",
          printable(model_line.text));
  FormatModel model = model_format(model_line, page);
  std::string expected = (page ? quote_block_opening : "") + model.output;
  REQUIRE(outcome.output == expected, "the output matches the reference",
          "line:     " + printable(model_line.text) +
              "\nexpected: " + printable(expected) +
              "\nactual:   " + printable(outcome.output));

  const std::vector<EmittedSegment>& segments = emitted_segments();
  REQUIRE(segments.size() == model.segments.size(),
          "as many segments as the reference", printable(model_line.text));
  for (size_t i = 0; i < segments.size(); ++i) {
    REQUIRE(segments[i].text == model.segments[i].text &&
                segments[i].right_justified ==
                    model.segments[i].right_justified &&
                segments[i].preformatted == model_line.preformatted,
            "each segment matches the reference",
            printable(segments[i].text) + " vs " +
                printable(model.segments[i].text));
    check_segment(segments[i], page);
  }
  reset_program_state();
  return 0;
}
