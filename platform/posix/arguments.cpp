#include "platform/arguments.h"

// File names are bytes here: the arguments are taken exactly as delivered.
HostArguments::HostArguments(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) pointers_.push_back(argv[i]);
  pointers_.push_back(nullptr);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(text);
}
