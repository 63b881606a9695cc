// Row functions on AVX2: two 128-bit lanes per register, each on its own block of pixels (see ConvertionCopyRowsLanes.inl).
#include <immintrin.h>

#include <array>
#include <type_traits>

#include "ConvertionCopyRowsSimd.h"

namespace convertion::avx2 {
namespace {

using V = __m256i;
constexpr int32_t kLanes = 2;

// Lane i takes the i-th block of `bytes` bytes; blocks of 16 bytes are one contiguous load.
inline V LoadBlock(const uint8_t* p, int32_t bytes) {
  if (bytes == 16) return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + bytes)), 1);
}
inline void StoreBlock(uint8_t* p, int32_t bytes, V v) {
  if (bytes == 16) return _mm256_storeu_si256(reinterpret_cast<V*>(p), v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + bytes), _mm256_extracti128_si256(v, 1));
}
// Registers holding consecutive 16-byte parts of a block per lane: lane 0 of all, then lane 1,
// so the stores run through memory in order.
template <int kCount>
inline void StoreBlocks(uint8_t* p, int32_t bytes, const V* v) {
  for (int i = 0; i < kCount; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16 * i), _mm256_castsi256_si128(v[i]));
  for (int i = 0; i < kCount; ++i) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + bytes + 16 * i), _mm256_extracti128_si256(v[i], 1));
  }
}
inline V Broadcast(const std::array<int8_t, 16>& m) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m.data())));
}

inline V Zero() { return _mm256_setzero_si256(); }
inline V Set8(int8_t v) { return _mm256_set1_epi8(v); }
inline V Set16(int16_t v) { return _mm256_set1_epi16(v); }
inline V Set32(int32_t v) { return _mm256_set1_epi32(v); }
inline V Set64(int64_t v) { return _mm256_set1_epi64x(v); }
inline V And(V a, V b) { return _mm256_and_si256(a, b); }
inline V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
inline V Or(V a, V b) { return _mm256_or_si256(a, b); }
inline V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
inline V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
inline V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
inline V Mulhi16(V a, V b) { return _mm256_mulhi_epi16(a, b); }
inline V Madd16(V a, V b) { return _mm256_madd_epi16(a, b); }
inline V Maddubs(V a, V b) { return _mm256_maddubs_epi16(a, b); }
inline V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
inline V Hadd32(V a, V b) { return _mm256_hadd_epi32(a, b); }
inline V AvgU16(V a, V b) { return _mm256_avg_epu16(a, b); }
inline V Hadd16(V a, V b) { return _mm256_hadd_epi16(a, b); }
template <int n> inline V Srli16(V a) { return _mm256_srli_epi16(a, n); }
template <int n> inline V Slli16(V a) { return _mm256_slli_epi16(a, n); }
template <int n> inline V Srai16(V a) { return _mm256_srai_epi16(a, n); }
template <int n> inline V Slli32(V a) { return _mm256_slli_epi32(a, n); }
template <int n> inline V Srli32(V a) { return _mm256_srli_epi32(a, n); }
template <int n> inline V Srai32(V a) { return _mm256_srai_epi32(a, n); }
template <int n> inline V ByteShiftLeft(V a) { return _mm256_bslli_epi128(a, n); }
template <int n> inline V ByteShiftRight(V a) { return _mm256_bsrli_epi128(a, n); }
template <int n> inline V AlignR(V hi, V lo) { return _mm256_alignr_epi8(hi, lo, n); }
inline V PackS32(V a, V b) { return _mm256_packs_epi32(a, b); }
inline V PackUS16(V a, V b) { return _mm256_packus_epi16(a, b); }
inline V UnpackLo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
inline V UnpackHi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
inline V UnpackLo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
inline V UnpackHi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
inline V UnpackLo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
inline V UnpackHi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
inline V UnpackLo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
inline V UnpackHi64(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
inline V Shuffle(V a, V m) { return _mm256_shuffle_epi8(a, m); }

}  // namespace

#include "ConvertionCopyRowsLanes.inl"

// Rows where whole 256-bit loads and stores pay: the lanes are put back in order with one
// permutation instead of loading and storing each half on its own.
namespace {

inline __m256i Load256(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void Store256(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// Quadwords 0 2 1 3: undoes the lane split of a pack, prepares the lane split of an unpack.
inline __m256i InterleaveLanes(__m256i v) { return _mm256_permute4x64_epi64(v, 0xD8); }

template <int32_t kChannels>
int32_t NarrowWords(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~31;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n * kChannels; x += 32) {
    const __m256i a = _mm256_srli_epi16(Load256(s + 2 * x), 8), b = _mm256_srli_epi16(Load256(s + 2 * x + 32), 8);
    Store256(t + x, InterleaveLanes(_mm256_packus_epi16(a, b)));
  }
  return n;
}

template <int32_t kChannels>
int32_t WidenBytes(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~31;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n * kChannels; x += 32) {
    const __m256i a = InterleaveLanes(Load256(s + x));
    Store256(t + 2 * x, _mm256_unpacklo_epi8(a, a));
    Store256(t + 2 * x + 32, _mm256_unpackhi_epi8(a, a));
  }
  return n;
}

}  // namespace

int32_t Narrow3(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return NarrowWords<3>(src, tar, width); }
int32_t Narrow4(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return NarrowWords<4>(src, tar, width); }
int32_t Widen3(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return WidenBytes<3>(src, tar, width); }
int32_t Widen4(const uint8_t* const* src, uint8_t* const* tar, int32_t width) { return WidenBytes<4>(src, tar, width); }

// Y0 U Y1 V -> luma plane and V U plane; 32 pixels per block.
int32_t Packed8ToSemiPlanar(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~31;
  const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
  const __m256i swap = _mm256_broadcastsi128_si256(_mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
  const uint8_t* s = src[0];
  uint8_t* luma = tar[0];
  uint8_t* chroma = tar[1];
  for (int32_t x = 0; x < n; x += 32) {
    const __m256i a = Load256(s + 2 * x), b = Load256(s + 2 * x + 32);
    Store256(luma + x, InterleaveLanes(_mm256_packus_epi16(_mm256_and_si256(a, lowBytes), _mm256_and_si256(b, lowBytes))));
    const __m256i uv = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
    Store256(chroma + x, InterleaveLanes(_mm256_shuffle_epi8(uv, swap)));
  }
  return n;
}

int32_t Packed8ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~31;
  const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += 32) {
    const __m256i a = Load256(s + 2 * x), b = Load256(s + 2 * x + 32);
    Store256(t + x, InterleaveLanes(_mm256_packus_epi16(_mm256_and_si256(a, lowBytes), _mm256_and_si256(b, lowBytes))));
  }
  return n;
}

int32_t SemiPlanarToPacked8(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~31;
  for (int32_t x = 0; x < n; x += 32) {
    const __m256i y = InterleaveLanes(Load256(src[0] + x)), vu = InterleaveLanes(Load256(src[1] + x));
    const __m256i uv = _mm256_or_si256(_mm256_slli_epi16(vu, 8), _mm256_srli_epi16(vu, 8));
    Store256(tar[0] + 2 * x, _mm256_unpacklo_epi8(y, uv));
    Store256(tar[0] + 2 * x + 32, _mm256_unpackhi_epi8(y, uv));
  }
  return n;
}

int32_t Packed10ToMono(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~31;
  const __m256i sample = _mm256_set1_epi32(0x3FF);
  // After the two packs the dwords of the four loads sit in the order 0 2 4 6 1 3 5 7.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  for (int32_t x = 0; x < n; x += 32) {
    const uint8_t* p = src[0] + 4 * x;
    __m256i w[4];
    for (int i = 0; i < 4; ++i) w[i] = _mm256_and_si256(Load256(p + 32 * i), sample);
    const __m256i lo = _mm256_srli_epi16(_mm256_packs_epi32(w[0], w[1]), 2);
    const __m256i hi = _mm256_srli_epi16(_mm256_packs_epi32(w[2], w[3]), 2);
    Store256(tar[0] + x, _mm256_permutevar8x32_epi32(_mm256_packus_epi16(lo, hi), order));
  }
  return n;
}

// B G R -> B G R FF, 8 pixels per 256-bit register: each 32-byte load is spread so that lane 1
// starts 12 bytes in. The load reads 8 bytes past the 24 it uses, so the last 11 pixels of a row
// are left to the scalar row.
int32_t Expand3To4Bytes(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const __m256i spread = _mm256_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6);
  const __m256i m = _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11, -128));
  const __m256i opaque = _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u));
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  int32_t x = 0;
  for (; x + 32 + 11 <= width; x += 32, s += 96, t += 128) {
    for (int32_t k = 0; k < 4; ++k) {
      const __m256i a = _mm256_permutevar8x32_epi32(Load256(s + 24 * k), spread);
      Store256(t + 32 * k, _mm256_or_si256(_mm256_shuffle_epi8(a, m), opaque));
    }
  }
  return x;
}

// B G R A -> B G R, 32 pixels per block: each lane squeezes its four pixels into its first 12
// bytes, then dword permutations and blends join 4 x 24 bytes into three whole stores.
int32_t Drop4thBytes(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const int32_t n = width & ~31;
  const __m256i m = _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -128, -128, -128, -128));
  const __m256i p0 = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 1), p1 = _mm256_setr_epi32(2, 4, 5, 6, 0, 1, 2, 4);
  const __m256i p2 = _mm256_setr_epi32(5, 6, 0, 1, 2, 4, 5, 6);
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  for (int32_t x = 0; x < n; x += 32, s += 128, t += 96) {
    const __m256i a = _mm256_shuffle_epi8(Load256(s), m), b = _mm256_shuffle_epi8(Load256(s + 32), m);
    const __m256i c = _mm256_shuffle_epi8(Load256(s + 64), m), d = _mm256_shuffle_epi8(Load256(s + 96), m);
    Store256(t, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, p0), _mm256_permutevar8x32_epi32(b, p0), 0xC0));
    Store256(t + 32, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(b, p1), _mm256_permutevar8x32_epi32(c, p1), 0xF0));
    Store256(t + 64, _mm256_blend_epi32(_mm256_permutevar8x32_epi32(c, p2), _mm256_permutevar8x32_epi32(d, p2), 0xFC));
  }
  return n;
}

}  // namespace convertion::avx2
