#include "app/configuration.h"

#include <cstdio>
#include <cstring>

#include "app/page_head.h"
#include "app/state.h"

namespace {

constexpr char key[] = "cgiserver";
constexpr size_t key_length = sizeof key - 1;

// No byte above 0x7F counts as white space, and the line feed is gone.
bool is_value_white(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

void read_configuration() {
  if (!open_template(configuration_name)) {
    return;
  }
  page_mode = true;
  for (;;) {
    size_t length =
        text_read_piece(template_file, line_buffer, line_buffer_size - 1);
    if (length == 0) {
      break;
    }
    line_buffer[length] = '\0';
    char* feed = strchr(line_buffer, '\n');
    if (feed) {
      *feed = '\0';
    }
    if (line_buffer[0] == '#') {
      continue;
    }
    if (strncmp(line_buffer, key, key_length) == 0) {
      const char* value = line_buffer + key_length;
      while (is_value_white(*value)) {
        ++value;
      }
      // A longer address is cut to the first 255 characters.
      size_t value_length = strnlen(value, script_address_size - 1);
      memcpy(script_address, value, value_length);
      script_address[value_length] = '\0';
      continue;
    }
    printf("unknown configuration <%s>%s", line_buffer, line_end);
  }
  text_close(template_file);
}
