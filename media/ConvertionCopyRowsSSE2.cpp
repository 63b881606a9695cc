// Row functions on SSE2, the baseline of every x64 processor: moves and narrowing or widening of
// whole bytes and words, where no shuffle across a register is needed.
#include <emmintrin.h>

#include "ConvertionCopyRowsSimd.h"

namespace convertion::sse2 {
namespace {

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// kChannels words per pixel, each to its high byte; 16 pixels per block.
template <int32_t kChannels>
int32_t NarrowWords(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~15;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n * kChannels; x += 16) {
    const __m128i a = _mm_srli_epi16(Load(s + 2 * x), 8), b = _mm_srli_epi16(Load(s + 2 * x + 16), 8);
    Store(t + x, _mm_packus_epi16(a, b));
  }
  return n;
}

// kChannels bytes per pixel, each to the word v * 257 (the byte repeated); 16 pixels per block.
template <int32_t kChannels>
int32_t WidenBytes(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~15;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n * kChannels; x += 16) {
    const __m128i a = Load(s + x);
    Store(t + 2 * x, _mm_unpacklo_epi8(a, a));
    Store(t + 2 * x + 16, _mm_unpackhi_epi8(a, a));
  }
  return n;
}

}  // namespace

// Y0 U Y1 V -> luma plane and V U plane; 16 pixels per block.
int32_t Packed8ToSemiPlanar(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~15;
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  for (int32_t x = 0; x < n; x += 16) {
    const __m128i a = Load(src[0] + 2 * x), b = Load(src[0] + 2 * x + 16);
    Store(tar[0] + x, _mm_packus_epi16(_mm_and_si128(a, lowBytes), _mm_and_si128(b, lowBytes)));
    const __m128i uv = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
    Store(tar[1] + x, _mm_or_si128(_mm_slli_epi16(uv, 8), _mm_srli_epi16(uv, 8)));
  }
  return n;
}

int32_t Packed8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~15;
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  for (int32_t x = 0; x < n; x += 16) {
    const __m128i a = Load(src[0] + 2 * x), b = Load(src[0] + 2 * x + 16);
    Store(tar[0] + x, _mm_packus_epi16(_mm_and_si128(a, lowBytes), _mm_and_si128(b, lowBytes)));
  }
  return n;
}

// Luma plane and V U plane -> Y0 U Y1 V; 16 pixels per block.
int32_t SemiPlanarToPacked8(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~15;
  for (int32_t x = 0; x < n; x += 16) {
    const __m128i y = Load(src[0] + x), vu = Load(src[1] + x);
    const __m128i uv = _mm_or_si128(_mm_slli_epi16(vu, 8), _mm_srli_epi16(vu, 8));
    Store(tar[0] + 2 * x, _mm_unpacklo_epi8(y, uv));
    Store(tar[0] + 2 * x + 16, _mm_unpackhi_epi8(y, uv));
  }
  return n;
}

// 10-bit Y0 U Y1 V words -> (Y & 0x3FF) >> 2 bytes; 16 pixels per block. Each luma word is the
// low word of a dword, so masking the dwords leaves the luma values ready to pack.
int32_t Packed10ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~15;
  const __m128i sample = _mm_set1_epi32(0x3FF);
  for (int32_t x = 0; x < n; x += 16) {
    const uint8_t* p = src[0] + 4 * x;
    __m128i w[4];
    for (int i = 0; i < 4; ++i) w[i] = _mm_and_si128(Load(p + 16 * i), sample);
    const __m128i lo = _mm_srli_epi16(_mm_packs_epi32(w[0], w[1]), 2), hi = _mm_srli_epi16(_mm_packs_epi32(w[2], w[3]), 2);
    Store(tar[0] + x, _mm_packus_epi16(lo, hi));
  }
  return n;
}

int32_t Narrow3(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return NarrowWords<3>(src, tar, width); }
int32_t Narrow4(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return NarrowWords<4>(src, tar, width); }
int32_t Widen3(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return WidenBytes<3>(src, tar, width); }
int32_t Widen4(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return WidenBytes<4>(src, tar, width); }

}  // namespace convertion::sse2
