#include "select/selection.h"

#include <cstdio>
#include <cstdlib>

#include "app/state.h"
#include "platform/platform.h"
#include "select/random.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The number formed by the leading digits, modulo `count`, digit by digit so
// that any length of digits gives the exact remainder.
int32_t leading_number_modulo(const char* text, int32_t count) {
  int64_t remainder = 0;
  for (; is_digit(*text); ++text) {
    remainder = (remainder * 10 + (*text - '0')) % count;
  }
  return static_cast<int32_t>(remainder);
}

}  // namespace

void print_usage() {
  fputs("\nDICTORN32, k.w.p.'s signature generator tool\n", stdout);
  fputs("\nUsage: dictorn [n]\n\t\twhere n is optional dictorn number", stdout);
  fputs("\n\treads dictorns from DICTORN.TXT, one per line", stdout);
  fputs("\n\tgenerates DICTORN.NDX", stdout);
  fputs("\n\tsequence <space>`<space> changes justification to right", stdout);
  fputs("\n\t\tand prints hyphen for authorship", stdout);
  fputs("\n\tif line begins with ` it is preformated", stdout);
  fputs("\n\t^ translates to CRLF (unless preceded by `)", stdout);
  fflush(stdout);
  exit(1);
}

void select_quote(int argc, char** argv) {
  if (request_options.daily_given) {
    seed_random(static_cast<uint32_t>(calendar_seconds() / seconds_per_day));
  } else {
    seed_random(tick_milliseconds());
  }
  bool by_argument = !page_mode && argc > 1;
  if (by_argument && !is_digit(argv[1][0])) {
    print_usage();
  }
  // No quote to show; the message is the one for a line that cannot be read.
  if (quote_count == 0) {
    fail("\nerror reading %s", quote_path);
  }
  int32_t n = 0;
  if (page_mode && request_options.next_given) {
    n = request_options.next_value;
    if (n < 0) {
      n = 0;
    }
    if (n > last_quote) {
      n = last_quote;
    }
  } else if (by_argument) {
    n = leading_number_modulo(argv[1], quote_count);
  } else {
    n = scale_draw(quote_count);
  }
  current_quote = n;
}
