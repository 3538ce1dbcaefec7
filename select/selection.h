#pragma once
// Turns the request or the command line into the quote number to show.

// Seeds the random source and sets current_quote from request_options (page
// mode) or the first argument (console). Ends the run with the usage text
// for an argument that does not start with a digit, and with an error when
// the quote file holds no quote.
void select_quote(int argc, char** argv);

// Writes the usage text and ends the run with status 1.
[[noreturn]] void print_usage();
