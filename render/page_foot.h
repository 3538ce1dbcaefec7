#pragma once
// The end of a page: the closed quote block, the "Another Quote...",
// "<< Previous" and "Next >>" forms, a hidden link to the next quote, and the
// tail template or a bare "</body>".

constexpr char tail_template_name[] = "dictorn32tail.htm";

// Draws the "Another Quote..." number and writes the footer. Ends the run
// only when the tail template's path is too long.
void write_page_foot();
