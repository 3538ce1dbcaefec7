#pragma once
// The quote file and its index: finding the quote file, the index format,
// opening and checking the index, and reaching one line.
//
// The index file sits beside the quote file, named after it with ".ndx" in
// place of its extension. Every field is a signed 32-bit little-endian
// integer:
//   offset 0            quote_count: lines in the quote file
//   offset 4            text_size: the quote file's size when indexed
//   offset 8 + 4k       line_offsets[k]: where line k starts, 0 <= k < count
//   offset 8 + 4*count  the offset where the builder found the file's end
// so the file is 12 + 4 * quote_count bytes long.

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr char quote_file_name[] = "dictorn.txt";
constexpr size_t index_header_size = 8;
constexpr size_t index_entry_size = 4;

// The largest quote file the 32-bit offsets can describe.
constexpr int64_t quote_file_size_limit = INT32_MAX;

struct QuoteIndex {
  int32_t quote_count = 0;
  int32_t text_size = 0;
};

// The index's byte order, spelled out.
void put_le32(unsigned char* bytes, int32_t value);
int32_t get_le32(const unsigned char* bytes);

// Writes `quote_path`'s index path into `index` (everything from the last
// "." of the file name replaced by ".ndx"). False if it would not fit.
bool index_path_for(const char* quote, char (&index)[path_size]);

// Finds and opens the quote file, fills quote_path and index_path. Ends the
// run when the file cannot be found or opened.
void locate_quote_file();

// The quote file's size; ends the run when it does not fit the index format.
int32_t measure_quote_file();

// Opens and checks the index. True when usable: quote_count and last_quote
// are set. False when missing, stale or damaged beyond use (rebuild it).
// Ends the run when the index is shorter than its header.
bool open_index();

// Positions the quote file at the first byte of quote k. Ends the run when
// the index entry cannot be read or the offset is not a file position.
void read_line_offset(int32_t k);
