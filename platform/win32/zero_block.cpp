#include "platform/zero_block.h"

#include <windows.h>

ZeroBlock::ZeroBlock(std::size_t size, BlockHeap heap)
    : data_(heap == BlockHeap::kLocal ? LocalAlloc(LMEM_ZEROINIT, size)
                                      : GlobalAlloc(GMEM_ZEROINIT, size)),
      size_(size),
      heap_(heap) {}

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
  if (heap_ == BlockHeap::kLocal) {
    LocalFree(LocalHandle(data_));
  } else {
    GlobalFree(GlobalHandle(data_));
  }
  data_ = nullptr;
}
