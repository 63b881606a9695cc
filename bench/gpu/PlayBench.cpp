// The play path in frames per second, at 1920x1080 and 3840x2160: a 4:2:2 8-bit CPU frame
// uploaded, drawn as a textured quad over the window and presented, through the module (a
// MediaDirectXDisplay bound to a window; per picture a drawing surface, SetTexture of the CPU
// frame, a vertex list, Present) beside a raw Direct3D 9Ex loop of ours doing the same work
// without it (a device like the display's, one dynamic texture locked with discard and filled
// by the same conversion, a quad, Present).
//
// Self-timed (Google Benchmark exists here only natively): warm-up rounds, then rounds that run
// a few pictures of each path in turn; each round ends when the device has finished its work
// (an event query), and the medians of the rounds are reported with the ratio ours / raw.
#include <wrl/client.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "Diagnostics.h"
#include "Error.h"
#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXDisplay.h"
#include "IMediaDirectXGraphics.h"
#include "VarnicaFrameAccess.h"
#include "VarnicaMediaDirectX9.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr int kPicturesPerRound = 4;
constexpr int kWarmUpRounds = 3;
constexpr int kRounds = 15;

HWND MakeWindow(int width, int height, const wchar_t* title) {
  static const ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VmdxPlayBench";
    return RegisterClassExW(&wc);
  }();
  (void)atom;
  // Borderless, so that a window of the screen's size has a client area of that size.
  HWND hwnd = CreateWindowExW(0, L"VmdxPlayBench", title, WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (hwnd) ShowWindow(hwnd, SW_SHOWNORMAL);
  return hwnd;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

bool ClientIs(HWND hwnd, int width, int height) {
  RECT client{};
  GetClientRect(hwnd, &client);
  return client.right == width && client.bottom == height;
}

// Waits until the device has done everything asked of it so far.
HRESULT Finish(IDirect3DDevice9* device) {
  ComPtr<IDirect3DQuery9> query;
  HRESULT hr = device->CreateQuery(D3DQUERYTYPE_EVENT, &query);
  if (SUCCEEDED(hr)) hr = query->Issue(D3DISSUE_END);
  while (SUCCEEDED(hr) && (hr = query->GetData(nullptr, 0, D3DGETDATA_FLUSH)) == S_FALSE) {
  }
  return hr;
}

// A quad over the whole w x h target, texel centres on pixel centres.
void FullQuad(PCT4Vertex quad[4], int w, int h) {
  const float r = w - 0.5f, b = h - 0.5f;
  quad[0] = {-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0};
  quad[1] = {r, -0.5f, 0, 1, 0xFFFFFFFF, 1, 0};
  quad[2] = {-0.5f, b, 0, 1, 0xFFFFFFFF, 0, 1};
  quad[3] = {r, b, 0, 1, 0xFFFFFFFF, 1, 1};
}

// The module's path: what vmdx play does for a picture, with the CPU frame bound directly.
class ModulePath {
 public:
  ModulePath(HWND window, IUnknown* frame, int w, int h) : frame_(frame), w_(w), h_(h) {
    ComPtr<IValueSet> settings;
    HRESULT hr = CreateClassObject(CLSID_MediaDirectXDisplay, IID_IMediaDirectXDisplay, &display_);
    if (SUCCEEDED(hr)) hr = CreateClassObject(CLSID_ValueSet, IID_IValueSet, &settings);
    if (SUCCEEDED(hr)) hr = vmdx::SetValue(settings.Get(), CHwndProperty, CHwndProperty, window);
    if (SUCCEEDED(hr)) hr = display_->Create0(settings.Get());
    // The display's device, through a captured picture, for waiting on it.
    ComPtr<IMediaDirectXGraphics> surface;
    ComPtr<IMediaDirectX9VideoFrame> captured;
    ComPtr<IDirect3DSurface9> picture;
    if (SUCCEEDED(hr)) hr = display_->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &surface);
    if (SUCCEEDED(hr)) hr = surface->CaptureFrame(0, IID_IMediaDirectX9VideoFrame, &captured);
    if (SUCCEEDED(hr)) hr = captured->GetSurface(&picture);
    if (SUCCEEDED(hr)) hr = picture->GetDevice(&device_);
    ready_ = SUCCEEDED(hr);
  }
  ~ModulePath() {
    device_.Reset();
    ComPtr<IDisposable> disposable;
    if (display_ && SUCCEEDED(display_.As(&disposable))) disposable->Dispose();
  }
  HRESULT Picture() {
    if (!ready_) return E_FAIL;
    ComPtr<IMediaDirectXGraphics> surface;
    const float xyz[12] = {-0.5f, -0.5f, 0, w_ - 0.5f, -0.5f, 0, -0.5f, h_ - 0.5f, 0, w_ - 0.5f, h_ - 0.5f, 0};
    const float uv[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    HRESULT hr = display_->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &surface);
    if (SUCCEEDED(hr)) hr = surface->SetTexture(0, frame_);
    if (SUCCEEDED(hr)) hr = surface->BeginVertex(PrimitiveType_TriangleStrip, 4);
    if (SUCCEEDED(hr)) hr = surface->VertexSetPosV(0, xyz, 4);
    if (SUCCEEDED(hr)) hr = surface->VertexSetTextureUVV(0, 0, uv, 4);
    if (SUCCEEDED(hr)) hr = surface->DrawPrimitive();
    if (SUCCEEDED(hr)) hr = surface->Present();
    return hr;
  }
  HRESULT Finish() { return ready_ ? ::Finish(device_.Get()) : E_FAIL; }

 private:
  ComPtr<IMediaDirectXDisplay> display_;
  ComPtr<IDirect3DDevice9> device_;
  IUnknown* frame_;
  int w_, h_;
  bool ready_ = false;
};

// The raw loop: the same device settings as the display's (4x multisampled X8R8G8B8 back buffer,
// discard), one dynamic texture of the unpacked format filled by the same conversion each frame.
class RawPath {
 public:
  RawPath(HWND window, const CpuVidFrameMemory& source, int w, int h) : source_(source), w_(w), h_(h) {
    ComPtr<IDirect3D9Ex> d3d;
    HRESULT hr = Direct3DCreate9Ex(D3D_SDK_VERSION, &d3d);
    D3DPRESENT_PARAMETERS present{};
    present.BackBufferWidth = w;
    present.BackBufferHeight = h;
    present.BackBufferFormat = D3DFMT_X8R8G8B8;
    present.BackBufferCount = 1;
    present.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    present.SwapEffect = D3DSWAPEFFECT_DISCARD;
    present.hDeviceWindow = window;
    present.Windowed = TRUE;
    if (SUCCEEDED(hr))
      hr = d3d->CreateDeviceEx(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetDesktopWindow(),
                               D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED | D3DCREATE_FPU_PRESERVE,
                               &present, nullptr, &device_);
    if (SUCCEEDED(hr))
      hr = device_->CreateTexture(w, h, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture_, nullptr);
    if (SUCCEEDED(hr)) hr = device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    if (SUCCEEDED(hr)) hr = device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    ready_ = SUCCEEDED(hr);
  }
  HRESULT Picture() {
    if (!ready_) return E_FAIL;
    HRESULT hr = device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    if (SUCCEEDED(hr)) {
      vmdx::LockedRect locked(texture_.Get(), 0, D3DLOCK_DISCARD);
      hr = locked.status();
      if (SUCCEEDED(hr)) {
        const CpuVidFrameMemory target{MediaFormat_YUVA444_8, w_, h_, {{locked.bits(), locked.pitch()}}};
        hr = GuardedCall([&] { return CopyCpuVidFrameMemory(&source_, &target, ConvertionMode_Direct, nullptr); });
      }
    }
    PCT4Vertex quad[4];
    FullQuad(quad, w_, h_);
    if (SUCCEEDED(hr)) hr = device_->BeginScene();
    if (SUCCEEDED(hr)) {
      device_->SetTexture(0, texture_.Get());
      device_->SetFVF(kPCT4VertexFVF);
      hr = device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(PCT4Vertex));
      device_->SetTexture(0, nullptr);
      device_->EndScene();
    }
    if (SUCCEEDED(hr)) hr = device_->Present(nullptr, nullptr, nullptr, nullptr);
    return hr;
  }
  HRESULT Finish() { return ready_ ? ::Finish(device_.Get()) : E_FAIL; }

 private:
  CpuVidFrameMemory source_;
  int w_, h_;
  ComPtr<IDirect3DDevice9Ex> device_;
  ComPtr<IDirect3DTexture9> texture_;
  bool ready_ = false;
};

struct Path {
  const char* label;
  std::function<HRESULT()> picture;
  std::function<HRESULT()> finish;
  std::vector<double> secondsPerPicture;
  bool failed = false;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void BenchSize(int w, int h) {
  char size[32];
  std::snprintf(size, sizeof size, "%dx%d", w, h);
  ComPtr<ICommonMediaVideoCpuFrame> frame;
  if (FAILED(CreateClassObject(CLSID_CommonMediaVideoCpuFrame, IID_ICommonMediaVideoCpuFrame, &frame)) ||
      FAILED(frame->SetEnabledLockAccess(vmdx::kLockRead | vmdx::kLockWrite)) ||
      FAILED(frame->Create1(&MediaFormat_YUV422Packed8, w, h))) {
    std::printf("%-10s no CPU frame of this size\n", size);
    return;
  }
  std::vector<uint8_t> bytes(size_t(w) * h * 2);  // the raw loop's copy of the same picture
  {
    vmdx::FrameMemoryLock lock;
    if (FAILED(lock.Open(frame.Get(), vmdx::kLockWrite))) {
      std::printf("%-10s the CPU frame cannot be written\n", size);
      return;
    }
    for (int y = 0; y < h; ++y) {
      uint8_t* row = lock.row(0, y);
      for (int x = 0; x < w * 2; ++x) row[x] = bytes[size_t(y) * w * 2 + x] = static_cast<uint8_t>(x * 3 + y);
    }
  }
  const CpuVidFrameMemory source{MediaFormat_YUV422Packed8, w, h, {{bytes.data(), int64_t{w} * 2}}};

  HWND ourWindow = MakeWindow(w, h, L"vmdx play bench: module");
  HWND rawWindow = MakeWindow(w, h, L"vmdx play bench: raw Direct3D");
  Pump();
  if (!ClientIs(ourWindow, w, h) || !ClientIs(rawWindow, w, h)) {
    std::printf("%-10s skipped: the screen does not allow windows of this size\n", size);
  } else {
    ModulePath ours(ourWindow, frame.Get(), w, h);
    RawPath raw(rawWindow, source, w, h);
    std::vector<Path> paths;
    paths.push_back(
        {"play path through the module", [&] { return ours.Picture(); }, [&] { return ours.Finish(); }, {}});
    paths.push_back({"raw Direct3D 9Ex loop", [&] { return raw.Picture(); }, [&] { return raw.Finish(); }, {}});
    for (int round = -kWarmUpRounds; round < kRounds; ++round) {
      for (Path& p : paths) {
        if (p.failed) continue;
        Pump();
        p.finish();
        const double start = HighResolutionSeconds();
        HRESULT hr = S_OK;
        for (int i = 0; i < kPicturesPerRound && SUCCEEDED(hr); ++i) hr = p.picture();
        if (SUCCEEDED(hr)) hr = p.finish();
        p.failed = FAILED(hr);
        if (round >= 0) p.secondsPerPicture.push_back((HighResolutionSeconds() - start) / kPicturesPerRound);
      }
    }
    for (const Path& p : paths) {
      if (p.failed)
        std::printf("%-10s %-32s failed\n", size, p.label);
      else
        std::printf("%-10s %-32s %7.1f frames/s\n", size, p.label, 1.0 / Median(p.secondsPerPicture));
    }
    if (!paths[0].failed && !paths[1].failed)
      std::printf("ratio play-%s vs raw-d3d9ex-%s: %.2f\n", size, size,
                  Median(paths[1].secondsPerPicture) / Median(paths[0].secondsPerPicture));
  }
  DestroyWindow(ourWindow);
  DestroyWindow(rawWindow);
  Pump();
}

}  // namespace

int main() {
  if (FAILED(VarnicaLoadClassLibrary(kModule))) {
    std::fprintf(stderr, "play_bench: cannot load %s\n", kModule);
    return 1;
  }
  std::printf(
      "Play path under this machine's Direct3D (upload of a 4:2:2 frame, textured quad, present;\n"
      "medians of %d rounds of %d pictures; ratio = ours in frames/s over the raw loop's):\n",
      kRounds, kPicturesPerRound);
  BenchSize(1920, 1080);
  BenchSize(3840, 2160);
  return 0;
}
