#include "store/quote_index.h"

#include <gtest/gtest.h>

#include <string>

#include "app/state.h"
#include "test_support.h"

namespace {

TEST(QuoteIndex, IndexPathReplacesTheFileNamesExtension) {
  struct Case {
    std::string quote;
    std::string index;
  };
  const Case cases[] = {
      {"/q/dictorn.txt", "/q/dictorn.ndx"},
      {"/my.dir/dictorn.txt", "/my.dir/dictorn.ndx"},
      {"C:\\my.dir\\dictorn.txt", "C:\\my.dir\\dictorn.ndx"},
      {"/q/DICTORN.TXT", "/q/DICTORN.ndx"},
      {"/q/a.b.txt", "/q/a.b.ndx"},
      {"../bin/dictorn.txt", "../bin/dictorn.ndx"},
      {"/my.dir/dictorn", "/my.dir/dictorn.ndx"},
      // 259 characters in, 259 out.
      {"/" + std::string(246, 'p') + "/dictorn.txt",
       "/" + std::string(246, 'p') + "/dictorn.ndx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.quote);
    char index[path_size] = {};
    ASSERT_TRUE(index_path_for(c.quote.c_str(), index));
    EXPECT_EQ(std::string(index), c.index);
  }
  // No extension to replace, and no room for one.
  char index[path_size] = {};
  EXPECT_FALSE(
      index_path_for(("/" + std::string(255, 'p') + "/d").c_str(), index));
}

TEST(QuoteIndex, FieldsAreLittleEndian) {
  unsigned char bytes[4];
  put_le32(bytes, 0x01020304);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 4),
            std::string("\x04\x03\x02\x01"));
  put_le32(bytes, -2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 4),
            std::string("\xFE\xFF\xFF\xFF"));
  const unsigned char stored[] = {0x78, 0x56, 0x34, 0x92};
  EXPECT_EQ(get_le32(stored), static_cast<int32_t>(0x92345678u));
}

// The quote file "ab\ncd\n" (6 bytes) with an index in `dir`.
void use_indexed_file(const test::TempDir& dir, const std::string& index) {
  test::use_quote_file(dir, "ab\ncd\n");
  test::write_file(index_path, index);
}

TEST(QuoteIndex, OpenIndexUsesAnIndexOfTheRightSize) {
  test::CleanState clean;
  test::TempDir dir;
  use_indexed_file(dir, test::index_bytes({2, 6, 0, 3, 6}));
  bool usable = false;
  EXPECT_EQ(test::capture_stdout([&] { usable = open_index(); }), "");
  EXPECT_TRUE(usable);
  EXPECT_EQ(quote_count, 2);
  EXPECT_EQ(last_quote, 1);
  // Neither the count nor the index's length is compared with anything.
  test::reset_program_state();
  use_indexed_file(dir, test::index_bytes({7, 6}));
  EXPECT_TRUE(open_index());
  EXPECT_EQ(quote_count, 7);
  test::reset_program_state();
  use_indexed_file(dir, test::index_bytes({0, 6}));
  EXPECT_TRUE(open_index());
  EXPECT_EQ(last_quote, -1);
}

TEST(QuoteIndex, RebuildsWhenStoredSizeDiffers) {
  test::CleanState clean;
  test::TempDir dir;
  use_indexed_file(dir, test::index_bytes({2, 5, 0, 3, 5}));
  bool usable = true;
  EXPECT_EQ(test::capture_stdout([&] { usable = open_index(); }),
            "\ntext file size difference\n");
  EXPECT_FALSE(usable);
}

TEST(QuoteIndex, RebuildsMissingIndexSilently) {
  test::CleanState clean;
  test::TempDir dir;
  test::use_quote_file(dir, "ab\ncd\n");
  bool usable = true;
  EXPECT_EQ(test::capture_stdout([&] { usable = open_index(); }), "");
  EXPECT_FALSE(usable);
}

TEST(QuoteIndex, NegativeCountRebuildsWithoutSizeMessage) {
  for (int32_t size : {6, 5}) {
    SCOPED_TRACE(testing::Message() << "stored size " << size);
    test::CleanState clean;
    test::TempDir dir;
    use_indexed_file(dir, test::index_bytes({-1, size, 0, 3, 6}));
    bool usable = true;
    EXPECT_EQ(test::capture_stdout([&] { usable = open_index(); }), "");
    EXPECT_FALSE(usable);
  }
}

TEST(QuoteIndex, IndexShorterThanHeaderFails) {
  for (size_t length = 0; length < 8; ++length) {
    SCOPED_TRACE(testing::Message() << length << " bytes");
    test::CleanState clean;
    test::TempDir dir;
    // The bytes of a good header, cut short.
    use_indexed_file(dir, test::index_bytes({2, 6}).substr(0, length));
    test::RunResult run = test::run_in_child([] { open_index(); });
    EXPECT_EQ(run.output, "\nerror reading " + std::string(index_path));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(test::read_file(index_path).size(), length);
  }
}

TEST(QuoteIndex, QuoteFileOf2GiBIsTooLarge) {
  test::CleanState clean;
  test::TempDir dir;
  std::string quote = dir.file("dictorn.txt");
  // Sparse files, sized after opening: the size is measured on the open file.
  // The largest size the index can hold is still accepted.
  test::use_quote_file(dir, "");
  test::make_sparse_file(quote, INT32_MAX);
  test::write_file(index_path, test::index_bytes({0, INT32_MAX}));
  EXPECT_TRUE(open_index());
  test::reset_program_state();

  test::use_quote_file(dir, "");
  test::make_sparse_file(quote, int64_t{1} << 31);
  test::RunResult run = test::run_in_child([] { open_index(); });
  EXPECT_EQ(run.output,
            "\n" + quote + " is too large (limit 2147483647 bytes)");
  EXPECT_EQ(run.status, 1);
}

TEST(QuoteIndex, ReadLineOffsetPositionsTheQuoteFile) {
  test::CleanState clean;
  test::TempDir dir;
  use_indexed_file(dir, test::index_bytes({2, 6, 0, 3, 6}));
  ASSERT_TRUE(open_index());
  read_line_offset(1);
  EXPECT_EQ(text_get(quote_file), 'c');
  read_line_offset(0);
  EXPECT_EQ(text_get(quote_file), 'a');
  // The end entry is there too, though a run never asks for it.
  read_line_offset(2);
  EXPECT_EQ(text_get(quote_file), -1);
}

TEST(QuoteIndex, ReadLineOffsetFailures) {
  struct Case {
    const char* name;
    std::string index;
    int32_t k;
    bool names_index;  // or the quote file
    const char* message;
  };
  const Case cases[] = {
      {"entry beyond the file", test::index_bytes({5, 6, 0, 3}), 2, true,
       "\nerror reading "},
      {"half an entry",
       test::index_bytes({2, 6, 0}) + std::string("\x03\x00", 2), 1, true,
       "\nerror reading "},
      {"negative offset", test::index_bytes({2, 6, 0, -3, 6}), 1, false,
       "\nerror seeking "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::CleanState clean;
    test::TempDir dir;
    use_indexed_file(dir, c.index);
    ASSERT_TRUE(open_index());
    int32_t k = c.k;
    test::RunResult run = test::run_in_child([k] { read_line_offset(k); });
    EXPECT_EQ(run.output, c.message + std::string(c.names_index ? index_path
                                                                : quote_path));
    EXPECT_EQ(run.status, 1);
  }
}

}  // namespace
