#include "platform/sha256.h"

#include <openssl/evp.h>

#include <new>

Sha256::Sha256() {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
    throw std::bad_alloc();
  }
  state_ = context;
}

Sha256::~Sha256() {
  EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state_));
}

void Sha256::Update(const void* data, std::size_t size) {
  EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(state_), data, size);
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  auto* context = static_cast<EVP_MD_CTX*>(state_);
  EVP_DigestFinal_ex(context, digest.data(), nullptr);
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  return digest;
}
