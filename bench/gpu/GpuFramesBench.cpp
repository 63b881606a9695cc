// GPU frame transfers on a real Direct3D 9Ex device (under Wine: wined3d over OpenGL): upload of
// a 4:2:2 8-bit CPU frame into a texture, read-back of a GPU frame through its lock, and
// capture of a render target as a CPU frame, at 1920x1080 and 3840x2160. Beside each, the CPU
// work alone on the same frame (the conversion the upload runs, a plain copy of the bytes a
// read-back or capture moves), so the GPU side's cost shows as a ratio.
//
// Google Benchmark exists on this system only as a native library, so this Windows program
// times each operation itself: warm-up rounds, then rounds that run every operation once in
// turn; each operation's median run is reported with its fastest and slowest.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
#include <wrl/client.h>

#include "VarnicaFrameAccess.h"
#include "ConvertionCopyCpuVidFrameMemory.h"
#include "Diagnostics.h"
#include "Error.h"
#include "VodideCaptureRenderTargetDX9.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideCreateTextureFromFrame.h"
#include "VodideDX9Context.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";

struct Timing {
  double median = 0, fastest = 0, slowest = 0;  // seconds per run
  bool ok = false;
};

// One measured operation: a label, the CPU line it is compared with (or -1) and the work.
struct Case {
  Case(const char* label, int comparedWith, std::function<HRESULT()> op)
      : label(label), comparedWith(comparedWith), op(std::move(op)) {}
  const char* label;
  int comparedWith;
  std::function<HRESULT()> op;
  std::vector<double> seconds;
  bool failed = false;
};

Timing Summary(const Case& c) {
  Timing t;
  if (c.failed || c.seconds.empty()) return t;
  std::vector<double> sorted = c.seconds;
  std::sort(sorted.begin(), sorted.end());
  t.median = sorted[sorted.size() / 2];
  t.fastest = sorted.front();
  t.slowest = sorted.back();
  t.ok = true;
  return t;
}

// Runs every case once per round, in turn, after warm-up rounds: load from other processes then
// falls on all cases alike, which keeps the ratios fair on a busy machine. A failing case drops
// out.
void MeasureInRounds(int rounds, std::vector<Case>& cases) {
  for (int round = -3; round < rounds; ++round) {
    for (Case& c : cases) {
      if (c.failed) continue;
      const double start = HighResolutionSeconds();
      c.failed = FAILED(c.op());
      if (round >= 0) c.seconds.push_back(HighResolutionSeconds() - start);
    }
  }
}

void Report(const char* size, const char* what, const Timing& t, const Timing* cpu) {
  if (!t.ok) {
    std::printf("%-10s %-46s    failed\n", size, what);
    return;
  }
  std::printf("%-10s %-46s %9.1f fps  (%.1f .. %.1f)", size, what, 1.0 / t.median, 1.0 / t.slowest, 1.0 / t.fastest);
  if (cpu != nullptr && cpu->ok) std::printf("  ratio %.2f x the CPU work alone", t.median / cpu->median);
  std::printf("\n");
}

// Fills a frame's planes with a 4:2:2 ramp so the conversions see varied data.
void Fill(const CpuVidFrameMemory& r) {
  for (int32_t y = 0; y < r.height; ++y) {
    uint8_t* row = r.planes[0].data + y * r.planes[0].pitch;
    for (int32_t x = 0; x < r.width * 2; ++x) row[x] = static_cast<uint8_t>(x + y);
  }
}

// System-memory record of format at w x h, planes one after the other.
CpuVidFrameMemory SystemRecord(const GUID& format, int32_t w, int32_t h, std::vector<uint8_t>& memory) {
  int32_t rowBytes[kMaxVideoPlanes] = {}, rows[kMaxVideoPlanes] = {};
  const int32_t planes = GetFormatVideoPlaneLayout(&format, w, h, kMaxVideoPlanes, nullptr, rowBytes, nullptr,
        nullptr, rows);
  size_t total = 0;
  for (int32_t i = 0; i < planes; ++i) total += size_t(rowBytes[i]) * rows[i];
  memory.assign(total, 0);
  CpuVidFrameMemory r{format, w, h, {}};
  uint8_t* next = memory.data();
  for (int32_t i = 0; i < planes; ++i) {
    r.planes[i] = {next, rowBytes[i]};
    next += size_t(rowBytes[i]) * rows[i];
  }
  return r;
}

HRESULT Convert(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target, const GUID& mode) {
  return GuardedCall([&] { return CopyCpuVidFrameMemory(&source, &target, mode, nullptr); });
}

// Reads every mapped row of a GPU frame into memory, under a read lock.
HRESULT ReadThroughLock(IMediaDirectX9VideoFrame* frame, std::vector<uint8_t>& into) {
  vmdx::FrameMemoryLock lock;
  const HRESULT hr = lock.Open(frame, vmdx::kLockRead);
  if (FAILED(hr)) return hr;
  const int32_t height = lock.memory().height;
  const size_t rowBytes = into.size() / static_cast<size_t>(height);
  for (int32_t y = 0; y < height; ++y) std::memcpy(into.data() + y * rowBytes, lock.row(0, y), rowBytes);
  return hr;
}

// Draws the texture once into a small render target and waits for the GPU: wined3d keeps a
// dynamic texture in system memory until its first use, so only a draw shows the transfer.
class FirstUse {
 public:
  explicit FirstUse(DX9Context& context) : context_(context) {
    HRESULT hr = context.device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target_,
        nullptr);
    if (SUCCEEDED(hr)) hr = context.device->CreateQuery(D3DQUERYTYPE_EVENT, &query_);
    if (SUCCEEDED(hr)) hr = context.ObtainPCT4VertexBuffer(&vb_);
    ready_ = SUCCEEDED(hr);
  }
  HRESULT Draw(IDirect3DTexture9* texture) {
    if (!ready_) return E_FAIL;
    IDirect3DDevice9Ex* d = context_.device.Get();
    HRESULT hr = d->SetRenderTarget(0, target_.Get());
    if (SUCCEEDED(hr)) hr = d->BeginScene();
    if (SUCCEEDED(hr)) {
      d->SetTexture(0, texture);
      hr = context_.FillRectangle(vb_.Get(), -0.5f, -0.5f, 15.5f, 15.5f);
      d->SetTexture(0, nullptr);
      d->EndScene();
    }
    if (SUCCEEDED(hr)) hr = query_->Issue(D3DISSUE_END);
    while (SUCCEEDED(hr) && query_->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
    }
    context_.UnsetRenderTarget();
    return hr;
  }

 private:
  DX9Context& context_;
  ComPtr<IDirect3DSurface9> target_;
  ComPtr<IDirect3DQuery9> query_;
  ComPtr<IDirect3DVertexBuffer9> vb_;
  bool ready_ = false;
};

void BenchSize(DX9Context& context, int32_t w, int32_t h, int runs) {
  char size[32];
  std::snprintf(size, sizeof size, "%dx%d", w, h);

  ComPtr<ICommonMediaVideoCpuFrame> frame;
  if (FAILED(CreateClassObject(CLSID_CommonMediaVideoCpuFrame, IID_ICommonMediaVideoCpuFrame, &frame)) ||
      FAILED(frame->Create1(&MediaFormat_YUV422Packed8, w, h))) {
    std::printf("%-10s no CPU frame of this size\n", size);
    return;
  }
  {
    vmdx::FrameMemoryLock lock;
    if (SUCCEEDED(lock.Open(frame.Get(), LockAccess_Write))) Fill(lock.memory());
  }
  frame->SetEnabledLockAccess(vmdx::kLockRead);
  CpuVidFrameMemory source{};
  {
    vmdx::FrameMemoryLock lock;
    lock.Open(frame.Get(), vmdx::kLockRead);
    source = lock.memory();  // own memory: the record stays valid while the frame lives
  }

  std::vector<uint8_t> unpackedMemory, nativeMemory;
  const CpuVidFrameMemory unpacked = SystemRecord(MediaFormat_YUVA444_8, w, h, unpackedMemory);
  const CpuVidFrameMemory native = SystemRecord(MediaFormat_YUV422SemiPlanar8, w, h, nativeMemory);
  std::vector<uint8_t> copy(size_t(w) * h * 4);
  FirstUse firstUse(context);

  // A GPU frame over an uploaded texture, for the read-back.
  ComPtr<IDirect3DTexture9> texture;
  ComPtr<IMediaDirectX9VideoFrame> gpuFrame;
  HRESULT hr = CreateTextureFromFrame(&context, &texture, frame.Get(), nullptr, nullptr);
  if (SUCCEEDED(hr))
    hr = CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &gpuFrame, &MediaFormat_YUVA444_8, texture.Get());
  const bool readable = SUCCEEDED(hr);
  // A filled render target, for the capture.
  ComPtr<IDirect3DTexture9> target;
  ComPtr<IDirect3DSurface9> targetSurface;
  hr = context.device->CreateTexture(w, h, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr);
  if (SUCCEEDED(hr)) hr = target->GetSurfaceLevel(0, &targetSurface);
  if (SUCCEEDED(hr)) hr = context.device->ColorFill(targetSurface.Get(), nullptr, D3DCOLOR_ARGB(255, 30, 140, 200));
  const bool capturable = SUCCEEDED(hr);

  std::vector<Case> cases;
  // Upload into the unpacked format (the default): 4:2:2 expanded to YUVA 4:4:4 on the way.
  cases.emplace_back("CPU conversion 422Packed8 -> YUVA444_8", -1,
                     [&] { return Convert(source, unpacked, ConvertionMode_Direct); });
  cases.emplace_back("upload 422Packed8 -> YUVA444_8 texture", 0, [&] {
    ComPtr<IDirect3DTexture9> t;
    return CreateTextureFromFrame(&context, &t, frame.Get(), nullptr, nullptr);
  });
  cases.emplace_back("upload -> YUVA444_8 texture and first draw", 0, [&] {
    ComPtr<IDirect3DTexture9> t;
    const HRESULT r = CreateTextureFromFrame(&context, &t, frame.Get(), nullptr, nullptr);
    return FAILED(r) ? r : firstUse.Draw(t.Get());
  });
  // Upload into the native format: the semi-planar 4:2:2 pair of planes in one A8 texture.
  cases.emplace_back("CPU conversion 422Packed8 -> SemiPlanar8", -1,
                     [&] { return Convert(source, native, ConvertionMode_Direct); });
  cases.emplace_back("upload 422Packed8 -> SemiPlanar8 texture", 3, [&] {
    ComPtr<IDirect3DTexture9> t;
    return CreateTextureFromFrame(&context, &t, frame.Get(), &MediaFormat_YUV422Packed8, nullptr);
  });
  // Read-back and capture move the bytes of a 4-byte frame: compared with copying them.
  cases.emplace_back("CPU copy of a YUVA444_8 frame", -1, [&] {
    for (int32_t y = 0; y < h; ++y)
      std::memcpy(copy.data() + size_t(y) * w * 4, unpacked.planes[0].data + y * unpacked.planes[0].pitch,
                  size_t(w) * 4);
    return S_OK;
  });
  cases.emplace_back("read-back of a YUVA444_8 GPU frame (lock)", 5,
                     [&] { return readable ? ReadThroughLock(gpuFrame.Get(), copy) : E_FAIL; });
  cases.emplace_back("capture of an A8R8G8B8 render target (CPU frame)", 5, [&] {
    if (!capturable) return E_FAIL;
    ComPtr<IVideoFrame> captured;
    return CaptureRenderTargetAsVideoCpuFrame(context.device.Get(), targetSurface.Get(), IID_IVideoFrame, &captured,
                                              nullptr);
  });
  MeasureInRounds(runs, cases);
  for (const Case& c : cases) {
    const Timing cpu = c.comparedWith >= 0 ? Summary(cases[static_cast<size_t>(c.comparedWith)]) : Timing{};
    Report(size, c.label, Summary(c), c.comparedWith >= 0 ? &cpu : nullptr);
  }
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;  // fewer runs, for a smoke test
  if (FAILED(VarnicaLoadClassLibrary(kModule))) {
    std::fprintf(stderr, "gpu_frames_bench: cannot load %s\n", kModule);
    return 1;
  }
  DX9Context context;
  OffscreenDeviceSettings settings;
  if (FAILED(context.InitializeOffscreenDevice(settings)) || !context.device) {
    std::fprintf(stderr, "gpu_frames_bench: no Direct3D 9Ex device\n");
    return 1;
  }
  D3DADAPTER_IDENTIFIER9 adapter{};
  context.direct3D->GetAdapterIdentifier(0, 0, &adapter);
  std::printf("GPU frame transfers on %s (%s); median frames per second (slowest .. fastest run)\n",
              adapter.Description, UnderWine() ? "Wine" : "Windows");
  BenchSize(context, 1920, 1080, quick ? 3 : 21);
  BenchSize(context, 3840, 2160, quick ? 3 : 11);
  return 0;
}
