#pragma once
// The process-wide state that the stages of one run share. Every flag and
// buffer here is defined once, with its initial value, in state.cc.

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// 16384: the working line buffer; the index builder reports its line limit
// as this size.
constexpr size_t line_buffer_size = 16384;

// 255: the longest address the navigation forms may call.
constexpr size_t script_address_size = 256;

// Standard output's buffer: a run's page fits many times over, and a rebuild's
// progress text goes out in few writes.
constexpr size_t output_buffer_size = 64 * 1024;

// What the query string asked for.
struct RequestOptions {
  bool next_given = false;
  int32_t next_value = 0;
  bool daily_given = false;
  const char* request_error = nullptr;
};

extern bool page_mode;
extern const char* line_end;
extern char script_address[script_address_size];

// One byte beyond the line buffer lets the longest last line the builder
// accepts be shown whole behind the two-space indent.
extern char line_buffer[line_buffer_size + 1];

// Given to standard output before the first write, so that the C library
// neither allocates one nor asks what the output is.
extern char output_buffer[output_buffer_size];

extern RequestOptions request_options;

extern char quote_path[path_size];
extern char index_path[path_size];
extern TextFile quote_file;
extern int index_handle;

// A page template or the configuration file; one is open at a time.
extern TextFile template_file;

// Set while a new index is written under a temporary name, so that a failure
// can remove it.
extern char pending_index_path[path_size + 32];

// The random source's state (select/random.h).
extern uint32_t random_state;

extern int32_t quote_count;
extern int32_t last_quote;
extern int32_t current_quote;

// Writes the message to standard output and ends the run with status 1.
[[noreturn]] void fail(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
