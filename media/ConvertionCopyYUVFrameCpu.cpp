#include "ConvertionCopyYUVFrameCpu.h"

#include "ConvertionCopyRows.h"

using namespace convertion;

namespace {

// Where alpha of a 4:4:4 target comes from, or whether a 4:2:2 target gets an alpha plane.
enum class Alpha { None, Opaque, Plane };

// 10-bit samples sit in the low bits of their word.
inline uint32_t Sample10(const uint8_t* p) { return Load16(p) & 0x3FFu; }
// A 10-bit sample widened to 16 bits, its top bits repeated below.
inline uint32_t Widen10(uint32_t s) { return (s << 6) | (s & 0x3Fu); }

// Y0 U Y1 V (plus an alpha word per pixel) -> V U Y [A] for both pixels of each pair.
template <Alpha kAlpha>
void Unpack8Row(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kOut = kAlpha == Alpha::None ? 3 : 4;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  UnrollPairs(width, [&](int32_t i) {
    const uint8_t* p = s + 4 * i;
    uint8_t* q = t + 2 * kOut * i;
    const uint8_t y0 = p[0], u = p[1], y1 = p[2], v = p[3];
    q[0] = v;
    q[1] = u;
    q[2] = y0;
    q[kOut] = v;
    q[kOut + 1] = u;
    q[kOut + 2] = y1;
    if constexpr (kAlpha == Alpha::Opaque) {
      q[3] = 255;
      q[7] = 255;
    } else if constexpr (kAlpha == Alpha::Plane) {
      const int32_t a0 = Load16(src[1] + 4 * i), a1 = Load16(src[1] + 4 * i + 2);
      q[3] = static_cast<uint8_t>(((a0 - (a0 >> 12)) >> 4) & 255);
      q[7] = static_cast<uint8_t>(((a1 - (a1 >> 12)) >> 4) & 255);
    }
  });
}

// V U Y [A] pairs -> Y0 U Y1 V with averaged chroma; alpha widened to 12 bits into plane 1.
template <int32_t kIn, Alpha kAlpha>
void Pack8Row(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  UnrollPairs(width, [&](int32_t i) {
    const uint8_t* p = s + 2 * kIn * i;
    uint8_t* q = t + 4 * i;
    q[0] = p[2];
    q[1] = static_cast<uint8_t>((p[1] + p[kIn + 1]) >> 1);
    q[2] = p[kIn + 2];
    q[3] = static_cast<uint8_t>((p[0] + p[kIn]) >> 1);
    if constexpr (kAlpha == Alpha::Plane) {
      const uint32_t a0 = p[3], a1 = p[kIn + 3];
      Store16(tar[1] + 4 * i, ((a0 * 16) | (a0 >> 4)) + (a0 >= 128 ? 1 : 0));
      Store16(tar[1] + 4 * i + 2, ((a1 * 16) | (a1 >> 4)) + (a1 >= 128 ? 1 : 0));
    }
  });
}

// Y0 U Y1 V words (10-bit) -> V U Y [A] words (16-bit).
template <Alpha kAlpha>
void Unpack10Row(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  constexpr int32_t kOut = kAlpha == Alpha::None ? 6 : 8;
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  UnrollPairs(width, [&](int32_t i) {
    const uint8_t* p = s + 8 * i;
    uint8_t* q = t + 2 * kOut * i;
    const uint32_t y0 = Widen10(Sample10(p)), u = Widen10(Sample10(p + 2));
    const uint32_t y1 = Widen10(Sample10(p + 4)), v = Widen10(Sample10(p + 6));
    Store16(q, v);
    Store16(q + 2, u);
    Store16(q + 4, y0);
    Store16(q + kOut, v);
    Store16(q + kOut + 2, u);
    Store16(q + kOut + 4, y1);
    if constexpr (kAlpha == Alpha::Opaque) {
      Store16(q + 6, 0xFFFF);
      Store16(q + 14, 0xFFFF);
    } else if constexpr (kAlpha == Alpha::Plane) {
      const uint32_t a0 = Load16(src[1] + 4 * i), a1 = Load16(src[1] + 4 * i + 2);
      Store16(q + 6, (a0 * 16 - (a0 >> 12)) & 0xFFFFu);
      Store16(q + 14, (a1 * 16 - (a1 >> 12)) & 0xFFFFu);
    }
  });
}

// V U Y [A] words (16-bit) -> Y0 U Y1 V words (10-bit); alpha narrowed to 12 bits into plane 1.
template <int32_t kIn, Alpha kAlpha>
void Pack10Row(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const uint8_t* s = src[0];
  uint8_t* t = tar[0];
  UnrollPairs(width, [&](int32_t i) {
    const uint8_t* p = s + 2 * kIn * i;
    uint8_t* q = t + 8 * i;
    Store16(q, Load16(p + 4) >> 6);
    Store16(q + 2, (uint32_t{Load16(p + 2)} + Load16(p + kIn + 2)) >> 7);
    Store16(q + 4, Load16(p + kIn + 4) >> 6);
    Store16(q + 6, (uint32_t{Load16(p)} + Load16(p + kIn)) >> 7);
    if constexpr (kAlpha == Alpha::Plane) {
      const uint32_t a0 = Load16(p + 6), a1 = Load16(p + kIn + 6);
      Store16(tar[1] + 4 * i, (a0 >> 4) + (a0 >> 15));
      Store16(tar[1] + 4 * i + 2, (a1 >> 4) + (a1 >> 15));
    }
  });
}

void PackedToSemiPlanarRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  const uint8_t* s = src[0];
  UnrollPairs(width, [&](int32_t i) {
    const uint8_t* p = s + 4 * i;
    tar[0][2 * i] = p[0];
    tar[0][2 * i + 1] = p[2];
    tar[1][2 * i] = p[3];
    tar[1][2 * i + 1] = p[1];
  });
}

void SemiPlanarToPackedRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  uint8_t* t = tar[0];
  UnrollPairs(width, [&](int32_t i) {
    uint8_t* q = t + 4 * i;
    q[0] = src[0][2 * i];
    q[1] = src[1][2 * i + 1];
    q[2] = src[0][2 * i + 1];
    q[3] = src[1][2 * i];
  });
}

void Packed8ToMonoRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  UnrollPairs(width, [&](int32_t i) {
    tar[0][2 * i] = src[0][4 * i];
    tar[0][2 * i + 1] = src[0][4 * i + 2];
  });
}

void Packed10ToMonoRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  UnrollPairs(width, [&](int32_t i) {
    tar[0][2 * i] = static_cast<uint8_t>(Sample10(src[0] + 8 * i) >> 2);
    tar[0][2 * i + 1] = static_cast<uint8_t>(Sample10(src[0] + 8 * i + 4) >> 2);
  });
}

// The Y byte (offset 2) of each kIn-byte pixel.
template <int32_t kIn>
void Yuv444_8ToMonoRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) { tar[0][x] = src[0][kIn * x + 2]; });
}

// The high byte of the Y word (word 2) of each kIn-byte pixel.
template <int32_t kIn>
void Yuv444_16ToMonoRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) { tar[0][x] = static_cast<uint8_t>(Load16(src[0] + kIn * x + 4) >> 8); });
}

constexpr PlaneBytes kPlanes(int32_t bytes) { return PlaneBytes{1, {bytes, 0}}; }
constexpr PlaneBytes kPlanes(int32_t bytes0, int32_t bytes1) { return PlaneBytes{2, {bytes0, bytes1}}; }

const FormatPair kYuv422To444_8[] = {{&MediaFormat_YUV422Packed8, &MediaFormat_YUV444_8},
                                     {&MediaFormat_YUVA422Packed8, &MediaFormat_YUV444_8}};
const FormatPair kYuv422AlphaToYuva444_8[] = {{&MediaFormat_YUVA422Packed8, &MediaFormat_YUVA444_8}};
const FormatPair kYuv422ToYuva444_8[] = {{&MediaFormat_YUV422Packed8, &MediaFormat_YUVA444_8}};
const FormatPair kYuv444To422_8[] = {{&MediaFormat_YUV444_8, &MediaFormat_YUV422Packed8},
                                     {&MediaFormat_YUV444_8, &MediaFormat_YUVA422Packed8}};
const FormatPair kYuva444To422_8[] = {{&MediaFormat_YUVA444_8, &MediaFormat_YUV422Packed8}};
const FormatPair kYuva444To422Alpha_8[] = {{&MediaFormat_YUVA444_8, &MediaFormat_YUVA422Packed8}};
const FormatPair kYuv422To444_10[] = {{&MediaFormat_YUV422Packed10, &MediaFormat_YUV444_16},
                                      {&MediaFormat_YUVA422Packed10, &MediaFormat_YUV444_16}};
const FormatPair kYuv422AlphaToYuva444_10[] = {{&MediaFormat_YUVA422Packed10, &MediaFormat_YUVA444_16}};
const FormatPair kYuv422ToYuva444_10[] = {{&MediaFormat_YUV422Packed10, &MediaFormat_YUVA444_16}};
const FormatPair kYuv444To422_10[] = {{&MediaFormat_YUV444_16, &MediaFormat_YUV422Packed10},
                                      {&MediaFormat_YUV444_16, &MediaFormat_YUVA422Packed10}};
const FormatPair kYuva444To422_10[] = {{&MediaFormat_YUVA444_16, &MediaFormat_YUV422Packed10}};
const FormatPair kYuva444To422Alpha_10[] = {{&MediaFormat_YUVA444_16, &MediaFormat_YUVA422Packed10}};
const FormatPair kYuv422ToSemiPlanar_8[] = {{&MediaFormat_YUV422Packed8, &MediaFormat_YUV422SemiPlanar8}};
const FormatPair kSemiPlanarToYuv422_8[] = {{&MediaFormat_YUV422SemiPlanar8, &MediaFormat_YUV422Packed8}};
const FormatPair kYuv422ToMono_8[] = {{&MediaFormat_YUV422Packed8, &MediaFormat_Mono8},
                                      {&MediaFormat_YUVA422Packed8, &MediaFormat_Mono8}};
const FormatPair kYuv422ToMono_10[] = {{&MediaFormat_YUV422Packed10, &MediaFormat_Mono8},
                                       {&MediaFormat_YUVA422Packed10, &MediaFormat_Mono8}};
const FormatPair kYuv444ToMono_8[] = {{&MediaFormat_YUV444_8, &MediaFormat_Mono8}};
const FormatPair kYuva444ToMono_8[] = {{&MediaFormat_YUVA444_8, &MediaFormat_Mono8}};
const FormatPair kYuv444ToMono_16[] = {{&MediaFormat_YUV444_16, &MediaFormat_Mono8}};
const FormatPair kYuva444ToMono_16[] = {{&MediaFormat_YUVA444_16, &MediaFormat_Mono8}};

}  // namespace

HRESULT Yuv422To444_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422To444_8, kPlanes(2), kPlanes(3), true), s, t,
                     VectorRows{nullptr, ssse3::Unpack8, nullptr}, Unpack8Row<Alpha::None>);
}
HRESULT Yuv422AlphaToYuva444_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422AlphaToYuva444_8, kPlanes(2, 2), kPlanes(4), true), s, t,
                     Unpack8Row<Alpha::Plane>);
}
HRESULT Yuv422ToYuva444_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422ToYuva444_8, kPlanes(2), kPlanes(4), true), s, t,
                     CONVERTION_LANE_VARIANTS(Unpack8Opaque), Unpack8Row<Alpha::Opaque>);
}
HRESULT Yuv444To422_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv444To422_8, kPlanes(3), kPlanes(2), true), s, t,
                     CONVERTION_LANE_VARIANTS(Pack8), Pack8Row<3, Alpha::None>);
}
HRESULT Yuva444To422_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuva444To422_8, kPlanes(4), kPlanes(2), true), s, t,
                     CONVERTION_LANE_VARIANTS(Pack8Alpha), Pack8Row<4, Alpha::None>);
}
HRESULT Yuva444To422Alpha_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuva444To422Alpha_8, kPlanes(4), kPlanes(2, 2), true), s, t,
                     Pack8Row<4, Alpha::Plane>);
}

HRESULT Yuv422To444_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422To444_10, kPlanes(4), kPlanes(6), true), s, t,
                     CONVERTION_LANE_VARIANTS(Unpack10), Unpack10Row<Alpha::None>);
}
HRESULT Yuv422AlphaToYuva444_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422AlphaToYuva444_10, kPlanes(4, 2), kPlanes(8), true), s, t,
                     Unpack10Row<Alpha::Plane>);
}
HRESULT Yuv422ToYuva444_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422ToYuva444_10, kPlanes(4), kPlanes(8), true), s, t,
                     CONVERTION_LANE_VARIANTS(Unpack10Opaque), Unpack10Row<Alpha::Opaque>);
}
HRESULT Yuv444To422_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv444To422_10, kPlanes(6), kPlanes(4), true), s, t,
                     CONVERTION_LANE_VARIANTS(Pack10), Pack10Row<6, Alpha::None>);
}
HRESULT Yuva444To422_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuva444To422_10, kPlanes(8), kPlanes(4), true), s, t,
                     CONVERTION_LANE_VARIANTS(Pack10Alpha), Pack10Row<8, Alpha::None>);
}
HRESULT Yuva444To422Alpha_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuva444To422Alpha_10, kPlanes(8), kPlanes(4, 2), true), s, t,
                     Pack10Row<8, Alpha::Plane>);
}

HRESULT Yuv422ToSemiPlanar_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422ToSemiPlanar_8, kPlanes(2), kPlanes(1, 1), true), s, t,
                     VectorRows{sse2::Packed8ToSemiPlanar, nullptr, nullptr}, PackedToSemiPlanarRow);
}
HRESULT SemiPlanarToYuv422_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kSemiPlanarToYuv422_8, kPlanes(1, 1), kPlanes(2), true), s, t,
                     VectorRows{sse2::SemiPlanarToPacked8, nullptr, nullptr}, SemiPlanarToPackedRow);
}

HRESULT Yuv422ToMono_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422ToMono_8, kPlanes(2), kPlanes(1), true), s, t,
                     VectorRows{sse2::Packed8ToMono, nullptr, nullptr}, Packed8ToMonoRow);
}
HRESULT Yuv422ToMono_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422ToMono_10, kPlanes(4), kPlanes(1), true), s, t,
                     VectorRows{sse2::Packed10ToMono, nullptr, avx2::Packed10ToMono}, Packed10ToMonoRow);
}
HRESULT Yuv444ToMono_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv444ToMono_8, kPlanes(3), kPlanes(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Yuv444_8ToMono), Yuv444_8ToMonoRow<3>);
}
HRESULT Yuva444ToMono_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuva444ToMono_8, kPlanes(4), kPlanes(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Yuva444_8ToMono), Yuv444_8ToMonoRow<4>);
}
HRESULT Yuv444ToMono_16(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv444ToMono_16, kPlanes(6), kPlanes(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Yuv444_16ToMono), Yuv444_16ToMonoRow<6>);
}
HRESULT Yuva444ToMono_16(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuva444ToMono_16, kPlanes(8), kPlanes(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Yuva444_16ToMono), Yuv444_16ToMonoRow<8>);
}
