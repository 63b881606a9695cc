// The built-in 360-degree and stereo clips: what each name delivers, the sphere's poles and
// directions, and the disparities the stereo pictures promise.
#include <string>

#include "MediaTestSupport.h"

using namespace vmdxtest;

namespace {

// Frame 7 of a built-in clip, which must come at the asked size.
Picture Fetch(const char* name, int width, int height) {
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
  const Picture mono = Fetch("builtin:sphere", 720, 360);
  ASSERT_EQ(720, mono.width);
  EXPECT_EQ(0xDC3232u, mono.Rgb(100, 2));
  EXPECT_EQ(0x2846DCu, mono.Rgb(100, 357));
  EXPECT_EQ(0x78AAFFu, mono.Rgb(370, 100)) << "north sky";
  EXPECT_EQ(0xFFC86Eu, mono.Rgb(550, 100)) << "east sky";
  EXPECT_EQ(0x785A28u, mono.Rgb(550, 260)) << "east ground";

  const int eye = 1440;
  const Picture lr = Fetch("builtin:sphere-lr", 2 * eye, 720);
  const int row = 360 - 12 * 720 / 180;  // the cardinal letters' middle row
  // The white label box around "N", found from 20 degrees west of north in each eye.
  const int left = Find(lr, row, eye / 2 - eye / 18, 0xFFFFFF);
  const int right = Find(lr, row, eye + eye / 2 - eye / 18, 0xFFFFFF) - eye;
  ASSERT_GT(left, 0);
  EXPECT_EQ(8, left - right) << "2 degrees of a 1440-pixel eye";
}

// The stereo pair: the square stands in front by a 32nd of the eye's width, the disc behind by
// half of that.
TEST(PatternClips, StereoPairHasItsDisparities) {
  for (const char* name : {"builtin:stereo", "builtin:stereo-tb"}) {
    const bool tb = std::string(name).find("tb") != std::string::npos;
    const Picture f = tb ? Fetch(name, 640, 1280) : Fetch(name, 1280, 640);
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

}  // namespace
