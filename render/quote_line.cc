#include "render/quote_line.h"

#include <cstdio>
#include <cstring>

#include "app/state.h"
#include "render/segment_writer.h"

void read_quote_line(QuoteLine& line) {
  int first = text_get(quote_file);
  if (first < 0) {
    fail("\nerror reading %s", quote_path);
  }
  size_t length = 0;
  if (first == '`') {
    line.preformatted = true;
    length = text_read_piece(quote_file, line_buffer, preformatted_rest_limit);
  } else {
    line.preformatted = false;
    line_buffer[0] = ' ';
    line_buffer[1] = ' ';
    line_buffer[2] = static_cast<char>(first);
    length = 3;
    // An empty line has no rest; reading on would only fetch the next line.
    if (first != '\n') {
      length += text_read_piece(quote_file, line_buffer + 3,
                                ordinary_rest_limit);
    }
  }
  line_buffer[length] = '\0';
  if (page_mode) {
    fputs("<font size=\"3\" face=\"Palatino Linotype,Palatino,Times\">"
          "<div align=\"left\">\n",
          stdout);
  }
  char* feed = strchr(line_buffer, '\n');
  if (feed) {
    *feed = '\0';
  }
}

void format_quote(const QuoteLine& line) {
  bool right_justified = false;
  size_t wrap_width = wrap_width_text;
  char* segment = line_buffer;
  char* text_end = line_buffer + strlen(line_buffer);
  size_t p = 0;
  // Set once a segment past the wrap width has shown no space at all: from
  // then on only the character at p can offer a break, so the backward look
  // is not repeated for every character of a long word.
  bool unbroken_word = false;
  for (;;) {
    char c = segment[p];
    if (c == '\0') {
      break;
    }
    if (c == '^') {
      if (p > 0 && segment[p - 1] == '`') {
        // `^ shows the caret: drop the backtick and step over the caret.
        memmove(segment + p - 1, segment + p,
                static_cast<size_t>(text_end - (segment + p)) + 1);
        --text_end;
        continue;
      }
      emit_segment(right_justified, segment, p, line.preformatted);
      if (page_mode && !line.preformatted) {
        fputs(line_end, stdout);
      }
      segment += p + 1;
      p = 0;
      unbroken_word = false;
      continue;
    }
    if (c == ' ' && segment[p + 1] == '`' && segment[p + 2] == ' ') {
      emit_segment(right_justified, segment, p, line.preformatted);
      segment += p + 1;
      segment[0] = '-';
      p = 0;
      unbroken_word = false;
      right_justified = true;
      wrap_width = wrap_width_author;
      if (page_mode) {
        fputs("</div><div align=\"right\">\n", stdout);
      }
      continue;
    }
    if (!line.preformatted && p >= wrap_width) {
      size_t q = p;
      if (unbroken_word) {
        q = c == ' ' ? p : 0;
      } else {
        while (q > 0 && segment[q] != ' ') {
          --q;
        }
      }
      if (q > 0 || segment[0] == ' ') {
        emit_segment(right_justified, segment, q, line.preformatted);
        segment += q + 1;
        p -= q;
        unbroken_word = false;
        continue;
      }
      // One word longer than the width: left whole, it ends at the next
      // space, at markup, or at the end of the text.
      unbroken_word = true;
    }
    ++p;
  }
  emit_segment(right_justified, segment, p, line.preformatted);
  fputs(line_end, stdout);
}
