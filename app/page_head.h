#pragma once
// The start of a page-mode run: the page-head template, the query string,
// the response header and the page head; and the template copier that the
// footer uses for the tail template too.

#include "app/state.h"

constexpr char head_template_name[] = "dictorn32head.htm";
constexpr char parameter_error[] = "Parameter error";

// Finds and opens a template into template_file. False when absent or not
// openable; ends the run when its path is too long.
bool open_template(const char* name);

// Opens the page-head template; an opened template turns on page mode.
// True when it is open for write_page_head.
bool open_head_template();

// Fills `options` from the QUERY_STRING entries of `environment`.
void read_request(char** environment, RequestOptions& options);

// Writes the response header and the page head (the open template or the
// built-in head). Ends the run with the error page for a bad query.
void write_page_head(bool head_template_open, const RequestOptions& options);

// Copies template_file to standard output, a line feed after each piece,
// and closes it.
void copy_template();
