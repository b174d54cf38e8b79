// The command line's arguments as the rest of the program reads them: byte
// strings in the host's encoding (code page 932 on Windows, as the system
// delivers them on Linux).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class HostArguments {
 public:
  HostArguments(int argc, char** argv);
  HostArguments(const HostArguments&) = delete;
  HostArguments& operator=(const HostArguments&) = delete;

  int count() const { return static_cast<int>(pointers_.size()) - 1; }
  char** vector() { return pointers_.data(); }
  // Bit i set: argument i held characters that the host's encoding cannot
  // hold, and each UTF-16 code unit of them became a '?'.
  unsigned lostCharacters() const { return lostCharacters_; }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;  // into texts_, ending in nullptr
  unsigned lostCharacters_ = 0;
};

// The arguments as UTF-8 text (on Linux the bytes as delivered), for mgarc,
// which takes any name the system can hold.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// A path given as such an argument, as the standard library's file calls take it.
std::filesystem::path PathFromUtf8(const std::string& text);
