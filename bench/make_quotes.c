/* Writes COUNT quote lines of about 100 bytes to standard output, the same
   lines for the same COUNT prefix whatever COUNT is: quote 7 of a file of 10
   quotes is quote 7 of a file of a million. Some lines carry the markup
   (an author after " ` ", a caret break, a double hyphen). */
#include <stdio.h>
#include <stdlib.h>

static const char* const words[] = {
    "a",      "stitch", "in",     "time",    "saves",  "nine",   "still",
    "waters", "run",    "deep",   "the",     "early",  "bird",   "catches",
    "worm",   "haste",  "makes",  "waste",   "every",  "cloud",  "has",
    "silver", "lining", "many",   "hands",   "make",   "light",  "work",
    "rome",   "was",    "not",    "built",   "day",    "better", "late",
    "than",   "never",  "fortune", "favours", "bold",  "patience", "virtue"};
static const char* const authors[] = {"Proverb", "Old Saying", "Grandmother",
                                      "A Sailor", "Anonymous"};

static unsigned long state = 12345;

static unsigned next_draw(unsigned n) {
  state = state * 6364136223846793005ul + 1442695040888963407ul;
  return (unsigned)(state >> 33) % n;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: make_quotes COUNT\n", stderr);
    return 2;
  }
  long count = atol(argv[1]);
  for (long line = 0; line < count; ++line) {
    unsigned word_count = 12 + next_draw(10);
    for (unsigned i = 0; i < word_count; ++i) {
      if (i > 0) {
        fputs(next_draw(16) == 0 ? (next_draw(2) ? "^" : " -- ") : " ",
              stdout);
      }
      fputs(words[next_draw(sizeof words / sizeof words[0])], stdout);
    }
    if (next_draw(3) == 0) {
      printf(" ` %s", authors[next_draw(sizeof authors / sizeof authors[0])]);
    }
    putchar('\n');
  }
  return fflush(stdout) == 0 ? 0 : 1;
}
