#pragma once
// Reads the chosen quote line and cuts it into segments at its markup: a
// caret breaks the line, a leading backtick makes it preformatted, a
// space-backtick-space starts the author attribution, and ordinary lines
// wrap at word boundaries.

#include <cstddef>

// Wrap widths before and after the first author mark.
constexpr size_t wrap_width_text = 64;
constexpr size_t wrap_width_author = 42;

// The longest rest of a line read behind its first character.
constexpr size_t preformatted_rest_limit = 16381;
constexpr size_t ordinary_rest_limit = 16381;

struct QuoteLine {
  bool preformatted = false;
};

// Reads the line at the quote file's position into line_buffer as a
// terminated text. Ends the run when no character can be read there.
void read_quote_line(QuoteLine& line);

// Interprets the text in line_buffer and writes it segment by segment. The
// text is changed in place (removed backticks, attribution hyphens).
void format_quote(const QuoteLine& line);
