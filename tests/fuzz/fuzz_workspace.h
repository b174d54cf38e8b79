// The directory a fuzz target works in, the same for every target: one per
// process, emptied when it is made and removed when the fuzzer ends.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// Makes base/name-PID afresh and returns its path; it goes at exit.
inline std::string FreshWorkspace(const std::string& name, const std::string& base = "/tmp") {
  // Never destroyed: the clean-up at exit still reads it.
  static auto* const made = new std::vector<std::string>;
  if (made->empty()) {
    std::atexit([] {
      std::error_code ignored;
      for (const std::string& root : *made) std::filesystem::remove_all(root, ignored);
    });
  }
  std::string root = base + "/" + name + "-" + std::to_string(getpid());
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  made->push_back(root);
  return root;
}
