#include "ConvertionCopyPackFrameCpu.h"

#include "ConvertionCopyRows.h"

using namespace convertion;

namespace {

void Drop4thByteRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + 4 * x;
    uint8_t* q = tar[0] + 3 * x;
    q[0] = p[0];
    q[1] = p[1];
    q[2] = p[2];
  });
}

void Append4thByteRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + 3 * x;
    uint8_t* q = tar[0] + 4 * x;
    q[0] = p[0];
    q[1] = p[1];
    q[2] = p[2];
    q[3] = 0xFF;
  });
}

void Append4thWordRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + 6 * x;
    uint8_t* q = tar[0] + 8 * x;
    std::memcpy(q, p, 6);
    Store16(q + 6, 0xFFFF);
  });
}

// kChannels words per pixel -> bytes (word >> 8); kReverse turns the channel order around.
template <int32_t kChannels, bool kReverse>
void NarrowRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + 2 * kChannels * x;
    uint8_t* q = tar[0] + kChannels * x;
    for (int32_t c = 0; c < kChannels; ++c) {
      q[kReverse ? kChannels - 1 - c : c] = static_cast<uint8_t>(Load16(p + 2 * c) >> 8);
    }
  });
}

// kChannels bytes per pixel -> words (v * 257 repeats the byte); kReverse as above.
template <int32_t kChannels, bool kReverse>
void WidenRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + kChannels * x;
    uint8_t* q = tar[0] + 2 * kChannels * x;
    for (int32_t c = 0; c < kChannels; ++c) Store16(q + 2 * (kReverse ? kChannels - 1 - c : c), p[c] * 257u);
  });
}

void Reverse4BytesRow(const uint8_t* const* src, uint8_t* const* tar, int32_t width) {
  Unroll4(width, [&](int32_t x) {
    const uint8_t* p = src[0] + 4 * x;
    uint8_t* q = tar[0] + 4 * x;
    const uint8_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
    q[0] = b3;
    q[1] = b2;
    q[2] = b1;
    q[3] = b0;
  });
}

constexpr PlaneBytes kOne(int32_t bytes) { return PlaneBytes{1, {bytes, 0}}; }

const FormatPair kRgba8ToRgb8[] = {{&MediaFormat_RGBA8, &MediaFormat_RGB8},
                                   {&MediaFormat_RGBX8, &MediaFormat_RGB8},
                                   {&MediaFormat_RGBA8Alt, &MediaFormat_RGB8}};
const FormatPair kExpand3To4_8[] = {{&MediaFormat_RGB8, &MediaFormat_RGBX8},
                                    {&MediaFormat_RGB8, &MediaFormat_RGBA8},
                                    {&MediaFormat_RGB8, &MediaFormat_RGBA8Alt},
                                    {&MediaFormat_YUV444_8, &MediaFormat_YUVA444_8}};
const FormatPair kExpand3To4_16[] = {{&MediaFormat_RGB16, &MediaFormat_RGBA16},
                                     {&MediaFormat_YUV444_16, &MediaFormat_YUVA444_16}};
const FormatPair kRgb16ToRgb8[] = {{&MediaFormat_RGB16, &MediaFormat_RGB8}};
const FormatPair kRgb8ToRgb16[] = {{&MediaFormat_RGB8, &MediaFormat_RGB16}};
const FormatPair kRgba16ToRgba8[] = {{&MediaFormat_RGBA16, &MediaFormat_RGBA8}};
const FormatPair kRgba8ToRgba16[] = {{&MediaFormat_RGBA8, &MediaFormat_RGBA16}};
const FormatPair kReverseExpand8To16[] = {{&MediaFormat_RGBA8, &MediaFormat_ARGB16},
                                          {&MediaFormat_ARGB8, &MediaFormat_RGBA16}};
const FormatPair kReverseShrink16To8[] = {{&MediaFormat_RGBA16, &MediaFormat_ARGB8},
                                          {&MediaFormat_ARGB16, &MediaFormat_RGBA8}};
const FormatPair kReverse8[] = {{&MediaFormat_ARGB8, &MediaFormat_RGBA8}, {&MediaFormat_RGBA8, &MediaFormat_ARGB8}};

}  // namespace

HRESULT Rgba8ToRgb8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgba8ToRgb8, kOne(4), kOne(3), false), s, t,
                     VectorRows{nullptr, ssse3::Drop4thByte, nullptr}, Drop4thByteRow);
}
HRESULT Expand3To4_8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kExpand3To4_8, kOne(3), kOne(4), false), s, t,
                     VectorRows{nullptr, ssse3::Append4thByte, nullptr}, Append4thByteRow);
}
HRESULT Expand3To4_16(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kExpand3To4_16, kOne(6), kOne(8), false), s, t,
                     VectorRows{nullptr, ssse3::Append4thWord, nullptr}, Append4thWordRow);
}
HRESULT Rgb16ToRgb8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgb16ToRgb8, kOne(6), kOne(3), false), s, t,
                     VectorRows{sse2::Narrow3, nullptr, nullptr}, NarrowRow<3, false>);
}
HRESULT Rgb8ToRgb16(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgb8ToRgb16, kOne(3), kOne(6), false), s, t,
                     VectorRows{sse2::Widen3, nullptr, nullptr}, WidenRow<3, false>);
}
HRESULT Rgba16ToRgba8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgba16ToRgba8, kOne(8), kOne(4), false), s, t,
                     VectorRows{sse2::Narrow4, nullptr, nullptr}, NarrowRow<4, false>);
}
HRESULT Rgba8ToRgba16(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kRgba8ToRgba16, kOne(4), kOne(8), false), s, t,
                     VectorRows{sse2::Widen4, nullptr, nullptr}, WidenRow<4, false>);
}
HRESULT ReverseExpand8To16(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kReverseExpand8To16, kOne(4), kOne(8), false), s, t,
                     VectorRows{nullptr, ssse3::ReverseWiden4, nullptr}, WidenRow<4, true>);
}
HRESULT ReverseShrink16To8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kReverseShrink16To8, kOne(8), kOne(4), false), s, t,
                     VectorRows{nullptr, ssse3::ReverseNarrow4, nullptr}, NarrowRow<4, true>);
}
HRESULT Reverse8(const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  return ConvertRows(CONVERTION_SHAPE(kReverse8, kOne(4), kOne(4), false), s, t,
                     VectorRows{nullptr, ssse3::Reverse4Bytes, nullptr}, Reverse4BytesRow);
}
