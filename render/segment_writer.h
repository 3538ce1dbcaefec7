#pragma once
// Writes one segment of a quote in the current mode's form: HTML spaces and
// dashes in page mode, right alignment of the attribution on the console.

#include <cstddef>

// Console width that a right-justified segment is aligned in.
constexpr size_t console_width = 64;

// Writes `length` bytes of `segment` (no line feeds) and ends the segment.
void emit_segment(bool right_justified, const char* segment, size_t length,
                  bool preformatted);
