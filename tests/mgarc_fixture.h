// The built mgarc run from a test, over a directory of its own and a tree of
// files below it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run_tool.h"
#include "test_archive.h"

class MgarcFixture : public ::testing::Test {
 protected:
  ToolRun Run(const std::vector<std::string>& arguments, const RunOptions& options = {}) {
    return RunTool(MGARC_BINARY, arguments, "", options);
  }
  // A file of the tree, its directories made as needed.
  void Put(const std::string& relative, const std::string& bytes) {
    std::filesystem::create_directories(
        std::filesystem::path(tree_ + "/" + relative).parent_path());
    WriteFile(tree_ + "/" + relative, bytes);
  }
  TempDir dir_;
  std::string tree_ = dir_ / "tree";
};
