#include "select/selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/state.h"
#include "platform/platform.h"
#include "select/random.h"
#include "test_support.h"

namespace {

constexpr char quotes_path[] = "/quotes/dictorn.txt";

// Sets up a checked index of `count` quotes and runs select_quote with the
// program name and `args` as the command line.
void select_with(int32_t count, std::vector<std::string> args) {
  quote_count = count;
  last_quote = count - 1;
  snprintf(quote_path, sizeof quote_path, "%s", quotes_path);
  std::vector<char*> argv = {const_cast<char*>("dictorn")};
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  select_quote(static_cast<int>(argv.size() - 1), argv.data());
}

TEST(Selection, ConsoleArgumentModuloQuoteCount) {
  struct Case {
    int32_t count;
    std::vector<std::string> args;
    int32_t quote;
  };
  const Case cases[] = {
      {10, {"12"}, 2},
      {10, {"0"}, 0},
      {10, {"7abc"}, 7},
      {10, {"10"}, 0},
      {10, {"12", "x"}, 2},  // further arguments are ignored
      {10, {"007"}, 7},
      {1, {"123"}, 0},
      // Beyond 32 bits: the exact value of the digits, modulo the count.
      {10, {"4294967297"}, 7},
      {7, {"4294967297"}, 5},
      {1000, {std::string(23, '9')}, 999},
      {997, {"1" + std::string(22, '0') + "x5"}, 933},
      {INT32_MAX, {"2147483648"}, 1},
      {INT32_MAX, {"4294967294"}, 0},
      {INT32_MAX, {"18446744073709551615"}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " quotes, " << c.args[0]);
    test::CleanState clean;
    select_with(c.count, c.args);
    EXPECT_EQ(current_quote, c.quote);
  }
}

TEST(Selection, ArgumentNotStartingWithDigitShowsUsage) {
  for (const char* arg : {"x", "", "-1", "+1", " 1", "\xFF"}) {
    for (int32_t count : {10, 0}) {
      SCOPED_TRACE(testing::Message() << "'" << arg << "', " << count);
      test::CleanState clean;
      test::RunResult run =
          test::run_in_child([&] { select_with(count, {arg}); });
      EXPECT_EQ(run.output, test::usage_text());
      EXPECT_EQ(run.status, 1);
    }
  }
}

TEST(Selection, NoQuotesFailsAfterTheUsageCheck) {
  struct Case {
    bool page;
    std::vector<std::string> args;
  };
  const Case cases[] = {{false, {}}, {false, {"5"}}, {false, {"0"}},
                        {true, {}}, {true, {"x"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.page ? "page" : "console") << ", "
                                    << c.args.size() << " arguments");
    test::CleanState clean;
    page_mode = c.page;
    request_options.next_given = c.page;
    test::RunResult run = test::run_in_child([&] { select_with(0, c.args); });
    EXPECT_EQ(run.output, std::string("\nerror reading ") + quotes_path);
    EXPECT_EQ(run.status, 1);
  }
}

TEST(Selection, PageModeNextIsClamped) {
  struct Case {
    int32_t next;
    int32_t quote;
  };
  const Case cases[] = {{1000, 9}, {-5, 0}, {4, 4}, {0, 0}, {9, 9},
                        {10, 9},   {INT32_MIN, 0}, {INT32_MAX, 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "next=" << c.next);
    test::CleanState clean;
    page_mode = true;
    request_options.next_given = true;
    request_options.next_value = c.next;
    // A command-line argument plays no part in page mode.
    select_with(10, {"x"});
    EXPECT_EQ(current_quote, c.quote);
  }
}

// The state after seed_random(seed) and one draw.
uint32_t state_after_one_draw(uint32_t seed) {
  return seed * 214013u + 2531011u;
}

TEST(Selection, RandomPickIsFirstDrawAfterTickSeed) {
  for (bool page : {false, true}) {
    SCOPED_TRACE(page ? "page" : "console");
    test::CleanState clean;
    page_mode = page;
    uint32_t before = tick_milliseconds();
    select_with(1000, {});
    uint32_t after = tick_milliseconds();
    bool seeded_from_tick = false;
    for (uint32_t tick = before; tick != after + 1; ++tick) {
      if (state_after_one_draw(tick) == random_state) {
        seeded_from_tick = true;
        int32_t draw = static_cast<int32_t>((random_state >> 16) & 0x7FFF);
        EXPECT_EQ(current_quote, draw * 1000 / 32768);
      }
    }
    EXPECT_TRUE(seeded_from_tick);
  }
}

TEST(Selection, DailyPickIsFirstDrawAfterDaySeed) {
  test::CleanState clean;
  page_mode = true;
  request_options.daily_given = true;
  uint32_t day = static_cast<uint32_t>(calendar_seconds() / 86400);
  select_with(1000, {});
  if (static_cast<uint32_t>(calendar_seconds() / 86400) != day) {
    GTEST_SKIP() << "the day changed during the test";
  }
  EXPECT_EQ(random_state, state_after_one_draw(day));
  seed_random(day);
  EXPECT_EQ(current_quote, scale_draw(1000));
}

}  // namespace
