#include "platform/zero_block.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

// Large blocks come straight from the system as fresh zero pages: only the
// pages a run touches cost anything, and nothing is cleared by hand. Both heaps
// are the same here.
constexpr std::size_t kPageBlockSize = 64 * 1024;

}  // namespace

void* ZeroBlock::Take(std::size_t size, BlockHeap) {
  if (size < kPageBlockSize) return std::calloc(1, size);
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void ZeroBlock::Give(void* data, std::size_t size, BlockHeap) {
  if (size < kPageBlockSize) {
    std::free(data);
  } else {
    munmap(data, size);
  }
}
