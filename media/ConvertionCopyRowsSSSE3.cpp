// Row functions on SSSE3: one 128-bit lane per register (see ConvertionCopyRowsLanes.inl).
#include <tmmintrin.h>

#include <array>
#include <type_traits>

#include "ConvertionCopyRowsSimd.h"

namespace convertion::ssse3 {
namespace {

using V = __m128i;
constexpr int32_t kLanes = 1;

inline V LoadBlock(const uint8_t* p, int32_t) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
inline void StoreBlock(uint8_t* p, int32_t, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
template <int kCount>
inline void StoreBlocks(uint8_t* p, int32_t, const V* v) {
  for (int i = 0; i < kCount; ++i) _mm_storeu_si128(reinterpret_cast<V*>(p + 16 * i), v[i]);
}
inline V Broadcast(const std::array<int8_t, 16>& m) { return _mm_loadu_si128(reinterpret_cast<const V*>(m.data())); }

inline V Zero() { return _mm_setzero_si128(); }
inline V Set8(int8_t v) { return _mm_set1_epi8(v); }
inline V Set16(int16_t v) { return _mm_set1_epi16(v); }
inline V Set32(int32_t v) { return _mm_set1_epi32(v); }
inline V Set64(int64_t v) { return _mm_set1_epi64x(v); }
inline V And(V a, V b) { return _mm_and_si128(a, b); }
inline V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
inline V Or(V a, V b) { return _mm_or_si128(a, b); }
inline V Xor(V a, V b) { return _mm_xor_si128(a, b); }
inline V Add16(V a, V b) { return _mm_add_epi16(a, b); }
inline V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
inline V Mulhi16(V a, V b) { return _mm_mulhi_epi16(a, b); }
inline V Madd16(V a, V b) { return _mm_madd_epi16(a, b); }
inline V Maddubs(V a, V b) { return _mm_maddubs_epi16(a, b); }
inline V Add32(V a, V b) { return _mm_add_epi32(a, b); }
inline V Hadd32(V a, V b) { return _mm_hadd_epi32(a, b); }
inline V AvgU16(V a, V b) { return _mm_avg_epu16(a, b); }
inline V Hadd16(V a, V b) { return _mm_hadd_epi16(a, b); }
template <int n> inline V Srli16(V a) { return _mm_srli_epi16(a, n); }
template <int n> inline V Slli16(V a) { return _mm_slli_epi16(a, n); }
template <int n> inline V Srai16(V a) { return _mm_srai_epi16(a, n); }
template <int n> inline V Slli32(V a) { return _mm_slli_epi32(a, n); }
template <int n> inline V Srli32(V a) { return _mm_srli_epi32(a, n); }
template <int n> inline V Srai32(V a) { return _mm_srai_epi32(a, n); }
template <int n> inline V ByteShiftLeft(V a) { return _mm_slli_si128(a, n); }
template <int n> inline V ByteShiftRight(V a) { return _mm_srli_si128(a, n); }
template <int n> inline V AlignR(V hi, V lo) { return _mm_alignr_epi8(hi, lo, n); }
inline V PackS32(V a, V b) { return _mm_packs_epi32(a, b); }
inline V PackUS16(V a, V b) { return _mm_packus_epi16(a, b); }
inline V UnpackLo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
inline V UnpackHi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
inline V UnpackLo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
inline V UnpackHi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
inline V UnpackLo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
inline V UnpackHi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
inline V UnpackLo64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
inline V UnpackHi64(V a, V b) { return _mm_unpackhi_epi64(a, b); }
inline V Shuffle(V a, V m) { return _mm_shuffle_epi8(a, m); }

}  // namespace

#include "ConvertionCopyRowsLanes.inl"

}  // namespace convertion::ssse3
