// The built-in 360-degree and stereo clips: what each name delivers, the sphere's poles and
// directions, and the disparities the stereo pictures promise.
#include <cstring>
#include <string>
#include <vector>

#include "MediaTestSupport.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

// A frame of a built-in clip as 0xAARRGGBB pixels.
struct Frame {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x] & 0xFFFFFF; }
  // First column from x0 (stepping by step) whose pixel in row y is rgb.
  int Find(int y, int x0, int step, uint32_t rgb) const {
    for (int x = x0; x >= 0 && x < width; x += step) {
      if (At(x, y) == rgb) return x;
    }
    return -1;
  }
};

Frame Fetch(const char* name, int width, int height) {
  auto decoder = mediatest::OpenDecoder(name);
  Frame f{width, height,
          mediatest::FramePixels(mediatest::Fetch(decoder.Get(), MediaFormat_RGBA8, 7, width, height).Get())};
  EXPECT_EQ(size_t(width) * height, f.pixels.size());
  if (f.pixels.size() != size_t(width) * height) f = Frame{};
  return f;
}

TEST(PatternClips, EachNameDeliversItsClip) {
  struct Case {
    const char* name;
    int width, height;
  };
  for (const Case& c : {Case{"builtin:sphere", 2048, 1024}, Case{"builtin:sphere-lr", 4096, 1024},
                        Case{"builtin:sphere-tb", 2048, 2048}, Case{"builtin:stereo", 2048, 1024},
                        Case{"builtin:stereo-tb", 1024, 2048}}) {
    auto decoder = mediatest::OpenDecoder(c.name);
    const auto size = ValueOf<VarnicaFrameSize>(decoder.Get(), FrameSizeProperty, FrameSizeValueType);
    EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8, ValueOf<GUID>(decoder.Get(), FrameFormat, GuidValueType))) << c.name;
    EXPECT_EQ(c.width, size.width) << c.name;
    EXPECT_EQ(c.height, size.height) << c.name;
  }
}

// Red north pole, blue south pole, north in the middle, east amber at three quarters; in the
// side-by-side sphere the labels of the left eye stand 2 degrees east of the right eye's.
TEST(PatternClips, SphereShowsPolesDirectionsAndLabelDisparity) {
  const Frame mono = Fetch("builtin:sphere", 720, 360);
  ASSERT_EQ(720, mono.width);
  EXPECT_EQ(0xDC3232u, mono.At(100, 2));
  EXPECT_EQ(0x2846DCu, mono.At(100, 357));
  EXPECT_EQ(0x78AAFFu, mono.At(370, 100)) << "north sky";
  EXPECT_EQ(0xFFC86Eu, mono.At(550, 100)) << "east sky";
  EXPECT_EQ(0x785A28u, mono.At(550, 260)) << "east ground";

  const int eye = 1440;
  const Frame lr = Fetch("builtin:sphere-lr", 2 * eye, 720);
  const int row = 360 - 12 * 720 / 180;  // the cardinal letters' middle row
  // The white label box around "N", found from 20 degrees west of north in each eye.
  const int left = lr.Find(row, eye / 2 - eye / 18, 1, 0xFFFFFF);
  const int right = lr.Find(row, eye + eye / 2 - eye / 18, 1, 0xFFFFFF) - eye;
  ASSERT_GT(left, 0);
  EXPECT_EQ(8, left - right) << "2 degrees of a 1440-pixel eye";
}

// The stereo pair: the square stands in front by a 32nd of the eye's width, the disc behind by
// half of that.
TEST(PatternClips, StereoPairHasItsDisparities) {
  for (const char* name : {"builtin:stereo", "builtin:stereo-tb"}) {
    const bool tb = std::string(name).find("tb") != std::string::npos;
    const Frame f = tb ? Fetch(name, 640, 1280) : Fetch(name, 1280, 640);
    const int w = 640, h = 640;
    auto eyeColumn = [&](int eye, int x0, uint32_t rgb) {
      const int left = tb ? 0 : eye * w, top = tb ? eye * h : 0;
      const int x = f.Find(top + h / 2, left + x0, 1, rgb);
      return x < 0 ? -1 : x - left;
    };
    const int squareL = eyeColumn(0, w * 7 / 16, 0x000000), squareR = eyeColumn(1, w * 7 / 16, 0x000000);
    const int discL = eyeColumn(0, 0, 0xEBEBEB), discR = eyeColumn(1, 0, 0xEBEBEB);
    ASSERT_GT(squareR, 0) << name;
    EXPECT_EQ(w / 32, squareL - squareR) << name;
    EXPECT_EQ(-w / 64, discL - discR) << name;
  }
}

}  // namespace
