#include "VodideCValueDataBuffer.h"

#include "Heaps.h"

CValueDataBuffer::~CValueDataBuffer() { Free(); }

HRESULT CValueDataBuffer::Allocate(VSIZE wanted) {
  if (wanted < 0 || wanted >= 0x7FFFFFFF) return E_INVALIDARG;
  if (wanted == size && (data != nullptr || wanted == 0)) return S_OK;
  void* block = inline_;
  if (wanted > kInlineSize) {
    TWinHeap* heap = ValueHeap();
    block = heap ? heap->AllocMem(static_cast<size_t>(wanted)) : nullptr;
    if (block == nullptr) return E_OUTOFMEMORY;
  }
  Free();
  data = wanted == 0 ? nullptr : block;
  size = wanted;
  return S_OK;
}

void CValueDataBuffer::Free() {
  if (data != nullptr && data != inline_) {
    if (TWinHeap* heap = ValueHeap()) heap->FreeMem(data);
  }
  data = nullptr;
  size = 0;
}
