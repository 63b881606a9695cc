#include "ConvertionCopyRGBYUVFrameCpu.h"

#include <algorithm>

#include "ConvertionCopyRows.h"

using namespace convertion;

namespace {

// One pixel to B, G, R. Division truncates toward zero before the clamp, as the integer
// formulas are defined; an arithmetic shift would round negative terms differently.
inline void YuvToBgr8(int32_t y, int32_t u, int32_t v, uint8_t* q) {
  q[0] = Clamp255(((u - 128) * 453 + y * 256) / 256);
  q[1] = Clamp255((y * 256 - v * 182 - u * 87 + 34432) / 256);
  q[2] = Clamp255(((v - 128) * 358 + y * 256) / 256);
}

// The same for 10-bit samples, giving 8-bit results.
inline void YuvToBgr10(int32_t y, int32_t u, int32_t v, uint8_t* q) {
  q[0] = Clamp255(((u - 512) * 453 + y * 256) / 1024);
  q[1] = Clamp255((y * 256 - v * 182 - u * 87 + 137728) / 1024);
  q[2] = Clamp255(((v - 512) * 358 + y * 256) / 1024);
}

struct Yuv {
  int32_t y, u, v;
};

inline Yuv BgrToYuv8(const uint8_t* p) {
  const int32_t b = p[0], g = p[1], r = p[2];
  return {(66 * r + 129 * g + 25 * b) >> 8, (-38 * r - 74 * g + 112 * b) / 256 + 128,
          (112 * r - 94 * g - 18 * b) / 256 + 128};
}

inline Yuv BgrToYuv10(const uint8_t* p) {
  const int32_t b = p[0], g = p[1], r = p[2];
  return {std::min((264 * r + 516 * g + 100 * b) >> 8, 1023),
          std::min((-152 * r - 296 * g + 448 * b) / 256 + 512, 1023),
          std::min((448 * r - 376 * g - 72 * b) / 256 + 512, 1023)};
}

void Packed8ToBgrRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  UnrollPairs(width, [&](int32_t i) {
    const uint8_t* p = src[0] + 4 * i;
    uint8_t* q = tar[0] + 6 * i;
    YuvToBgr8(p[0], p[1], p[3], q);
    YuvToBgr8(p[2], p[1], p[3], q + 3);
  });
}

void Packed10ToBgrRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  UnrollPairs(width, [&](int32_t i) {
    const uint8_t* p = src[0] + 8 * i;
    uint8_t* q = tar[0] + 6 * i;
    const int32_t u = Load16(p + 2) & 0x3FF, v = Load16(p + 6) & 0x3FF;
    YuvToBgr10(Load16(p) & 0x3FF, u, v, q);
    YuvToBgr10(Load16(p + 4) & 0x3FF, u, v, q + 3);
  });
}

// V U Y [A] bytes per pixel; alpha is ignored.
template <int32_t kIn>
void Yuv444_8ToBgrRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + kIn * x;
    YuvToBgr8(p[2], p[1], p[0], tar[0] + 3 * x);
  });
}

// V U Y A words, taken to 10 bits.
void Yuva444_16ToBgrRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + 8 * x;
    YuvToBgr10(Load16(p + 4) >> 6, Load16(p + 2) >> 6, Load16(p) >> 6, tar[0] + 3 * x);
  });
}

void BgrToPacked8Row(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  UnrollPairs(width, [&](int32_t i) {
    const Yuv a = BgrToYuv8(src[0] + 6 * i), b = BgrToYuv8(src[0] + 6 * i + 3);
    uint8_t* q = tar[0] + 4 * i;
    q[0] = static_cast<uint8_t>(a.y);
    q[1] = static_cast<uint8_t>(((a.u & 255) + (b.u & 255)) >> 1);
    q[2] = static_cast<uint8_t>(b.y);
    q[3] = static_cast<uint8_t>(((a.v & 255) + (b.v & 255)) >> 1);
  });
}

void BgrToPacked10Row(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  UnrollPairs(width, [&](int32_t i) {
    const Yuv a = BgrToYuv10(src[0] + 6 * i), b = BgrToYuv10(src[0] + 6 * i + 3);
    uint8_t* q = tar[0] + 8 * i;
    Store16(q, static_cast<uint32_t>(a.y));
    Store16(q + 2, static_cast<uint32_t>((a.u + b.u) >> 1));
    Store16(q + 4, static_cast<uint32_t>(b.y));
    Store16(q + 6, static_cast<uint32_t>((a.v + b.v) >> 1));
  });
}

// B G R -> V U Y [255].
template <int32_t kOut>
void BgrToYuv444_8Row(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const Yuv c = BgrToYuv8(src[0] + 3 * x);
    uint8_t* q = tar[0] + kOut * x;
    q[0] = static_cast<uint8_t>(c.v);
    q[1] = static_cast<uint8_t>(c.u);
    q[2] = static_cast<uint8_t>(c.y);
    if constexpr (kOut == 4) q[3] = 255;
  });
}

constexpr PlaneBytes kOne(int32_t bytes) { return PlaneBytes{1, {bytes, 0}}; }

const FormatPair kYuv422ToRgb_8[] = {{&MediaFormat_YUV422Packed8, &MediaFormat_RGB8}};
const FormatPair kRgbToYuv422_8[] = {{&MediaFormat_RGB8, &MediaFormat_YUV422Packed8}};
const FormatPair kYuv422ToRgb_10[] = {{&MediaFormat_YUV422Packed10, &MediaFormat_RGB8}};
const FormatPair kRgbToYuv422_10[] = {{&MediaFormat_RGB8, &MediaFormat_YUV422Packed10}};
const FormatPair kYuv444ToRgb_8[] = {{&MediaFormat_YUV444_8, &MediaFormat_RGB8}};
const FormatPair kRgbToYuv444_8[] = {{&MediaFormat_RGB8, &MediaFormat_YUV444_8}};
const FormatPair kYuva444ToRgb_8[] = {{&MediaFormat_YUVA444_8, &MediaFormat_RGB8}};
const FormatPair kRgbToYuva444_8[] = {{&MediaFormat_RGB8, &MediaFormat_YUVA444_8}};
const FormatPair kYuva444ToRgb_16[] = {{&MediaFormat_YUVA444_16, &MediaFormat_RGB8}};

}  // namespace

// Every YUV <-> RGB kernel works on pixel pairs: an odd width leaves the last column alone.
HRESULT Yuv422ToRgb_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422ToRgb_8, kOne(2), kOne(3), true), s, t,
                     CONVERTION_LANE_VARIANTS(Packed8ToBgr), Packed8ToBgrRow);
}
HRESULT RgbToYuv422_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgbToYuv422_8, kOne(3), kOne(2), true), s, t,
                     CONVERTION_LANE_VARIANTS(BgrToPacked8), BgrToPacked8Row);
}
HRESULT Yuv422ToRgb_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv422ToRgb_10, kOne(4), kOne(3), true), s, t,
                     CONVERTION_LANE_VARIANTS(Packed10ToBgr), Packed10ToBgrRow);
}
HRESULT RgbToYuv422_10(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgbToYuv422_10, kOne(3), kOne(4), true), s, t,
                     CONVERTION_LANE_VARIANTS(BgrToPacked10), BgrToPacked10Row);
}
HRESULT Yuv444ToRgb_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuv444ToRgb_8, kOne(3), kOne(3), true), s, t,
                     CONVERTION_LANE_VARIANTS(Yuv444_8ToBgr), Yuv444_8ToBgrRow<3>);
}
HRESULT RgbToYuv444_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgbToYuv444_8, kOne(3), kOne(3), true), s, t,
                     CONVERTION_LANE_VARIANTS(BgrToYuv444_8), BgrToYuv444_8Row<3>);
}
HRESULT Yuva444ToRgb_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuva444ToRgb_8, kOne(4), kOne(3), true), s, t,
                     CONVERTION_LANE_VARIANTS(Yuva444_8ToBgr), Yuv444_8ToBgrRow<4>);
}
HRESULT RgbToYuva444_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgbToYuva444_8, kOne(3), kOne(4), true), s, t,
                     CONVERTION_LANE_VARIANTS(BgrToYuva444_8), BgrToYuv444_8Row<4>);
}
HRESULT Yuva444ToRgb_16(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kYuva444ToRgb_16, kOne(8), kOne(3), true), s, t,
                     CONVERTION_LANE_VARIANTS(Yuva444_16ToBgr), Yuva444_16ToBgrRow);
}
