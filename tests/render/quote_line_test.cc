#include "render/quote_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/state.h"
#include "test_support.h"

namespace {

constexpr char opening[] =
    "<font size=\"3\" face=\"Palatino Linotype,Palatino,Times\">"
    "<div align=\"left\">\n";
constexpr char to_the_right[] = "</div><div align=\"right\">\n";

std::string sp(size_t n) { return std::string(n, ' '); }
std::string rep(char c, size_t n) { return std::string(n, c); }

void set_mode(bool page) {
  page_mode = page;
  line_end = page ? "<br>\n" : "\n";
}

// Reads the line at `offset` of a quote file holding `bytes` and writes it
// as the mode gives it; returns the output.
std::string render_at(const std::string& bytes, int64_t offset, bool page) {
  test::CleanState clean;
  test::TempDir dir;
  test::use_quote_file(dir, bytes);
  set_mode(page);
  EXPECT_TRUE(text_seek(quote_file, offset));
  return test::capture_stdout([] {
    QuoteLine line;
    read_quote_line(line);
    format_quote(line);
  });
}

std::string render(const std::string& line, bool page = false) {
  return render_at(line + "\n", 0, page);
}

struct Case {
  const char* name;
  std::string line;
  std::string shown;
};

TEST(QuoteLine, ConsoleMarkupAndWrapping) {
  const Case cases[] = {
      {"plain", "Hello", "  Hello\n\n"},
      {"caret and author", "First line^second line ` Some Author",
       "  First line\nsecond line\n" + sp(51) + "- Some Author\n\n"},
      {"author after words", "Hello there ` Me",
       "  Hello there\n" + sp(60) + "- Me\n\n"},
      {"backtick caret shows the caret", rep('x', 58) + " a`^bc d",
       "  " + rep('x', 58) + "\na^bc d\n\n"},
      {"kept caret carried by a break", rep('x', 60) + " `^bc d",
       "  " + rep('x', 60) + "\n^bc d\n\n"},
      {"backtick elsewhere is text", "a`b ` c`d",
       "  a`b\n" + sp(59) + "- c`d\n\n"},
      {"leading caret", "^abc", "  \nabc\n\n"},
      {"two carets", "x^^y", "  x\n\ny\n\n"},
      {"break at the width", rep('a', 62) + " b",
       "  " + rep('a', 62) + "\nb\n\n"},
      {"word of 62 fits", rep('a', 62), "  " + rep('a', 62) + "\n\n"},
      {"word of 63", rep('a', 63), " \n" + rep('a', 63) + "\n\n"},
      {"word of 64", rep('a', 64), " \n" + rep('a', 64) + "\n\n"},
      {"two spaces, 61", rep('a', 61) + "  b",
       "  " + rep('a', 61) + " \nb\n\n"},
      {"two spaces, 62", rep('a', 62) + "  b",
       "  " + rep('a', 62) + "\n b\n\n"},
      {"three spaces at the break", rep('a', 62) + "   b",
       "  " + rep('a', 62) + "\n  b\n\n"},
      {"empty segment before a long word", rep('a', 62) + "  " + rep('b', 70),
       "  " + rep('a', 62) + "\n\n" + rep('b', 70) + "\n\n"},
      {"long word ends at the next space", rep('w', 130) + " end",
       " \n" + rep('w', 130) + "\nend\n\n"},
      {"long word ends at markup", rep('w', 100) + "^x",
       " \n" + rep('w', 100) + "\nx\n\n"},
      {"long word ends at the author", rep('w', 100) + " ` Me",
       " \n" + rep('w', 100) + "\n" + sp(60) + "- Me\n\n"},
      {"tab is no break", rep('a', 62) + "\tb",
       " \n" + rep('a', 62) + "\tb\n\n"},
      {"caret at the width is markup", rep('a', 62) + "^b",
       "  " + rep('a', 62) + "\nb\n\n"},
      {"author at the width is markup", rep('a', 62) + " ` Me",
       "  " + rep('a', 62) + "\n" + sp(60) + "- Me\n\n"},
      {"author word of 40 fits", "Quote ` " + rep('a', 40),
       "  Quote\n" + sp(22) + "- " + rep('a', 40) + "\n\n"},
      {"author word of 41", "Quote ` " + rep('a', 41),
       "  Quote\n" + sp(63) + "-\n" + sp(23) + rep('a', 41) + "\n\n"},
      {"author word of 42", "Quote ` " + rep('a', 42),
       "  Quote\n" + sp(63) + "-\n" + sp(22) + rep('a', 42) + "\n\n"},
      {"author words wrap at 42", "a ` " + rep('w', 50) + " b",
       "  a\n" + sp(63) + "-\n" + sp(14) + rep('w', 50) + "\n" + sp(63) +
           "b\n\n"},
      {"author of 70 is written whole", "a ` " + rep('w', 70),
       "  a\n" + sp(63) + "-\n" + rep('w', 70) + "\n\n"},
      {"second author mark", "A ` B ` C",
       "  A\n" + sp(61) + "- B\n" + sp(61) + "- C\n\n"},
      {"author mark first", " ` Me", "  \n" + sp(60) + "- Me\n\n"},
      {"dashes unchanged", "a--b", "  a--b\n\n"},
      {"preformatted never wraps",
       "`" + rep('p', 40) + " " + rep('q', 40) + " " + rep('r', 40),
       rep('p', 40) + " " + rep('q', 40) + " " + rep('r', 40) + "\n\n"},
      {"preformatted leading caret", "`^abc", "\nabc\n\n"},
      {"preformatted backtick caret", "`a`^b", "a^b\n\n"},
      {"preformatted author", "`a  ` b c",
       "a \n" + sp(59) + "- b c\n\n"},
      {"lone backtick", "`", "\n\n"},
      {"empty line", "", "  \n\n"},
      {"nul ends the text", std::string("ab\0cd", 5), "  ab\n\n"},
      {"any first byte", "\xFFx", "  \xFFx\n\n"},
      {"lone cr kept", "a\rb", "  a\rb\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(render(c.line), c.shown);
  }
}

TEST(QuoteLine, PageMarkup) {
  const Case cases[] = {
      {"caret and author", "First line^second line ` Some Author",
       "  First line\n<br>\nsecond line\n" + std::string(to_the_right) +
           "- Some Author\n<br>\n"},
      {"preformatted spaces and caret", "`a  b^c",
       "a&nbsp;&nbsp;b<br>\nc<br>\n<br>\n"},
      {"preformatted around an author mark", "`a  ` b c",
       "a&nbsp;<br>\n" + std::string(to_the_right) + "- b c<br>\n<br>\n"},
      {"preformatted leading caret", "`^", "<br>\n<br>\n<br>\n"},
      {"lone backtick", "`", "<br>\n<br>\n"},
      {"empty line", "", "  \n<br>\n"},
      {"dash", "a--b---c", "  a\x97" "b\x97-c\n<br>\n"},
      {"wraps at 64 too", rep('a', 62) + " b",
       "  " + rep('a', 62) + "\nb\n<br>\n"},
      {"two carets", "x^^y", "  x\n<br>\n\n<br>\ny\n<br>\n"},
      {"html passes", "<b>&amp;</b>", "  <b>&amp;</b>\n<br>\n"},
      {"author wraps at 42", "a ` " + rep('w', 41),
       "  a\n" + std::string(to_the_right) + "-\n" + rep('w', 41) +
           "\n<br>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(render(c.line, true), opening + c.shown);
  }
}

TEST(QuoteLine, ReadsOnlyTheChosenLine) {
  struct At {
    const char* name;
    std::string bytes;
    int64_t offset;
    std::string shown;
  };
  const At cases[] = {
      {"first of two", "one\ntwo\n", 0, "  one\n\n"},
      {"second of two", "one\ntwo\n", 4, "  two\n\n"},
      {"cr lf dropped", "one\r\ntwo\r\n", 0, "  one\n\n"},
      {"cr lf second", "one\r\ntwo\r\n", 5, "  two\n\n"},
      {"last line of one character", "ab\nc", 3, "  c\n\n"},
      {"empty last line", "a\n\n", 2, "  \n\n"},
      {"empty line before another", "\nnext\n", 0, "  \n\n"},
      {"lone backtick as last line", "a\n`", 2, "\n\n"},
      {"0x1A ends the line", "ab\x1A" "cd\n", 0, "  ab\n\n"},
  };
  for (const At& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(render_at(c.bytes, c.offset, false), c.shown);
  }
}

TEST(QuoteLine, LongestLinesAreShownWhole) {
  struct At {
    const char* name;
    std::string bytes;
    int64_t offset;
    std::string shown;
  };
  const std::string ok = "ok\n";
  const At cases[] = {
      {"16381 and a line feed", rep('x', 16381) + "\nnext\n", 0,
       " \n" + rep('x', 16381) + "\n\n"},
      {"last line of 16382", ok + rep('x', 16382), 3,
       " \n" + rep('x', 16382) + "\n\n"},
      {"preformatted 16380 and a line feed", "`" + rep('x', 16380) + "\n", 0,
       rep('x', 16380) + "\n\n"},
      {"preformatted last line of 16382", ok + "`" + rep('x', 16381), 3,
       rep('x', 16381) + "\n\n"},
  };
  for (const At& c : cases) {
    SCOPED_TRACE(c.name);
    std::string shown = render_at(c.bytes, c.offset, false);
    EXPECT_TRUE(shown == c.shown) << "shown " << shown.size() << " bytes, "
                                  << "expected " << c.shown.size();
  }
}

TEST(QuoteLine, NoCharacterAtTheOffsetFails) {
  for (bool page : {false, true}) {
    SCOPED_TRACE(page ? "page" : "console");
    test::CleanState clean;
    test::TempDir dir;
    test::use_quote_file(dir, "a\n");
    set_mode(page);
    text_seek(quote_file, 2);
    test::RunResult run = test::run_in_child([] {
      QuoteLine line;
      read_quote_line(line);
    });
    EXPECT_EQ(run.output, "\nerror reading " + dir.file("dictorn.txt"));
    EXPECT_EQ(run.status, 1);
  }
}

// The markup rules, followed step by step on a text as read: a model to
// hold the interpreter and the segment writer to on lines full of markup.
std::string model_segment(const std::string& segment, bool right_justified,
                          bool preformatted, bool page) {
  std::string out;
  if (!page) {
    if (right_justified && segment.size() < 64) {
      out = sp(64 - segment.size());
    }
    return out + segment + "\n";
  }
  for (size_t i = 0; i < segment.size(); ++i) {
    char c = segment[i];
    if (c == ' ' && !right_justified && preformatted) {
      out += "&nbsp;";
    } else if (c == '-' && i + 1 < segment.size() && segment[i + 1] == '-') {
      out += '\x97';
      ++i;
    } else {
      out += c;
    }
  }
  return out + (preformatted ? "<br>\n" : "\n");
}

std::string model_quote(const std::string& line, bool page) {
  bool preformatted = !line.empty() && line[0] == '`';
  std::string text = preformatted ? line.substr(1) : "  " + line;
  text = text.substr(0, text.find('\0'));
  std::string out = page ? opening : "";
  bool right_justified = false;
  size_t width = 64;
  size_t start = 0;  // the segment's start in text
  size_t p = 0;
  auto at = [&](size_t i) { return i < text.size() ? text[i] : '\0'; };
  while (start + p < text.size()) {
    size_t i = start + p;
    if (text[i] == '^') {
      if (p > 0 && text[i - 1] == '`') {
        text.erase(i - 1, 1);  // the caret now stands at i - 1
        continue;
      }
      out += model_segment(text.substr(start, p), right_justified,
                           preformatted, page);
      if (page && !preformatted) {
        out += "<br>\n";
      }
      start = i + 1;
      p = 0;
      continue;
    }
    if (text[i] == ' ' && at(i + 1) == '`' && at(i + 2) == ' ') {
      out += model_segment(text.substr(start, p), right_justified,
                           preformatted, page);
      text[i + 1] = '-';
      start = i + 1;
      p = 0;
      right_justified = true;
      width = 42;
      if (page) {
        out += to_the_right;
      }
      continue;
    }
    if (!preformatted && p >= width) {
      size_t q = p;
      while (q >= 1 && text[start + q] != ' ') {
        --q;
      }
      if (q >= 1 || text[start] == ' ') {
        out += model_segment(text.substr(start, q), right_justified,
                             preformatted, page);
        start += q + 1;
        p -= q;
        continue;
      }
    }
    ++p;
  }
  out += model_segment(text.substr(start), right_justified, preformatted,
                       page);
  return out + (page ? "<br>\n" : "\n");
}

std::string random_line(std::mt19937& random) {
  std::string line;
  if (random() % 6 == 0) {
    line += '`';
  }
  size_t length = random() % 260;
  while (line.size() < length) {
    unsigned pick = random() % 100;
    if (pick < 50) {
      line += static_cast<char>('a' + random() % 5);
    } else if (pick < 72) {
      line += ' ';
    } else if (pick < 77) {
      line += '^';
    } else if (pick < 84) {
      line += '`';
    } else if (pick < 90) {
      line += '-';
    } else if (pick < 94) {
      line += " ` ";
    } else if (pick < 97) {
      line += rep('w', random() % 90);  // a word that may not fit
    } else if (pick < 98) {
      line += "\r";
    } else {
      line += std::string(1, '\0');
    }
  }
  return line;
}

TEST(QuoteLine, FollowsTheMarkupRulesOnRandomLines) {
  std::mt19937 random(4711);
  std::vector<std::string> lines;
  std::string bytes;
  std::vector<int64_t> offsets;
  for (int i = 0; i < 1500; ++i) {
    lines.push_back(random_line(random));
    offsets.push_back(static_cast<int64_t>(bytes.size()));
    bytes += lines.back() + "\n";
  }
  test::CleanState clean;
  test::TempDir dir;
  test::use_quote_file(dir, bytes);
  for (bool page : {false, true}) {
    set_mode(page);
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string line = lines[i];
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();  // dropped before the line feed by the reader
      }
      ASSERT_TRUE(text_seek(quote_file, offsets[i]));
      std::string shown = test::capture_stdout([] {
        QuoteLine quote;
        read_quote_line(quote);
        format_quote(quote);
      });
      ASSERT_EQ(shown, model_quote(line, page))
          << (page ? "page" : "console") << ", line " << i << ": \"" << line
          << "\"";
    }
  }
}

}  // namespace
