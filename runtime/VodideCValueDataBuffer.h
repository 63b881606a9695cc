// A typed data block for value transfers: small values inline, larger ones on the value heap.
#pragma once
#include "VarnicaCore.h"

class CValueDataBuffer {
 public:
  CValueDataBuffer() = default;
  ~CValueDataBuffer();
  CValueDataBuffer(const CValueDataBuffer&) = delete;
  CValueDataBuffer& operator=(const CValueDataBuffer&) = delete;

  // Makes room for size bytes. E_INVALIDARG for a negative size or one of 0x7FFFFFFF and more,
  // E_OUTOFMEMORY when the value heap refuses; the size already held changes nothing.
  HRESULT Allocate(VSIZE size);
  void Free();

  GUID type{};
  VSIZE size = 0;
  void* data = nullptr;

 private:
  static constexpr VSIZE kInlineSize = 24;
  alignas(8) uint8_t inline_[kInlineSize] = {};
};
