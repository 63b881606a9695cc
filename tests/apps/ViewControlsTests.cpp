// The viewer's view state: options into surface values (checked by a real drawing surface, which
// refuses a wrong key, type or size), the view matrix seen the way the display program reads it,
// and the window's drag, wheel, keys and title.
#include <wrl/client.h>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "IMediaDirectXGraphics.h"
#include "TestSupport.h"
#include "VarnicaDisplayProgram.h"
#include "VarnicaFrameAccess.h"
#include "ViewControls.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxview;

namespace {

OptionResult Parse(std::vector<std::string> args, ViewOptions* o, std::string* error = nullptr) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  int i = 0;
  std::string ignored;
  const OptionResult r = ParseViewOption(static_cast<int>(argv.size()), argv.data(), &i, o, error ? error : &ignored);
  if (r == OptionResult::Taken) {
    EXPECT_EQ(static_cast<int>(args.size()) - 1, i) << args[0] << " took its value";
  }
  return r;
}

// Where the middle of the window looks, as the display program computes it: longitude (east
// positive) and elevation (up positive) in degrees of the direction Nt (0, 0, 0.5).
std::array<double, 2> CentreDirection(const float m[9]) {
  double d[3];
  for (int k = 0; k < 3; ++k) {
    const double length = std::sqrt(m[k] * m[k] + m[3 + k] * m[3 + k] + m[6 + k] * m[6 + k]);
    d[k] = 0.5 * m[6 + k] / length;  // row 2 of N, column k
  }
  const double degrees = 180 / 3.14159265358979;
  return {std::atan2(d[0], d[2]) * degrees,
          -std::asin(d[1] / std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2])) * degrees};
}

// The display's spherical-metric service, which gives the view matrix.
ComPtr<IMediaDisplaySphericalMetric> Metric() {
  ComPtr<IMediaDisplaySphericalMetric> metric;
  EXPECT_HR(S_OK, CreateClassObject(CLSID_MediaDisplaySphericalMetric, MediaDisplaySphericalMetricId, &metric));
  return metric;
}

SurfaceViewValues Values(const ViewOptions& o) {
  SurfaceViewValues v{};
  EXPECT_HR(S_OK, ToSurfaceValues(o, Metric().Get(), &v));
  return v;
}

// The view matrix for a direction and zoom given in degrees, as the viewer sets it.
void ViewMatrix(double yaw, double pitch, double roll, double zoom, float m[9]) {
  ViewOptions o;
  o.yaw = yaw, o.pitch = pitch, o.roll = roll, o.zoom = zoom;
  std::memcpy(m, Values(o).viewMatrix, 9 * sizeof(float));
}

TEST(ViewOptions, ParsesEveryOptionAndRefusesBadValues) {
  ViewOptions o;
  const std::vector<std::vector<std::string>> good = {
      {"--camera", "sphere"}, {"--packing", "tb"}, {"--view", "dubois-gm"}, {"--ipd", "63.5"}, {"--zero-parallax", "2"},
      {"--range", "180,180"}, {"--yaw", "270"},    {"--pitch", "-30"},      {"--roll", "5"},   {"--zoom", "2"}};
  for (const auto& args : good) EXPECT_EQ(OptionResult::Taken, Parse(args, &o)) << args[0];
  EXPECT_EQ(Camera::Sphere, o.camera);
  EXPECT_EQ(Packing::TB, o.packing);
  EXPECT_EQ(ViewType::DuboisGM, o.view);
  EXPECT_EQ(-90, o.yaw) << "turned into (-180, 180]";

  const SurfaceViewValues v = Values(o);
  EXPECT_TRUE(IsEqualGUID(CameraType_Spherical, v.cameraType));
  EXPECT_TRUE(IsEqualGUID(FramePacking_TB, v.framePacking));
  EXPECT_TRUE(IsEqualGUID(DisplayType_DuboisGreenMagenta, v.displayType));
  EXPECT_FLOAT_EQ(0.0635f, v.ipd);
  EXPECT_FLOAT_EQ(2.0f, v.zeroParallax);
  EXPECT_FLOAT_EQ(3.1415927f, v.angularRange[0]);
  EXPECT_FLOAT_EQ(3.1415927f, v.angularRange[1]);

  const std::vector<std::vector<std::string>> bad = {
      {"--camera", "fisheye"},  {"--packing"},      {"--view", "Anaglyph"}, {"--ipd", "-1"},        {"--ipd", "7x"},
      {"--zero-parallax", "0"}, {"--range", "360"}, {"--range", "30,180"},  {"--range", "360,200"}, {"--yaw", "nan"},
      {"--pitch", "91"},        {"--zoom", "0"},    {"--zoom", "11"}};
  for (const auto& args : bad) {
    ViewOptions untouched;
    std::string error;
    EXPECT_EQ(OptionResult::Bad, Parse(args, &untouched, &error)) << args[0];
    EXPECT_EQ(0u, error.find(args[0])) << error;
  }
  EXPECT_EQ(OptionResult::NotMine, Parse({"--frames", "5"}, &o));
}

// The matrix (degrees through the service) turns the middle of the window where the options say,
// keeps unit columns at zoom 1 and scales all three by the zoom.
TEST(ViewOptions, ViewMatrixLooksWhereTheAnglesSay) {
  struct Case {
    double yaw, pitch, roll, zoom, longitude, elevation;
  };
  const Case cases[] = {{0, 0, 0, 1, 0, 0},   {90, 0, 0, 1, 90, 0},        {-135, 0, 30, 2, -135, 0},
                        {0, 30, 0, 1, 0, 30}, {90, -45, 10, 0.5, 90, -45}, {179, 89, 0, 1, 179, 89}};
  for (const Case& c : cases) {
    float m[9];
    ViewMatrix(c.yaw, c.pitch, c.roll, c.zoom, m);
    const auto direction = CentreDirection(m);
    EXPECT_NEAR(c.longitude, direction[0], 1e-3) << c.yaw << " " << c.pitch;
    EXPECT_NEAR(c.elevation, direction[1], 1e-3) << c.yaw << " " << c.pitch;
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(c.zoom, std::sqrt(m[k] * m[k] + m[3 + k] * m[3 + k] + m[6 + k] * m[6 + k]), 1e-5);
      const int j = (k + 1) % 3;
      EXPECT_NEAR(0, m[k] * m[j] + m[3 + k] * m[3 + j] + m[6 + k] * m[6 + j], 1e-5) << "orthogonal columns";
    }
  }
  // Roll turns the screen's right edge down: the right-hand screen point looks below the horizon.
  float m[9];
  ViewMatrix(0, 0, 30, 1, m);
  EXPECT_GT(0.5 * m[1] + 0.5 * m[7], 0) << "direction of p = (0.5, 0, 0.5) points down (+y)";
}

// The values land in a real drawing surface: every key, type and size must be the surface's.
TEST(ViewOptions, AppliesToADrawingSurface) {
  ComPtr<IVarnicaObject> surface;
  ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDirectXGraphics, IID_IVarnicaObject, &surface));
  ComPtr<IValueSet> values;
  ASSERT_HR(S_OK, surface->GetValueSet(&values));
  ViewOptions o;
  o.camera = Camera::Sphere, o.packing = Packing::LR, o.view = ViewType::Right, o.yaw = 90, o.zoom = 2;
  const SurfaceViewValues v = Values(o);
  ASSERT_HR(S_OK, ApplyToSurface(values.Get(), v, 1920, 1080));
  GUID display{};
  std::array<float, 9> matrix{};
  std::array<float, 2> size{};
  float ipd = 0;
  EXPECT_HR(S_OK, vmdx::GetValue(values.Get(), GraphicsDisplayTypeProperty, GuidValueType, &display));
  EXPECT_HR(S_OK, vmdx::GetValue(values.Get(), GraphicsViewMatrixProperty, FloatMatrix3x3ValueType, &matrix));
  EXPECT_HR(S_OK, vmdx::GetValue(values.Get(), GraphicsViewSizeProperty, GraphicsViewSizeProperty, &size));
  EXPECT_HR(S_OK, vmdx::GetValue(values.Get(), GraphicsIpdProperty, FloatValueType, &ipd));
  EXPECT_TRUE(IsEqualGUID(DisplayType_RightEye, display));
  EXPECT_EQ(0, std::memcmp(v.viewMatrix, matrix.data(), sizeof v.viewMatrix));
  EXPECT_EQ((std::array<float, 2>{1920, 1080}), size);
  EXPECT_FLOAT_EQ(0.07f, ipd);
}

TEST(ViewState, DragWheelKeysAndTitle) {
  ViewOptions start;
  start.camera = Camera::Sphere, start.yaw = 90;
  ViewState state(start);
  // Half a 1000-pixel window to the right at zoom 1: the middle of the view plane (1 wide at
  // distance 0.5) moves 500 * 2 / 1000 radians, and the view turns the other way.
  state.Drag(500, 0, 1000);
  EXPECT_NEAR(90 - 180 / 3.14159265358979, state.options().yaw, 1e-9);
  state.Drag(0, 100000, 1000);
  EXPECT_EQ(90, state.options().pitch) << "pitch stops at straight up";
  state.Wheel(1);
  EXPECT_NEAR(1.1, state.options().zoom, 1e-12);
  state.Wheel(1000);
  EXPECT_EQ(kMaxZoom, state.options().zoom);

  EXPECT_TRUE(state.Key('4'));
  EXPECT_EQ(ViewType::Anaglyph, state.options().view);
  EXPECT_FALSE(state.Key('4'));
  EXPECT_TRUE(state.Key(0x68));  // numpad 8
  EXPECT_EQ(ViewType::DuboisAB, state.options().view);
  EXPECT_FALSE(state.Key('9'));
  EXPECT_EQ("vmdx play - sphere mono - dubois-ab - yaw 33 pitch 90 roll 0 - zoom 10.00", state.Title());
  EXPECT_TRUE(state.Key('R'));
  EXPECT_EQ(90, state.options().yaw);
  EXPECT_EQ(0, state.options().pitch);
  EXPECT_EQ(1, state.options().zoom);
  EXPECT_EQ(ViewType::DuboisAB, state.options().view) << "R keeps the view type";
  EXPECT_FALSE(state.Key('R'));
}

}  // namespace
