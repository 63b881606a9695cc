// Windows and displays for the tests of the display object and the drawing surface: a real
// top-level window, a MediaDirectXDisplay bound to it through the framework (as a host makes
// one), and pictures read back from surfaces through CaptureFrame and the frame's lock.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXDisplay.h"
#include "IMediaDirectXGraphics.h"
#include "PixelReference.h"

namespace vmdxtest {

// A shown, resizable window whose client area has the asked size; destroyed with the object.
class TestWindow {
 public:
  TestWindow(int clientWidth, int clientHeight);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  void Resize(int clientWidth, int clientHeight);
  void Destroy();
  // Handles what is queued for the window (a window nobody pumps still works, but Wine's
  // window manager side keeps up only when messages are handled).
  void Pump();

 private:
  HWND hwnd_ = nullptr;
};

// Reads a frame's pixels (32-bit formats) through its read lock.
Picture ReadFrame(IUnknown* frame);
// CaptureFrame of the surface, read back. The surface draws no more primitives afterwards.
Picture Capture(IMediaDirectXGraphics* surface);

// A display bound to window, or null (with a test failure).
Microsoft::WRL::ComPtr<IMediaDirectXDisplay> MakeDisplay(HWND window);
Microsoft::WRL::ComPtr<IMediaDirectXGraphics> NextSurface(IMediaDirectXDisplay* display);
// The device the display's surfaces draw on now (reached through a capture of a throwaway surface).
Microsoft::WRL::ComPtr<IDirect3DDevice9> CurrentDevice(IMediaDirectXDisplay* display);

// A textured, white, opaque quad over (left, top) .. (right, bottom) in pixels, texture
// coordinates 0..1, drawn as a triangle strip.
HRESULT DrawQuad(IMediaDirectXGraphics* surface, float left, float top, float right, float bottom);
// A quad of one colour (r, g, b, a in 0..1).
HRESULT FillQuad(IMediaDirectXGraphics* surface, float left, float top, float right, float bottom, const float rgba[4]);

// Window, display and its current device for one test; at the end the device's last release
// must return 0 and the module's open-object count be back where it was.
class DisplayFixture : public ::testing::Test {
 protected:
  static constexpr int kWidth = 160;
  static constexpr int kHeight = 120;
  void SetUp() override;
  void TearDown() override;
  // Disposes and releases the display, then checks the device's last release.
  void ReleaseDisplay();
  // After the display made a new device: the old one must go with this test's reference, and
  // device_ becomes the new one.
  void RenewDevice();

  int openAtStart_ = 0;
  std::unique_ptr<TestWindow> window_;
  Microsoft::WRL::ComPtr<IMediaDirectXDisplay> display_;
  Microsoft::WRL::ComPtr<IDirect3DDevice9> device_;
};

}  // namespace vmdxtest
