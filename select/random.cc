#include "select/random.h"

#include "app/state.h"

void seed_random(uint32_t seed) { random_state = seed; }

int32_t draw_random() {
  random_state = random_state * 214013u + 2531011u;
  return static_cast<int32_t>((random_state >> 16) & 0x7FFF);
}

int32_t scale_draw(int32_t n) {
  // 64-bit product: a draw times more than 65,538 quotes overflows 32 bits.
  int64_t product = static_cast<int64_t>(draw_random()) * n;
  return static_cast<int32_t>(product / 32768);
}
