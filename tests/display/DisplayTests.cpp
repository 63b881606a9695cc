// The display object on real windows: a device made to the client size once per size and made
// again after a resize, the state every surface starts from, surfaces that outlive their device,
// a window that goes away, and the spherical-metric service it hands out.
#include <cstring>
#include <string>

#include "DisplayWindow.h"
#include "TestSupport.h"
#include "VarnicaSphericalMetric.h"
#include "VodideDX9ResourceCache.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

using Display = DisplayFixture;

void ExpectLastRelease(ComPtr<IDirect3DDevice9>& device) {
  if (IDirect3DDevice9* last = device.Detach()) {
    EXPECT_EQ(0u, last->Release()) << "something still holds the device";
  }
}

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
  // The display let the old device go; this test's reference is the last.
  ExpectLastRelease(device_);
  device_ = CurrentDevice(display_.Get());

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
  ExpectLastRelease(device_);
  device_ = CurrentDevice(display_.Get());
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
  device_->GetSamplerState(0, D3DSAMP_ADDRESSU, &value);
  EXPECT_EQ(DWORD{D3DTADDRESS_BORDER}, value);
  device_->GetSamplerState(0, D3DSAMP_ADDRESSV, &value);
  EXPECT_EQ(DWORD{D3DTADDRESS_BORDER}, value);
  device_->GetSamplerState(0, D3DSAMP_MAGFILTER, &value);
  EXPECT_EQ(DWORD{D3DTEXF_LINEAR}, value);
  device_->GetSamplerState(0, D3DSAMP_MINFILTER, &value);
  EXPECT_EQ(DWORD{D3DTEXF_LINEAR}, value);
  device_->GetRenderState(D3DRS_CULLMODE, &value);
  EXPECT_EQ(DWORD{D3DCULL_CCW}, value);
  const Picture picture = Capture(fresh.Get());
  int drawn = 0;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) drawn += picture.Rgb(x, y) != 0;
  EXPECT_EQ(0, drawn);
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
  ExpectLastRelease(device_);
  device_ = CurrentDevice(display_.Get());
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
  ComPtr<IDisposable> disposable;
  ASSERT_HR(S_OK, second.As(&disposable));
  disposable->Dispose();
}

}  // namespace
