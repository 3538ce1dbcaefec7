#include "render/segment_writer.h"

#include <cstdio>

#include "app/state.h"

namespace {

// 0x97: the em dash of the Windows-1252 code page, which the page declares
// nowhere but browsers assume for such bytes.
constexpr char page_dash = static_cast<char>(0x97);

void write_page_segment(bool right_justified, const char* segment,
                        size_t length, bool preformatted) {
  for (size_t i = 0; i < length; ++i) {
    char c = segment[i];
    if (c == ' ' && !right_justified && preformatted) {
      fputs("&nbsp;", stdout);
    } else if (c == '-' && i + 1 < length && segment[i + 1] == '-') {
      putchar(page_dash);
      ++i;
    } else {
      putchar(c);
    }
  }
  fputs(preformatted ? line_end : "\n", stdout);
}

}  // namespace

void emit_segment(bool right_justified, const char* segment, size_t length,
                  bool preformatted) {
  if (page_mode) {
    write_page_segment(right_justified, segment, length, preformatted);
    return;
  }
  if (right_justified) {
    for (size_t pad = length; pad < console_width; ++pad) {
      putchar(' ');
    }
    fwrite(segment, 1, length, stdout);
    fputs(line_end, stdout);
    return;
  }
  fwrite(segment, 1, length, stdout);
  putchar('\n');
}
