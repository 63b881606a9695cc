#include "ConvertionCopyRGBFrameCpu.h"

#include "ConvertionCopyRows.h"

using namespace convertion;

namespace {

// kIn bytes per pixel, B at byte kB, G at kB + 1, R at kB + 2 (A R G B keeps B at 3, going down).
template <int32_t kIn, int32_t kB, int32_t kG, int32_t kR>
void Bytes8ToMonoRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + kIn * x;
    tar[0][x] = static_cast<uint8_t>((p[kB] + 2 * p[kG] + p[kR]) >> 2);
  });
}

// Word channels at word indexes kB, kG, kR of an 8-byte pixel.
template <int32_t kB, int32_t kG, int32_t kR>
void Words16ToMonoRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + 8 * x;
    const uint32_t sum = Load16(p + 2 * kB) + 2u * Load16(p + 2 * kG) + Load16(p + 2 * kR);
    tar[0][x] = static_cast<uint8_t>(sum >> 10);
  });
}

void FloatToMonoRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + 16 * x;
    const float v = (LoadFloat(p) + 2.0f * LoadFloat(p + 4) + LoadFloat(p + 8)) * 63.75f;
    // Written so that NaN lands on 0: converting it to an integer would be undefined.
    tar[0][x] = !(v > 0.0f) ? 0 : (v >= 255.0f ? 255 : static_cast<uint8_t>(v));
  });
}

constexpr PlaneBytes kOne(int32_t bytes) { return PlaneBytes{1, {bytes, 0}}; }

const FormatPair kRgb8ToMono[] = {{&MediaFormat_RGB8, &MediaFormat_Mono8}};
const FormatPair kRgba8ToMono[] = {{&MediaFormat_RGBA8, &MediaFormat_Mono8},
                                   {&MediaFormat_RGBA8Alt, &MediaFormat_Mono8},
                                   {&MediaFormat_RGBX8, &MediaFormat_Mono8}};
const FormatPair kArgb8ToMono[] = {{&MediaFormat_ARGB8, &MediaFormat_Mono8}};
const FormatPair kRgba16ToMono[] = {{&MediaFormat_RGBA16, &MediaFormat_Mono8},
                                    {&MediaFormat_RGBA16Alt, &MediaFormat_Mono8}};
const FormatPair kArgb16ToMono[] = {{&MediaFormat_ARGB16, &MediaFormat_Mono8}};
const FormatPair kRgbaFloatToMono[] = {{&MediaFormat_RGBAFloat, &MediaFormat_Mono8},
                                       {&MediaFormat_RGBAFloatAlt, &MediaFormat_Mono8}};

}  // namespace

HRESULT Rgb8ToMono(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgb8ToMono, kOne(3), kOne(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Bgr8ToMono), Bytes8ToMonoRow<3, 0, 1, 2>);
}
HRESULT Rgba8ToMono(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgba8ToMono, kOne(4), kOne(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Bgra8ToMono), Bytes8ToMonoRow<4, 0, 1, 2>);
}
HRESULT Argb8ToMono(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kArgb8ToMono, kOne(4), kOne(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Argb8ToMono), Bytes8ToMonoRow<4, 3, 2, 1>);
}
HRESULT Rgba16ToMono(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgba16ToMono, kOne(8), kOne(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Bgra16ToMono), Words16ToMonoRow<0, 1, 2>);
}
HRESULT Argb16ToMono(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kArgb16ToMono, kOne(8), kOne(1), false), s, t,
                     CONVERTION_LANE_VARIANTS(Argb16ToMono), Words16ToMonoRow<3, 2, 1>);
}
HRESULT RgbaFloatToMono(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgbaFloatToMono, kOne(16), kOne(1), false), s, t, FloatToMonoRow);
}
