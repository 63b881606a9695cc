// Lens files of vmdx lens: the examples read as documented, every fault names its line, and
// what would put a pole into the map is refused before any GPU work.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "LensFile.h"

namespace {

std::string Example(const char* name) { return std::string(VMDX_LENS_DIR) + "/" + name; }

TEST(LensFile, ExamplesReadAsDocumented) {
  LensFile lens;
  std::string error;
  ASSERT_TRUE(ReadLensFile(Example("fisheye180-view90.lens"), &lens, &error)) << error;
  const FisheyeRectifyParams& p = lens.params;
  EXPECT_EQ(FisheyeLensType_Radial, p.Source.Type);
  EXPECT_EQ(959.5f, p.Source.CenterX);
  EXPECT_EQ(960.0f, p.Source.FocalY);
  EXPECT_EQ(1.0f, p.Source.K0);
  EXPECT_EQ(1.0f, p.Source.ScaleX);  // not given: the default
  EXPECT_EQ(FisheyeLensType_Rectilinear, p.Target.Type);
  EXPECT_EQ(0.5625f, p.Target.ScaleY);
  EXPECT_EQ(1920u, lens.viewWidth);
  EXPECT_EQ(1080u, lens.viewHeight);
  EXPECT_EQ(0, FisheyeRectifyVariant(p));

  ASSERT_TRUE(ReadLensFile(Example("rectilinear-crop.lens"), &lens, &error)) << error;
  EXPECT_EQ(2, FisheyeRectifyVariant(lens.params));
  // rotate 5 0 0 turns the view 5 degrees to the right: the view's axis comes from there.
  const float* m = lens.params.Matrix;
  EXPECT_NEAR(std::sin(5 * 3.14159265 / 180), m[2], 1e-6);
  EXPECT_NEAR(std::cos(5 * 3.14159265 / 180), m[8], 1e-6);
  EXPECT_NEAR(0.0, m[5], 1e-6);
}

TEST(LensFile, FaultsNameTheirLine) {
  const std::string lens =
      "source.type radial\nsource.center 1 1\nsource.focal 5 5\nsource.k0 1\nsource.k1 1\n"
      "target.type rectilinear\ntarget.focal 5 5\n";
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {lens + "source.scale 1\n", "t.lens:8: 'source.scale' needs 2 numbers, found 1"},
      {lens + "offset 1 x2\n", "t.lens:8: 'offset': 'x2' is not a number"},
      {lens + "offset 1 nan\n", "t.lens:8: 'offset': 'nan' is not a number"},
      {lens + "lens.colour red\n", "t.lens:8: unknown key 'lens.colour'"},
      {lens + "  # a comment\nsource.k1 2\n", "t.lens:9: 'source.k1' given twice (first on line 5)"},
      {lens + "matrix 1 0 0 0 1 0 0 0 1\nrotate 1 2 3\n", "t.lens:9: give either 'matrix' or 'rotate', not both"},
      {lens + "view.size 1920 0\n", "t.lens:8: 'view.size' must be two whole numbers"},
      {"source.type fisheye\n", "t.lens:1: 'source.type' must be none, rectilinear or radial"},
      {"source.type radial\nsource.center 1 1\nsource.focal 5 5\n", "t.lens: no 'source.k0' line"},
      {"source.type rectilinear\nsource.center 1 1\nsource.focal 5 5\ntarget.type rectilinear\n",
       "t.lens: no 'target.focal' line"},
      // Poles: the map divides by focal lengths, scales and K1.
      {"source.type rectilinear\nsource.center 1 1\nsource.focal 5 0\ntarget.type rectilinear\ntarget.focal 5 5\n",
       "t.lens:3: a zero focal length makes a pole"},
      {lens + "target.scale 0 1\n", "t.lens:8: a zero scale makes a pole"},
      {"source.type radial\nsource.center 1 1\nsource.focal 5 5\nsource.k0 1\nsource.k1 0\n", "t.lens:5: K1 = 0"},
      // Pairs no shader draws.
      {"source.type rectilinear\nsource.center 1 1\nsource.focal 5 5\ntarget.type radial\ntarget.focal 5 5\n"
       "target.k0 1\ntarget.k1 1\n",
       "t.lens: no map draws a rectilinear source seen through a radial target"},
      {lens + "target.flags 2\n", "seen through a rectilinear target with projection flags"},
  };
  for (const Case& c : cases) {
    LensFile parsed;
    std::string error;
    EXPECT_FALSE(ParseLensFile(c.text, "t.lens", &parsed, &error)) << c.text;
    EXPECT_NE(std::string::npos, error.find(c.message)) << "got: " << error;
  }
  LensFile parsed;
  std::string error;
  EXPECT_TRUE(ParseLensFile(lens + "offset 0.5 -2e-1  # shift\n", "t.lens", &parsed, &error)) << error;
  EXPECT_EQ(-0.2f, parsed.params.OffsetY);
}

}  // namespace
