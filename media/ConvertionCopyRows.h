// The frame side shared by every conversion kernel: the checks done before anything is written,
// and the loop over rows that hands each row to a row function. Row functions never loop over
// rows; they see one row of every plane and the number of pixels to convert.
#pragma once
#include <cstdint>
#include <cstring>
#include "ConvertionCopyRowsSimd.h"
#include "MediaHost.h"
#include "VarnicaMediaFormats.h"

// A conversion kernel: converts source into target (same size, formats of the kernel's family).
// Failures are raised; S_OK otherwise.
using ConvertionCopyKernel = HRESULT (*)(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);

namespace convertion {

// The format pairs a kernel serves; its checks accept any of their sources with any of their targets.
struct FormatPair {
  const GUID* source;
  const GUID* target;
};

// Planes a kernel touches on one side and the bytes per pixel it touches in each of them.
struct PlaneBytes {
  int32_t count;
  int32_t bytesPerPixel[2];
};

struct KernelShape {
  const FormatPair* pairs;
  int32_t pairCount;
  PlaneBytes source;
  PlaneBytes target;
  // Kernels working on pixel pairs convert the width rounded down to even.
  bool evenWidth;
};

// Raises E_INVALIDARG "src, tar Format/Size" for a source format that is no source of the kernel's
// pairs or a target format that is no target of them, unequal or
// empty sizes; E_POINTER "src, tar Plane" for a missing plane; E_INVALIDARG "src, tar Pitch"
// for a pitch below the bytes a row needs.
void CheckKernelFrames(const KernelShape& shape, const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);

// Pixels a row function converts per row.
inline int32_t KernelWidth(const KernelShape& shape, int32_t width) { return shape.evenWidth ? (width & ~1) : width; }

// Checks, then calls row(src, tar, width) for every row; src and tar hold the row of each plane.
template <class RowFn>
inline HRESULT ConvertRows(const KernelShape& shape, const CpuVidFrameMemory& source, const CpuVidFrameMemory& target,
                           RowFn&& row) {
  CheckKernelFrames(shape, source, target);
  const int32_t width = KernelWidth(shape, source.width);
  const uint8_t* src[2] = {nullptr, nullptr};
  uint8_t* tar[2] = {nullptr, nullptr};
  for (int32_t y = 0; y < source.height; ++y) {
    for (int32_t k = 0; k < shape.source.count; ++k) src[k] = source.planes[k].data + y * source.planes[k].pitch;
    for (int32_t k = 0; k < shape.target.count; ++k) tar[k] = target.planes[k].data + y * target.planes[k].pitch;
    row(src, tar, width);
  }
  return S_OK;
}

// The same with a vector row: the best variant the processor allows takes as many pixels of each
// row as it can, the scalar row the rest (pointers advanced by the shape's bytes per pixel).
template <class RowFn>
inline HRESULT ConvertRows(const KernelShape& shape, const CpuVidFrameMemory& source, const CpuVidFrameMemory& target,
                           const VectorRows& vector, RowFn&& row) {
  const VectorRow fast = PickVectorRow(vector);
  if (fast == nullptr) return ConvertRows(shape, source, target, row);
  CheckKernelFrames(shape, source, target);
  const int32_t width = KernelWidth(shape, source.width);
  const uint8_t* src[2] = {nullptr, nullptr};
  uint8_t* tar[2] = {nullptr, nullptr};
  for (int32_t y = 0; y < source.height; ++y) {
    for (int32_t k = 0; k < shape.source.count; ++k) src[k] = source.planes[k].data + y * source.planes[k].pitch;
    for (int32_t k = 0; k < shape.target.count; ++k) tar[k] = target.planes[k].data + y * target.planes[k].pitch;
    const int32_t done = fast(src, tar, width);
    if (done < width) {
      for (int32_t k = 0; k < shape.source.count; ++k) src[k] += int64_t{done} * shape.source.bytesPerPixel[k];
      for (int32_t k = 0; k < shape.target.count; ++k) tar[k] += int64_t{done} * shape.target.bytesPerPixel[k];
      row(src, tar, width - done);
    }
  }
  return S_OK;
}

// Unaligned little-endian access: pitches need not keep words aligned.
inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}
inline float LoadFloat(const uint8_t* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}

inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// fn(i) for i in [0, n), four at a time and then one by one.
template <class Fn>
inline void Unroll4(int32_t n, Fn&& fn) {
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    fn(i);
    fn(i + 1);
    fn(i + 2);
    fn(i + 3);
  }
  for (; i < n; ++i) fn(i);
}

// fn(pair) for the pixel pairs of an even width: two pairs at a time, then the last one.
template <class Fn>
inline void UnrollPairs(int32_t width, Fn&& fn) {
  const int32_t pairs = width >> 1;
  int32_t i = 0;
  for (; i + 2 <= pairs; i += 2) {
    fn(i);
    fn(i + 1);
  }
  for (; i < pairs; ++i) fn(i);
}

}  // namespace convertion

// A kernel's shape from its list of format pairs.
#define CONVERTION_SHAPE(pairs, srcPlanes, tarPlanes, even) \
  ::convertion::KernelShape { pairs, static_cast<int32_t>(sizeof(pairs) / sizeof(pairs[0])), srcPlanes, tarPlanes, even }
