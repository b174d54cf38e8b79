// SHA-256 from the system's own library: OpenSSL's libcrypto on Linux,
// BCrypt on Windows.
#pragma once

#include <array>
#include <cstddef>

using Sha256Digest = std::array<unsigned char, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything given; the object starts afresh after it.
  Sha256Digest Finish();

 private:
  void* state_ = nullptr;  // the library's context
};

// The digest of size bytes at data.
inline Sha256Digest Sha256Of(const void* data, std::size_t size) {
  Sha256 hash;
  hash.Update(data, size);
  return hash.Finish();
}
