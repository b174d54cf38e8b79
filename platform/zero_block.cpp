#include "platform/zero_block.h"

ZeroBlock::ZeroBlock(std::size_t size, BlockHeap heap)
    : data_(Take(size, heap)), size_(size), heap_(heap) {}

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
  if (data_ != nullptr) Give(data_, size_, heap_);
  data_ = nullptr;
}
