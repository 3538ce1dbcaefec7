#include "app/state.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

bool page_mode = false;
const char* line_end = "\n";
char script_address[script_address_size] = "/cgi-bin/dictorn32.exe";
char line_buffer[line_buffer_size + 1];
char output_buffer[output_buffer_size];
RequestOptions request_options;
char quote_path[path_size];
char index_path[path_size];
// constinit: set up when the program is built, so that no start-up code
// touches the pages of the records' buffers.
constinit TextFile quote_file{};
int index_handle = -1;
constinit TextFile template_file{};
char pending_index_path[path_size + 32];
uint32_t random_state = 0;
int32_t quote_count = 0;
int32_t last_quote = 0;
int32_t current_quote = 0;

void fail(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vprintf(format, arguments);
  va_end(arguments);
  fflush(stdout);
  if (pending_index_path[0] != '\0') {
    file_remove(pending_index_path);
  }
  exit(1);
}
