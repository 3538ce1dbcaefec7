#include "app/page_head.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr char query_entry[] = "QUERY_STRING=";

bool starts_with(const char* text, const char* prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool is_white(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Leading white space, a sign, then digits up to the first non-digit; no
// digits give 0. Values beyond 32 bits saturate, so the selection's clamp
// still shows the last quote or quote 0.
int32_t parse_next_value(const char* text) {
  while (is_white(*text)) {
    ++text;
  }
  bool negative = *text == '-';
  if (*text == '+' || *text == '-') {
    ++text;
  }
  int64_t magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > static_cast<int64_t>(INT32_MAX) + 1) {
      magnitude = static_cast<int64_t>(INT32_MAX) + 1;
    }
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) {
    value = INT32_MAX;
  }
  return static_cast<int32_t>(value);
}

}  // namespace

bool open_template(const char* name) {
  char path[path_size];
  SearchResult result = search_file(name, path);
  if (result == SearchResult::too_long) {
    fail("\npath too long for %s", name);
  }
  return result == SearchResult::found && text_open(template_file, path);
}

bool open_head_template() {
  if (!open_template(head_template_name)) {
    return false;
  }
  page_mode = true;
  return true;
}

void read_request(char** environment, RequestOptions& options) {
  for (char** entry = environment; *entry; ++entry) {
    if (!starts_with(*entry, query_entry)) {
      continue;
    }
    // The query is used as the server hands it: neither percent-decoded nor
    // with "+" read as a space (RFC 3875 leaves decoding to the program).
    const char* value = *entry + strlen(query_entry);
    if (value[0] == '\0' || starts_with(value, "again=")) {
      continue;
    }
    if (starts_with(value, "next=")) {
      options.next_given = true;
      options.next_value = parse_next_value(value + 5);
    } else if (starts_with(value, "daily=")) {
      options.daily_given = true;
    } else {
      options.request_error = parameter_error;
      return;
    }
  }
}

void write_page_head(bool head_template_open, const RequestOptions& options) {
  fputs("Content-type: text/html\n\n", stdout);
  if (head_template_open) {
    copy_template();
  } else {
    fputs("<HTML><HEAD>\n", stdout);
    fputs("<TITLE>DICTORN32 V2.0.00</TITLE>\n", stdout);
    fputs("</HEAD><body>", stdout);
    fputs("<h1>DICTORN32 V2.0.00</h1><br>\n", stdout);
  }
  if (options.request_error) {
    fail("%s<br><br>\n", options.request_error);
  }
}

void copy_template() {
  for (;;) {
    size_t length =
        text_read_piece(template_file, line_buffer, line_buffer_size - 1);
    if (length == 0) {
      break;
    }
    line_buffer[length] = '\0';
    // The piece is a text: a NUL byte in a template ends it there.
    fputs(line_buffer, stdout);
    putchar('\n');
  }
  text_close(template_file);
}
