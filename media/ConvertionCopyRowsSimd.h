// Vector versions of the row functions. Each converts the longest run of whole blocks of pixels
// that fits in the width, touching no byte outside those pixels, and returns how many pixels it
// converted; the scalar row function then finishes the row. The scalar rows stay the reference:
// every vector row gives exactly their bytes.
#pragma once
#include <cstdint>

#include "CpuFeatures.h"

namespace convertion {

using VectorRow = int32_t (*)(const uint8_t* const* src, uint8_t* const* tar, int32_t width);

// The variants of one row function, best last; a missing one is null.
struct VectorRows {
  VectorRow sse2;
  VectorRow ssse3;
  VectorRow avx2;
};

// The best variant the processor (and the test mask) allows, or null for the scalar row alone.
inline VectorRow PickVectorRow(const VectorRows& rows) {
  const uint32_t usable = cpufeatures::Usable();
  if ((usable & cpufeatures::kAVX2) && rows.avx2 != nullptr) return rows.avx2;
  if ((usable & cpufeatures::kSSSE3) && rows.ssse3 != nullptr) return rows.ssse3;
  if ((usable & cpufeatures::kSSE2) && rows.sse2 != nullptr) return rows.sse2;
  return nullptr;
}

#define CONVERTION_VECTOR_ROW(name) int32_t name(const uint8_t* const* src, uint8_t* const* tar, int32_t width)

namespace sse2 {
CONVERTION_VECTOR_ROW(Packed8ToSemiPlanar);
CONVERTION_VECTOR_ROW(SemiPlanarToPacked8);
CONVERTION_VECTOR_ROW(Packed10ToMono);
CONVERTION_VECTOR_ROW(Packed8ToMono);
CONVERTION_VECTOR_ROW(Narrow3);  // words >> 8, three per pixel
CONVERTION_VECTOR_ROW(Narrow4);
CONVERTION_VECTOR_ROW(Widen3);  // bytes * 257, three per pixel
CONVERTION_VECTOR_ROW(Widen4);
}  // namespace sse2

// The rows written once for 128-bit lanes (ConvertionCopyRowsLanes.inl), on SSSE3 and on AVX2.
#define CONVERTION_LANE_ROWS                                                        \
  CONVERTION_VECTOR_ROW(Packed8ToBgr);                                              \
  CONVERTION_VECTOR_ROW(Packed10ToBgr);                                             \
  CONVERTION_VECTOR_ROW(Yuva444_16ToBgr);                                           \
  CONVERTION_VECTOR_ROW(Yuv444_8ToBgr);  /* V U Y */                                \
  CONVERTION_VECTOR_ROW(Yuva444_8ToBgr); /* V U Y A */                              \
  CONVERTION_VECTOR_ROW(BgrToPacked8);                                              \
  CONVERTION_VECTOR_ROW(BgrToPacked10);                                             \
  CONVERTION_VECTOR_ROW(BgrToYuv444_8);                                             \
  CONVERTION_VECTOR_ROW(BgrToYuva444_8);                                            \
  CONVERTION_VECTOR_ROW(Append4thByte);                                             \
  CONVERTION_VECTOR_ROW(Append4thWord);                                             \
  CONVERTION_VECTOR_ROW(Drop4thByte);                                               \
  CONVERTION_VECTOR_ROW(Reverse4Bytes);                                             \
  CONVERTION_VECTOR_ROW(ReverseNarrow4);                                            \
  CONVERTION_VECTOR_ROW(ReverseWiden4);                                             \
  CONVERTION_VECTOR_ROW(Bgr8ToMono);                                                \
  CONVERTION_VECTOR_ROW(Bgra8ToMono);                                               \
  CONVERTION_VECTOR_ROW(Argb8ToMono);                                               \
  CONVERTION_VECTOR_ROW(Bgra16ToMono);                                              \
  CONVERTION_VECTOR_ROW(Argb16ToMono);                                              \
  CONVERTION_VECTOR_ROW(Unpack8);       /* Y0 U Y1 V -> V U Y */                    \
  CONVERTION_VECTOR_ROW(Unpack8Opaque); /* -> V U Y FF */                           \
  CONVERTION_VECTOR_ROW(Pack8);         /* V U Y -> Y0 U Y1 V */                    \
  CONVERTION_VECTOR_ROW(Pack8Alpha);    /* V U Y A -> Y0 U Y1 V */                  \
  CONVERTION_VECTOR_ROW(Yuv444_8ToMono);                                            \
  CONVERTION_VECTOR_ROW(Yuva444_8ToMono);                                           \
  CONVERTION_VECTOR_ROW(Yuv444_16ToMono);                                           \
  CONVERTION_VECTOR_ROW(Yuva444_16ToMono);                                          \
  CONVERTION_VECTOR_ROW(Unpack10);       /* 10-bit Y0 U Y1 V -> 16-bit V U Y */     \
  CONVERTION_VECTOR_ROW(Unpack10Opaque); /* -> V U Y FFFF */                          \
  CONVERTION_VECTOR_ROW(Pack10);         /* 16-bit V U Y -> 10-bit Y0 U Y1 V */    \
  CONVERTION_VECTOR_ROW(Pack10Alpha);    /* 16-bit V U Y A -> 10-bit Y0 U Y1 V */

namespace ssse3 {
CONVERTION_LANE_ROWS
}  // namespace ssse3

// Rows that only move, narrow or widen bytes keep their 128-bit variants on AVX2 machines: with
// rows starting 16 bytes past a 32-byte boundary, half of the 256-bit stores split a cache line,
// and such copies measured 5-15% slower than with 128-bit stores.
namespace avx2 {
CONVERTION_LANE_ROWS
CONVERTION_VECTOR_ROW(Packed10ToMono);
}  // namespace avx2

// A row with its SSSE3 and AVX2 variants.
#define CONVERTION_LANE_VARIANTS(name) ::convertion::VectorRows{nullptr, ::convertion::ssse3::name, ::convertion::avx2::name}

}  // namespace convertion
