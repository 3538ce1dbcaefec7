#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

// Large enough for a 128 KiB buffer; in static storage, as the program
// keeps its own.
TextFile reader;

struct Piece {
  int64_t position;  // before the piece was read
  std::string text;
};

std::vector<Piece> read_pieces(TextFile& file, size_t max_size) {
  std::vector<Piece> pieces;
  for (;;) {
    Piece piece{text_position(file), std::string(max_size, '\0')};
    size_t length = text_read_piece(file, piece.text.data(), max_size);
    if (length == 0) {
      pieces.push_back({text_position(file), ""});  // where reading stopped
      return pieces;
    }
    piece.text.resize(length);
    pieces.push_back(piece);
  }
}

void open_bytes(const test::TempDir& dir, const std::string& bytes,
                bool large_reads = false) {
  test::write_file(dir.file("t.txt"), bytes);
  ASSERT_TRUE(text_open(reader, dir.file("t.txt").c_str()));
  reader.large_reads = large_reads;
}

struct PieceCase {
  const char* name;
  std::string bytes;
  std::vector<Piece> pieces;  // the last one: the stop position, no text
};

TEST(TextFile, ReadsLinesAsText) {
  const PieceCase cases[] = {
      {"lf", "a\nb\n", {{0, "a\n"}, {2, "b\n"}, {4, ""}}},
      {"no final lf", "a\nb", {{0, "a\n"}, {2, "b"}, {3, ""}}},
      {"cr lf dropped", "a\r\nb\r\n", {{0, "a\n"}, {3, "b\n"}, {6, ""}}},
      {"lone cr kept", "a\rb\n", {{0, "a\rb\n"}, {4, ""}}},
      {"cr at end kept", "a\r", {{0, "a\r"}, {2, ""}}},
      {"cr before cr lf", "\r\r\n", {{0, "\r\n"}, {3, ""}}},
      {"cr then 0x1A", "a\r\x1A\n", {{0, "a\r"}, {2, ""}}},
      {"0x1A ends reading", "ab\x1A" "cd\n", {{0, "ab"}, {2, ""}}},
      {"0x1A first", "\x1A" "a\n", {{0, ""}}},
      {"empty lines", "\n\n", {{0, "\n"}, {1, "\n"}, {2, ""}}},
      {"nul and 0xFF pass", std::string("\0\xFF\n", 3),
       {{0, std::string("\0\xFF\n", 3)}, {3, ""}}},
      {"empty file", "", {{0, ""}}},
  };
  for (const PieceCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    open_bytes(dir, c.bytes);
    std::vector<Piece> pieces = read_pieces(reader, 100);
    ASSERT_EQ(pieces.size(), c.pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_EQ(pieces[i].position, c.pieces[i].position) << "piece " << i;
      EXPECT_EQ(pieces[i].text, c.pieces[i].text) << "piece " << i;
    }
    text_close(reader);
  }
}

TEST(TextFile, PiecesStopAtTheirLimit) {
  test::TempDir dir;
  open_bytes(dir, "abcdef\r\ngh");
  std::vector<Piece> pieces = read_pieces(reader, 3);
  std::vector<std::string> texts;
  for (const Piece& piece : pieces) {
    texts.push_back(piece.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"abc", "def", "\n", "gh", ""}));
  EXPECT_EQ(pieces[2].position, 6);  // the CR
  EXPECT_EQ(pieces[3].position, 8);
  text_close(reader);

  // A CR LF as the last character a piece may take counts as one character.
  open_bytes(dir, "ab\r\ncd");
  pieces = read_pieces(reader, 3);
  EXPECT_EQ(pieces[0].text, "ab\n");
  EXPECT_EQ(pieces[1].position, 4);
  text_close(reader);
}

TEST(TextFile, DropsCrBeforeLfAcrossReads) {
  // The CR is the last byte of one read and its LF the first of the next:
  // at the end of a small read (4096) and of a full buffer (128 KiB).
  const size_t boundaries[] = {text_small_read_size, text_buffer_size};
  for (size_t boundary : boundaries) {
    for (bool large_reads : {false, true}) {
      for (size_t before : {boundary - 2, boundary - 1, boundary}) {
        SCOPED_TRACE(testing::Message() << "CR at " << before << ", large "
                                        << large_reads);
        test::TempDir dir;
        open_bytes(dir, std::string(before, 'x') + "\r\ny\r\n", large_reads);
        std::string first(before + 1, '\0');
        ASSERT_EQ(text_read_piece(reader, first.data(), first.size() + 10),
                  before + 1);
        EXPECT_EQ(first, std::string(before, 'x') + "\n");
        EXPECT_EQ(text_position(reader), static_cast<int64_t>(before + 2));
        char second[8] = {};
        EXPECT_EQ(text_read_piece(reader, second, sizeof second), 2u);
        EXPECT_STREQ(second, "y\n");
        text_close(reader);
      }
    }
  }
}

TEST(TextFile, EndOfTextHoldsUntilRepositioned) {
  test::TempDir dir;
  open_bytes(dir, "ab\x1A" "cd\n");
  char piece[16] = {};
  EXPECT_EQ(text_read_piece(reader, piece, sizeof piece), 2u);
  EXPECT_EQ(text_read_piece(reader, piece, sizeof piece), 0u);
  EXPECT_EQ(text_get(reader), -1);
  EXPECT_EQ(text_read_piece(reader, nullptr, sizeof piece), 0u);
  EXPECT_EQ(text_position(reader), 2);  // the 0x1A byte's own offset
  ASSERT_TRUE(text_seek(reader, 3));
  EXPECT_EQ(text_get(reader), 'c');
  ASSERT_TRUE(text_seek(reader, 0));
  EXPECT_EQ(text_get(reader), 'a');
  EXPECT_FALSE(text_seek(reader, -1));
  text_close(reader);
}

TEST(TextFile, GetGivesBytesAsUnsigned) {
  test::TempDir dir;
  open_bytes(dir, "\xFF\r\n");
  EXPECT_EQ(text_get(reader), 0xFF);
  EXPECT_EQ(text_get(reader), '\n');
  EXPECT_EQ(text_get(reader), -1);
  text_close(reader);
}

TEST(TextFile, LimitEndsReadingLikeTheEndOfFile) {
  test::TempDir dir;
  open_bytes(dir, "abcdef\n");
  reader.limited = true;
  reader.limit = 4;
  char piece[16] = {};
  EXPECT_EQ(text_read_piece(reader, piece, sizeof piece), 4u);
  EXPECT_STREQ(piece, "abcd");
  EXPECT_EQ(text_read_piece(reader, piece, sizeof piece), 0u);
  EXPECT_EQ(text_position(reader), 4);
  text_close(reader);
}

TEST(TextFile, CannotOpenMissingFile) {
  test::TempDir dir;
  EXPECT_FALSE(text_open(reader, dir.file("missing").c_str()));
}

// What the reader must give, read straight from the stored bytes: from
// `position`, at most `max_size` characters up to and including a line
// feed; a CR directly before a LF is dropped; a 0x1A stops reading.
std::string model_piece(const std::string& bytes, size_t& position,
                        size_t max_size) {
  std::string piece;
  while (piece.size() < max_size && position < bytes.size()) {
    char c = bytes[position];
    if (c == '\x1A') {
      break;
    }
    if (c == '\r' && position + 1 < bytes.size() &&
        bytes[position + 1] == '\n') {
      ++position;
      c = '\n';
    }
    piece.push_back(c);
    ++position;
    if (c == '\n') {
      break;
    }
  }
  return piece;
}

// Random files dense in CR, LF and 0x1A, read in pieces of random limits
// with random repositioning: every piece and position must match the bytes
// as stored, across reads of either size.
TEST(TextFile, MatchesStoredBytesUnderRandomReads) {
  std::mt19937 random(20240611);
  const char alphabet[] = {'\r', '\n', '\x1A', 'a', 'b', ' '};
  for (int round = 0; round < 6; ++round) {
    bool large_reads = round % 2 == 1;
    std::string bytes(300000 + random() % 5000, '\0');
    for (char& c : bytes) {
      c = alphabet[random() % (round < 2 ? 6 : 5)];
    }
    if (round >= 2) {
      // Fewer 0x1A bytes, so long runs are read between them.
      for (int i = 0; i < 20; ++i) {
        bytes[random() % bytes.size()] = '\x1A';
      }
    }
    SCOPED_TRACE(testing::Message() << "round " << round);
    test::TempDir dir;
    open_bytes(dir, bytes, large_reads);
    size_t position = 0;
    std::string out(20000, '\0');
    for (int step = 0; step < 200000 && position <= bytes.size(); ++step) {
      if (random() % 500 == 0) {
        position = random() % (bytes.size() + 1);
        ASSERT_TRUE(text_seek(reader, static_cast<int64_t>(position)));
      }
      size_t max_size = random() % 3 == 0 ? 1 + random() % 4
                                          : 1 + random() % 19000;
      std::string want = model_piece(bytes, position, max_size);
      size_t got = text_read_piece(reader, out.data(), max_size);
      ASSERT_EQ(std::string(out.data(), got), want) << "step " << step;
      ASSERT_EQ(text_position(reader), static_cast<int64_t>(position))
          << "step " << step;
      if (got == 0) {
        if (position == bytes.size()) {
          break;
        }
        // A 0x1A: step over it.
        ++position;
        ASSERT_TRUE(text_seek(reader, static_cast<int64_t>(position)));
      }
    }
    text_close(reader);
  }
}

}  // namespace
