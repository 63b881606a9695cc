// The decoder on Y4M files, where the reader's own tests cannot see: header values as source
// properties, samples placed into the delivered formats (passed through, chroma spread, video
// range made full range for RGB), and damaged files reported with the file's name and the codes
// a host gets.
#include <cstdio>
#include <string>
#include <vector>

#include "MediaTestSupport.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;
using mediatest::Fetch;
using mediatest::Request;

namespace {

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
      {"YUV4MPEG2 W4 F25:1 C422\n" + frame, -1, E_FAIL, ": header: width and height missing"},
      {"P6\n4 2\n255\n", -1, E_FAIL, ": not a Y4M file"},
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
  ObserverCapture capture;
  Open("missing.y4m", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(capture.Contains("missing.y4m: cannot open the file"));
}

}  // namespace
