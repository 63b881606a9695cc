// Every kernel of the table against its reference, its failures, and the worked examples.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ConversionReference.h"
#include "ConversionTestSupport.h"
#include "ConvertionCopyIdenticalFrameCpu.h"
#include "ConvertionCopyPackFrameCpu.h"
#include "ConvertionCopyRGBFrameCpu.h"
#include "ConvertionCopyRGBYUVFrameCpu.h"
#include "ConvertionCopyYUVFrameCpu.h"

using reference::TestFrame;

namespace {

constexpr uint8_t kSentinel = 0xA5;

// Runs the kernel and the reference on the same random source; targets start as sentinel bytes,
// so padding and columns a kernel must leave alone are compared too.
void ExpectMatchesReference(ConvertionCopyKernel kernel, const GUID& sourceFormat, const GUID& targetFormat,
                            int32_t width, int32_t height, int32_t padding, uint32_t seed) {
  TestFrame source(sourceFormat, width, height, padding, 0);
  source.FillRandom(seed);
  TestFrame actual(targetFormat, width, height, padding, kSentinel);
  TestFrame expected(targetFormat, width, height, padding, kSentinel);
  ASSERT_TRUE(reference::Convert(kernel, source.record, expected.record)) << reference::NameOf(kernel);
  ASSERT_EQ(kernel(source.record, actual.record), S_OK);
  EXPECT_TRUE(actual.SameBytes(expected)) << reference::NameOf(kernel) << " " << width << "x" << height << " padding "
                                          << padding << ": " << reference::FirstDifference(actual, expected);
}

// Rows 0 to 64 name every kernel with every pair of formats it serves.
class TableRowKernel : public testing::TestWithParam<int> {};

TEST_P(TableRowKernel, MatchesReferenceOverWidthsHeightsAndPitches) {
  const ConvertionCopyEntry& row = ConvertionCopyTable[GetParam()];
  for (int32_t width : {1, 2, 3, 7, 16, 17}) {
    for (int32_t height : {1, 2, 3, 17}) {
      for (int32_t padding : {0, 13}) {
        ExpectMatchesReference(row.kernel, *row.source, *row.target, width, height, padding, width * 131 + height);
      }
    }
  }
  for (int32_t width : {1919, 1920}) ExpectMatchesReference(row.kernel, *row.source, *row.target, width, 2, 16, 7);
}

// The last row of every plane ends where the memory ends: a kernel reading or writing one byte
// past a row would fault. The scalar rows here, the vector rows with the vector tests.
TEST_P(TableRowKernel, StaysInsideBuffersEndingAtAPage) {
  const ConvertionCopyEntry& row = ConvertionCopyTable[GetParam()];
  for (int32_t width : {1, 7, 17}) {
    const int32_t height = 3;
    TestFrame source(*row.source, width, height, 0, 0);
    source.FillRandom(static_cast<uint32_t>(width));
    TestFrame expected(*row.target, width, height, 0, kSentinel);
    ASSERT_TRUE(reference::Convert(row.kernel, source.record, expected.record));

    EXPECT_EQ(-1, RunOnGuardedPages(row.kernel, source.record, expected.record, 0, kSentinel))
        << reference::NameOf(row.kernel) << " width " << width;
  }
}

INSTANTIATE_TEST_SUITE_P(Rows0To64, TableRowKernel, testing::Range(0, 65), [](const testing::TestParamInfo<int>& info) {
  return "Row" + std::to_string(info.param) + "_" + reference::NameOf(ConvertionCopyTable[info.param].kernel);
});

TEST(IdenticalCopy, CopiesEveryPlaneOfEveryLayoutAndKeepsPadding) {
  const GUID* formats[] = {&MediaFormat_YUVA422Packed8,
                           &MediaFormat_YUV422SemiPlanar8,
                           &MediaFormat_YUVA422Packed10,
                           &MediaFormat_RGB8,
                           &MediaFormat_RGBA16,
                           &MediaFormat_RGBAFloat,
                           &MediaFormat_Mono8};
  for (const GUID* format : formats) {
    // Tight pitches (one block), short rows, rows of up to 127 bytes and long rows with padding.
    for (int32_t width : {1, 2, 7, 17, 100, 1920}) {
      for (int32_t padding : {0, 3, 16}) ExpectMatchesReference(IdenticalCopy, *format, *format, width, 3, padding, 5);
    }
  }
}

TEST(IdenticalCopy, UsesAlignedCopiesOnlyWhenBothSidesShareAlignment) {
  // Same bytes whether source and target are equally aligned (vector path) or not.
  for (size_t shift : {0u, 1u, 8u}) {
    const int32_t width = 300, height = 4;
    const int64_t pitch = 1216;  // a multiple of 16, longer than the 1200-byte row
    std::vector<uint8_t> source(static_cast<size_t>(pitch * height + 32)), target(source.size(), kSentinel);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + 1);
    auto align = [](uint8_t* p) { return p + ((16 - reinterpret_cast<uintptr_t>(p) % 16) % 16); };
    CpuVidFrameMemory s{MediaFormat_RGBA8, width, height, {{align(source.data()), pitch}}};
    CpuVidFrameMemory t{MediaFormat_RGBA8, width, height, {{align(target.data()) + shift, pitch}}};
    ASSERT_EQ(IdenticalCopy(s, t), S_OK);
    for (int32_t y = 0; y < height; ++y) {
      EXPECT_EQ(0, std::memcmp(s.planes[0].data + y * pitch, t.planes[0].data + y * pitch, 1200)) << "shift " << shift;
      EXPECT_EQ(t.planes[0].data[y * pitch + 1200], kSentinel);
    }
  }
}

// Bad records: the code and text, and not one target byte written.
struct BadCase {
  const char* what;
  ConvertionCopyKernel kernel;
  const GUID* source;
  const GUID* target;
  void (*spoil)(CpuVidFrameMemory& source, CpuVidFrameMemory& target);
  HRESULT code;
  const char* text;
};

const BadCase kBadCases[] = {
    {"other source format", Yuv422ToRgb_8, &MediaFormat_YUV422Packed8, &MediaFormat_RGB8,
     [](CpuVidFrameMemory& s, CpuVidFrameMemory&) { s.format = MediaFormat_YUV444_8; }, E_INVALIDARG,
     "src, tar Format/Size"},
    {"other target format", Rgba8ToMono, &MediaFormat_RGBA8, &MediaFormat_Mono8,
     [](CpuVidFrameMemory&, CpuVidFrameMemory& t) { t.format = MediaFormat_Mono8Alt; }, E_INVALIDARG,
     "src, tar Format/Size"},
    {"target of another kernel's family", Expand3To4_8, &MediaFormat_RGB8, &MediaFormat_RGBA8,
     [](CpuVidFrameMemory&, CpuVidFrameMemory& t) { t.format = MediaFormat_RGBA16; }, E_INVALIDARG,
     "src, tar Format/Size"},
    {"different widths", Yuv422To444_8, &MediaFormat_YUV422Packed8, &MediaFormat_YUV444_8,
     [](CpuVidFrameMemory&, CpuVidFrameMemory& t) { t.width -= 2; }, E_INVALIDARG, "src, tar Format/Size"},
    {"different heights", Rgb16ToRgb8, &MediaFormat_RGB16, &MediaFormat_RGB8,
     [](CpuVidFrameMemory&, CpuVidFrameMemory& t) { t.height -= 1; }, E_INVALIDARG, "src, tar Format/Size"},
    {"width 0", Reverse8, &MediaFormat_RGBA8, &MediaFormat_ARGB8,
     [](CpuVidFrameMemory& s, CpuVidFrameMemory& t) { s.width = t.width = 0; }, E_INVALIDARG, "src, tar Format/Size"},
    {"negative height", RgbToYuv422_10, &MediaFormat_RGB8, &MediaFormat_YUV422Packed10,
     [](CpuVidFrameMemory& s, CpuVidFrameMemory& t) { s.height = t.height = -4; }, E_INVALIDARG,
     "src, tar Format/Size"},
    {"null source plane", RgbaFloatToMono, &MediaFormat_RGBAFloat, &MediaFormat_Mono8,
     [](CpuVidFrameMemory& s, CpuVidFrameMemory&) { s.planes[0].data = nullptr; }, E_POINTER, "src, tar Plane"},
    {"null alpha plane", Yuva444To422Alpha_8, &MediaFormat_YUVA444_8, &MediaFormat_YUVA422Packed8,
     [](CpuVidFrameMemory&, CpuVidFrameMemory& t) { t.planes[1].data = nullptr; }, E_POINTER, "src, tar Plane"},
    {"source pitch below the row", Yuv422ToSemiPlanar_8, &MediaFormat_YUV422Packed8, &MediaFormat_YUV422SemiPlanar8,
     [](CpuVidFrameMemory& s, CpuVidFrameMemory&) { s.planes[0].pitch = 15; }, E_INVALIDARG, "src, tar Pitch"},
    {"negative target pitch", Rgba8ToRgba16, &MediaFormat_RGBA8, &MediaFormat_RGBA16,
     [](CpuVidFrameMemory&, CpuVidFrameMemory& t) { t.planes[0].pitch = -t.planes[0].pitch; }, E_INVALIDARG,
     "src, tar Pitch"},
    {"identical copy of two formats", IdenticalCopy, &MediaFormat_RGBA8, &MediaFormat_RGBA8,
     [](CpuVidFrameMemory&, CpuVidFrameMemory& t) { t.format = MediaFormat_RGBX8; }, E_INVALIDARG,
     "src == tar Format/Size"},
    {"identical copy of a format without layout", IdenticalCopy, &MediaFormat_RGBA8, &MediaFormat_RGBA8,
     [](CpuVidFrameMemory& s, CpuVidFrameMemory& t) {
       s.format = t.format = GUID{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
     },
     E_INVALIDARG, "GetFormatVideoPlaneLayout"},
    {"identical copy with a short target pitch", IdenticalCopy, &MediaFormat_YUVA422Packed8,
     &MediaFormat_YUVA422Packed8, [](CpuVidFrameMemory&, CpuVidFrameMemory& t) { t.planes[1].pitch = 4; }, E_INVALIDARG,
     "src, tar Pitch"},
};

TEST(KernelChecks, RefuseBadRecordsBeforeWritingAnything) {
  for (const BadCase& bad : kBadCases) {
    TestFrame source(*bad.source, 9, 4, 2, 0);
    source.FillRandom(3);
    TestFrame target(*bad.target, 9, 4, 2, kSentinel);
    const TestFrame untouched = target;
    CpuVidFrameMemory s = source.record, t = target.record;
    bad.spoil(s, t);
    const CaughtFailure failure = CatchFailure([&] { bad.kernel(s, t); });
    EXPECT_TRUE(failure.raised) << bad.what;
    EXPECT_EQ(failure.code, bad.code) << bad.what;
    EXPECT_EQ(failure.text, bad.text) << bad.what;
    EXPECT_TRUE(target.SameBytes(untouched)) << bad.what;
  }
}

// Small frames of given pixels: converts one row and returns the target's bytes.
template <class T>
std::vector<uint8_t> ConvertPixels(ConvertionCopyKernel kernel, const GUID& from, const GUID& to, int32_t width,
                                   const std::vector<T>& samples) {
  TestFrame source(from, width, 1, 0, 0), target(to, width, 1, 0, kSentinel);
  std::memcpy(source.planes[0].data(), samples.data(), samples.size() * sizeof(T));
  EXPECT_EQ(kernel(source.record, target.record), S_OK);
  return target.planes[0];
}

TEST(WorkedExamples, PixelsWorkedByHand) {
  // (V, U, Y) in, (B, G, R) out; the width is even so both pixels are converted.
  EXPECT_EQ(
      ConvertPixels<uint8_t>(Yuv444ToRgb_8, MediaFormat_YUV444_8, MediaFormat_RGB8, 2, {128, 128, 0, 128, 128, 255}),
      (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
  EXPECT_EQ(
      ConvertPixels<uint8_t>(Yuv444ToRgb_8, MediaFormat_YUV444_8, MediaFormat_RGB8, 2, {255, 128, 128, 255, 128, 128}),
      (std::vector<uint8_t>{128, 37, 255, 128, 37, 255}));
  // White and black.
  EXPECT_EQ(ConvertPixels<uint8_t>(RgbToYuv444_8, MediaFormat_RGB8, MediaFormat_YUV444_8, 2, {255, 255, 255, 0, 0, 0}),
            (std::vector<uint8_t>{128, 128, 219, 128, 128, 0}));
  // The pair average rounds down: (V, U, Y) pixels with U0 = 10, U1 = 13 pack to U = 11.
  EXPECT_EQ(ConvertPixels<uint8_t>(Yuv444To422_8, MediaFormat_YUV444_8, MediaFormat_YUV422Packed8, 2,
                                   {20, 10, 50, 21, 13, 60}),
            (std::vector<uint8_t>{50, 11, 60, 20}));
  // Float grey, clamped.
  EXPECT_EQ(ConvertPixels<float>(RgbaFloatToMono, MediaFormat_RGBAFloat, MediaFormat_Mono8, 3,
                                 {1, 1, 1, 1, 2, 2, 2, 1, -1, 0, 0, 1}),
            (std::vector<uint8_t>{255, 255, 0}));
}

TEST(WorkedExamples, OddWidthLeavesTheLastColumnOfEveryRow) {
  TestFrame source(MediaFormat_YUV422Packed8, 1919, 3, 0, 0);
  source.FillRandom(1);
  TestFrame target(MediaFormat_RGB8, 1919, 3, 0, kSentinel);
  ASSERT_EQ(Yuv422ToRgb_8(source.record, target.record), S_OK);
  for (int y = 0; y < 3; ++y) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(target.planes[0][y * 1919 * 3 + 1918 * 3 + c], kSentinel);
  }
}

}  // namespace
