// The decoder: its built-in clips (source properties, the request honoured, the test pattern's
// colours in every delivered format, moving box, frame counter and fields; the 360-degree and
// stereo pictures) and Y4M files.
#include <cmath>
#include <cstdio>
#include <string>
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

// Every built-in clip names its format and size; the interlaced one also its rate, field order
// and length.
TEST(Decoder, DescribesTheBuiltinClips) {
  const struct {
    const char* name;
    const GUID* format;
    int width, height;
  } clips[] = {{"builtin:interlaced", &MediaFormat_YUV422Packed8, kWidth, kHeight},
               {"builtin:sphere", &MediaFormat_RGBA8, 2048, 1024},
               {"builtin:sphere-lr", &MediaFormat_RGBA8, 4096, 1024},
               {"builtin:sphere-tb", &MediaFormat_RGBA8, 2048, 2048},
               {"builtin:stereo", &MediaFormat_RGBA8, 2048, 1024},
               {"builtin:stereo-tb", &MediaFormat_RGBA8, 1024, 2048}};
  for (const auto& c : clips) {
    SCOPED_TRACE(c.name);
    auto decoder = OpenDecoder(c.name);
    EXPECT_TRUE(IsEqualGUID(*c.format, ValueOf<GUID>(decoder.Get(), FrameFormat, GuidValueType)));
    const auto size = ValueOf<VarnicaFrameSize>(decoder.Get(), FrameSizeProperty, FrameSizeValueType);
    EXPECT_EQ(c.width, size.width);
    EXPECT_EQ(c.height, size.height);
  }
  const auto source = OpenDecoder("builtin:interlaced");
  const auto rate = ValueOf<VarnicaFrameRate>(source.Get(), FrameRateProperty, FrameRateProperty);
  EXPECT_EQ(25, rate.numerator);
  EXPECT_EQ(1, rate.denominator);
  EXPECT_EQ(VideoInterlace_TopFieldFirst,
            ValueOf<int16_t>(source.Get(), VideoInterlaceProperty, VideoInterlaceProperty));
  EXPECT_EQ(250, ValueOf<int32_t>(source.Get(), FrameCountProperty, Int32ValueType));
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

// Where each delivered format keeps the three channels (R, G, B or Y, U, V) of a pixel: byte
// offsets in a pixel of `bytes` bytes (0: the 4:2:2 forms, read by pairs), samples of `size`
// bytes (4: float) divided by scale into 8-bit units, and the offset of an alpha that must be
// opaque (-1: none to check).
struct Layout {
  const GUID* format;
  int bytes, size, at[3];
  double scale;
  int alpha;
};
const Layout kLayouts[] = {
    {&MediaFormat_YUV422Packed8, 0, 1, {}, 1, -1},       {&MediaFormat_YUVA422Packed8, 0, 1, {}, 1, -1},
    {&MediaFormat_YUV422Packed10, 0, 2, {}, 4, -1},      {&MediaFormat_YUVA422Packed10, 0, 2, {}, 4, -1},
    {&MediaFormat_YUV422SemiPlanar8, 0, 1, {}, 1, -1},   {&MediaFormat_YUV444_8, 3, 1, {2, 1, 0}, 1, -1},
    {&MediaFormat_YUVA444_8, 4, 1, {2, 1, 0}, 1, -1},    {&MediaFormat_YUV444_16, 6, 2, {4, 2, 0}, 256, -1},
    {&MediaFormat_YUVA444_16, 8, 2, {4, 2, 0}, 256, -1}, {&MediaFormat_Mono8, 1, 1, {0, -1, -1}, 1, -1},
    {&MediaFormat_RGB8, 3, 1, {2, 1, 0}, 1, -1},         {&MediaFormat_RGBA8, 4, 1, {2, 1, 0}, 1, -1},
    {&MediaFormat_RGBX8, 4, 1, {2, 1, 0}, 1, -1},        {&MediaFormat_ARGB8, 4, 1, {1, 2, 3}, 1, 0},
    {&MediaFormat_RGB16, 6, 2, {4, 2, 0}, 257, -1},      {&MediaFormat_RGBA16, 8, 2, {4, 2, 0}, 257, -1},
    {&MediaFormat_ARGB16, 8, 2, {2, 4, 6}, 257, 0},      {&MediaFormat_RGBAFloat, 16, 4, {8, 4, 0}, 1, -1},
};

// Channel values of the pixel at x in row y, in 8-bit units; Mono gives Y only.
std::vector<double> Channels(const Layout& f, const LockedRecord& l, int x, int y) {
  auto sample = [&](const uint8_t* p) {
    return f.size == 4 ? *reinterpret_cast<const float*>(p) * 255.0 : (f.size == 2 ? Word(p) : *p) / f.scale;
  };
  if (IsEqualGUID(*f.format, MediaFormat_YUV422SemiPlanar8)) {  // luma plane, then (V, U) pairs
    const uint8_t* c = l.Pixel(1, x & ~1, 1, y);
    return {double(*l.Pixel(0, x, 1, y)), double(c[1]), double(c[0])};
  }
  if (f.bytes == 0) {  // Y0 U Y1 V
    const uint8_t* p = l.Pixel(0, x & ~1, 2 * f.size, y);
    return {sample(p + (x & 1) * 2 * f.size), sample(p + f.size), sample(p + 3 * f.size)};
  }
  const uint8_t* p = l.Pixel(0, x, f.bytes, y);
  if (f.alpha >= 0) {
    EXPECT_EQ(f.size == 1 ? 0xFF : 0xFFFF, f.size == 1 ? p[f.alpha] : Word(p + f.alpha)) << "alpha";
  }
  std::vector<double> channels;
  for (int at : f.at)
    if (at >= 0) channels.push_back(sample(p + at));
  return channels;
}

TEST(Decoder, BarsHaveTheirColoursInEveryDeliveredFormat) {
  auto decoder = OpenDecoder("builtin:progressive");
  for (const Layout& layout : kLayouts) {
    const std::string name = VarnicaMediaNameOf(layout.format, 0, 0);
    SCOPED_TRACE(name);
    auto frame = Fetch(decoder.Get(), *layout.format, 3);
    ASSERT_NE(nullptr, frame.Get());
    LockedRecord locked(frame.Get());
    ASSERT_HR(S_OK, locked.readResult);
    ASSERT_TRUE(IsEqualGUID(*layout.format, locked.record.format));
    const bool yuv = name.rfind("YUV", 0) == 0 || name == "Mono8";
    for (const BarColour& bar : kColours) {
      SCOPED_TRACE(bar.bar);
      const std::vector<double> got = Channels(layout, locked, BarCentre(bar.bar), kBarRow);
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

// The built-in 360-degree and stereo clips: what each name delivers, the sphere's poles and
// directions, and the disparities the stereo pictures promise.
// Frame 7 of a built-in clip, which must come at the asked size.
Picture ClipFrame(const char* name, int width, int height) {
  const Picture f = mediatest::ClipPicture(name, 7, width, height);
  EXPECT_TRUE(f.width == width && f.height == height) << name;
  return f.width == width && f.height == height ? f : Picture{};
}

// First column from x0 on whose pixel in row y is rgb, or -1.
int Find(const Picture& f, int y, int x0, uint32_t rgb) {
  for (int x = x0; x >= 0 && x < f.width; ++x)
    if (f.Rgb(x, y) == rgb) return x;
  return -1;
}

// Red north pole, blue south pole, north in the middle, east amber at three quarters; in the
// side-by-side sphere the labels of the left eye stand 2 degrees east of the right eye's.
TEST(DecoderPatternClips, SphereShowsPolesDirectionsAndLabelDisparity) {
  const Picture mono = ClipFrame("builtin:sphere", 720, 360);
  ASSERT_EQ(720, mono.width);
  EXPECT_EQ(0xDC3232u, mono.Rgb(100, 2));
  EXPECT_EQ(0x2846DCu, mono.Rgb(100, 357));
  EXPECT_EQ(0x78AAFFu, mono.Rgb(370, 100)) << "north sky";
  EXPECT_EQ(0xFFC86Eu, mono.Rgb(550, 100)) << "east sky";
  EXPECT_EQ(0x785A28u, mono.Rgb(550, 260)) << "east ground";

  const int eye = 1440;
  const Picture lr = ClipFrame("builtin:sphere-lr", 2 * eye, 720);
  const int row = 360 - 12 * 720 / 180;  // the cardinal letters' middle row
  // The white label box around "N", found from 20 degrees west of north in each eye.
  const int left = Find(lr, row, eye / 2 - eye / 18, 0xFFFFFF);
  const int right = Find(lr, row, eye + eye / 2 - eye / 18, 0xFFFFFF) - eye;
  ASSERT_GT(left, 0);
  EXPECT_EQ(8, left - right) << "2 degrees of a 1440-pixel eye";
}

// The stereo pair: the square stands in front by a 32nd of the eye's width, the disc behind by
// half of that.
TEST(DecoderPatternClips, StereoPairHasItsDisparities) {
  for (const char* name : {"builtin:stereo", "builtin:stereo-tb"}) {
    const bool tb = std::string(name).find("tb") != std::string::npos;
    const Picture f = tb ? ClipFrame(name, 640, 1280) : ClipFrame(name, 1280, 640);
    const int w = 640, h = 640;
    auto eyeColumn = [&](int eye, int x0, uint32_t rgb) {
      const int left = tb ? 0 : eye * w, top = tb ? eye * h : 0;
      const int x = Find(f, top + h / 2, left + x0, rgb);
      return x < 0 ? -1 : x - left;
    };
    const int squareL = eyeColumn(0, w * 7 / 16, 0x000000), squareR = eyeColumn(1, w * 7 / 16, 0x000000);
    const int discL = eyeColumn(0, 0, 0xEBEBEB), discR = eyeColumn(1, 0, 0xEBEBEB);
    ASSERT_GT(squareR, 0) << name;
    EXPECT_EQ(w / 32, squareL - squareR) << name;
    EXPECT_EQ(-w / 64, discL - discR) << name;
  }
}

// The decoder on Y4M files, where the reader's own tests cannot see: header values as source
// properties, samples placed into the delivered formats (passed through, chroma spread, video
// range made full range for RGB), and damaged files reported with the file's name and the codes
// a host gets.
class Y4mFile {
 public:
  Y4mFile(const std::string& name, const std::string& content) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    path = std::string(dir) + "vmdx_media_" + std::to_string(GetCurrentProcessId()) + "_" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
      std::fwrite(content.data(), 1, content.size(), f);
      std::fclose(f);
    }
  }
  ~Y4mFile() { std::remove(path.c_str()); }
  std::string path;
};

// Samples base, base + step, ... of `bytes` bytes each (little-endian), so every sample differs.
std::string Plane(int count, int base, int bytes = 1, int step = 1) {
  std::string s;
  for (int i = 0; i < count; ++i)
    for (int b = 0; b < bytes; ++b) s.push_back(static_cast<char>((base + step * i) >> (8 * b)));
  return s;
}

ComPtr<IVideoDecoder> Open(const std::string& path, HRESULT expected = S_OK) {
  auto decoder = NewObject<IVideoDecoder>(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder);
  EXPECT_HR(expected, decoder->Open(path.c_str()));
  return decoder;
}

TEST(Y4m, HeaderValuesBecomeSourceProperties) {
  const std::string frame = "FRAME\n" + Plane(12, 20) + Plane(6, 100) + Plane(6, 150);
  Y4mFile file("422.y4m", "YUV4MPEG2 W6 H2 F30000:1001 It A12:11 C422 XYSCSS=422\n" + frame + frame);
  auto decoder = Open(file.path);
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422Packed8, ValueOf<GUID>(decoder.Get(), FrameFormat, GuidValueType)));
  const auto rate = ValueOf<VarnicaFrameRate>(decoder.Get(), FrameRateProperty, FrameRateProperty);
  EXPECT_EQ(30000, rate.numerator);
  EXPECT_EQ(1001, rate.denominator);
  EXPECT_EQ(
      12,
      ValueOf<VarnicaPixelAspectRatio>(decoder.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType).numerator);
  EXPECT_EQ(VideoInterlace_TopFieldFirst,
            ValueOf<int16_t>(decoder.Get(), VideoInterlaceProperty, VideoInterlaceProperty));
  EXPECT_EQ(2, ValueOf<int32_t>(decoder.Get(), FrameCountProperty, Int32ValueType));
  Y4mFile file10("p10.y4m", "YUV4MPEG2 W2 H1 F25:1 C422p10\nFRAME\n" + Plane(4, 0, 2));
  EXPECT_TRUE(
      IsEqualGUID(MediaFormat_YUV422Packed10, ValueOf<GUID>(Open(file10.path).Get(), FrameFormat, GuidValueType)));
}

TEST(Y4m, SamplesLandWhereEachDeliveredFormatKeepsThem) {
  const std::string c422 = "W6 H2 C422\nFRAME\n" + Plane(12, 20) + Plane(6, 100) + Plane(6, 150);
  const std::string c420 = "W4 H4 C420jpeg\nFRAME\n" + Plane(16, 0) + Plane(4, 60) + Plane(4, 90);
  const std::string c444 = "W2 H1 C444\nFRAME\n" + Plane(2, 10) + Plane(2, 40) + Plane(2, 70);
  const std::string c10 = "W2 H1 C422p10\nFRAME\n" + Plane(2, 64, 2, 3) + Plane(1, 512, 2) + Plane(1, 940, 2);
  const std::string mono = "W3 H1 Cmono\nFRAME\n" + Plane(3, 200);
  // Video-range white and black (no range tag means video range).
  const std::string range = "W2 H1 C444\nFRAME\n\xEB\x10\x80\x80\x80\x80";
  const struct {
    const char* what;
    const std::string& content;  // after "YUV4MPEG2 "
    const GUID* format;
    int x, y, bytesPerPixel;
    std::vector<int> bytes;
  } cases[] = {
      {"4:2:2 as Y0 U Y1 V, the last pair of row 1", c422, &MediaFormat_YUV422Packed8, 4, 1, 2, {30, 105, 31, 155}},
      {"4:2:0 rows 0 and 1 share chroma row 0", c420, &MediaFormat_YUV422Packed8, 2, 1, 2, {6, 61, 7, 91}},
      {"4:2:0 row 3 takes chroma row 1", c420, &MediaFormat_YUV422Packed8, 2, 3, 2, {14, 63, 15, 93}},
      {"4:4:4 as V U Y", c444, &MediaFormat_YUV444_8, 1, 0, 3, {71, 41, 11}},
      {"10 bits", c10, &MediaFormat_YUV422Packed10, 0, 0, 4, {64, 0, 0, 2, 67, 0, 0xAC, 3}},
      {"mono", mono, &MediaFormat_Mono8, 2, 0, 1, {202}},
      {"mono has neutral chroma", mono, &MediaFormat_YUV422Packed8, 0, 0, 2, {200, 128, 201, 128}},
      {"video range white as full-range RGB", range, &MediaFormat_RGB8, 0, 0, 3, {255, 255, 255}},
      {"video range black as full-range RGB", range, &MediaFormat_RGB8, 1, 0, 3, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Y4mFile file("samples.y4m", "YUV4MPEG2 F25:1 " + c.content);
    auto frame = Fetch(Open(file.path).Get(), *c.format, 0);
    const mediatest::LockedRecord locked(frame.Get());
    ASSERT_HR(S_OK, locked.readResult);
    const uint8_t* p = locked.Pixel(0, c.x, c.bytesPerPixel, c.y);
    EXPECT_EQ(c.bytes, std::vector<int>(p, p + c.bytes.size()));
  }
  // The range travels with the source and its YUV frames; RGB frames are made full range.
  Y4mFile file("range.y4m", "YUV4MPEG2 W2 H1 F25:1 C444\nFRAME\n" + Plane(6, 0));
  auto decoder = Open(file.path);
  EXPECT_EQ(ColorRange_Video, ValueOf<int32_t>(decoder.Get(), ColorRangeProperty, Int32ValueType));
  EXPECT_EQ(ColorRange_Video,
            ValueOf<int32_t>(Fetch(decoder.Get(), MediaFormat_YUV444_8, 0).Get(), ColorRangeProperty, Int32ValueType));
  EXPECT_EQ(ColorRange_Full,
            ValueOf<int32_t>(Fetch(decoder.Get(), MediaFormat_RGB8, 0).Get(), ColorRangeProperty, Int32ValueType));
}

TEST(Y4m, DamagedFilesNameTheFileAndGiveTheHostsCodes) {
  const std::string header = "YUV4MPEG2 W4 H2 F25:1 C422\n";
  const std::string frame = "FRAME\n" + Plane(16, 0);
  const struct {
    std::string content;
    int64_t frame;  // -1: the file is refused when opened
    HRESULT code;
    const char* text;  // after the file's path
  } cases[] = {
      {header + frame + frame + "FRAME\n" + Plane(5, 0), 2, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF),
       ": frame 2: truncated (5 of 16 bytes)"},
      {header + frame + "FRAMX\n" + Plane(16, 0), 1, E_FAIL, ": frame 1: no FRAME marker"},
      {"YUV4MPEG2 W4 H2 F25:1 C411\n", -1, E_UNSUPPORTED, ": header: colour space C411 is not supported"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Y4mFile file("damaged.y4m", c.content);
    ObserverCapture capture;
    auto decoder = Open(file.path, c.frame < 0 ? c.code : S_OK);
    ComPtr<IVideoFrame> out;
    if (c.frame >= 0) {
      // The frames before the damage decode.
      EXPECT_HR(S_OK, decoder->GetFrame(Request(MediaFormat_RGB8, c.frame - 1).Get(), IID_IVideoFrame, &out));
      out.Reset();
      EXPECT_HR(c.code, decoder->GetFrame(Request(MediaFormat_RGB8, c.frame).Get(), IID_IVideoFrame, &out));
      EXPECT_EQ(nullptr, out.Get());
    }
    EXPECT_TRUE(capture.Contains(file.path + c.text)) << capture.Text();
  }
}

}  // namespace
