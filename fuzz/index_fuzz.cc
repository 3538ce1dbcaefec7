// Opening a damaged index: any bytes as the index file beside a small quote
// file, then the rest of a run: the selection from a console argument or a
// next= number, reaching the line, reading and writing it.
//
// Checked: each outcome is the one the index's bytes call for, with its
// exact message: an index of 0 to 7 bytes fails with the read message; a
// negative count or a size that differs from the quote file's asks for a
// rebuild (the latter with its message); a table shorter than the count, an
// offset before the file or at or beyond its end fail with the read or seek
// message naming the right file; any other offset shows the line there,
// byte for byte as the reference renders it.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/state.h"
#include "fuzz_support.h"
#include "reference.h"
#include "render/quote_line.h"
#include "select/selection.h"
#include "store/quote_index.h"

namespace {

std::string quote_file_variant(int variant) {
  switch (variant) {
  case 0:
    return "Look before you leap. ` Old saying\n"
           "`  two  spaces^and a caret\n"
           "\n"
           "A rolling stone -- they say -- gathers no moss.\n"
           "last line without a feed";
  case 1:
    return "";
  case 2:
    return "first\r\nsecond\r\n\x1a after the end\n";
  default: {
    std::string many;
    for (int i = 0; i < 100; ++i) {
      many += "quote number " + std::to_string(i) + " of a hundred\n";
    }
    return many;
  }
  }
}

bool usable = false;
char argument[32];
char program_name[] = "dictorn";
char* arguments[] = {program_name, argument, nullptr};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const std::string quotes =
      quote_file_variant(provider.ConsumeIntegralInRange<int>(0, 3));
  const bool page = provider.ConsumeBool();
  const uint64_t number = provider.ConsumeIntegral<uint64_t>();
  const int32_t next_value = provider.ConsumeIntegral<int32_t>();
  const std::string index = provider.ConsumeRemainingBytesAsString();
  const std::string quote = work_directory() + "/dictorn.txt";
  const std::string index_name = work_directory() + "/dictorn.ndx";
  write_file(quote, quotes);
  write_file(index_name, index);

  reset_program_state();
  snprintf(quote_path, sizeof quote_path, "%s", quote.c_str());
  REQUIRE(index_path_for(quote_path, index_path) && index_name == index_path,
          "the index sits beside the quote file", index_path);
  REQUIRE(text_open(quote_file, quote_path), "the quote file opens", quote);
  snprintf(argument, sizeof argument, "%llu",
           static_cast<unsigned long long>(number));
  page_mode = page;
  line_end = page ? "<br>\n" : "\n";
  request_options.next_given = page;
  request_options.next_value = next_value;
  usable = false;
  Outcome outcome = run_program_code([] {
    usable = open_index();
    if (!usable) {
      return;
    }
    select_quote(2, arguments);
    read_line_offset(current_quote);
    static QuoteLine line;
    line = QuoteLine{};
    read_quote_line(line);
    format_quote(line);
  });

  std::string expected;
  bool ends = true;
  bool expect_usable = true;
  const int64_t quote_size = static_cast<int64_t>(quotes.size());
  if (index.size() < 8) {
    expected = "\nerror reading " + index_name;
    expect_usable = false;
  } else if (read_le32(index, 0) < 0) {
    ends = false;
    expect_usable = false;
  } else if (read_le32(index, 4) != quote_size) {
    expected = "\ntext file size difference\n";
    ends = false;
    expect_usable = false;
  } else {
    int32_t count = read_le32(index, 0);
    int64_t k = 0;
    if (count == 0) {
      expected = "\nerror reading " + quote;
    } else {
      if (page) {
        k = next_value < 0 ? 0 : next_value;
        k = k > count - 1 ? count - 1 : k;
      } else {
        k = static_cast<int64_t>(number % static_cast<uint64_t>(count));
      }
      size_t at = 8 + 4 * static_cast<size_t>(k);
      int32_t offset = at + 4 <= index.size() ? read_le32(index, at) : 0;
      LineModel line = model_quote_line(quotes, offset);
      if (at + 4 > index.size()) {
        expected = "\nerror reading " + index_name;
      } else if (offset < 0) {
        expected = "\nerror seeking " + quote;
      } else if (!line.readable) {
        expected = "\nerror reading " + quote;
      } else {
        ends = false;
        expected = (page ? quote_block_opening : "") +
                   model_format(line, page).output;
      }
    }
  }
  std::string context = "count " +
                        std::to_string(index.size() >= 4 ? read_le32(index, 0) : 0) +
                        "\nexpected " + printable(expected) + "\nactual   " +
                        printable(outcome.output);
  REQUIRE(outcome.ended == ends && (!ends || outcome.status == 1),
          "the run ends exactly when the index calls for it", context);
  REQUIRE(outcome.output == expected, "the output is the expected one",
          context);
  REQUIRE(usable == expect_usable || outcome.ended,
          "the index is judged usable as its header says", context);
  REQUIRE(read_file(index_name) == index, "opening never changes the index",
          index_name);
  reset_program_state();
  return 0;
}
