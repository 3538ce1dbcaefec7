#include "reference.h"

const char quote_block_opening[] =
    "<font size=\"3\" face=\"Palatino Linotype,Palatino,Times\">"
    "<div align=\"left\">\n";

namespace {

int64_t readable_end(const TextModel& file) {
  int64_t end = static_cast<int64_t>(file.bytes.size());
  if (file.limit >= 0 && file.limit < end) {
    end = file.limit;
  }
  return end;
}

}  // namespace

std::string model_read_piece(TextModel& file, size_t max_size) {
  std::string piece;
  int64_t end = readable_end(file);
  while (piece.size() < max_size && !file.stopped) {
    if (file.position >= end) {
      file.stopped = true;
      break;
    }
    char c = file.bytes[static_cast<size_t>(file.position)];
    if (c == '\x1a') {
      file.stopped = true;  // the position stays on the 0x1A
      break;
    }
    if (c == '\r' && file.position + 1 < end &&
        file.bytes[static_cast<size_t>(file.position) + 1] == '\n') {
      piece += '\n';
      file.position += 2;
      break;
    }
    piece += c;
    ++file.position;
    if (c == '\n') {
      break;
    }
  }
  return piece;
}

bool model_seek(TextModel& file, int64_t offset) {
  if (offset < 0) {
    return false;
  }
  file.position = offset;
  file.stopped = false;
  return true;
}

std::string le32(int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) {
    bytes[static_cast<size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  }
  return bytes;
}

int32_t read_le32(const std::string& bytes, size_t at) {
  uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) {
    bits = bits << 8 |
           static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  }
  return static_cast<int32_t>(bits);
}

IndexModel model_index(const std::string& quote_bytes) {
  IndexModel index;
  TextModel file;
  file.bytes = quote_bytes;
  int32_t counter = 0;
  for (;;) {
    ++counter;
    index.entries.push_back(static_cast<int32_t>(file.position));
    std::string line = model_read_piece(file, 16383);
    if (line.empty()) {
      break;
    }
    if (line.size() == 16383) {
      index.too_long = true;
      index.too_long_line = counter;
      return index;
    }
  }
  index.quote_count = counter - 1;
  index.file_bytes = le32(index.quote_count) +
                     le32(static_cast<int32_t>(quote_bytes.size()));
  for (int32_t entry : index.entries) {
    index.file_bytes += le32(entry);
  }
  return index;
}

LineModel model_quote_line(const std::string& quote_bytes, int64_t offset) {
  LineModel line;
  TextModel file;
  file.bytes = quote_bytes;
  if (!model_seek(file, offset)) {
    return line;
  }
  std::string first = model_read_piece(file, 1);
  if (first.empty()) {
    return line;
  }
  line.readable = true;
  if (first[0] == '`') {
    line.preformatted = true;
    line.text = model_read_piece(file, 16381);
  } else {
    line.text = "  " + first;
    if (first[0] != '\n') {
      line.text += model_read_piece(file, 16381);
    }
  }
  // The text is a terminated string cut at its first line feed.
  line.text = line.text.substr(0, line.text.find_first_of(std::string("\n\0", 2)));
  return line;
}

std::string model_segment_output(bool right_justified, const std::string& text,
                                 bool preformatted, bool page) {
  std::string out;
  if (page) {
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == ' ') {
        out += !right_justified && preformatted ? "&nbsp;" : " ";
      } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
        out += '\x97';
        ++i;
      } else {
        out += c;
      }
    }
    out += preformatted ? "<br>\n" : "\n";
    return out;
  }
  if (right_justified && text.size() < 64) {
    out.assign(64 - text.size(), ' ');
  }
  return out + text + "\n";
}

FormatModel model_format(const LineModel& line, bool page) {
  FormatModel model;
  std::string t = line.text;
  const bool pre = line.preformatted;
  const char* line_end = page ? "<br>\n" : "\n";
  bool right_justified = false;
  size_t width = 64;
  size_t start = 0;  // the current segment's first character in t
  size_t p = 0;      // position within the segment
  // Positions 1 .. clean of the segment are known to hold no space.
  size_t clean = 0;
  auto emit = [&](size_t length) {
    SegmentModel segment{right_justified, t.substr(start, length)};
    model.output += model_segment_output(right_justified, segment.text, pre,
                                         page);
    model.segments.push_back(segment);
  };
  for (;;) {
    size_t i = start + p;
    if (i >= t.size()) {
      break;
    }
    char c = t[i];
    if (c == '^') {
      if (p > 0 && t[i - 1] == '`') {
        t.erase(i - 1, 1);  // the caret is kept; go on after it
        continue;
      }
      emit(p);
      if (page && !pre) {
        model.output += line_end;
      }
      start = i + 1;
      p = 0;
      clean = 0;
      continue;
    }
    if (c == ' ' && i + 2 < t.size() && t[i + 1] == '`' && t[i + 2] == ' ') {
      emit(p);
      t[i + 1] = '-';
      start = i + 1;
      p = 0;
      clean = 0;
      right_justified = true;
      width = 42;
      if (page) {
        model.output += "</div><div align=\"right\">\n";
      }
      continue;
    }
    if (!pre && p >= width) {
      size_t q = 0;
      bool found = false;
      for (size_t k = p; k >= 1 && k > clean; --k) {
        if (t[start + k] == ' ') {
          q = k;
          found = true;
          break;
        }
      }
      if (found || t[start] == ' ') {
        emit(q);  // the space at q is dropped
        start += q + 1;
        p -= q;   // the walk goes on after the character at p
        clean = 0;
        continue;
      }
      clean = p;  // one word longer than the width: left whole
    }
    ++p;
  }
  emit(p);
  model.output += line_end;
  return model;
}
