// The query reader over any environment: the input is split at NUL bytes
// into environment entries, and an entry that starts with the byte 0x01
// gets "QUERY_STRING=" in place of it. Then the page head, and the quote
// selection and the page footer for a few quote counts.
//
// Checked: RequestOptions against a plain reading of the query rules; the
// page head and the footer byte for byte, so nothing from the request ever
// reaches the page; the error page for a query that is not recognised; the
// chosen quote within the file, and the asked-for one when a number was
// given.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/page_head.h"
#include "app/state.h"
#include "fuzz_support.h"
#include "render/page_foot.h"
#include "select/selection.h"

namespace {

const std::string query_entry = "QUERY_STRING=";

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The number after "next=": white space, a sign, digits; beyond 32 bits the
// value saturates.
int32_t model_next_value(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::string(" \t\n\v\f\r").find(text[i]) !=
                                std::string::npos) {
    ++i;
  }
  bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    ++i;
  }
  std::string digits;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (!digits.empty() || text[i] != '0') {
      digits += text[i];
    }
  }
  const std::string high = negative ? "2147483648" : "2147483647";
  if (digits.size() > 10 || (digits.size() == 10 && digits > high)) {
    digits = high;
  }
  int64_t value = digits.empty() ? 0 : std::stoll(digits);
  return static_cast<int32_t>(negative ? -value : value);
}

RequestOptions model_request(const std::vector<std::string>& entries) {
  RequestOptions options;
  for (const std::string& entry : entries) {
    if (!starts_with(entry, query_entry)) {
      continue;
    }
    std::string value = entry.substr(query_entry.size());
    if (value.empty() || starts_with(value, "again=")) {
      continue;
    }
    if (starts_with(value, "next=")) {
      options.next_given = true;
      options.next_value = model_next_value(value.substr(5));
    } else if (starts_with(value, "daily=")) {
      options.daily_given = true;
    } else {
      options.request_error = parameter_error;
      break;
    }
  }
  return options;
}

const char built_in_head[] =
    "Content-type: text/html\n\n<HTML><HEAD>\n"
    "<TITLE>DICTORN32 V2.0.00</TITLE>\n</HEAD><body>"
    "<h1>DICTORN32 V2.0.00</h1><br>\n";

std::string form(int32_t number, const char* label) {
  return "<FORM style=\"text-align: center\" action=\"/cgi-bin/dictorn32.exe\">"
         "<input type=\"hidden\" name=\"next\" value=\"" +
         std::to_string(number) + "\"><INPUT TYPE=\"submit\" VALUE=\"" +
         label + "\"></FORM>\n";
}

// The next draw of the generator from `state`, scaled to 0 .. n - 1.
int32_t model_scale_draw(uint32_t state, int32_t n) {
  state = state * 214013u + 2531011u;
  int64_t draw = (state >> 16) & 0x7FFF;
  return static_cast<int32_t>(draw * n / 32768);
}

void check_selection(int32_t count, const RequestOptions& options) {
  static char program_name[] = "dictorn";
  static char* arguments[] = {program_name, nullptr};
  quote_count = count;
  last_quote = count - 1;
  current_quote = -1;
  Outcome selected = run_program_code([] { select_quote(1, arguments); });
  std::string context = "count " + std::to_string(count);
  if (count == 0) {
    REQUIRE(selected.ended && selected.status == 1 &&
                selected.output == "\nerror reading " + std::string(quote_path),
            "no quote to show fails with the read message",
            printable(selected.output));
    return;
  }
  REQUIRE(!selected.ended && selected.output.empty(),
          "a page-mode selection writes nothing", printable(selected.output));
  REQUIRE(current_quote >= 0 && current_quote <= last_quote,
          "the chosen quote lies within the file",
          context + " chose " + std::to_string(current_quote));
  if (options.next_given) {
    int32_t wanted = options.next_value < 0 ? 0 : options.next_value;
    wanted = wanted > last_quote ? last_quote : wanted;
    REQUIRE(current_quote == wanted, "next= shows the quote asked for", context);
  }

  uint32_t state = random_state;
  Outcome foot = run_program_code([] { write_page_foot(); });
  int32_t another = model_scale_draw(state, count);
  int32_t previous = current_quote == 0 ? last_quote : current_quote - 1;
  int32_t next = current_quote == last_quote ? 0 : current_quote + 1;
  std::string expected =
      "</div></font><br><br>\n" + form(another, "Another Quote...") +
      "<table width=\"100%\" CELLPADDING=\"15\" CELLSPACING=\"0\"><tr><td "
      "align=\"right\" width=\"50%\">" +
      form(previous, "<< Previous") +
      "</td><td align=\"left\" width=\"50%\">" + form(next, "Next >>") +
      "</td></tr></table><a href=\"/cgi-bin/dictorn32.exe?next=" +
      std::to_string(next) +
      "\"><font color=\"ffffff\">.</font></a>\n</body>";
  REQUIRE(!foot.ended && foot.output == expected,
          "the footer is exactly the navigation forms",
          context + "\n" + printable(foot.output) + "\n" + printable(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> entries;
  std::string current;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      if (!current.empty() && current[0] == '\x01') {
        current = query_entry + current.substr(1);
      }
      entries.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  std::vector<char*> environment;
  for (std::string& entry : entries) {
    environment.push_back(entry.data());
  }
  environment.push_back(nullptr);

  reset_program_state();
  snprintf(quote_path, sizeof quote_path, "%s/dictorn.txt",
           work_directory().c_str());
  page_mode = true;
  static char** environment_list = nullptr;
  environment_list = environment.data();
  Outcome read = run_program_code(
      [] { read_request(environment_list, request_options); });
  RequestOptions model = model_request(entries);
  REQUIRE(!read.ended && read.output.empty(),
          "reading the query writes nothing and never ends the run",
          printable(read.output));
  REQUIRE(request_options.next_given == model.next_given &&
              request_options.next_value == model.next_value &&
              request_options.daily_given == model.daily_given &&
              (request_options.request_error == nullptr) ==
                  (model.request_error == nullptr) &&
              (!model.request_error ||
               std::string(request_options.request_error) == parameter_error),
          "the request options follow the query rules",
          "next " + std::to_string(request_options.next_value) + " vs " +
              std::to_string(model.next_value));

  Outcome head = run_program_code(
      [] { write_page_head(false, request_options); });
  std::string expected = built_in_head;
  if (model.request_error) {
    expected += "Parameter error<br><br>\n";
    REQUIRE(head.ended && head.status == 1 && head.output == expected,
            "an unrecognised query gives exactly the error page",
            printable(head.output));
    reset_program_state();
    return 0;
  }
  REQUIRE(!head.ended && head.output == expected,
          "the page head is exactly the built-in head",
          printable(head.output));
  line_end = "<br>\n";
  for (int32_t count : {0, 1, 10, 65539, 2147483647}) {
    check_selection(count, request_options);
  }
  reset_program_state();
  return 0;
}
