// The display program's path at its core, on a real Direct3D 9Ex device (under Wine: wined3d over
// OpenGL on llvmpipe): a 3840x1920 equirectangular frame uploaded into a texture, the display
// program set up and one quad drawn into a 1920x1080 view, the view read back (what a present
// would hand on). Sphere plain eye, red-cyan anaglyph and the contrast mix; each also without the
// upload, so the shader's share shows.
//
//   display_program_bench [--rounds N] [--write-frames FILE]
//
// --write-frames also writes the frames used as raw BGRA to FILE, so a CPU peer can be timed on
// the same pictures (scripts/bench-display.sh does that with ffmpeg's v360). Self-timed: warm-up
// rounds, then rounds that run every case once in turn; medians with the slowest and fastest.
// Each case's median also goes out as "median-ms <case> <ms>" for the script.
#include <wrl/client.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "Error.h"
#include "VarnicaDisplayProgram.h"
#include "VarnicaFrameAccess.h"
#include "VodideDisplayShader.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "bench/gpu/DisplayProgramBench";
constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr int kSourceWidth = 3840, kSourceHeight = 1920;
constexpr UINT kViewWidth = 1920, kViewHeight = 1080;
constexpr int kFrames = 4;  // distinct frames, so every upload carries a new picture

struct Case {
  Case(const char* name, const char* what, std::function<HRESULT()> op) : name(name), what(what), op(std::move(op)) {}
  const char* name;
  const char* what;
  std::function<HRESULT()> op;
  std::vector<double> seconds;
  bool failed = false;
};

void MeasureInRounds(int rounds, std::vector<Case>& cases) {
  for (int round = -3; round < rounds; ++round) {
    for (Case& c : cases) {
      if (c.failed) continue;
      const double start = HighResolutionSeconds();
      const HRESULT hr = c.op();
      if (FAILED(hr)) {
        std::fprintf(stderr, "%s failed: 0x%08lX\n", c.name, static_cast<unsigned long>(hr));
        c.failed = true;
      }
      if (round >= 0) c.seconds.push_back(HighResolutionSeconds() - start);
    }
  }
}

// The frames of the built-in sphere at the benchmark's size, as the decoder delivers them.
bool FetchFrames(std::vector<ComPtr<IVideoFrame>>* frames) {
  ComPtr<IVideoDecoder> decoder;
  if (FAILED(CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder)) ||
      FAILED(decoder->Open("builtin:sphere")))
    return false;
  for (int n = 0; n < kFrames; ++n) {
    ComPtr<IValueSet> request;
    if (FAILED(CreateClassObject(CLSID_ValueSet, IID_IValueSet, &request))) return false;
    const VarnicaTimecode timecode{n, 25, 1, 0, 0};
    const VarnicaFrameSize size{kSourceWidth, kSourceHeight};
    vmdx::SetValue(request.Get(), FrameFormat, GuidValueType, MediaFormat_RGBA8);
    vmdx::SetValue(request.Get(), TimecodeProperty, TimecodeValueType, timecode);
    vmdx::SetValue(request.Get(), FrameSizeProperty, FrameSizeValueType, size);
    ComPtr<IVideoFrame> frame;
    if (FAILED(decoder->GetFrame(request.Get(), IID_IVideoFrame, &frame))) return false;
    frames->push_back(frame);
  }
  return true;
}

bool WriteFrames(const std::vector<ComPtr<IVideoFrame>>& frames, const char* path) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  bool ok = true;
  for (const auto& frame : frames) {
    vmdx::FrameMemoryLock lock;
    ok = ok && SUCCEEDED(lock.Open(frame.Get(), vmdx::kLockRead));
    for (int y = 0; ok && y < kSourceHeight; ++y)
      ok = std::fwrite(lock.row(0, y), 4, kSourceWidth, file) == kSourceWidth;
  }
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::remove(path);
  return ok;
}

// The view: straight ahead through a 1920x1080 window, one picture (no packing).
DisplayViewProperties View(const GUID& displayType) {
  DisplayViewProperties view;
  view.cameraType = CameraType_Spherical;
  view.displayType = displayType;
  view.viewSize[0] = static_cast<float>(kViewWidth);
  view.viewSize[1] = static_cast<float>(kViewHeight);
  return view;
}

class DisplayPath {
 public:
  explicit DisplayPath(DX9Context& context) : context_(context) {}

  HRESULT Prepare() {
    IDirect3DDevice9Ex* d = context_.device.Get();
    HRESULT hr = d->CreateTexture(kViewWidth, kViewHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                  &target_, nullptr);
    if (SUCCEEDED(hr)) hr = target_->GetSurfaceLevel(0, &targetSurface_);
    if (SUCCEEDED(hr))
      hr = d->CreateOffscreenPlainSurface(kViewWidth, kViewHeight, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy_, nullptr);
    if (SUCCEEDED(hr)) hr = context_.ObtainPCT4VertexBuffer(&vb_);
    // What the display sets for every surface.
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
    return hr;
  }

  // frame (null: the texture bound before stays) -> set-up -> quad -> read-back.
  HRESULT Run(IVideoFrame* frame, const DisplayViewProperties& view) {
    return GuardedCall([&]() -> HRESULT {
      if (frame != nullptr) CheckHr(context_.SetTexture(0, frame, 0), VLOC, "SetTexture");
      SetupDisplayShader(context_, cache_, view);
      CheckHr(context_.SetRenderTarget(target_.Get()), VLOC, "SetRenderTarget");
      CheckHr(context_.BeginScene(), VLOC, "BeginScene");
      const HRESULT drawn = context_.FillRectangle(vb_.Get(), -0.5f, -0.5f, kViewWidth - 0.5f, kViewHeight - 0.5f);
      context_.EndScene();
      context_.UnsetRenderTarget();
      CheckHr(drawn, VLOC, "FillRectangle");
      CheckHr(context_.device->GetRenderTargetData(targetSurface_.Get(), copy_.Get()), VLOC, "GetRenderTargetData");
      vmdx::LockedRect read(copy_.Get(), D3DLOCK_READONLY);
      return read.status();
    });
  }

  void Close() {
    context_.UnsetTexture(0);
    context_.UnsetPixelShader();
    cache_.Close();
  }

 private:
  DX9Context& context_;
  CDX9ResourceCache cache_;
  ComPtr<IDirect3DTexture9> target_;
  ComPtr<IDirect3DSurface9> targetSurface_;
  ComPtr<IDirect3DSurface9> copy_;
  ComPtr<IDirect3DVertexBuffer9> vb_;
};

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int Usage() {
  std::fprintf(stderr, "usage: display_program_bench [--rounds N] [--write-frames FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 15;
  const char* framesFile = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
      if (rounds < 1 || rounds > 1000) return Usage();
    } else if (std::strcmp(argv[i], "--write-frames") == 0 && i + 1 < argc) {
      framesFile = argv[++i];
    } else {
      return Usage();
    }
  }
  if (FAILED(VarnicaLoadClassLibrary(kModule))) {
    std::fprintf(stderr, "display_program_bench: cannot load %s\n", kModule);
    return 1;
  }
  std::vector<ComPtr<IVideoFrame>> frames;
  if (!FetchFrames(&frames)) {
    std::fprintf(stderr, "display_program_bench: no frames of builtin:sphere\n");
    return 1;
  }
  if (framesFile != nullptr && !WriteFrames(frames, framesFile)) {
    std::fprintf(stderr, "display_program_bench: cannot write %s\n", framesFile);
    return 1;
  }
  DX9Context context;
  if (FAILED(context.InitializeOffscreenDevice(OffscreenDeviceSettings{})) || !context.device) {
    std::fprintf(stderr, "display_program_bench: no Direct3D 9Ex device\n");
    return 1;
  }
  DisplayPath path(context);
  if (FAILED(path.Prepare())) {
    std::fprintf(stderr, "display_program_bench: cannot make the view's render target\n");
    return 1;
  }

  int next = 0;
  auto frame = [&] { return frames[next++ % kFrames].Get(); };
  const DisplayViewProperties eye = View(DisplayType_LeftEye), anaglyph = View(DisplayType_AnaglyphRC),
                              contrast = View(DisplayType_AnaglyphContrast);
  std::vector<Case> cases = {
      {"sphere-eye", "upload, plain eye, read-back", [&] { return path.Run(frame(), eye); }},
      {"sphere-anaglyph", "upload, red-cyan anaglyph, read-back", [&] { return path.Run(frame(), anaglyph); }},
      {"sphere-contrast", "upload, contrast mix, read-back", [&] { return path.Run(frame(), contrast); }},
  };
  MeasureInRounds(rounds, cases);
  // The same without the upload: one frame stays bound.
  std::vector<Case> drawOnly = {
      {"sphere-eye-draw", "plain eye, read-back (frame on the GPU)", [&] { return path.Run(nullptr, eye); }},
      {"sphere-anaglyph-draw", "anaglyph, read-back (frame on the GPU)", [&] { return path.Run(nullptr, anaglyph); }},
      {"sphere-contrast-draw", "contrast, read-back (frame on the GPU)", [&] { return path.Run(nullptr, contrast); }},
  };
  if (SUCCEEDED(path.Run(frame(), eye))) MeasureInRounds(rounds, drawOnly);
  cases.insert(cases.end(), drawOnly.begin(), drawOnly.end());

  D3DADAPTER_IDENTIFIER9 adapter{};
  context.direct3D->GetAdapterIdentifier(0, 0, &adapter);
  std::printf(
      "Display program on %s (%s): %dx%d equirectangular RGBA8 frames into a %ux%u view;\n"
      "median frames per second (slowest .. fastest run) of %d rounds\n",
      adapter.Description, UnderWine() ? "Wine" : "Windows", kSourceWidth, kSourceHeight, kViewWidth, kViewHeight,
      rounds);
  int status = 0;
  for (Case& c : cases) {
    if (c.failed || c.seconds.empty()) {
      std::printf("%-22s %-42s    failed\n", c.name, c.what);
      status = 1;
      continue;
    }
    std::sort(c.seconds.begin(), c.seconds.end());
    const double median = c.seconds[c.seconds.size() / 2];
    std::printf("%-22s %-42s %7.1f fps  (%.1f .. %.1f)\n", c.name, c.what, 1 / median, 1 / c.seconds.back(),
                1 / c.seconds.front());
    std::printf("median-ms %s %.3f\n", c.name, median * 1000);
  }
  path.Close();
  return status;
}
