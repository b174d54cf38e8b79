#include "platform/zero_block.h"

#include <cstdlib>

// Both heaps are the C heap here; calloc gives the zero fill.
ZeroBlock::ZeroBlock(std::size_t size, BlockHeap heap) : data_(std::calloc(1, size)), heap_(heap) {}

ZeroBlock::~ZeroBlock() {
  Release();
}

ZeroBlock::ZeroBlock(ZeroBlock&& other) noexcept : data_(other.data_), heap_(other.heap_) {
  other.data_ = nullptr;
}

ZeroBlock& ZeroBlock::operator=(ZeroBlock&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = other.data_;
    heap_ = other.heap_;
    other.data_ = nullptr;
  }
  return *this;
}

void ZeroBlock::Release() {
  std::free(data_);
  data_ = nullptr;
}
