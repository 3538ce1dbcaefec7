#pragma once
// Rebuilds the index from the quote file in one pass. The new index is
// written under a temporary name and renamed over the old one only when
// complete, so a concurrent run sees the old index or the new one, never a
// part of one.

#include <cstddef>

// A line read as text, line feed included, must be shorter than this.
constexpr size_t line_limit = 16383;

// Writes the index for the open quote file and ends the run: status 0 when
// built, through fail() otherwise.
[[noreturn]] void build_index();
