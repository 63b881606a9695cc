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

// 10-bit luma to grey, where the arithmetic pays for whole 256-bit loads and stores: the lanes are
// put back in order with one permutation.
namespace {

inline __m256i Load256(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void Store256(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

}  // namespace

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

}  // namespace convertion::avx2
