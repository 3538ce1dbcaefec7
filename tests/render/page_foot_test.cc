#include "render/page_foot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/page_fixture.h"
#include "app/state.h"
#include "select/random.h"
#include "test_support.h"

namespace {

using test::capture_stdout;
using test::run_in_child;
using test::write_file;

class PageFoot : public ScratchDirTest {
 protected:
  // The footer after seed_random(1) and `draws_before` draws of the
  // selection.
  std::string foot_for(int32_t count, int32_t current, int draws_before) {
    quote_count = count;
    last_quote = count - 1;
    current_quote = current;
    seed_random(1);
    for (int i = 0; i < draws_before; ++i) {
      draw_random();
    }
    return capture_stdout(write_page_foot);
  }
};

// After seed_random(1) the draws are 41, 18467, 6334. The "Another
// Quote..." number is the draw made when the footer is written, after those
// of the selection: 41 * n / 32768 with none before, 18467 * n / 32768 with
// one (a random pick).
TEST_F(PageFoot, NavigationNumbersWrapAtBothEnds) {
  const struct {
    int32_t count;
    int32_t current;
    int draws_before;
    int another;
    int previous;
    int next;
  } cases[] = {
      {10, 0, 0, 0, 9, 1},
      {10, 9, 0, 0, 8, 0},
      {10, 8, 0, 0, 7, 9},
      {2, 0, 0, 0, 1, 1},
      {10, 4, 1, 5, 3, 5},
      {1, 0, 1, 0, 0, 0},
      {2, 1, 1, 1, 0, 0},
      {65538, 65537, 1, 36935, 65536, 0},
      {100000, 0, 1, 56356, 99999, 1},
      {100000, 500, 0, 125, 499, 501},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.count << " quotes, quote " << c.current << ", "
                 << c.draws_before << " draws before");
    EXPECT_EQ(
        page_footer("/cgi-bin/dictorn32.exe", c.another, c.previous, c.next) +
            "</body>",
        foot_for(c.count, c.current, c.draws_before));
  }
}

// The address is inserted as configured: no escaping, and no printf
// conversion inside it is ever expanded.
TEST_F(PageFoot, AddressInsertedAsConfigured) {
  for (const char* address : {"", "/q?a=1&b=\"2\"", "/%s%d%n%%", " x "}) {
    SCOPED_TRACE(address);
    snprintf(script_address, sizeof script_address, "%s", address);
    EXPECT_EQ(page_footer(address, 0, 9, 1) + "</body>", foot_for(10, 0, 0));
  }
}

TEST_F(PageFoot, TailTemplateReplacesClosingBody) {
  write_file(path_of(tail_template_name), "<p>tail %s</p>\r\n</html>");
  EXPECT_EQ(page_footer("/cgi-bin/dictorn32.exe", 0, 9, 1) +
                "<p>tail %s</p>\n\n</html>\n",
            foot_for(10, 0, 0));
  EXPECT_FALSE(template_file.is_open);
}

TEST_F(PageFoot, EmptyTailTemplateWritesNothing) {
  write_file(path_of(tail_template_name), "");
  EXPECT_EQ(page_footer("/cgi-bin/dictorn32.exe", 0, 9, 1), foot_for(10, 0, 0));
}

TEST_F(PageFoot, TailDirectoryCountsAsAbsent) {
  std::filesystem::create_directory(path_of(tail_template_name));
  EXPECT_EQ(page_footer("/cgi-bin/dictorn32.exe", 0, 9, 1) + "</body>",
            foot_for(10, 0, 0));
}

TEST_F(PageFoot, TailPathTooLongEndsTheRun) {
  std::string deep = enter_deep_directory();
  write_file(deep + "/" + tail_template_name, "</html>\n");
  quote_count = 10;
  last_quote = 9;
  current_quote = 0;
  seed_random(1);
  test::RunResult ending = run_in_child(write_page_foot);
  EXPECT_EQ(1, ending.status);
  EXPECT_EQ(page_footer("/cgi-bin/dictorn32.exe", 0, 9, 1) +
                "\npath too long for dictorn32tail.htm",
            ending.output);
}

}  // namespace
