// Fisheye rectification on the GPU beside ffmpeg's v360 filter on the CPU. The built-in
// 180-degree fisheye clip (1920 x 1920) becomes a 1920 x 1080 rectilinear view 90 degrees wide:
// the map is built once; per frame the remap is drawn with nearest, bilinear or cubic filtering
// and read back into CPU memory. The peer runs v360 (fisheye 180 x 180 degrees to flat
// 90 x 58.7 degrees, the same interpolation) on the same frames, written once to a Y4M file,
// as a subprocess; its time per frame is the difference between a long and a short run, which
// leaves out its start-up and its own map building.
//
// Google Benchmark exists here only as a native library, so the program times itself: a warm-up
// round, then rounds that run every case once in turn; medians are reported.
//
//   lens_bench [--quick] [--ffmpeg PATH]      (ffmpeg: /usr/bin/ffmpeg under Wine, else ffmpeg)
#include <wrl/client.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "VarnicaFrameAccess.h"
#include "VodideCreateTextureFromFrame.h"
#include "VodideDX9FisheyeRectify.h"
#include "VodideDX9Remap.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr uint32_t kSide = 1920;  // the clip
constexpr uint32_t kViewWidth = 1920, kViewHeight = 1080;
constexpr int kClipFrames = 4;                         // distinct frames, used in turn
constexpr char kViewFov[] = "h_fov=90:v_fov=58.7155";  // 2 atan(1) and 2 atan(0.5625)

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A Windows path as the peer sees it: under Wine ffmpeg is a Linux program.
std::string PeerPath(const std::string& windowsPath) {
  if (!UnderWine()) return windowsPath;
  using ToUnix = char*(CDECL*)(LPCWSTR);
  auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring wide(windowsPath.begin(), windowsPath.end());
  char* unix = toUnix ? toUnix(wide.c_str()) : nullptr;
  if (!unix) return windowsPath;
  std::string path = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return path;
}

// Runs the peer to its end with its output in a log file; the wall time in seconds, or a
// negative value when it fails. Under Wine a Linux program's process handle does not follow
// the program, so it runs under /bin/sh, which leaves its exit code in a marker file when done.
double RunTimed(const std::string& commandLine, const std::string& log) {
  const std::string marker = log + ".done";
  DeleteFileA(marker.c_str());
  std::string line = commandLine;
  HANDLE output = INVALID_HANDLE_VALUE;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (UnderWine()) {
    line = "/bin/sh -c \"" + commandLine + " >'" + PeerPath(log) + "' 2>&1; echo $? >'" + PeerPath(marker) + "'\"";
  } else {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    output = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE) return -1;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  PROCESS_INFORMATION process{};
  std::vector<char> text(line.begin(), line.end());
  text.push_back('\0');
  const double start = HighResolutionSeconds();
  const BOOL started = CreateProcessA(nullptr, text.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE, 0,
                                      nullptr, nullptr, &startup, &process);
  DWORD code = 1;
  double seconds = -1;
  if (started) {
    if (UnderWine()) {
      while (GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES && HighResolutionSeconds() - start < 600)
        Sleep(1);
      seconds = HighResolutionSeconds() - start;
      if (FILE* f = std::fopen(marker.c_str(), "rb")) {
        unsigned long status = 1;
        if (std::fscanf(f, "%lu", &status) == 1) code = status;
        std::fclose(f);
      }
      DeleteFileA(marker.c_str());
    } else {
      WaitForSingleObject(process.hProcess, INFINITE);
      seconds = HighResolutionSeconds() - start;
      GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (started && code == 0) {
    // -benchmark ends the log with "bench: ... rtime=<seconds>s": the run without the process's
    // start, which a busy machine delays the most.
    if (FILE* f = std::fopen(log.c_str(), "rb")) {
      char buffer[4096] = {};
      const std::string said(buffer, std::fread(buffer, 1, sizeof buffer - 1, f));
      std::fclose(f);
      const size_t at = said.rfind("rtime=");
      if (at != std::string::npos) seconds = std::atof(said.c_str() + at + 6);
    }
    return seconds;
  }
  // Say once what went wrong: the command and the start of its output.
  static bool told = false;
  if (!told) {
    told = true;
    std::string said;
    if (FILE* f = std::fopen(log.c_str(), "rb")) {
      char buffer[400] = {};
      said.assign(buffer, std::fread(buffer, 1, sizeof buffer - 1, f));
      std::fclose(f);
    }
    std::fprintf(stderr, "lens_bench: %s (%lu)\n  %s\n  %s\n", started ? "the peer failed" : "cannot start the peer",
                 static_cast<unsigned long>(started ? code : GetLastError()), line.c_str(), said.c_str());
  }
  return -1;
}

// One measured case: returns seconds per frame (negative: failed).
struct Case {
  std::string label;
  std::function<double()> run;
  std::vector<double> seconds = {};
  bool failed = false;
  double Median() const {
    std::vector<double> s = seconds;
    std::sort(s.begin(), s.end());
    return s.empty() ? 0 : s[s.size() / 2];
  }
};

void MeasureInRounds(int rounds, std::vector<Case>& cases) {
  for (int round = -1; round < rounds; ++round) {
    for (Case& c : cases) {
      if (c.failed) continue;
      const double s = c.run();
      c.failed = s < 0;
      if (round >= 0 && s > 0) c.seconds.push_back(s);
    }
  }
}

// The clip's frames as CPU frames (4:2:2) from the media module's decoder.
std::vector<ComPtr<IVideoFrame>> ClipFrames() {
  std::vector<ComPtr<IVideoFrame>> frames;
  ComPtr<IVideoDecoder> decoder;
  if (FAILED(CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder)) ||
      FAILED(decoder->Open("builtin:fisheye")))
    return frames;
  for (int n = 0; n < kClipFrames; ++n) {
    ComPtr<IValueSet> request;
    ComPtr<IVideoFrame> frame;
    const VarnicaTimecode timecode{n * 10, 25, 1, 0, 0};
    if (FAILED(CreateClassObject(CLSID_ValueSet, IID_IValueSet, &request)) ||
        FAILED(vmdx::SetValue(request.Get(), FrameFormat, GuidValueType, MediaFormat_YUV422Packed8)) ||
        FAILED(vmdx::SetValue(request.Get(), TimecodeProperty, TimecodeValueType, timecode)) ||
        FAILED(decoder->GetFrame(request.Get(), IID_IVideoFrame, &frame)))
      return {};
    frames.push_back(frame);
  }
  return frames;
}

// The same frames as a 4:2:2 Y4M file for the peer.
bool WriteY4m(const std::vector<ComPtr<IVideoFrame>>& frames, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fprintf(f, "YUV4MPEG2 W%u H%u F25:1 Ip A1:1 C422 XCOLORRANGE=FULL\n", kSide, kSide) > 0;
  std::vector<uint8_t> y(size_t{kSide} * kSide), u(y.size() / 2), v(y.size() / 2);
  for (const auto& frame : frames) {
    vmdx::FrameMemoryLock lock;
    ok = ok && SUCCEEDED(lock.Open(frame.Get(), vmdx::kLockRead));
    for (uint32_t row = 0; ok && row < kSide; ++row) {
      const uint8_t* yuyv = lock.row(0, static_cast<int32_t>(row));
      for (uint32_t x = 0; x < kSide / 2; ++x) {
        y[row * kSide + 2 * x] = yuyv[4 * x];
        u[row * kSide / 2 + x] = yuyv[4 * x + 1];
        y[row * kSide + 2 * x + 1] = yuyv[4 * x + 2];
        v[row * kSide / 2 + x] = yuyv[4 * x + 3];
      }
    }
    ok = ok && std::fputs("FRAME\n", f) >= 0 && std::fwrite(y.data(), 1, y.size(), f) == y.size() &&
         std::fwrite(u.data(), 1, u.size(), f) == u.size() && std::fwrite(v.data(), 1, v.size(), f) == v.size();
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  std::string ffmpeg = UnderWine() ? "/usr/bin/ffmpeg" : "ffmpeg";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0)
      quick = true;
    else if (std::strcmp(argv[i], "--ffmpeg") == 0 && i + 1 < argc)
      ffmpeg = argv[++i];
  }
  if (FAILED(VarnicaLoadClassLibrary(kModule))) {
    std::fprintf(stderr, "lens_bench: cannot load %s\n", kModule);
    return 1;
  }
  DX9Context context;
  CDX9ResourceCache cache;
  if (FAILED(context.InitializeOffscreenDevice(OffscreenDeviceSettings{})) || !context.device) {
    std::fprintf(stderr, "lens_bench: no Direct3D 9Ex device\n");
    return 1;
  }

  // The frames: on the GPU for us (each drawn once, so that wined3d's deferred upload is done
  // before timing), in a Y4M file for the peer.
  const std::vector<ComPtr<IVideoFrame>> clip = ClipFrames();
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string y4m = std::string(folder) + "vmdx-lens-bench.y4m";
  const std::string log = std::string(folder) + "vmdx-lens-bench.log";
  if (clip.size() != kClipFrames || !WriteY4m(clip, y4m)) {
    std::fprintf(stderr, "lens_bench: cannot make the clip's frames\n");
    return 1;
  }
  std::vector<ComPtr<IDirect3DTexture9>> sources(kClipFrames);
  for (int n = 0; n < kClipFrames; ++n) {
    if (FAILED(CreateTextureFromFrame(&context, &sources[n], clip[n].Get(), nullptr, nullptr))) {
      std::fprintf(stderr, "lens_bench: upload failed\n");
      return 1;
    }
  }

  // The map of the example lens file apps/vmdx/lenses/fisheye180-view90.lens.
  CDX9FisheyeRectify rectify(&context, &cache);
  rectify.params.Source = {FisheyeLensType_Radial, 959.5f, 959.5f, 960, 960, 1, 1, 1, 1, {}, 0};
  rectify.params.Target = {FisheyeLensType_Rectilinear, 0, 0, 960, 960, 1, 0.5625f, 0, 0, {}, 0};
  ComPtr<IDirect3DTexture9> map, view;
  ComPtr<IDirect3DSurface9> viewSurface, readBack;
  CDX9Remap remap(&context, &cache);
  HRESULT hr = rectify.CheckDevice();
  if (SUCCEEDED(hr)) hr = rectify.BuildFisheyeRectifyMap(&map, kViewWidth, kViewHeight, kSide, kSide, D3DFMT_G32R32F);
  if (SUCCEEDED(hr)) hr = remap.CheckDevice();
  if (SUCCEEDED(hr)) hr = remap.SetAddressMode(RemapAddress_Border);
  if (SUCCEEDED(hr)) hr = remap.SetMapTexture(map.Get());
  if (SUCCEEDED(hr))
    hr = context.device->CreateTexture(kViewWidth, kViewHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                       D3DPOOL_DEFAULT, &view, nullptr);
  if (SUCCEEDED(hr)) hr = view->GetSurfaceLevel(0, &viewSurface);
  if (SUCCEEDED(hr))
    hr = context.device->CreateOffscreenPlainSurface(kViewWidth, kViewHeight, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                     &readBack, nullptr);
  if (FAILED(hr)) {
    std::fprintf(stderr, "lens_bench: set-up failed (0x%08lX)\n", static_cast<unsigned long>(hr));
    return 1;
  }
  std::vector<uint8_t> cpuView(size_t{kViewWidth} * kViewHeight * 4);
  ComPtr<IDirect3DQuery9> done;
  if (FAILED(context.device->CreateQuery(D3DQUERYTYPE_EVENT, &done)))
    return std::fprintf(stderr, "lens_bench: no query\n"), 1;
  int next = 0;
  // One frame: the draw, the read-back, the rows copied out. The wait for the GPU sleeps
  // between polls (as vmdx lens does) unless spin is set: then LockRect waits by itself.
  auto remapFrame = [&](bool spin = false) -> HRESULT {
    HRESULT r = remap.SetSourceTexture(sources[next++ % kClipFrames].Get());
    if (SUCCEEDED(r)) r = remap.RenderRemapTexture(view.Get(), kViewWidth, kViewHeight);
    if (SUCCEEDED(r)) r = context.device->GetRenderTargetData(viewSurface.Get(), readBack.Get());
    if (SUCCEEDED(r) && !spin) r = done->Issue(D3DISSUE_END);
    while (SUCCEEDED(r) && !spin && (r = done->GetData(nullptr, 0, D3DGETDATA_FLUSH)) == S_FALSE) Sleep(1);
    vmdx::LockedRect locked(readBack.Get(), D3DLOCK_READONLY);
    if (SUCCEEDED(r)) r = locked.status();
    for (uint32_t y = 0; SUCCEEDED(r) && y < kViewHeight; ++y)
      std::memcpy(&cpuView[size_t{y} * kViewWidth * 4], locked.scanline(y), size_t{kViewWidth} * 4);
    return r;
  };
  // wined3d uploads each source at its first draw: done here, outside the timing.
  remap.SetInterpolation(RemapInterpolation_Nearest);
  for (int n = 0; n < kClipFrames; ++n)
    if (FAILED(remapFrame())) return std::fprintf(stderr, "lens_bench: remap failed\n"), 1;

  const int oursFrames = quick ? 4 : 12;
  // The peer's runs: long enough that its difference is well above the noise of a busy machine.
  struct Mode {
    const char* name;
    int32_t interpolation;
    const char* v360;
    int peerShort, peerLong;
  };
  const int scale = quick ? 1 : 2;
  const Mode modes[] = {{"nearest", RemapInterpolation_Nearest, "near", 12 * scale, 60 * scale},
                        {"bilinear", RemapInterpolation_Bilinear, "line", 12 * scale, 48 * scale},
                        {"cubic", RemapInterpolation_Cubic, "cubic", 6 * scale, 24 * scale}};
  std::vector<Case> cases;
  for (const Mode& mode : modes) {
    cases.push_back({std::string("lens-") + mode.name, [&, mode] {
                       remap.SetInterpolation(mode.interpolation);
                       const double start = HighResolutionSeconds();
                       for (int n = 0; n < oursFrames; ++n)
                         if (FAILED(remapFrame())) return -1.0;
                       return (HighResolutionSeconds() - start) / oursFrames;
                     }});
    cases.push_back({std::string("v360-") + mode.name, [&, mode] {
                       auto run = [&](int frames) {
                         const std::string line =
                             ffmpeg + " -nostdin -hide_banner -nostats -benchmark -stream_loop -1 -i " + PeerPath(y4m) +
                             " -frames:v " + std::to_string(frames) +
                             " -vf v360=input=fisheye:ih_fov=180:iv_fov=180:output=flat:" + kViewFov +
                             ":w=1920:h=1080:interp=" + mode.v360 + " -f null -";
                         return RunTimed(line, log);
                       };
                       const double shortRun = run(mode.peerShort), longRun = run(mode.peerLong);
                       if (shortRun < 0 || longRun < 0) return -1.0;
                       // A burst of load on the short run alone leaves no sample this round.
                       return longRun > shortRun ? (longRun - shortRun) / (mode.peerLong - mode.peerShort) : 0.0;
                     }});
  }
  // The same frames with LockRect left to wait for the GPU: Wine then spins on one of the two
  // cores the renderer's threads need.
  cases.push_back({"lens-bilinear, LockRect waiting", [&] {
                     remap.SetInterpolation(RemapInterpolation_Bilinear);
                     const double start = HighResolutionSeconds();
                     for (int n = 0; n < oursFrames; ++n)
                       if (FAILED(remapFrame(true))) return -1.0;
                     return (HighResolutionSeconds() - start) / oursFrames;
                   }});
  // The read-back alone.
  cases.push_back({"read-back of the 1920x1080 view alone", [&] {
                     const double start = HighResolutionSeconds();
                     for (int n = 0; n < oursFrames; ++n) {
                       if (FAILED(context.device->GetRenderTargetData(viewSurface.Get(), readBack.Get()))) return -1.0;
                       vmdx::LockedRect locked(readBack.Get(), D3DLOCK_READONLY);
                       if (FAILED(locked.status())) return -1.0;
                     }
                     return (HighResolutionSeconds() - start) / oursFrames;
                   }});

  D3DADAPTER_IDENTIFIER9 adapter{};
  context.direct3D->GetAdapterIdentifier(0, 0, &adapter);
  std::printf("Fisheye %ux%u -> rectilinear %ux%u on %s (%s) beside %s v360; median frames per second\n", kSide, kSide,
              kViewWidth, kViewHeight, adapter.Description, UnderWine() ? "Wine" : "Windows", ffmpeg.c_str());
  MeasureInRounds(quick ? 2 : 5, cases);
  for (const Case& c : cases) {
    if (c.failed || c.seconds.empty())
      std::printf("%-40s failed\n", c.label.c_str());
    else
      std::printf("%-40s %8.1f fps  (%.1f ms per frame)\n", c.label.c_str(), 1.0 / c.Median(), 1000 * c.Median());
  }
  for (size_t m = 0; m < std::size(modes); ++m) {
    const Case& ours = cases[2 * m];
    const Case& peer = cases[2 * m + 1];
    if (!ours.failed && !peer.failed && !ours.seconds.empty() && !peer.seconds.empty())
      std::printf("ratio %s vs %s: %.2f\n", ours.label.c_str(), peer.label.c_str(), ours.Median() / peer.Median());
  }
  DeleteFileA(y4m.c_str());
  DeleteFileA(log.c_str());
  return 0;
}
