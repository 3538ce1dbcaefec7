#pragma once
// A fixture for the page-mode unit tests: a fresh current directory for the
// file search to find templates in, and the program's state as a run starts.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

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
