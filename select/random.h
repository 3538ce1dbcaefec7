#pragma once
// The random source: a small linear congruential generator whose seed
// decides between a new pick every run and the same pick all day.

#include <cstdint>

constexpr int64_t seconds_per_day = 86400;

void seed_random(uint32_t seed);

// Advances the state; returns 0 .. 32767.
int32_t draw_random();

// A fresh draw scaled to 0 .. n - 1 (0 when n is 0).
int32_t scale_draw(int32_t n);
