// The display object on real windows: a device made to the client size once per size and made
// again after a resize, the state every surface starts from, surfaces that outlive their device,
// a window that goes away, and the spherical-metric service it hands out and its geometry.
#include <cmath>
#include <string>

#include "DisplayWindow.h"
#include "TestSupport.h"
#include "VarnicaSphericalMetric.h"
#include "VodideDX9ResourceCache.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

using Display = DisplayFixture;

TEST_F(Display, MakesTheDeviceOncePerClientSizeAndAgainAfterAResize) {
  PrintLevelScope trace(LOG_TRACE | LOG_WARN | LOG_ERROR);
  ObserverCapture capture;
  ComPtr<IMediaDirectXGraphics> first = NextSurface(display_.Get());
  ComPtr<IMediaDirectXGraphics> second = NextSurface(display_.Get());
  EXPECT_EQ(0, capture.Count("DXDevice create")) << capture.Text();
  first.Reset();
  second.Reset();

  window_->Resize(200, 150);
  const Picture picture = Capture(NextSurface(display_.Get()).Get());
  EXPECT_EQ(200, picture.width);
  EXPECT_EQ(150, picture.height);
  const std::string text = capture.Text();
  const size_t recreate = text.find("DXDevice have to recreated\n");
  const size_t create = text.find("DXDevice create 200x150\n");
  EXPECT_NE(std::string::npos, recreate) << text;
  EXPECT_LT(recreate, create) << text;
  EXPECT_EQ(1, capture.Count("DXDevice create")) << text;
  RenewDevice();  // the display let the old device go

  // Minimised, the client area is 0 by 0: the device is made at 128 by 128 but the stored size
  // stays, so the next request does not make it again.
  ShowWindow(window_->hwnd(), SW_MINIMIZE);
  window_->Pump();
  RECT client{};
  GetClientRect(window_->hwnd(), &client);
  if (client.right != 0 || client.bottom != 0) GTEST_SKIP() << "this window manager keeps a client area when minimised";
  capture.Clear();
  EXPECT_EQ(128, Capture(NextSurface(display_.Get()).Get()).width);
  NextSurface(display_.Get());
  EXPECT_EQ(1, capture.Count("DXDevice create 0x0")) << capture.Text();
  RenewDevice();
}

// Whatever a surface left set on the device, the next one starts from the state captured when the
// device was made, on a back buffer cleared to transparent black.
TEST_F(Display, EverySurfaceStartsFromTheSavedStateOnAClearedPicture) {
  ComPtr<IDirect3DPixelShader9> shader;
  ASSERT_HR(S_OK, device_->CreatePixelShader(PixelShaderTable[PixelShader_Copy], &shader));
  {
    ComPtr<IMediaDirectXGraphics> messy = NextSurface(display_.Get());
    const float white[4] = {1, 1, 1, 1};
    ASSERT_HR(S_OK, FillQuad(messy.Get(), 0, 0, kWidth, kHeight, white));
    ASSERT_HR(S_OK, messy->Present());
    ASSERT_HR(S_OK, device_->SetPixelShader(shader.Get()));
    ASSERT_HR(S_OK, device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP));
    ASSERT_HR(S_OK, device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT));
    ASSERT_HR(S_OK, device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW));
  }
  ComPtr<IMediaDirectXGraphics> fresh = NextSurface(display_.Get());
  ComPtr<IDirect3DPixelShader9> bound;
  ASSERT_HR(S_OK, device_->GetPixelShader(&bound));
  EXPECT_EQ(nullptr, bound.Get());
  DWORD value = 0;
  for (const auto& [state, expected] : {std::pair{D3DSAMP_ADDRESSU, DWORD{D3DTADDRESS_BORDER}},
                                        {D3DSAMP_ADDRESSV, DWORD{D3DTADDRESS_BORDER}},
                                        {D3DSAMP_MAGFILTER, DWORD{D3DTEXF_LINEAR}},
                                        {D3DSAMP_MINFILTER, DWORD{D3DTEXF_LINEAR}}}) {
    device_->GetSamplerState(0, state, &value);
    EXPECT_EQ(expected, value) << "sampler state " << state;
  }
  device_->GetRenderState(D3DRS_CULLMODE, &value);
  EXPECT_EQ(DWORD{D3DCULL_CCW}, value);
  EXPECT_EQ(0, WrongPixels(Capture(fresh.Get()), Everywhere(0), 0, 0xFFFFFF)) << "drawn pixels";
}

// A surface keeps the device it was made on: after a resize it still draws and captures at the
// old size, while the display's next surface has the new one.
TEST_F(Display, SurfacesOutliveARemadeDevice) {
  ComPtr<IMediaDirectXGraphics> old = NextSurface(display_.Get());
  window_->Resize(200, 150);
  ComPtr<IMediaDirectXGraphics> current = NextSurface(display_.Get());
  const float red[4] = {1, 0, 0, 1};
  ASSERT_HR(S_OK, FillQuad(old.Get(), 10, 10, 50, 50, red));
  const Picture oldPicture = Capture(old.Get());
  EXPECT_EQ(kWidth, oldPicture.width);
  EXPECT_EQ(0xFF0000u, oldPicture.Rgb(30, 30));
  EXPECT_EQ(200, Capture(current.Get()).width);
  old.Reset();
  current.Reset();
  RenewDevice();
}

TEST_F(Display, AWindowThatIsGoneFailsTheNextSurfaceRequest) {
  ComPtr<IMediaDirectXGraphics> earlier = NextSurface(display_.Get());
  window_->Destroy();
  ObserverCapture capture;
  void* surface = reinterpret_cast<void*>(1);
  EXPECT_HR(E_INVALIDARG, display_->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &surface));
  EXPECT_TRUE(capture.Contains("GetClientRect")) << capture.Text();
  // A surface handed out before still draws on its device.
  const float blue[4] = {0, 0, 1, 1};
  EXPECT_HR(S_OK, FillQuad(earlier.Get(), 10, 10, 50, 50, blue));
  EXPECT_EQ(0x0000FFu, Capture(earlier.Get()).Rgb(30, 30));
}

TEST_F(Display, HandsOutSurfacesUnderBothIdentitiesAndNothingElse) {
  for (const GUID& iid : {IID_IMediaDirectXGraphics2, IID_IMediaDirectXGraphics3}) {
    ComPtr<IUnknown> surface;
    ASSERT_HR(S_OK, display_->GetObject(GUID{}, iid, &surface));
    ComPtr<IMediaDirectXGraphics> main;
    EXPECT_HR(S_OK, surface.As(&main));
  }
  ObserverCapture capture;
  for (const GUID& iid : {IID_IMediaDirectXGraphics, IID_IUnknown, IID_IMediaDirectXDisplay}) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_HR(E_UNSUPPORTED, display_->GetObject(GUID{}, iid, &out));
    EXPECT_EQ(nullptr, out);
  }
  EXPECT_HR(E_POINTER, display_->GetObject(GUID{}, IID_IMediaDirectXGraphics, nullptr));
  EXPECT_EQ(1, capture.Count("[EXCEPTION]")) << capture.Text();
  EXPECT_TRUE(capture.Contains(": ppv"));
}

// The service is made once, kept in the core's singleton registry, and every display hands out
// that one object.
TEST_F(Display, HandsOutOneSphericalMetricServiceForTheProcess) {
  ComPtr<IMediaDisplaySphericalMetric> first;
  ASSERT_HR(S_OK, display_->GetObject(GUID{}, MediaDisplaySphericalMetricId, &first));
  EXPECT_HR(S_OK, _GetSingletonObject()->HasObject(MediaDisplaySphericalMetricId));
  TestWindow other(kWidth, kHeight);
  ComPtr<IMediaDirectXDisplay> second = MakeDisplay(other.hwnd());
  ComPtr<IMediaDisplaySphericalMetric> again;
  ASSERT_HR(S_OK, second->GetObject(GUID{}, MediaDisplaySphericalMetricId, &again));
  EXPECT_EQ(first.Get(), again.Get());
  ComPtr<IUnknown> registered;
  ASSERT_HR(S_OK, _GetSingletonObject()->GetObject(MediaDisplaySphericalMetricId, IID_IUnknown, &registered));
  ComPtr<IUnknown> identity;
  ASSERT_HR(S_OK, first.As(&identity));
  EXPECT_EQ(registered.Get(), identity.Get());
  GUID clsid{};
  ComPtr<IClassInfo> info;
  ASSERT_HR(S_OK, first.As(&info));
  ASSERT_HR(S_OK, info->GetClassID(&clsid));
  EXPECT_TRUE(IsEqualGUID(CLSID_MediaDisplaySphericalMetric, clsid));
  EXPECT_HR(S_OK, Dispose(second.Get()));
}

// The spherical-metric service's geometry against the display program's conventions: 90 degrees
// across the window at zoom 1, x right, y down, longitude to the right, latitude downward.
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
