#include "platform/sha256.h"

#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <new>

namespace {

struct HashState {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
};

HashState* State(void* state) {
  return static_cast<HashState*>(state);
}

void Begin(HashState& state) {
  if (!BCRYPT_SUCCESS(BCryptCreateHash(state.algorithm, &state.hash, nullptr, 0, nullptr, 0, 0))) {
    throw std::bad_alloc();
  }
}

}  // namespace

Sha256::Sha256() {
  auto state = new HashState;
  if (!BCRYPT_SUCCESS(
          BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    delete state;
    throw std::bad_alloc();
  }
  state_ = state;
  Begin(*state);
}

Sha256::~Sha256() {
  HashState* state = State(state_);
  BCryptDestroyHash(state->hash);
  BCryptCloseAlgorithmProvider(state->algorithm, 0);
  delete state;
}

void Sha256::Update(const void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
  // One call takes at most ULONG bytes.
  while (size > 0) {
    ULONG part = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    BCryptHashData(State(state_)->hash, bytes, part, 0);
    bytes += part;
    size -= part;
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  HashState* state = State(state_);
  BCryptFinishHash(state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  BCryptDestroyHash(state->hash);
  Begin(*state);
  return digest;
}
