#include "select/random.h"

#include <gtest/gtest.h>

TEST(Random, SeedSequences) {
  seed_random(1);
  EXPECT_EQ(41, draw_random());
  EXPECT_EQ(18467, draw_random());
  EXPECT_EQ(6334, draw_random());
  seed_random(0);
  EXPECT_EQ(38, draw_random());
  EXPECT_EQ(7719, draw_random());
  EXPECT_EQ(21238, draw_random());
}
