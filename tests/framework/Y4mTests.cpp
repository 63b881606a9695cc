// The decoder on Y4M files: samples passed through to YUV formats, subsampled chroma spread,
// video range converted for RGB, header values, and damaged files named with their frame.
#include <cstdio>
#include <string>
#include <vector>

#include "VarnicaFrameAccess.h"
#include "MediaTestSupport.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;
using mediatest::Fetch;
using mediatest::LockedRecord;
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

// Sample bytes of one frame: each plane filled with base + index (8-bit) so every sample differs.
std::string Plane(int count, int base) {
  std::string s;
  for (int i = 0; i < count; ++i) s.push_back(static_cast<char>(base + i));
  return s;
}

std::string Plane16(int count, int base) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    const int v = base + 3 * i;
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
  }
  return s;
}

ComPtr<IVideoDecoder> Open(const std::string& path, HRESULT expected = S_OK) {
  ComPtr<IVideoDecoder> decoder;
  EXPECT_HR(S_OK, CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder));
  EXPECT_HR(expected, decoder->Open(path.c_str()));
  return decoder;
}

TEST(Y4m, Packed422PassesSamplesThroughAndCarriesTheHeader) {
  // 6 x 2, 4:2:2: Y 12 samples, U and V 6 each.
  const std::string frame = Plane(12, 20) + Plane(6, 100) + Plane(6, 150);
  Y4mFile file("422.y4m", "YUV4MPEG2 W6 H2 F30000:1001 It A12:11 C422 XYSCSS=422\nFRAME\n" + frame +
                              "FRAME\n" + frame);
  auto decoder = Open(file.path);
  ComPtr<IValueSet> source;
  ASSERT_HR(S_OK, decoder->GetValueSet(&source));
  GUID format{};
  VarnicaFrameRate rate{};
  VarnicaPixelAspectRatio aspect{};
  int16_t interlace = 0;
  int32_t count = 0;
  ASSERT_HR(S_OK, vmdx::GetValue(source, FrameFormat, GuidValueType, &format));
  ASSERT_HR(S_OK, vmdx::GetValue(source, FrameRateProperty, FrameRateProperty, &rate));
  ASSERT_HR(S_OK, vmdx::GetValue(source, PixelAspectRatioProperty, PixelAspectRatioValueType, &aspect));
  ASSERT_HR(S_OK, vmdx::GetValue(source, VideoInterlaceProperty, VideoInterlaceProperty, &interlace));
  ASSERT_HR(S_OK, vmdx::GetValue(source, FrameCountProperty, Int32ValueType, &count));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422Packed8, format));
  EXPECT_EQ(30000, rate.numerator);
  EXPECT_EQ(1001, rate.denominator);
  EXPECT_EQ(12, aspect.numerator);
  EXPECT_EQ(VideoInterlace_TopFieldFirst, interlace);
  EXPECT_EQ(2, count);

  auto out = Fetch(decoder.Get(), MediaFormat_YUV422Packed8, 1);
  LockedRecord locked(out.Get());
  ASSERT_HR(S_OK, locked.readResult);
  for (int y = 0; y < 2; ++y) {
    for (int pair = 0; pair < 3; ++pair) {
      const uint8_t* p = locked.Pixel(0, 2 * pair, 2, y);
      EXPECT_EQ(20 + y * 6 + 2 * pair, p[0]);
      EXPECT_EQ(100 + y * 3 + pair, p[1]);
      EXPECT_EQ(20 + y * 6 + 2 * pair + 1, p[2]);
      EXPECT_EQ(150 + y * 3 + pair, p[3]);
    }
  }
}

TEST(Y4m, Chroma420IsSharedByRowPairsAnd444KeepsEveryPixel) {
  // 4 x 4, 4:2:0: chroma 2 x 2.
  Y4mFile file420("420.y4m", "YUV4MPEG2 W4 H4 F25:1 C420jpeg\nFRAME\n" + Plane(16, 0) + Plane(4, 60) + Plane(4, 90));
  auto out = Fetch(Open(file420.path).Get(), MediaFormat_YUV422Packed8, 0);
  LockedRecord locked(out.Get());
  ASSERT_HR(S_OK, locked.readResult);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(60 + (y / 2) * 2 + 1, locked.Pixel(0, 2, 2, y)[1]) << "U of row " << y;
    EXPECT_EQ(90 + (y / 2) * 2 + 1, locked.Pixel(0, 2, 2, y)[3]) << "V of row " << y;
  }

  Y4mFile file444("444.y4m", "YUV4MPEG2 W2 H1 F25:1 C444\nFRAME\n" + Plane(2, 10) + Plane(2, 40) + Plane(2, 70));
  auto yuv = Fetch(Open(file444.path).Get(), MediaFormat_YUV444_8, 0);
  LockedRecord locked444(yuv.Get());
  ASSERT_HR(S_OK, locked444.readResult);
  const uint8_t* p = locked444.Pixel(0, 1, 3, 0);
  EXPECT_EQ(71, p[0]);  // V
  EXPECT_EQ(41, p[1]);  // U
  EXPECT_EQ(11, p[2]);  // Y
}

TEST(Y4m, TenBitAndMonoKeepTheirSamples) {
  Y4mFile file10("p10.y4m", "YUV4MPEG2 W2 H1 F25:1 C422p10\nFRAME\n" + Plane16(2, 64) + Plane16(1, 512) +
                                Plane16(1, 940));
  auto decoder10 = Open(file10.path);
  ComPtr<IValueSet> source;
  ASSERT_HR(S_OK, decoder10->GetValueSet(&source));
  GUID format{};
  ASSERT_HR(S_OK, vmdx::GetValue(source, FrameFormat, GuidValueType, &format));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422Packed10, format));
  auto out = Fetch(decoder10.Get(), MediaFormat_YUV422Packed10, 0);
  LockedRecord locked(out.Get());
  ASSERT_HR(S_OK, locked.readResult);
  const uint16_t* w = reinterpret_cast<const uint16_t*>(locked.Pixel(0, 0, 4, 0));
  EXPECT_EQ(64, w[0]);
  EXPECT_EQ(512, w[1]);
  EXPECT_EQ(67, w[2]);
  EXPECT_EQ(940, w[3]);

  Y4mFile mono("mono.y4m", "YUV4MPEG2 W3 H1 F25:1 Cmono\nFRAME\n" + Plane(3, 200));
  auto decoderMono = Open(mono.path);
  auto grey = Fetch(decoderMono.Get(), MediaFormat_Mono8, 0);
  LockedRecord lockedGrey(grey.Get());
  ASSERT_HR(S_OK, lockedGrey.readResult);
  EXPECT_EQ(202, lockedGrey.Pixel(0, 2, 1, 0)[0]);
  auto packed = Fetch(decoderMono.Get(), MediaFormat_YUV422Packed8, 0);
  LockedRecord lockedPacked(packed.Get());
  ASSERT_HR(S_OK, lockedPacked.readResult);
  EXPECT_EQ(128, lockedPacked.Pixel(0, 0, 2, 0)[1]);  // no chroma: neutral
}

TEST(Y4m, VideoRangeBecomesFullRangeRgb) {
  // Pixel 0 video-range white, pixel 1 black; range tag absent means video range.
  const std::string frame = std::string("\xEB\x10", 2) + std::string("\x80\x80", 2) + std::string("\x80\x80", 2);
  Y4mFile file("range.y4m", "YUV4MPEG2 W2 H1 F25:1 C444\nFRAME\n" + frame);
  auto decoder = Open(file.path);
  auto rgb = Fetch(decoder.Get(), MediaFormat_RGB8, 0);
  // The range travels with the source and its YUV frames; RGB frames are made full range.
  auto rangeOf = [](IUnknown* object) {
    ComPtr<IValueSet> values;
    int32_t range = -1;
    if (SUCCEEDED(object->QueryInterface(IID_IValueSet, &values)))
      vmdx::GetValue(values, ColorRangeProperty, Int32ValueType, &range);
    return range;
  };
  ComPtr<IValueSet> source;
  ASSERT_HR(S_OK, decoder->GetValueSet(&source));
  EXPECT_EQ(ColorRange_Video, rangeOf(source.Get()));
  EXPECT_EQ(ColorRange_Video, rangeOf(Fetch(decoder.Get(), MediaFormat_YUV444_8, 0).Get()));
  EXPECT_EQ(ColorRange_Full, rangeOf(rgb.Get()));
  LockedRecord locked(rgb.Get());
  ASSERT_HR(S_OK, locked.readResult);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(255, locked.Pixel(0, 0, 3, 0)[k]);
    EXPECT_EQ(0, locked.Pixel(0, 1, 3, 0)[k]);
  }
}

TEST(Y4m, DamagedFilesNameTheFileAndTheFrame) {
  ObserverCapture capture;
  const std::string header = "YUV4MPEG2 W4 H2 F25:1 C422\n";
  const std::string frame = "FRAME\n" + Plane(16, 0);
  Y4mFile truncated("truncated.y4m", header + frame + frame + "FRAME\n" + Plane(5, 0));
  auto decoder = Open(truncated.path);
  ComPtr<IVideoFrame> out;
  EXPECT_HR(S_OK, decoder->GetFrame(Request(MediaFormat_RGB8, 1).Get(), IID_IVideoFrame, &out));
  out.Reset();
  EXPECT_HR(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF),
            decoder->GetFrame(Request(MediaFormat_RGB8, 2).Get(), IID_IVideoFrame, &out));
  EXPECT_EQ(nullptr, out.Get());
  EXPECT_TRUE(capture.Contains(truncated.path + ": frame 2: truncated (5 of 16 bytes)")) << capture.Text();

  Y4mFile badMarker("marker.y4m", header + frame + "FRAMX\n" + Plane(16, 0));
  EXPECT_HR(E_FAIL, Open(badMarker.path)->GetFrame(Request(MediaFormat_RGB8, 1).Get(), IID_IVideoFrame, &out));
  EXPECT_TRUE(capture.Contains(badMarker.path + ": frame 1: no FRAME marker")) << capture.Text();

  Y4mFile noHeight("noheight.y4m", "YUV4MPEG2 W4 F25:1 C422\n" + frame);
  Open(noHeight.path, E_FAIL);
  EXPECT_TRUE(capture.Contains(noHeight.path + ": header: width and height missing"));
  Y4mFile notY4m("not.y4m", "P6\n4 2\n255\n");
  Open(notY4m.path, E_FAIL);
  EXPECT_TRUE(capture.Contains(notY4m.path + ": not a Y4M file"));
  Y4mFile c411("c411.y4m", "YUV4MPEG2 W4 H2 F25:1 C411\n");
  Open(c411.path, E_UNSUPPORTED);
  EXPECT_TRUE(capture.Contains("colour space C411 is not supported"));
  Open(truncated.path + ".missing", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(capture.Contains(".missing: cannot open the file"));
}

}  // namespace
