#include "select/random.h"

#include <gtest/gtest.h>

#include "app/state.h"
#include "test_support.h"

namespace {

TEST(Random, SeedSequences) {
  test::CleanState clean;
  seed_random(1);
  EXPECT_EQ(41, draw_random());
  EXPECT_EQ(18467, draw_random());
  EXPECT_EQ(6334, draw_random());
  seed_random(0);
  EXPECT_EQ(38, draw_random());
  EXPECT_EQ(7719, draw_random());
  EXPECT_EQ(21238, draw_random());
  // The state wraps at 2^32.
  seed_random(0xFFFFFFFFu);
  EXPECT_EQ(35, draw_random());
  EXPECT_EQ(2316998u, random_state);
}

TEST(Random, ScaleDrawScalesEachDraw) {
  test::CleanState clean;
  struct Case {
    uint32_t seed;
    int32_t n;
    int32_t draws[3];  // of the draws 41, 18467, 6334 (seed 1) or
                       // 38, 7719, 21238 (seed 0)
  };
  const Case cases[] = {
      {1, 10, {0, 5, 1}},
      {1, 1, {0, 0, 0}},
      {0, 32768, {38, 7719, 21238}},
      // Up to 65,538 quotes the product fits 32 bits.
      {0, 65538, {76, 15438, 42477}},
      // Beyond, the product needs 64 bits: 18467 * 200000 > 2^31.
      {1, 200000, {250, 112713, 38659}},
      {1, 2000000, {2502, 1127136, 386596}},
      {0, INT32_MAX, {2490367, 505872383, 1391853567}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "seed " << c.seed << ", n " << c.n);
    seed_random(c.seed);
    for (int32_t draw : c.draws) {
      EXPECT_EQ(scale_draw(c.n), draw);
    }
  }
}

}  // namespace
