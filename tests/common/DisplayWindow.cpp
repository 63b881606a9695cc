#include "DisplayWindow.h"

#include "MediaTestSupport.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;

namespace vmdxtest {
namespace {

constexpr wchar_t kClassName[] = L"VmdxTestWindow";

ATOM RegisterWindowClass() {
  static const ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc);
  }();
  return atom;
}

RECT OuterRect(int clientWidth, int clientHeight) {
  RECT r{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
  return r;
}

}  // namespace

TestWindow::TestWindow(int clientWidth, int clientHeight) {
  RegisterWindowClass();
  const RECT r = OuterRect(clientWidth, clientHeight);
  hwnd_ = CreateWindowExW(0, kClassName, L"vmdx test", WS_OVERLAPPEDWINDOW, 20, 20, r.right - r.left, r.bottom - r.top,
                          nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(nullptr, hwnd_) << "CreateWindowExW failed: " << GetLastError();
  if (hwnd_) {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    Resize(clientWidth, clientHeight);  // the window manager may have had its own idea
  }
}

TestWindow::~TestWindow() { Destroy(); }

void TestWindow::Resize(int clientWidth, int clientHeight) {
  const RECT r = OuterRect(clientWidth, clientHeight);
  SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  RECT client{};
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(clientWidth, client.right) << "the window's client area did not take the asked width";
  EXPECT_EQ(clientHeight, client.bottom);
}

void TestWindow::Destroy() {
  if (hwnd_) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  Pump();
}

void TestWindow::Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

Picture ReadFrame(IUnknown* frame) { return mediatest::FramePicture(frame); }

Picture Capture(IMediaDirectXGraphics* surface) {
  ComPtr<IMediaDirectX9VideoFrame> frame;
  EXPECT_HR(S_OK, surface->CaptureFrame(0, IID_IMediaDirectX9VideoFrame, &frame));
  return frame ? ReadFrame(frame.Get()) : Picture{};
}

ComPtr<IMediaDirectXDisplay> MakeDisplay(HWND window) {
  ComPtr<IMediaDirectXDisplay> display;
  ComPtr<IValueSet> settings;
  EXPECT_HR(S_OK, CreateClassObject(CLSID_MediaDirectXDisplay, IID_IMediaDirectXDisplay, &display));
  EXPECT_HR(S_OK, CreateClassObject(CLSID_ValueSet, IID_IValueSet, &settings));
  if (!display || !settings) return nullptr;
  EXPECT_HR(S_OK, vmdx::SetValue(settings.Get(), CHwndProperty, CHwndProperty, window));
  EXPECT_HR(S_OK, display->Create0(settings.Get()));
  return display;
}

ComPtr<IMediaDirectXGraphics> NextSurface(IMediaDirectXDisplay* display) {
  ComPtr<IMediaDirectXGraphics> surface;
  EXPECT_HR(S_OK, display->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &surface));
  return surface;
}

ComPtr<IDirect3DDevice9> CurrentDevice(IMediaDirectXDisplay* display) {
  ComPtr<IDirect3DDevice9> device;
  ComPtr<IMediaDirectXGraphics> surface = NextSurface(display);
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ComPtr<IDirect3DSurface9> picture;
  HRESULT hr = surface ? surface->CaptureFrame(0, IID_IMediaDirectX9VideoFrame, &frame) : E_POINTER;
  if (SUCCEEDED(hr)) hr = frame->GetSurface(&picture);
  if (SUCCEEDED(hr)) hr = picture->GetDevice(&device);
  EXPECT_HR(S_OK, hr) << "the device of a captured picture";
  return device;
}

namespace {
// A triangle strip over the rectangle with texture coordinates 0..1 and, when given, one colour.
HRESULT Quad(IMediaDirectXGraphics* surface, float left, float top, float right, float bottom, const float* rgba) {
  const float xyz[12] = {left, top, 0, right, top, 0, left, bottom, 0, right, bottom, 0};
  const float uv[8] = {0, 0, 1, 0, 0, 1, 1, 1};
  HRESULT hr = surface->BeginVertex(PrimitiveType_TriangleStrip, 4);
  if (SUCCEEDED(hr)) hr = surface->VertexSetPosV(0, xyz, 4);
  if (SUCCEEDED(hr)) hr = surface->VertexSetTextureUVV(0, 0, uv, 4);
  for (uint64_t i = 0; rgba && i < 4 && SUCCEEDED(hr); ++i) hr = surface->VertexSetColor(i, rgba);
  return SUCCEEDED(hr) ? surface->DrawPrimitive() : hr;
}
}  // namespace

HRESULT DrawQuad(IMediaDirectXGraphics* surface, float left, float top, float right, float bottom) {
  return Quad(surface, left, top, right, bottom, nullptr);
}

HRESULT FillQuad(IMediaDirectXGraphics* surface, float left, float top, float right, float bottom,
                 const float rgba[4]) {
  return Quad(surface, left, top, right, bottom, rgba);
}

void DisplayFixture::SetUp() {
  openAtStart_ = OpenObjects();
  window_ = std::make_unique<TestWindow>(kWidth, kHeight);
  display_ = MakeDisplay(window_->hwnd());
  ASSERT_TRUE(display_);
  device_ = CurrentDevice(display_.Get());
  if (!device_) GTEST_SKIP() << "no Direct3D 9Ex device for a window on this machine";
}

void DisplayFixture::TearDown() {
  ReleaseDisplay();
  window_.reset();
  EXPECT_EQ(openAtStart_, OpenObjects()) << "objects left open";
}

void DisplayFixture::ReleaseDisplay() {
  if (display_) {
    ComPtr<IDisposable> disposable;
    if (SUCCEEDED(display_.As(&disposable))) disposable->Dispose();
    disposable.Reset();
    display_.Reset();
  }
  ExpectLastRelease(device_);
}

void DisplayFixture::RenewDevice() {
  ExpectLastRelease(device_);
  device_ = CurrentDevice(display_.Get());
}

}  // namespace vmdxtest
