// The text reader over any bytes, then the index builder over the same
// file. The input's tail chooses a few reads, skips, single characters and
// seeks (and whether reading is limited, as the builder limits it); the rest
// is the file.
//
// Checked against the reference model: every piece's bytes, every position
// (so offsets stay within the file unless a seek went beyond it), the CR LF
// and 0x1A rules. Then the builder: its exact messages, the index file byte
// for byte, no file left behind, and every line reached through the index
// read back as the model reads it.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/state.h"
#include "fuzz_support.h"
#include "reference.h"
#include "store/index_builder.h"
#include "store/quote_index.h"

namespace {

enum Operation { read_piece, skip_piece, get_char, seek, operation_count };

struct Step {
  Operation operation;
  uint32_t argument;
};

char piece[20000];

void check_reads(const std::vector<Step>& steps, const std::string& bytes,
                 const std::string& path, bool limited, int64_t limit,
                 bool large_reads) {
  reset_program_state();
  REQUIRE(text_open(quote_file, path.c_str()), "the file opens", path);
  TextModel model;
  model.bytes = bytes;
  if (limited) {
    quote_file.limited = true;
    quote_file.limit = limit;
    model.limit = limit;
  }
  quote_file.large_reads = large_reads;
  const int64_t size = static_cast<int64_t>(bytes.size());
  int64_t farthest = size;  // reading stays within the file or a seek's target
  for (const Step& step : steps) {
    std::string context = "step " + std::to_string(step.operation) + " " +
                          std::to_string(step.argument) + " at " +
                          std::to_string(model.position);
    switch (step.operation) {
    case read_piece:
    case skip_piece: {
      size_t max_size = 1 + step.argument % sizeof piece;
      bool keep = step.operation == read_piece;
      size_t got = text_read_piece(quote_file, keep ? piece : nullptr, max_size);
      std::string expected = model_read_piece(model, max_size);
      REQUIRE(got == expected.size(), "a piece has the model's length",
              context + " got " + std::to_string(got) + " expected " +
                  std::to_string(expected.size()));
      if (keep) {
        REQUIRE(std::string(piece, got) == expected,
                "a piece holds the model's bytes",
                context + "\n" + printable(std::string(piece, got)) + "\n" +
                    printable(expected));
      }
      break;
    }
    case get_char: {
      int c = text_get(quote_file);
      std::string expected = model_read_piece(model, 1);
      int model_c =
          expected.empty() ? -1 : static_cast<unsigned char>(expected[0]);
      REQUIRE(c == model_c, "a character is the model's", context);
      break;
    }
    case seek: {
      int64_t offset = static_cast<int64_t>(step.argument % (bytes.size() + 4)) - 1;
      bool done = text_seek(quote_file, offset);
      if (done) {
        farthest = offset > size ? offset : size;
      }
      REQUIRE(done == model_seek(model, offset), "a seek succeeds as modelled",
              context);
      break;
    }
    case operation_count:
      break;
    }
    int64_t position = text_position(quote_file);
    REQUIRE(position == model.position, "the position is the model's",
            context + " position " + std::to_string(position));
    REQUIRE(position >= 0, "a position is never negative", context);
    REQUIRE(position <= farthest, "reading never moves beyond the file",
            context);
  }
  REQUIRE(!quote_file.failed, "reading a regular file reports no error", path);
  reset_program_state();
}

void check_build(const std::string& bytes, const std::string& path,
                 bool page) {
  const std::string directory = work_directory();
  const std::string index = directory + "/dictorn.ndx";
  unlink(index.c_str());
  reset_program_state();
  snprintf(quote_path, sizeof quote_path, "%s", path.c_str());
  snprintf(index_path, sizeof index_path, "%s", index.c_str());
  REQUIRE(text_open(quote_file, quote_path), "the file opens", path);
  page_mode = page;
  Outcome outcome = run_program_code([] { build_index(); });
  IndexModel model = model_index(bytes);

  std::string expected = "\nre-building index file " + index + "\n";
  int32_t lines = model.too_long ? model.too_long_line : model.quote_count + 1;
  if (!page) {
    for (int32_t n = 1; n <= lines; ++n) {
      expected += "\rline " + std::to_string(n);
    }
  }
  std::vector<std::string> others = other_files({"dictorn.txt", "dictorn.ndx"});
  REQUIRE(others.empty(), "a rebuild leaves no other file", others.empty() ? "" : others[0]);
  if (model.too_long) {
    expected += " too long in " + path + " (limit 16384)";
    REQUIRE(outcome.ended && outcome.status == 1 && outcome.output == expected,
            "a too-long line fails with its message",
            printable(outcome.output));
    REQUIRE(!file_exists(index), "a failed rebuild writes no index", index);
    reset_program_state();
    return;
  }
  REQUIRE(outcome.ended && outcome.status == 0 && outcome.output == expected,
          "a rebuild ends with status 0 and its messages only",
          printable(outcome.output) + "\nstatus " +
              std::to_string(outcome.status));
  std::string written = read_file(index);
  REQUIRE(written == model.file_bytes, "the index matches the model",
          std::to_string(written.size()) + " vs " +
              std::to_string(model.file_bytes.size()));

  // Reach lines through the new index as a run does.
  reset_program_state();
  snprintf(quote_path, sizeof quote_path, "%s", path.c_str());
  snprintf(index_path, sizeof index_path, "%s", index.c_str());
  REQUIRE(text_open(quote_file, quote_path), "the file opens", path);
  static bool usable = false;
  Outcome opened = run_program_code([] { usable = open_index(); });
  REQUIRE(!opened.ended && usable && opened.output.empty() &&
              quote_count == model.quote_count,
          "a fresh index is usable", printable(opened.output));
  const int64_t size = static_cast<int64_t>(bytes.size());
  for (int32_t k = 0; k < model.quote_count; ++k) {
    if (model.quote_count > 40 && k > 20 && k < model.quote_count - 20) {
      continue;
    }
    static int32_t wanted = 0;
    wanted = k;
    Outcome reached = run_program_code([] { read_line_offset(wanted); });
    REQUIRE(!reached.ended, "an indexed line can be reached",
            printable(reached.output));
    int64_t offset = model.entries[static_cast<size_t>(k)];
    REQUIRE(offset >= 0 && offset < size, "a line offset lies within the file",
            std::to_string(offset));
    size_t got = text_read_piece(quote_file, piece, 16383);
    TextModel line;
    line.bytes = bytes;
    line.position = offset;
    std::string expected_line = model_read_piece(line, 16383);
    REQUIRE(std::string(piece, got) == expected_line && got > 0,
            "an indexed line reads back as the model's",
            "line " + std::to_string(k));
  }
  reset_program_state();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool page = provider.ConsumeBool();
  const bool limited = provider.ConsumeBool();
  const bool large_reads = provider.ConsumeBool();
  const uint32_t limit_choice = provider.ConsumeIntegral<uint32_t>();
  std::vector<Step> steps(provider.ConsumeIntegralInRange<size_t>(0, 12));
  for (Step& step : steps) {
    step.operation = static_cast<Operation>(
        provider.ConsumeIntegralInRange<int>(0, operation_count - 1));
    step.argument = provider.ConsumeIntegral<uint32_t>();
  }
  const std::string bytes = provider.ConsumeRemainingBytesAsString();
  const std::string path = work_directory() + "/dictorn.txt";
  write_file(path, bytes);
  const int64_t limit = static_cast<int64_t>(limit_choice % (bytes.size() + 2));

  check_reads(steps, bytes, path, limited, limit, large_reads);
  check_build(bytes, path, page);
  return 0;
}
