#include "store/index_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/state.h"
#include "store/quote_index.h"
#include "test_support.h"

namespace {

using Names = std::vector<std::string>;

std::string rebuild_message() {
  return "\nre-building index file " + std::string(index_path) + "\n";
}

// Builds the index of `bytes` in a child and returns how the run ended.
test::RunResult build(const test::TempDir& dir, const std::string& bytes,
                      bool page = false) {
  test::use_quote_file(dir, bytes);
  page_mode = page;
  return test::run_in_child([] { build_index(); });
}

TEST(IndexBuilder, WritesExactIndexBytes) {
  struct Case {
    const char* name;
    std::string quotes;
    std::vector<int32_t> index;  // count, size, entries, end entry
  };
  const Case cases[] = {
      {"empty file", "", {0, 0, 0}},
      {"two lines", "a\nb\n", {2, 4, 0, 2, 4}},
      {"last line without lf", "a\nb", {2, 3, 0, 2, 3}},
      {"empty second line", "a\n\n", {2, 3, 0, 2, 3}},
      {"one empty line", "\n", {1, 1, 0, 1}},
      {"cr lf counted as stored", "a\r\nb\r\n", {2, 6, 0, 3, 6}},
      {"lone cr is a character", "a\rb\n\r", {2, 5, 0, 4, 5}},
      // Reading ends at 0x1A: the end entry is its offset, not the size.
      {"0x1A ends the file", "a\nb\n\x1A" "c\n", {2, 7, 0, 2, 4}},
      {"0x1A inside a line", "ab\x1A" "cd\n", {1, 6, 0, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::CleanState clean;
    test::TempDir dir;
    test::RunResult run = build(dir, c.quotes);
    int32_t passes = c.index[0] + 1;
    EXPECT_EQ(run.output, rebuild_message() + test::progress_text(passes));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(test::read_file(dir.file("dictorn.ndx")),
              test::index_bytes(c.index));
    EXPECT_EQ(test::list_directory(dir.path()),
              (Names{"dictorn.ndx", "dictorn.txt"}));
  }
}

TEST(IndexBuilder, PageModeWritesNoProgress) {
  test::CleanState clean;
  test::TempDir dir;
  test::RunResult run = build(dir, "a\nb\n", true);
  EXPECT_EQ(run.output, rebuild_message());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(test::read_file(dir.file("dictorn.ndx")),
            test::index_bytes({2, 4, 0, 2, 4}));
}

TEST(IndexBuilder, LineLimit) {
  const std::string ok = "ok\n";
  struct Case {
    const char* name;
    std::string quotes;
    bool accepted;
    int passes;  // progress numbers written
  };
  const Case cases[] = {
      {"16381 and a line feed", std::string(16381, 'x') + "\n", true, 2},
      {"16381, CR and LF", std::string(16381, 'x') + "\r\n", true, 2},
      {"last line of 16382", ok + std::string(16382, 'x'), true, 3},
      {"16382 and a line feed", std::string(16382, 'x') + "\n", false, 1},
      {"second line of 16382", ok + std::string(16382, 'x') + "\n", false, 2},
      {"last line of 16383", std::string(16383, 'x'), false, 1},
      {"16382 and CR LF", std::string(16382, 'x') + "\r\n", false, 1},
  };
  for (const Case& c : cases) {
    for (bool page : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (page ? ", page" : ""));
      test::CleanState clean;
      test::TempDir dir;
      test::RunResult run = build(dir, c.quotes, page);
      std::string progress = page ? "" : test::progress_text(c.passes);
      if (c.accepted) {
        EXPECT_EQ(run.output, rebuild_message() + progress);
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(test::path_exists(dir.file("dictorn.ndx")));
      } else {
        EXPECT_EQ(run.output, rebuild_message() + progress + " too long in " +
                                  quote_path + " (limit 16384)");
        EXPECT_EQ(run.status, 1);
        // Neither an index nor the file it was being written to is left.
        EXPECT_EQ(test::list_directory(dir.path()), (Names{"dictorn.txt"}));
      }
    }
  }
}

TEST(IndexBuilder, FailureLeavesTheOldIndexUntouched) {
  test::CleanState clean;
  test::TempDir dir;
  std::string old_index = test::index_bytes({1, 3, 0, 3});
  test::write_file(dir.file("dictorn.ndx"), old_index);
  test::RunResult run = build(dir, std::string(20000, 'x'));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(test::read_file(dir.file("dictorn.ndx")), old_index);
  EXPECT_EQ(test::list_directory(dir.path()),
            (Names{"dictorn.ndx", "dictorn.txt"}));
}

TEST(IndexBuilder, ReplacesAStaleIndex) {
  test::CleanState clean;
  test::TempDir dir;
  test::write_file(dir.file("dictorn.ndx"), test::index_bytes({9, 99, 1, 2}));
  EXPECT_EQ(build(dir, "one\ntwo\n").status, 0);
  EXPECT_EQ(test::read_file(dir.file("dictorn.ndx")),
            test::index_bytes({2, 8, 0, 4, 8}));
  EXPECT_EQ(test::list_directory(dir.path()),
            (Names{"dictorn.ndx", "dictorn.txt"}));
}

// Thousands of lines: the table is written in several pieces, and the
// progress numbers gain digits on the way.
TEST(IndexBuilder, ManyLines) {
  test::CleanState clean;
  test::TempDir dir;
  std::string quotes;
  std::vector<int32_t> index = {10000, 0};
  for (int i = 0; i < 10000; ++i) {
    index.push_back(static_cast<int32_t>(quotes.size()));
    quotes += std::string(static_cast<size_t>(i % 7), 'q') +
              (i % 3 == 0 ? "\r\n" : "\n");
  }
  index[1] = static_cast<int32_t>(quotes.size());
  index.push_back(index[1]);
  test::RunResult run = build(dir, quotes);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.output == rebuild_message() + test::progress_text(10001))
      << "output of " << run.output.size() << " bytes differs";
  EXPECT_EQ(test::read_file(dir.file("dictorn.ndx")),
            test::index_bytes(index));
}

TEST(IndexBuilder, CannotCreateTheIndex) {
  test::CleanState clean;
  test::TempDir dir;
  test::use_quote_file(dir, "a\n");
  // The index's directory is a regular file.
  test::write_file(dir.file("plain"), "");
  snprintf(index_path, sizeof index_path, "%s",
           dir.file("plain/dictorn.ndx").c_str());
  test::RunResult run = test::run_in_child([] { build_index(); });
  EXPECT_EQ(run.output,
            rebuild_message() + "\ncannot open new " + index_path);
  EXPECT_EQ(run.status, 1);
}

TEST(IndexBuilder, CannotReplaceTheIndex) {
  test::CleanState clean;
  test::TempDir dir;
  // A directory where the index goes: the new index cannot be renamed over
  // it, and the file it was written to is removed.
  test::make_directory(dir.file("dictorn.ndx/inner"));
  test::RunResult run = build(dir, "a\nb\n");
  EXPECT_EQ(run.output, rebuild_message() + test::progress_text(3) +
                            "\nerror writing " + index_path);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(test::list_directory(dir.path()),
            (Names{"dictorn.ndx", "dictorn.txt"}));
}

TEST(IndexBuilder, ReadErrorIsReportedNotIndexed) {
  test::CleanState clean;
  test::TempDir dir;
  // A directory opens for reading here but every read of it fails.
  test::make_directory(dir.file("quotes"));
  snprintf(quote_path, sizeof quote_path, "%s", dir.file("quotes").c_str());
  snprintf(index_path, sizeof index_path, "%s",
           dir.file("quotes.ndx").c_str());
  ASSERT_TRUE(text_open(quote_file, quote_path));
  test::RunResult run = test::run_in_child([] { build_index(); });
  EXPECT_EQ(run.output, rebuild_message() + test::progress_text(1) +
                            "\nerror reading " + quote_path);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(test::list_directory(dir.path()), (Names{"quotes"}));
}

TEST(IndexBuilder, QuoteFileOf2GiBIsRefused) {
  test::CleanState clean;
  test::TempDir dir;
  test::use_quote_file(dir, "");
  test::make_sparse_file(dir.file("dictorn.txt"), int64_t{1} << 31);
  test::RunResult run = test::run_in_child([] { build_index(); });
  EXPECT_EQ(run.output, rebuild_message() + "\n" + quote_path +
                            " is too large (limit 2147483647 bytes)");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(test::list_directory(dir.path()), (Names{"dictorn.txt"}));
}

}  // namespace
