// The spherical-metric service's geometry against the display program's conventions: 90 degrees
// across the window at zoom 1, x right, y down, longitude to the right, latitude downward.
#include <wrl/client.h>
#include <cmath>

#include "TestSupport.h"
#include "VarnicaSphericalMetric.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr float kDegree = 3.14159265f / 180.0f;

struct SphericalMetric : ::testing::Test {
  void SetUp() override {
    ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDisplaySphericalMetric, MediaDisplaySphericalMetricId, &metric));
  }
  ComPtr<IMediaDisplaySphericalMetric> metric;
};

TEST_F(SphericalMetric, ViewAnglesNarrowWithZoomInAndStretchWithZoomOut) {
  struct Row {
    float zoom;
    float horizontalDegrees, verticalDegrees, degreesPerPixel;
  };
  // A 900 x 450 window; the view plane at distance 0.5 is 1 / zoomIn wide.
  const Row rows[] = {
      {1.0f, 90.0f, 2 * std::atan(0.5f) / kDegree, 2.0f / 900 / kDegree},
      {2.0f, 2 * std::atan(0.5f) / kDegree, 2 * std::atan(0.25f) / kDegree, 1.0f / 900 / kDegree},
      {0.5f, 180.0f, 4 * std::atan(0.5f) / kDegree, 4.0f / 900 / kDegree},
  };
  for (const Row& row : rows) {
    SphericalViewAngles angles{};
    ASSERT_HR(S_OK, metric->GetViewAngles(900, 450, row.zoom, &angles));
    EXPECT_NEAR(row.horizontalDegrees, angles.horizontal / kDegree, 1e-3) << row.zoom;
    EXPECT_NEAR(row.verticalDegrees, angles.vertical / kDegree, 1e-3) << row.zoom;
    EXPECT_NEAR(row.degreesPerPixel, angles.radiansPerPixel / kDegree, 1e-5) << row.zoom;
  }
  // One window pixel per picture pixel: a 3840-pixel sphere in a 960-pixel window wants zoom
  // 2 * 3840 / (960 * 2 pi), and the angles agree.
  float zoom = 0;
  ASSERT_HR(S_OK, metric->GetNativeZoom(960, 3840, 2 * 3.14159265f, &zoom));
  SphericalViewAngles angles{};
  ASSERT_HR(S_OK, metric->GetViewAngles(960, 540, zoom, &angles));
  EXPECT_NEAR(2 * 3.14159265f / 3840, angles.radiansPerPixel, 1e-7);
}

TEST_F(SphericalMetric, ViewMatrixTurnsTheCentreOfTheWindowTowardsYawAndPitch) {
  struct Row {
    float yaw, pitch, roll, zoom;
    float x, y;                 // window point of a 400 x 200 window
    float longitude, latitude;  // degrees
  };
  const Row rows[] = {
      {0, 0, 0, 1, 200, 100, 0, 0},      {0, 0, 0, 1, 400, 100, 45, 0},   // the right edge at zoom 1
      {90, 0, 0, 1, 200, 100, 90, 0},                                     // turned right
      {0, 30, 0, 1, 200, 100, 0, -30},                                    // looking up: upward is negative latitude
      {90, 30, 0, 2, 200, 100, 90, -30}, {0, 0, 90, 1, 400, 100, 0, 45},  // rolled clockwise: the right edge looks down
      {0, 0, 0, 0.5f, 400, 100, 90, 0},                                   // zoomed out: angles stretched by two
  };
  for (const Row& row : rows) {
    float m[9];
    ASSERT_HR(S_OK, metric->GetViewMatrix(row.yaw * kDegree, row.pitch * kDegree, row.roll * kDegree, row.zoom, m));
    float lonLat[2];
    ASSERT_HR(S_OK, metric->GetDirectionAt(m, 400, 200, row.x, row.y, lonLat));
    EXPECT_NEAR(row.longitude, lonLat[0] / kDegree, 1e-3) << row.yaw << " " << row.pitch << " " << row.roll;
    EXPECT_NEAR(row.latitude, lonLat[1] / kDegree, 1e-3) << row.yaw << " " << row.pitch << " " << row.roll;
  }
  float identity[9];
  ASSERT_HR(S_OK, metric->GetViewMatrix(0, 0, 0, 1, identity));
  const float expected[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(expected[i], identity[i]);
}

TEST_F(SphericalMetric, RefusesSizesAndZoomsThatHaveNoGeometry) {
  SphericalViewAngles angles{};
  float m[9] = {};
  float out[2];
  EXPECT_HR(E_INVALIDARG, metric->GetViewAngles(0, 100, 1, &angles));
  EXPECT_HR(E_INVALIDARG, metric->GetViewAngles(100, 100, -1, &angles));
  EXPECT_HR(E_INVALIDARG, metric->GetViewAngles(100, 100, NAN, &angles));
  EXPECT_HR(E_POINTER, metric->GetViewAngles(100, 100, 1, nullptr));
  EXPECT_HR(E_INVALIDARG, metric->GetViewMatrix(0, 0, 0, 0, m));
  EXPECT_HR(E_INVALIDARG, metric->GetDirectionAt(m, 100, 100, 50, 50, out));  // all columns 0
  EXPECT_HR(E_INVALIDARG, metric->GetNativeZoom(100, 0, 1, out));
}

}  // namespace
