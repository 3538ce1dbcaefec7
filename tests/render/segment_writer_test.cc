#include "render/segment_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "app/state.h"
#include "test_support.h"

namespace {

struct Case {
  bool page;
  bool right_justified;
  bool preformatted;
  std::string segment;
  std::string written;
};

TEST(SegmentWriter, WritesEachSegmentInTheModesForm) {
  const std::string s64(64, 'w');
  const Case cases[] = {
      // Console: right alignment in 64 columns, nothing replaced.
      {false, false, false, "a--b  c", "a--b  c\n"},
      {false, false, true, "a  b", "a  b\n"},
      {false, true, false, "- Some Author.", std::string(50, ' ') +
                                               "- Some Author.\n"},
      {false, true, true, "- Me", std::string(60, ' ') + "- Me\n"},
      {false, true, false, s64, s64 + "\n"},
      {false, true, false, std::string(70, 'w'), std::string(70, 'w') + "\n"},
      {false, false, false, "", "\n"},
      {false, true, false, "", std::string(64, ' ') + "\n"},
      // Page: spaces, dashes, and the end of a preformatted segment.
      {true, false, false, "a--b c", "a\x97" "b c\n"},
      {true, false, true, "one  two", "one&nbsp;&nbsp;two<br>\n"},
      {true, true, true, "- a b", "- a b<br>\n"},
      {true, true, false, "- a  b", "- a  b\n"},
      {true, false, false, "a---b", "a\x97-b\n"},
      {true, false, false, "a----b", "a\x97\x97" "b\n"},
      {true, false, false, "-", "-\n"},
      {true, false, false, "a-", "a-\n"},
      {true, false, true, "--", "\x97<br>\n"},
      {true, false, false, "<i>&amp;</i>", "<i>&amp;</i>\n"},
      {true, true, false, s64 + "w", s64 + "w\n"},
      {true, false, false, "", "\n"},
      {true, false, true, "", "<br>\n"},
      {true, true, true, "", "<br>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << (c.page ? "page" : "console")
                 << (c.right_justified ? ", right" : "")
                 << (c.preformatted ? ", preformatted" : "") << ": \""
                 << c.segment << "\"");
    test::CleanState clean;
    page_mode = c.page;
    line_end = c.page ? "<br>\n" : "\n";
    // The segment is followed by more text, which must not be written.
    std::string text = c.segment + "--tail";
    EXPECT_EQ(test::capture_stdout([&] {
                emit_segment(c.right_justified, text.data(), c.segment.size(),
                             c.preformatted);
              }),
              c.written);
  }
}

}  // namespace
