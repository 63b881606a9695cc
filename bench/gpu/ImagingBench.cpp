// GPU image processing on a real Direct3D 9Ex device (under Wine: wined3d over OpenGL, llvmpipe
// rendering on the same CPU), on the frames of a Y4M clip given on the command line:
//   - 4:2:2 unpack on the GPU (upload of the native semi-planar texture, shader 9) beside the CPU
//     unpack kernel and the upload of its 4:4:4 result;
//   - field split and weave of the semi-planar texture (the same bytes as planar 4:2:2), alone on
//     a texture already on the GPU and together with the upload.
// Every operation ends by waiting for the device, so the GPU's work is inside the time.
//
// Windows-side benchmarks time themselves: warm-up rounds, then rounds that run every operation
// once in turn, medians. Lines "ratio A vs B: X" are time(A) / time(B); lines "median <label>
// <size> <seconds>" are for scripts/bench-imaging.sh, which sets ffmpeg's filters beside them.
#include <wrl/client.h>
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "Error.h"
#include "VarnicaFrameAccess.h"
#include "VodideCreateTextureFromFrame.h"
#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"
#include "VodideDX9VidConvert.h"
#include "VodideDirectX9JoinInterlaceFields.h"
#include "VodideDirectX9SplitInterlaceFields.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "bench/gpu/ImagingBench";
constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr int kFramesUsed = 4;  // distinct frames of the clip, taken in turn
// Frames per timed run, with one wait for the device at the end: the wait's own latency (wined3d
// polls its fences) would otherwise be a large share of one frame's time. Every operation in a
// run changes render targets between its draws, so llvmpipe renders each of them: it drops
// earlier draws that a later opaque draw into the same target covers before anything is flushed.
constexpr int kBatch = 8;

struct Case {
  Case(std::string label, std::function<HRESULT()> op) : label(std::move(label)), op(std::move(op)) {}
  std::string label;
  std::function<HRESULT()> op;
  std::vector<double> seconds;
  bool failed = false;
  // Seconds per frame.
  double Median() const {
    std::vector<double> s = seconds;
    std::sort(s.begin(), s.end());
    return s.empty() ? 0 : s[s.size() / 2] / kBatch;
  }
};

// Waits until the device has done everything it was given.
class DeviceIdle {
 public:
  explicit DeviceIdle(IDirect3DDevice9* device) { device->CreateQuery(D3DQUERYTYPE_EVENT, &query_); }
  HRESULT Wait() {
    if (!query_) return E_FAIL;
    HRESULT hr = query_->Issue(D3DISSUE_END);
    // Yield while polling: llvmpipe renders on the same cores.
    while (SUCCEEDED(hr) && (hr = query_->GetData(nullptr, 0, D3DGETDATA_FLUSH)) == S_FALSE) SwitchToThread();
    return hr;
  }

 private:
  ComPtr<IDirect3DQuery9> query_;
};

// Every case once per round, in turn, after warm-up rounds, so load from other processes falls
// on all cases alike. A failing case drops out.
void MeasureInRounds(int rounds, std::vector<Case>& cases, DeviceIdle& idle) {
  for (int round = -2; round < rounds; ++round) {
    for (Case& c : cases) {
      if (c.failed) continue;
      const double start = HighResolutionSeconds();
      for (int i = 0; i < kBatch && !c.failed; ++i) c.failed = FAILED(c.op());
      c.failed = c.failed || FAILED(idle.Wait());
      if (round >= 0) c.seconds.push_back(HighResolutionSeconds() - start);
    }
  }
}

// Draws a texture into a small render target: wined3d keeps a dynamic texture in system memory
// until a draw samples it, so only a draw completes an upload.
class FirstUse {
 public:
  explicit FirstUse(DX9Context& context) : context_(context) {
    context.device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target_, nullptr);
    context.ObtainPCT4VertexBuffer(&vb_);
  }
  HRESULT Draw(IDirect3DTexture9* texture) {
    IDirect3DDevice9Ex* d = context_.device.Get();
    HRESULT hr = target_ && vb_ ? d->SetRenderTarget(0, target_.Get()) : E_FAIL;
    if (SUCCEEDED(hr)) hr = d->BeginScene();
    if (SUCCEEDED(hr)) {
      d->SetTexture(0, texture);
      hr = context_.FillRectangle(vb_.Get(), -0.5f, -0.5f, 15.5f, 15.5f);
      d->SetTexture(0, nullptr);
      d->EndScene();
    }
    context_.UnsetRenderTarget();
    return hr;
  }

 private:
  DX9Context& context_;
  ComPtr<IDirect3DSurface9> target_;
  ComPtr<IDirect3DVertexBuffer9> vb_;
};

// The first frames of the clip as CPU frames of the decoder's format (4:2:2 packed 8-bit for a
// 4:2:2 or 4:2:0 clip).
std::vector<ComPtr<IVideoFrame>> ReadFrames(const char* path, int32_t* w, int32_t* h, int64_t* count) {
  std::vector<ComPtr<IVideoFrame>> frames;
  ComPtr<IVideoDecoder> decoder;
  ComPtr<IValueSet> values;
  VarnicaFrameSize size{};
  int32_t total = 0;
  if (FAILED(CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder)) ||
      FAILED(decoder->Open(path)) || FAILED(decoder->GetValueSet(&values)) ||
      FAILED(vmdx::GetValue(values.Get(), FrameSizeProperty, FrameSizeValueType, &size)) ||
      FAILED(vmdx::GetValue(values.Get(), FrameCountProperty, Int32ValueType, &total)))
    return frames;
  for (int64_t n = 0; n < std::min<int64_t>(total, kFramesUsed); ++n) {
    ComPtr<IValueSet> request;
    const VarnicaTimecode timecode{n, 25, 1, 0, 0};
    ComPtr<IVideoFrame> frame;
    if (FAILED(CreateClassObject(CLSID_ValueSet, IID_IValueSet, &request)) ||
        FAILED(vmdx::SetValue(request.Get(), FrameFormat, GuidValueType, MediaFormat_YUV422Packed8)) ||
        FAILED(vmdx::SetValue(request.Get(), TimecodeProperty, TimecodeValueType, timecode)) ||
        FAILED(decoder->GetFrame(request.Get(), IID_IVideoFrame, &frame)))
      return {};
    frames.push_back(frame);
  }
  *w = size.width, *h = size.height, *count = total;
  return frames;
}

void BenchClip(DX9Context& context, CDX9ResourceCache& cache, const char* path, int rounds) {
  int32_t w = 0, h = 0;
  int64_t total = 0;
  const std::vector<ComPtr<IVideoFrame>> frames = ReadFrames(path, &w, &h, &total);
  if (frames.empty() || h % 2) {
    std::printf("%s: cannot read 4:2:2 frames of even height\n", path);
    return;
  }
  char size[32];
  std::snprintf(size, sizeof size, "%dx%d", w, h);
  std::printf("%s: %s, %" PRId64 " frames (%d used in turn)\n", path, size, total, static_cast<int>(frames.size()));

  CDX9VidConvert convert(&context, &cache);
  DeviceIdle idle(context.device.Get());
  FirstUse firstUse(context);
  size_t next = 0;
  auto frame = [&] { return frames[next++ % frames.size()].Get(); };
  // A semi-planar texture on the GPU (W x 2H) and the field and frame targets of its split.
  ComPtr<IDirect3DTexture9> semi, fieldA, fieldB, woven;
  HRESULT hr = CreateTextureFromFrame(&context, &semi, frame(), &MediaFormat_YUV422Packed8, nullptr);
  if (SUCCEEDED(hr)) hr = firstUse.Draw(semi.Get());
  auto target = [&](ComPtr<IDirect3DTexture9>& t, int32_t rows) {
    if (SUCCEEDED(hr))
      hr = context.device->CreateTexture(w, rows, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8, D3DPOOL_DEFAULT, &t, nullptr);
  };
  target(fieldA, h);
  target(fieldB, h);
  target(woven, 2 * h);
  if (FAILED(hr)) {
    std::printf("%s: no textures (0x%08lX)\n", size, static_cast<unsigned long>(hr));
    return;
  }
  auto splitAndWeave = [&](IDirect3DTexture9* source) {
    HRESULT r = SplitInterlaceFields(context, source, fieldA.Get(), fieldB.Get(), uint8_t{1});
    if (SUCCEEDED(r)) r = JoinInterlaceFields(context, cache, fieldA.Get(), fieldB.Get(), woven.Get(), uint8_t{1});
    return r;
  };

  std::vector<Case> cases;
  cases.emplace_back("GPU unpack (native upload + shader 9)", [&] {
    ComPtr<IDirect3DTexture9> t;
    GUID held{};
    return convert.CreateConvertedTextureFromFrame(&t, &held, frame(), GUID{}, GUID{}, true);
  });
  cases.emplace_back("CPU unpack + upload", [&] {
    ComPtr<IDirect3DTexture9> t;
    HRESULT r = CreateTextureFromFrame(&context, &t, frame(), nullptr, nullptr);
    return SUCCEEDED(r) ? firstUse.Draw(t.Get()) : r;
  });
  cases.emplace_back("GPU split + weave (texture on the GPU)", [&] { return splitAndWeave(semi.Get()); });
  cases.emplace_back("upload + GPU split + weave", [&] {
    ComPtr<IDirect3DTexture9> t;
    const HRESULT r = CreateTextureFromFrame(&context, &t, frame(), &MediaFormat_YUV422Packed8, nullptr);
    return SUCCEEDED(r) ? splitAndWeave(t.Get()) : r;
  });
  MeasureInRounds(rounds, cases, idle);
  for (const Case& c : cases) {
    if (c.failed) {
      std::printf("  %-44s failed\n", c.label.c_str());
      continue;
    }
    std::printf("  %-44s %8.1f frames/s\n", c.label.c_str(), 1.0 / c.Median());
  }
  if (!cases[0].failed && !cases[1].failed)
    std::printf("ratio gpu unpack vs cpu unpack+upload %s: %.2f\n", size, cases[0].Median() / cases[1].Median());
  const char* keys[] = {"gpu-unpack", "cpu-unpack-upload", "split-weave", "upload-split-weave"};
  for (size_t i = 0; i < cases.size(); ++i)
    if (!cases[i].failed) std::printf("median %s %s %.9f\n", keys[i], size, cases[i].Median());
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1, rounds = 15;
  if (argc > 1 && std::strcmp(argv[1], "--quick") == 0) first = 2, rounds = 3;  // a smoke run
  if (first >= argc) {
    std::fprintf(stderr, "usage: imaging_bench [--quick] clip.y4m...   (scripts/bench-imaging.sh makes the clips)\n");
    return 2;
  }
  if (FAILED(VarnicaLoadClassLibrary(kModule))) {
    std::fprintf(stderr, "imaging_bench: cannot load %s\n", kModule);
    return 1;
  }
  DX9Context context;
  if (FAILED(context.InitializeOffscreenDevice(OffscreenDeviceSettings{})) || !context.device) {
    std::fprintf(stderr, "imaging_bench: no Direct3D 9Ex device\n");
    return 1;
  }
  CDX9ResourceCache cache;
  D3DADAPTER_IDENTIFIER9 adapter{};
  context.direct3D->GetAdapterIdentifier(0, 0, &adapter);
  std::printf("GPU image processing on %s; median frames per second, each operation waited for\n", adapter.Description);
  for (int i = first; i < argc; ++i) BenchClip(context, cache, argv[i], rounds);
  return 0;
}
