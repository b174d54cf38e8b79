// Fixed, zero-filled blocks of memory, given back when the owner goes out of scope.
#pragma once

#include <cstddef>

enum class BlockHeap { kLocal, kGlobal };

class ZeroBlock {
 public:
  ZeroBlock() = default;
  ZeroBlock(std::size_t size, BlockHeap heap);
  ~ZeroBlock();
  ZeroBlock(ZeroBlock&& other) noexcept;
  ZeroBlock& operator=(ZeroBlock&& other) noexcept;
  ZeroBlock(const ZeroBlock&) = delete;
  ZeroBlock& operator=(const ZeroBlock&) = delete;

  bool ok() const { return data_ != nullptr; }
  char* chars() const { return static_cast<char*>(data_); }
  template <typename T>
  T* as() const {
    return static_cast<T*>(data_);
  }

 private:
  // The host's side: take a zero-filled block, give one back.
  static void* Take(std::size_t size, BlockHeap heap);
  static void Give(void* data, std::size_t size, BlockHeap heap);
  void Release();

  void* data_ = nullptr;
  std::size_t size_ = 0;
  BlockHeap heap_ = BlockHeap::kLocal;
};
