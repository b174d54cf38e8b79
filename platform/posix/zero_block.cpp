#include "platform/zero_block.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

// Large blocks come straight from the system as fresh zero pages: only the
// pages a run touches cost anything, and nothing is cleared by hand. Both heaps
// are the same here.
constexpr std::size_t kPageBlockSize = 64 * 1024;

void* Take(std::size_t size) {
  if (size < kPageBlockSize) return std::calloc(1, size);
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

}  // namespace

ZeroBlock::ZeroBlock(std::size_t size, BlockHeap heap)
    : data_(Take(size)), size_(size), heap_(heap) {}

ZeroBlock::~ZeroBlock() {
  Release();
}

ZeroBlock::ZeroBlock(ZeroBlock&& other) noexcept
    : data_(other.data_), size_(other.size_), heap_(other.heap_) {
  other.data_ = nullptr;
}

ZeroBlock& ZeroBlock::operator=(ZeroBlock&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = other.data_;
    size_ = other.size_;
    heap_ = other.heap_;
    other.data_ = nullptr;
  }
  return *this;
}

void ZeroBlock::Release() {
  if (data_ == nullptr) return;
  if (size_ < kPageBlockSize) {
    std::free(data_);
  } else {
    munmap(data_, size_);
  }
  data_ = nullptr;
}
