// The decoder's built-in clips: source properties, the request honoured, the test pattern's
// colours in every delivered format, moving box, frame counter and fields.
#include <cmath>
#include <vector>

#include "MediaTestSupport.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;
using mediatest::Fetch;
using mediatest::LockedRecord;
using mediatest::OpenDecoder;
using mediatest::Request;

namespace {

constexpr int kWidth = 720, kHeight = 576;
constexpr int kBarRow = 48;  // inside the bars, above the moving box
int BarCentre(int bar) { return kWidth * bar / 8 + kWidth / 16; }

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

TEST(Decoder, DescribesTheBuiltinClip) {
  const auto decoder = OpenDecoder("builtin:interlaced");
  IUnknown* const source = decoder.Get();
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422Packed8, ValueOf<GUID>(source, FrameFormat, GuidValueType)));
  const auto size = ValueOf<VarnicaFrameSize>(source, FrameSizeProperty, FrameSizeValueType);
  EXPECT_EQ(kWidth, size.width);
  EXPECT_EQ(kHeight, size.height);
  const auto rate = ValueOf<VarnicaFrameRate>(source, FrameRateProperty, FrameRateProperty);
  EXPECT_EQ(25, rate.numerator);
  EXPECT_EQ(1, rate.denominator);
  EXPECT_EQ(VideoInterlace_TopFieldFirst, ValueOf<int16_t>(source, VideoInterlaceProperty, VideoInterlaceProperty));
  EXPECT_EQ(250, ValueOf<int32_t>(source, FrameCountProperty, Int32ValueType));
}

TEST(Decoder, FrameCarriesTheRequestAndTheSourceProperties) {
  auto decoder = OpenDecoder("builtin:interlaced");
  ComPtr<IValueSet> request = Request(MediaFormat_RGBA16, 17, 360, 288);
  const VarnicaTimecode asked{17, 50, 2, 7, 0};
  ASSERT_HR(S_OK, vmdx::SetValue(request, TimecodeProperty, TimecodeValueType, asked));
  ComPtr<IVideoFrame> frame;
  ASSERT_HR(S_OK, decoder->GetFrame(request.Get(), IID_IVideoFrame, &frame));
  const auto timecode = ValueOf<VarnicaTimecode>(frame.Get(), TimecodeProperty, TimecodeValueType);
  EXPECT_EQ(0, std::memcmp(&asked, &timecode, sizeof timecode));
  EXPECT_EQ(VideoInterlace_TopFieldFirst,
            ValueOf<int16_t>(frame.Get(), VideoInterlaceProperty, VideoInterlaceProperty));
  EXPECT_EQ(25, ValueOf<VarnicaFrameRate>(frame.Get(), FrameRateProperty, FrameRateProperty).numerator);
  LockedRecord locked(frame.Get());
  ASSERT_HR(S_OK, locked.readResult);
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA16, locked.record.format));
  EXPECT_EQ(360, locked.record.width);
  EXPECT_EQ(288, locked.record.height);
}

TEST(Decoder, RefusesWhatItCannotDeliverAndReportsWhy) {
  ObserverCapture capture;
  auto decoder = NewObject<IVideoDecoder>(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder);
  ComPtr<IVideoFrame> frame;
  EXPECT_HR_LOGGED(capture, E_FAIL, decoder->GetFrame(Request(MediaFormat_RGB8, 0).Get(), IID_IVideoFrame, &frame),
                   "GetFrame: no source opened");
  EXPECT_HR(E_INVALIDARG, decoder->Open("builtin:nothing"));
  ASSERT_HR(S_OK, decoder->Open("builtin:progressive"));
  EXPECT_HR_LOGGED(capture, E_UNSUPPORTED,
                   decoder->GetFrame(Request(MediaFormat_RG16, 0).Get(), IID_IVideoFrame, &frame),
                   "GetFrame: format RG16 is not delivered");
  EXPECT_HR_LOGGED(capture, E_INVALIDARG,
                   decoder->GetFrame(Request(MediaFormat_RGB8, 250).Get(), IID_IVideoFrame, &frame),
                   "GetFrame: frame 250 is outside the clip of 250 frames");
  ComPtr<IValueSet> badSize = Request(MediaFormat_RGB8, 0);
  const VarnicaFrameSize size{-4, 10};
  ASSERT_HR(S_OK, vmdx::SetValue(badSize, FrameSizeProperty, FrameSizeValueType, size));
  EXPECT_HR(E_INVALIDARG, decoder->GetFrame(badSize.Get(), IID_IVideoFrame, &frame));
  EXPECT_HR(E_POINTER, decoder->GetFrame(nullptr, IID_IVideoFrame, &frame));
  EXPECT_EQ(nullptr, frame.Get());
}

// Colours of the white, red and blue bars as each format stores them, from BT.601 full range:
// red Y 76.2, U 85.0, V 255.5; blue Y 29.1, U 255.5, V 107.3 (8-bit units).
struct BarColour {
  int bar;
  double r, g, b, y, u, v;
};
const BarColour kColours[] = {
    {0, 255, 255, 255, 255, 128, 128},
    {5, 255, 0, 0, 76.245, 84.97, 255.5},
    {6, 0, 0, 255, 29.07, 255.5, 107.26},
};

struct FormatCase {
  const GUID* format;
  const char* name;
};
const FormatCase kFormats[] = {
    {&MediaFormat_YUV422Packed8, "YUV422Packed8"},
    {&MediaFormat_YUVA422Packed8, "YUVA422Packed8"},
    {&MediaFormat_YUV422Packed10, "YUV422Packed10"},
    {&MediaFormat_YUVA422Packed10, "YUVA422Packed10"},
    {&MediaFormat_YUV422SemiPlanar8, "YUV422SemiPlanar8"},
    {&MediaFormat_YUV444_8, "YUV444_8"},
    {&MediaFormat_YUVA444_8, "YUVA444_8"},
    {&MediaFormat_YUV444_16, "YUV444_16"},
    {&MediaFormat_YUVA444_16, "YUVA444_16"},
    {&MediaFormat_Mono8, "Mono8"},
    {&MediaFormat_RGB8, "RGB8"},
    {&MediaFormat_RGBA8, "RGBA8"},
    {&MediaFormat_RGBX8, "RGBX8"},
    {&MediaFormat_ARGB8, "ARGB8"},
    {&MediaFormat_RGB16, "RGB16"},
    {&MediaFormat_RGBA16, "RGBA16"},
    {&MediaFormat_ARGB16, "ARGB16"},
    {&MediaFormat_RGBAFloat, "RGBAFloat"},
};

// Channel values of the pixel at x in row y, in 8-bit units: (first, second, third) are
// (R, G, B) for RGB formats and (Y, U, V) for YUV ones; Mono gives Y only.
std::vector<double> Channels(const GUID& f, const LockedRecord& l, int x, int y) {
  auto at = [&](int plane, int bpp) { return l.Pixel(plane, x, bpp, y); };
  if (IsEqualGUID(f, MediaFormat_YUV422Packed8) || IsEqualGUID(f, MediaFormat_YUVA422Packed8)) {
    const uint8_t* p = l.Pixel(0, x & ~1, 2, y);
    return {double(p[(x & 1) * 2]), double(p[1]), double(p[3])};
  }
  if (IsEqualGUID(f, MediaFormat_YUV422Packed10) || IsEqualGUID(f, MediaFormat_YUVA422Packed10)) {
    const uint8_t* p = l.Pixel(0, x & ~1, 4, y);
    return {Word(p + (x & 1) * 4) / 4.0, Word(p + 2) / 4.0, Word(p + 6) / 4.0};
  }
  if (IsEqualGUID(f, MediaFormat_YUV422SemiPlanar8)) {
    const uint8_t* c = l.Pixel(1, x & ~1, 1, y);
    return {double(*at(0, 1)), double(c[1]), double(c[0])};
  }
  if (IsEqualGUID(f, MediaFormat_YUV444_8) || IsEqualGUID(f, MediaFormat_YUVA444_8)) {
    const uint8_t* p = at(0, IsEqualGUID(f, MediaFormat_YUV444_8) ? 3 : 4);
    return {double(p[2]), double(p[1]), double(p[0])};
  }
  if (IsEqualGUID(f, MediaFormat_YUV444_16) || IsEqualGUID(f, MediaFormat_YUVA444_16)) {
    const uint8_t* p = at(0, IsEqualGUID(f, MediaFormat_YUV444_16) ? 6 : 8);
    return {Word(p + 4) / 256.0, Word(p + 2) / 256.0, Word(p) / 256.0};
  }
  if (IsEqualGUID(f, MediaFormat_Mono8)) return {double(*at(0, 1))};
  if (IsEqualGUID(f, MediaFormat_RGB8) || IsEqualGUID(f, MediaFormat_RGBA8) || IsEqualGUID(f, MediaFormat_RGBX8)) {
    const uint8_t* p = at(0, IsEqualGUID(f, MediaFormat_RGB8) ? 3 : 4);
    return {double(p[2]), double(p[1]), double(p[0])};
  }
  if (IsEqualGUID(f, MediaFormat_ARGB8)) {
    const uint8_t* p = at(0, 4);
    EXPECT_EQ(255, p[0]) << "alpha first";
    return {double(p[1]), double(p[2]), double(p[3])};
  }
  if (IsEqualGUID(f, MediaFormat_RGB16) || IsEqualGUID(f, MediaFormat_RGBA16)) {
    const uint8_t* p = at(0, IsEqualGUID(f, MediaFormat_RGB16) ? 6 : 8);
    return {Word(p + 4) / 257.0, Word(p + 2) / 257.0, Word(p) / 257.0};
  }
  if (IsEqualGUID(f, MediaFormat_ARGB16)) {
    const uint8_t* p = at(0, 8);
    EXPECT_EQ(0xFFFF, Word(p)) << "alpha first";
    return {Word(p + 2) / 257.0, Word(p + 4) / 257.0, Word(p + 6) / 257.0};
  }
  const float* p = reinterpret_cast<const float*>(at(0, 16));  // RGBAFloat: B, G, R, A
  return {p[2] * 255.0, p[1] * 255.0, p[0] * 255.0};
}

TEST(Decoder, BarsHaveTheirColoursInEveryDeliveredFormat) {
  auto decoder = OpenDecoder("builtin:progressive");
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(c.name);
    auto frame = Fetch(decoder.Get(), *c.format, 3);
    ASSERT_NE(nullptr, frame.Get());
    LockedRecord locked(frame.Get());
    ASSERT_HR(S_OK, locked.readResult);
    ASSERT_TRUE(IsEqualGUID(*c.format, locked.record.format));
    const bool yuv = std::string(c.name).rfind("YUV", 0) == 0 || std::string(c.name) == "Mono8";
    for (const BarColour& bar : kColours) {
      SCOPED_TRACE(bar.bar);
      const std::vector<double> got = Channels(*c.format, locked, BarCentre(bar.bar), kBarRow);
      const double want[3] = {yuv ? bar.y : bar.r, yuv ? bar.u : bar.g, yuv ? bar.v : bar.b};
      for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(std::min(want[k], 255.0), got[k], 1.0) << "channel " << k;
    }
  }
}

// Luma of frame n along the box's rows, progressive or interlaced.
std::vector<uint8_t> LumaRow(IVideoDecoder* decoder, int64_t n, int row) {
  auto frame = Fetch(decoder, MediaFormat_Mono8, n);
  LockedRecord locked(frame.Get());
  EXPECT_HR(S_OK, locked.readResult);
  if (FAILED(locked.readResult)) return {};
  const uint8_t* p = locked.Pixel(0, 0, 1, row);
  return std::vector<uint8_t>(p, p + kWidth);
}

// Columns where the box's grey fill (128) replaces the bars.
int FirstGreyColumn(const std::vector<uint8_t>& row) {
  for (size_t x = 0; x < row.size(); ++x) {
    if (row[x] == 128) return static_cast<int>(x);
  }
  return -1;
}

TEST(Decoder, BoxMovesFromFrameToFrameAndBetweenFields) {
  const int boxRow = 240, boxRowBelow = 241;  // a first-field and a second-field row inside the box
  auto progressive = OpenDecoder("builtin:progressive");
  const int at0 = FirstGreyColumn(LumaRow(progressive.Get(), 0, boxRow));
  const int at1 = FirstGreyColumn(LumaRow(progressive.Get(), 1, boxRow));
  ASSERT_GE(at0, 0);
  EXPECT_GT(at1, at0);
  EXPECT_EQ(at1, FirstGreyColumn(LumaRow(progressive.Get(), 1, boxRowBelow)));  // frames: all rows agree

  auto interlaced = OpenDecoder("builtin:interlaced");
  const int first = FirstGreyColumn(LumaRow(interlaced.Get(), 1, boxRow));
  const int second = FirstGreyColumn(LumaRow(interlaced.Get(), 1, boxRowBelow));
  EXPECT_EQ(at1, first);
  EXPECT_GT(second, first);  // the second field is half a frame later
  EXPECT_LT(second, FirstGreyColumn(LumaRow(interlaced.Get(), 2, boxRow)));
}

TEST(Decoder, FrameNumberIsDrawnBelowTheBars) {
  auto decoder = OpenDecoder("builtin:progressive");
  // The digits sit on white paper at the left of the ramp: frames 1 and 7 differ there only by
  // their digit, whose top rows are a dot and a bar.
  const int row = 384 + (192 - 7 * 6) / 2 + 3;  // inside the digits' first font row
  const std::vector<uint8_t> one = LumaRow(decoder.Get(), 1, row);
  const std::vector<uint8_t> seven = LumaRow(decoder.Get(), 7, row);
  ASSERT_EQ(one.size(), seven.size());
  int ink = 0, differ = 0;
  for (int x = 22; x < 22 + 30; ++x) {
    ink += one[x] == 0;
    differ += one[x] != seven[x];
  }
  EXPECT_GT(ink, 0);
  EXPECT_GT(differ, 0);
  EXPECT_TRUE(std::equal(one.begin() + 80, one.end(), seven.begin() + 80));  // the ramp is the same
}

// An odd width ends 4:2:2 rows in half a pair: the writer keeps within each plane's row bytes,
// so the zeroed padding of the frame's pitch stays zero.
TEST(Decoder, OddWidthsStayInsideTheRows) {
  auto decoder = OpenDecoder("builtin:progressive");
  for (const GUID* format : {&MediaFormat_YUV422Packed8, &MediaFormat_YUV422Packed10, &MediaFormat_YUV422SemiPlanar8,
                             &MediaFormat_YUVA422Packed8, &MediaFormat_RGB8}) {
    SCOPED_TRACE(VarnicaMediaNameOf(format, 0, 0));
    auto frame = Fetch(decoder.Get(), *format, 0, 361, 5);
    LockedRecord locked(frame.Get());
    ASSERT_HR(S_OK, locked.readResult);
    int32_t rowBytes[kMaxVideoPlanes] = {};
    const int32_t planes =
        GetFormatVideoPlaneLayout(format, 361, 5, kMaxVideoPlanes, nullptr, rowBytes, nullptr, nullptr, nullptr);
    for (int32_t i = 0; i < planes; ++i) {
      for (int y = 0; y < 5; ++y) {
        const uint8_t* row = locked.record.planes[i].data + y * locked.record.planes[i].pitch;
        for (int64_t b = rowBytes[i]; b < locked.record.planes[i].pitch; ++b)
          ASSERT_EQ(0, row[b]) << "plane " << i << " row " << y << " byte " << b;
      }
    }
  }
}

}  // namespace
