#pragma once
// Plain reference models of the program's rules, written the simple way
// (strings, whole-file views, a look back over the segment at each step), so
// the fuzz targets can compare the program's fast, buffered code with them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A text file as the program reads it: a CR directly before a LF is dropped,
// a 0x1A ends reading until the next seek, `limit` ends it like the end of
// the file (negative: no limit).
struct TextModel {
  std::string bytes;
  int64_t limit = -1;
  int64_t position = 0;
  bool stopped = false;  // end of file, limit or 0x1A met
};

// Up to and including a line feed, at most `max_size` characters.
std::string model_read_piece(TextModel& file, size_t max_size);
// False (and no change) for a negative offset.
bool model_seek(TextModel& file, int64_t offset);

// The index the builder must write for a quote file.
struct IndexModel {
  bool too_long = false;
  int32_t too_long_line = 0;     // the line counter when the limit was hit
  int32_t quote_count = 0;
  std::vector<int32_t> entries;  // line offsets, then the end entry
  std::string file_bytes;        // the whole index file
};
IndexModel model_index(const std::string& quote_bytes);

// The quote line at `offset` as the line reader takes it.
struct LineModel {
  bool readable = false;
  bool preformatted = false;
  std::string text;  // with the two-space indent of an ordinary line
};
LineModel model_quote_line(const std::string& quote_bytes, int64_t offset);

// One segment as the markup interpreter must pass it on.
struct SegmentModel {
  bool right_justified = false;
  std::string text;
};

// What the segment writer writes for one segment.
std::string model_segment_output(bool right_justified, const std::string& text,
                                 bool preformatted, bool page);

// The segments and the whole output of interpreting a line (without the
// opening of the quote block, which the line reader writes).
struct FormatModel {
  std::vector<SegmentModel> segments;
  std::string output;
};
FormatModel model_format(const LineModel& line, bool page);

// The opening of the quote block in page mode.
extern const char quote_block_opening[];

// The index's byte order.
std::string le32(int32_t value);
int32_t read_le32(const std::string& bytes, size_t at);
