#pragma once
// Shared by the page-mode tests: a fixture with a fresh current directory for
// the file search to find templates in and the program's state as a run
// starts, and the page footer as a page must show it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

constexpr char page_header[] = "Content-type: text/html\n\n";
constexpr char built_in_page_head[] =
    "<HTML><HEAD>\n<TITLE>DICTORN32 V2.0.00</TITLE>\n</HEAD><body>"
    "<h1>DICTORN32 V2.0.00</h1><br>\n";

// The file search looks in the test program's directory first, which holds
// none of the program's files, then in the current directory.
class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }

  void TearDown() override { std::filesystem::current_path(original_); }

  std::string path_of(const std::string& name) const { return dir_.file(name); }

  // Moves into a directory so deep that a file found in it has a path of
  // more than 259 characters, and returns that directory.
  std::string enter_deep_directory() {
    std::string deep = dir_.path();
    while (deep.size() < 260) {
      deep += "/" + std::string(40, 'd');
    }
    test::make_directory(deep);
    std::filesystem::current_path(deep);
    return deep;
  }

 private:
  test::TempDir dir_;
  test::CleanState state_;
  std::filesystem::path original_;
};

// The footer of a page up to the tail: the closed quote block, the three
// forms and the hidden link to the next quote.
inline std::string page_footer(const std::string& address, int another,
                               int previous, int next) {
  auto form = [&](int value, const char* label) {
    return "<FORM style=\"text-align: center\" action=\"" + address +
           "\"><input type=\"hidden\" name=\"next\" value=\"" +
           std::to_string(value) + "\"><INPUT TYPE=\"submit\" VALUE=\"" +
           label + "\"></FORM>\n";
  };
  return "</div></font><br><br>\n" + form(another, "Another Quote...") +
         "<table width=\"100%\" CELLPADDING=\"15\" CELLSPACING=\"0\"><tr>"
         "<td align=\"right\" width=\"50%\">" +
         form(previous, "<< Previous") +
         "</td><td align=\"left\" width=\"50%\">" + form(next, "Next >>") +
         "</td></tr></table><a href=\"" + address +
         "?next=" + std::to_string(next) +
         "\"><font color=\"ffffff\">.</font></a>\n";
}
