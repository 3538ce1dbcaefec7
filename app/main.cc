// dictorn: shows one quote from a file of quotes, one quote per line.
//
// A run is one straight sequence of stages, each of which either hands on to
// the next or ends the process:
//   1. the configuration file, whose presence turns on page mode;
//   2. the page-head template, whose presence does too;
//   3. in page mode, the query string, the response header and the page
//      head (a bad query ends the run with the error page);
//   4. in page mode, lines end in "<br>\n" from here on;
//   5. a bare line feed, in both modes;
//   6. the quote file and its index; a missing or stale index is rebuilt
//      and the run ends there with status 0;
//   7. the quote number, from the query, the command line, or at random;
//   8. the quote's line, reached through the index;
//   9. the quote, cut at its markup and written segment by segment;
//  10. in page mode, the footer with the navigation forms.
// A run that shows a quote ends with status 1, as does every failure.

#include <cstdio>

#include "app/configuration.h"
#include "app/page_head.h"
#include "app/state.h"
#include "platform/platform.h"
#include "render/page_foot.h"
#include "render/quote_line.h"
#include "select/selection.h"
#include "store/index_builder.h"
#include "store/quote_index.h"

int main(int argc, char** argv, char** environment) {
  setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
  platform_start(argc > 0 ? argv[0] : nullptr);
  read_configuration();
  bool head_template_open = open_head_template();
  if (page_mode) {
    read_request(environment, request_options);
    write_page_head(head_template_open, request_options);
    line_end = "<br>\n";
  }
  putchar('\n');
  locate_quote_file();
  if (!open_index()) {
    build_index();
  }
  select_quote(argc, argv);
  read_line_offset(current_quote);
  QuoteLine line;
  read_quote_line(line);
  format_quote(line);
  if (page_mode) {
    write_page_foot();
  }
  fflush(stdout);
  return 1;
}
