#include "platform/zero_block.h"

#include <windows.h>

void* ZeroBlock::Take(std::size_t size, BlockHeap heap) {
  return heap == BlockHeap::kLocal ? LocalAlloc(LMEM_ZEROINIT, size)
                                   : GlobalAlloc(GMEM_ZEROINIT, size);
}

void ZeroBlock::Give(void* data, std::size_t, BlockHeap heap) {
  if (heap == BlockHeap::kLocal) {
    LocalFree(LocalHandle(data));
  } else {
    GlobalFree(GlobalHandle(data));
  }
}
