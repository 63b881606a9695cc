// vmdx play [file.y4m | - | builtin:NAME] [--frames N] [--fast] [--size WxH] [--capture DIR [--every K]] [--osd]
//
// A player built only on what a host gets from the module's classes: a MediaDirectXDisplay
// bound to a resizable window, and for every picture a drawing surface from it, the decoder's
// frame bound as a texture (GetDecoderFrame), a letterboxed textured quad, GDI text on top
// (--osd), CaptureFrame for PNG files (--capture) and Present. Frames are paced to the clip's
// rate unless --fast. Escape, closing the window or the end of the clip end the run; space
// pauses.
#include "PlayCommand.h"

#include <fcntl.h>
#include <io.h>
#include <wrl/client.h>
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXDisplay.h"
#include "IMediaDirectXGraphics.h"
#include "PngWriter.h"
#include "VarnicaFrameAccess.h"
#include "VarnicaSphericalMetric.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr wchar_t kWindowClass[] = L"VmdxPlayWindow";
constexpr int kLargestSide = 16384;

// ---- options ------------------------------------------------------------------------------

struct Options {
  std::string source = "builtin:progressive";
  int64_t frames = -1;  // -1: the whole clip
  bool fast = false;
  int width = 0, height = 0;  // initial client size; 0: the clip's display size
  std::string captureDir;
  int64_t every = 1;
  bool osd = false;
};

const char kUsage[] =
    "usage: vmdx play [file.y4m | - | builtin:NAME] [--frames N] [--fast] [--size WxH]\n"
    "                 [--capture DIR [--every K]] [--osd]\n";

void PrintHelp() {
  std::printf(
      "%s"
      "Plays a clip in a resizable window through the display object: each frame is fetched from\n"
      "the decoder onto the display's device, drawn letterboxed with its pixel aspect ratio and\n"
      "presented, paced to the clip's frame rate.\n"
      "  file.y4m        a Y4M clip; - reads a Y4M stream from standard input (all of it, first);\n"
      "                  builtin:progressive (the default) or builtin:interlaced\n"
      "  --frames N      play at most N frames\n"
      "  --fast          do not wait for the frame rate\n"
      "  --size WxH      the window's first client size (default: the clip's display size)\n"
      "  --capture DIR   write the presented picture of every K-th frame as DIR/frame_NNNNNN.png\n"
      "  --every K       with --capture: every K-th frame (default 1)\n"
      "  --osd           frame number, timecode and frames per second drawn with GDI\n"
      "Keys: space pauses, Escape ends. Messages and progress go to standard error.\n",
      kUsage);
}

int UsageError(const char* problem, const char* value) {
  std::fprintf(stderr, "vmdx play: %s%s%s\n%s", problem, value ? " " : "", value ? value : "", kUsage);
  return 2;
}

bool ParseCount(const char* text, int64_t* out) {
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || value < 1) return false;
  *out = value;
  return true;
}

bool ParseSize(const char* text, int* width, int* height) {
  int w = 0, h = 0;
  char tail = 0;
  if (std::sscanf(text, "%dx%d%c", &w, &h, &tail) != 2) return false;
  if (w < 16 || h < 16 || w > kLargestSide || h > kLargestSide) return false;
  *width = w;
  *height = h;
  return true;
}

// 0 parsed, 1 help shown, 2 usage error (already reported).
int ParseOptions(int argc, char** argv, Options* o) {
  bool sourceGiven = false, everyGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto needValue = [&]() {
      if (value == nullptr) return false;
      ++i;
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return 1;
    } else if (arg == "--fast") {
      o->fast = true;
    } else if (arg == "--osd") {
      o->osd = true;
    } else if (arg == "--frames") {
      if (!needValue() || !ParseCount(value, &o->frames))
        return UsageError("--frames needs a count of 1 or more, not", value);
    } else if (arg == "--every") {
      if (!needValue() || !ParseCount(value, &o->every))
        return UsageError("--every needs a count of 1 or more, not", value);
      everyGiven = true;
    } else if (arg == "--size") {
      if (!needValue() || !ParseSize(value, &o->width, &o->height))
        return UsageError("--size needs WxH with sides from 16 to 16384, not", value);
    } else if (arg == "--capture") {
      if (!needValue() || *value == '\0') return UsageError("--capture needs a folder", nullptr);
      o->captureDir = value;
    } else if ((arg == "-" || arg.rfind("--", 0) != 0) && !sourceGiven) {
      o->source = arg;
      sourceGiven = true;
    } else {
      return UsageError(arg.rfind("--", 0) == 0 ? "unknown option" : "more than one clip:", arg.c_str());
    }
  }
  if (everyGiven && o->captureDir.empty()) return UsageError("--every goes with --capture", nullptr);
  return 0;
}

std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// ---- the clip ---------------------------------------------------------------------------

// Standard input spooled into a temporary file the decoder can open (it reads Y4M files by
// frame number); the file goes with the object.
class SpooledInput {
 public:
  ~SpooledInput() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  HRESULT Read(std::string* error) {
    char folder[MAX_PATH], file[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "vmd", 0, file)) {
      *error = "no temporary file for standard input";
      return HRESULT_FROM_WIN32(GetLastError());
    }
    path_ = file;
    std::FILE* out = std::fopen(file, "wb");
    if (out == nullptr) {
      *error = "cannot write " + path_;
      return E_FAIL;
    }
    _setmode(_fileno(stdin), _O_BINARY);
    std::vector<char> buffer(1 << 20);
    size_t total = 0, got = 0;
    bool written = true;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
      written = written && std::fwrite(buffer.data(), 1, got, out) == got;
      total += got;
    }
    written = std::fclose(out) == 0 && written;
    if (!written) {
      *error = "cannot write " + path_ + " (disk full?)";
      return E_FAIL;
    }
    if (total == 0) {
      *error = "standard input is empty";
      return E_FAIL;
    }
    return S_OK;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct Clip {
  ComPtr<IVideoDecoder> decoder;
  std::string name;
  int32_t width = 0, height = 0;
  VarnicaFrameRate rate{25, 1, 0, 0};
  VarnicaPixelAspectRatio aspect{1, 1};
  int64_t frames = 0;
  double fps() const {
    return rate.numerator > 0 && rate.denominator > 0 ? double(rate.numerator) / rate.denominator : 25.0;
  }
  double par() const {
    return aspect.numerator > 0 && aspect.denominator > 0 ? double(aspect.numerator) / aspect.denominator : 1.0;
  }
};

HRESULT OpenClip(const std::string& path, const std::string& name, Clip* clip) {
  HRESULT hr = CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &clip->decoder);
  if (SUCCEEDED(hr)) hr = clip->decoder->Open(path.c_str());
  ComPtr<IValueSet> values;
  if (SUCCEEDED(hr)) hr = clip->decoder->GetValueSet(&values);
  VarnicaFrameSize size{};
  int32_t count = 0;
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(values.Get(), FrameSizeProperty, FrameSizeValueType, &size);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(values.Get(), FrameCountProperty, Int32ValueType, &count);
  if (FAILED(hr)) return hr;
  // Rate and aspect are optional in a source's description.
  vmdx::GetValue(values.Get(), FrameRateProperty, FrameRateProperty, &clip->rate);
  vmdx::GetValue(values.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType, &clip->aspect);
  clip->name = name;
  clip->width = size.width;
  clip->height = size.height;
  clip->frames = count;
  return S_OK;
}

// ---- the window --------------------------------------------------------------------------

struct WindowState {
  bool closeAsked = false;
  bool paused = false;
  bool resized = false;
};

LRESULT CALLBACK PlayWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_CLOSE:  // the run ends and releases everything before the window goes
      if (state) state->closeAsked = true;
      return 0;
    case WM_KEYDOWN:
      if (state && wparam == VK_ESCAPE) state->closeAsked = true;
      if (state && wparam == VK_SPACE) state->paused = !state->paused;
      return 0;
    case WM_SIZE:
      if (state) state->resized = true;
      return 0;
    case WM_ERASEBKGND:  // every picture covers the whole client area
      return 1;
    case WM_PAINT:
      ValidateRect(hwnd, nullptr);
      if (state) state->resized = true;  // shown again: draw the picture again when paused
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

// The window's first client size: asked for, or the clip's display size, shrunk (keeping its
// shape) to fit the screen's work area.
SIZE FirstClientSize(const Options& o, const Clip& clip) {
  if (o.width > 0) return {o.width, o.height};
  double w = std::max(1.0, std::round(clip.width * clip.par())), h = clip.height;
  RECT work{0, 0, 1920, 1080};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const double fit = std::min({1.0, 0.9 * (work.right - work.left) / w, 0.9 * (work.bottom - work.top) / h});
  return {std::max(16L, std::lround(w * fit)), std::max(16L, std::lround(h * fit))};
}

HWND CreatePlayWindow(const std::wstring& title, SIZE client, WindowState* state) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = PlayWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);
  RECT outer{0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
  HWND hwnd = CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (hwnd == nullptr) return nullptr;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  ShowWindow(hwnd, SW_SHOWNORMAL);
  return hwnd;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Waits until the performance clock reaches deadline (seconds), handling the window's messages.
void WaitUntil(double deadline, double (*now)()) {
  for (;;) {
    PumpMessages();
    const double left = deadline - now();
    if (left <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::ceil(left * 1000)), QS_ALLINPUT);
  }
}

double Seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / frequency;
}

// ---- one picture -------------------------------------------------------------------------

// The view properties every surface gets, set in one place: the viewer's controls (camera,
// packing, display type, turning and zooming) fill this.
struct ViewSettings {
  GUID cameraType{};
  GUID framePacking{};
  GUID displayType{};
  float ipd = 0.07f;
  float zeroParallax = 1.0f;
  float angularRange[2] = {6.2831855f, 3.1415927f};
  float yaw = 0, pitch = 0, roll = 0, zoom = 1;  // radians; the view matrix comes from the spherical metric
  bool fillWindow = false;                       // 360-degree views draw over the whole window
};

HRESULT ApplyView(IMediaDirectXGraphics* surface, const ViewSettings& view, IMediaDisplaySphericalMetric* metric,
                  const float viewSize[2]) {
  float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  if (metric) metric->GetViewMatrix(view.yaw, view.pitch, view.roll, view.zoom, matrix);
  ComPtr<IValueSet> values;
  HRESULT hr = surface->GetValueSet(&values);
  IValueSet* set = values.Get();
  if (SUCCEEDED(hr)) hr = vmdx::SetValue(set, GraphicsCameraTypeProperty, GuidValueType, view.cameraType);
  if (SUCCEEDED(hr)) hr = vmdx::SetValue(set, GraphicsFramePackingProperty, GuidValueType, view.framePacking);
  if (SUCCEEDED(hr)) hr = vmdx::SetValue(set, GraphicsDisplayTypeProperty, GuidValueType, view.displayType);
  if (SUCCEEDED(hr)) hr = vmdx::SetValue(set, GraphicsIpdProperty, FloatValueType, view.ipd);
  if (SUCCEEDED(hr)) hr = vmdx::SetValue(set, GraphicsZeroParallaxProperty, FloatValueType, view.zeroParallax);
  if (SUCCEEDED(hr))
    hr = set->SetValueData(GraphicsAngularRangeProperty, &GraphicsAngularRangeProperty, view.angularRange,
                           sizeof view.angularRange);
  if (SUCCEEDED(hr))
    hr = set->SetValueData(GraphicsViewSizeProperty, &GraphicsViewSizeProperty, viewSize, 2 * sizeof(float));
  if (SUCCEEDED(hr))
    hr = set->SetValueData(GraphicsViewMatrixProperty, &FloatMatrix3x3ValueType, matrix, sizeof matrix);
  return hr;
}

// Where the picture goes in a client area: as large as fits with its display shape, centred, on
// whole pixels.
struct Area {
  int x, y, width, height;
};
Area Letterbox(int clientWidth, int clientHeight, const Clip& clip) {
  const double w = clip.width * clip.par(), h = clip.height;
  const double scale = std::min(clientWidth / w, clientHeight / h);
  const int width = std::max(1, static_cast<int>(std::lround(w * scale)));
  const int height = std::max(1, static_cast<int>(std::lround(h * scale)));
  return {(clientWidth - width) / 2, (clientHeight - height) / 2, width, height};
}

HRESULT DrawTexturedQuad(IMediaDirectXGraphics* surface, const Area& a) {
  // Pixel centres lie on whole coordinates; the quad's edges half a pixel before them.
  const float l = a.x - 0.5f, t = a.y - 0.5f, r = a.x + a.width - 0.5f, b = a.y + a.height - 0.5f;
  const float xyz[12] = {l, t, 0, r, t, 0, l, b, 0, r, b, 0};
  const float uv[8] = {0, 0, 1, 0, 0, 1, 1, 1};
  HRESULT hr = surface->BeginVertex(PrimitiveType_TriangleStrip, 4);
  if (SUCCEEDED(hr)) hr = surface->VertexSetPosV(0, xyz, 4);
  if (SUCCEEDED(hr)) hr = surface->VertexSetTextureUVV(0, 0, uv, 4);
  if (SUCCEEDED(hr)) hr = surface->DrawPrimitive();
  if (SUCCEEDED(hr)) hr = surface->EndVertex();
  return hr;
}

std::string Timecode(int64_t frame, const Clip& clip) {
  const int64_t perSecond = std::max<int64_t>(1, std::llround(clip.fps()));
  const int64_t seconds = frame / perSecond;
  char text[32];
  std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600,
                seconds / 60 % 60, seconds % 60, frame % perSecond);
  return text;
}

HRESULT DrawOsd(IMediaDirectXGraphics* surface, int clientHeight, const std::string& text) {
  HDC dc = nullptr;
  HRESULT hr = surface->GetHDC(&dc);
  if (FAILED(hr)) return hr;
  const int pixels = std::max(12, clientHeight / 28);
  HFONT font = CreateFontW(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Liberation Sans");
  HGDIOBJ previous = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  const int margin = pixels / 2;
  SetTextColor(dc, RGB(0, 0, 0));  // a shadow keeps the text readable on light pictures
  TextOutA(dc, margin + 1, margin + 1, text.c_str(), static_cast<int>(text.size()));
  SetTextColor(dc, RGB(255, 255, 255));
  TextOutA(dc, margin, margin, text.c_str(), static_cast<int>(text.size()));
  SelectObject(dc, previous);
  DeleteObject(font);
  return surface->ReleaseHDC(dc);
}

// The captured picture (32-bit, memory B, G, R, X) as a PNG file.
HRESULT WriteCapture(IMediaDirectXGraphics* surface, const std::filesystem::path& path, std::string* error) {
  ComPtr<IMediaDirectX9VideoFrame> frame;
  HRESULT hr = surface->CaptureFrame(0, IID_IMediaDirectX9VideoFrame, &frame);
  if (FAILED(hr)) {
    *error = "CaptureFrame failed";
    return hr;
  }
  vmdx::FrameMemoryLock lock;
  hr = lock.Open(frame.Get(), vmdx::kLockRead);
  if (FAILED(hr)) {
    *error = "the captured frame cannot be read";
    return hr;
  }
  const int32_t w = lock.memory().width, h = lock.memory().height;
  std::vector<uint8_t> bgr(static_cast<size_t>(w) * h * 3);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* in = lock.row(0, y);
    uint8_t* out = bgr.data() + static_cast<size_t>(y) * w * 3;
    for (int32_t x = 0; x < w; ++x, in += 4, out += 3) out[0] = in[0], out[1] = in[1], out[2] = in[2];
  }
  lock.Unlock();
  return WritePng(path.wstring(), w, h, PngPixels::Bgr8, bgr.data(), int64_t{w} * 3, error);
}

struct ComScope {
  ComScope() : hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
  HRESULT hr;
};

// Everything a run holds, released in order before the window goes and the open objects are
// counted.
struct Player {
  Clip clip;
  ComPtr<IMediaDirectXDisplay> display;
  ComPtr<IMediaDisplaySphericalMetric> metric;
  HWND window = nullptr;
  WindowState state;

  ~Player() {
    if (display) {
      ComPtr<IDisposable> disposable;
      if (SUCCEEDED(display.As(&disposable))) disposable->Dispose();
    }
    metric.Reset();
    display.Reset();
    clip.decoder.Reset();
    if (window) DestroyWindow(window);
    PumpMessages();
  }
};

enum class Shown { Ok, WindowGone, Failed };

// The steps of a picture, run until the first that fails.
struct Steps {
  HRESULT hr = S_OK;
  const char* failed = nullptr;
  bool ok() const { return SUCCEEDED(hr); }
  template <class Step>
  void Run(const char* name, Step&& step) {
    if (!ok()) return;
    hr = step();
    if (!ok()) failed = name;
  }
};

}  // namespace

int RunPlayCommand(int argc, char** argv) {
  Options options;
  const int parsed = ParseOptions(argc, argv, &options);
  if (parsed == 1) return 0;
  if (parsed != 0) return parsed;
  const ComScope com;

  if (FAILED(VarnicaLoadClassLibrary(kModule))) {
    std::fprintf(stderr, "vmdx play: cannot load %s\n", kModule);
    return 1;
  }
  HMODULE module = GetModuleHandleA(kModule);
  auto openObjects =
      reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module, "DLLGetOpenObjectCount")));

  SpooledInput spooled;
  std::string path = options.source, name = options.source;
  if (options.source == "-") {
    std::string error;
    std::fprintf(stderr, "vmdx play: reading standard input...\n");
    if (FAILED(spooled.Read(&error))) {
      std::fprintf(stderr, "vmdx play: %s\n", error.c_str());
      return 1;
    }
    path = spooled.path();
    name = "standard input";
  } else if (options.source.rfind("builtin:", 0) != 0) {
    name = std::filesystem::path(options.source).filename().string();
  }

  std::filesystem::path captureDir;
  if (!options.captureDir.empty()) {
    std::error_code made;
    captureDir = options.captureDir;
    std::filesystem::create_directories(captureDir, made);
    if (made) {
      std::fprintf(stderr, "vmdx play: cannot create %s: %s\n", options.captureDir.c_str(), made.message().c_str());
      return 1;
    }
  }

  int exitCode = 0;
  int64_t shown = 0;
  double playSeconds = 0;
  {
    Player p;
    HRESULT hr = OpenClip(path, name, &p.clip);
    if (FAILED(hr)) {
      std::fprintf(stderr, "vmdx play: cannot open %s (%s)\n", options.source.c_str(), HrText(hr).c_str());
      return 1;
    }
    Clip& clip = p.clip;
    const int64_t count = options.frames > 0 ? std::min(options.frames, clip.frames) : clip.frames;

    wchar_t title[256];
    std::swprintf(title, 256, L"vmdx play - %hs - %dx%d @ %.3g fps", clip.name.c_str(), clip.width, clip.height,
                  clip.fps());
    p.window = CreatePlayWindow(title, FirstClientSize(options, clip), &p.state);
    if (p.window == nullptr) {
      std::fprintf(stderr, "vmdx play: cannot create a window (%lu)\n", GetLastError());
      return 1;
    }
    ComPtr<IValueSet> settings;
    hr = CreateClassObject(CLSID_MediaDirectXDisplay, IID_IMediaDirectXDisplay, &p.display);
    if (SUCCEEDED(hr)) hr = CreateClassObject(CLSID_ValueSet, IID_IValueSet, &settings);
    if (SUCCEEDED(hr)) hr = vmdx::SetValue(settings.Get(), CHwndProperty, CHwndProperty, p.window);
    if (SUCCEEDED(hr)) hr = p.display->Create0(settings.Get());
    if (FAILED(hr)) {
      std::fprintf(stderr, "vmdx play: cannot bind a display to the window (%s)\n", HrText(hr).c_str());
      return 1;
    }
    if (FAILED(p.display->GetObject(GUID{}, MediaDisplaySphericalMetricId, &p.metric)))
      std::fprintf(stderr, "vmdx play: no spherical metric; views keep the identity matrix\n");

    std::fprintf(stderr, "vmdx play: %s, %dx%d, %.3g fps, %" PRId64 " frames%s\n", clip.name.c_str(), clip.width,
                 clip.height, clip.fps(), count, options.fast ? ", as fast as it goes" : "");
    const bool terminal = _isatty(_fileno(stderr)) != 0;
    const ViewSettings view;

    // Draws frame n into a new surface and presents it; captures when asked.
    auto showFrame = [&](int64_t n, bool capture, double fps) -> Shown {
      ComPtr<IMediaDirectXGraphics> surface;
      HRESULT shownHr = p.display->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &surface);
      if (FAILED(shownHr)) {
        if (!IsWindow(p.window)) return Shown::WindowGone;
        std::fprintf(stderr, "vmdx play: frame %" PRId64 ": no drawing surface (%s)\n", n, HrText(shownHr).c_str());
        return Shown::Failed;
      }
      RECT client{};
      GetClientRect(p.window, &client);
      const VarnicaTimecode timecode{n, static_cast<int32_t>(clip.rate.numerator),
                                     static_cast<int32_t>(clip.rate.denominator), 0, 0};
      ComPtr<IMediaDirectX9VideoFrame> frame;
      // RGB, so that the plain display program shows the colours as they are.
      shownHr = surface->GetDecoderFrame(IID_IMediaDirectX9VideoFrame, &frame, clip.decoder.Get(), &timecode, nullptr,
                                         &MediaFormat_RGBX8, nullptr);
      if (FAILED(shownHr)) {
        std::fprintf(stderr,
                     "vmdx play: frame %" PRId64 " of %s cannot be decoded (%s); the frames before it were shown\n", n,
                     clip.name.c_str(), HrText(shownHr).c_str());
        return Shown::Failed;
      }
      const Area area = view.fillWindow ? Area{0, 0, int(client.right), int(client.bottom)}
                                        : Letterbox(client.right, client.bottom, clip);
      const float viewSize[2] = {float(area.width), float(area.height)};
      Steps steps;
      steps.Run("SetTexture", [&] { return surface->SetTexture(0, frame.Get()); });
      steps.Run("view properties", [&] { return ApplyView(surface.Get(), view, p.metric.Get(), viewSize); });
      steps.Run("SetShader", [&] { return surface->SetShader(DisplayShaderProgramId); });
      steps.Run("drawing", [&] { return DrawTexturedQuad(surface.Get(), area); });
      if (options.osd) {
        char text[96];
        std::snprintf(text, sizeof text, "frame %" PRId64 "  %s  %.1f fps%s", n, Timecode(n, clip).c_str(), fps,
                      p.state.paused ? "  paused" : "");
        steps.Run("GDI text", [&] { return DrawOsd(surface.Get(), client.bottom, text); });
      }
      std::string error;
      if (capture) {
        char file[40];
        std::snprintf(file, sizeof file, "frame_%06" PRId64 ".png", n);
        steps.Run("capture", [&] { return WriteCapture(surface.Get(), captureDir / file, &error); });
      }
      steps.Run("Present", [&] { return surface->Present(); });
      if (!steps.ok()) {
        if (!IsWindow(p.window)) return Shown::WindowGone;
        std::fprintf(stderr, "vmdx play: frame %" PRId64 ": %s failed (%s)%s%s\n", n, steps.failed,
                     HrText(steps.hr).c_str(), error.empty() ? "" : ": ", error.c_str());
        return Shown::Failed;
      }
      return Shown::Ok;
    };

    const double start = Seconds();
    double anchor = start;  // the time frame `anchorFrame` was due
    int64_t anchorFrame = 0;
    std::vector<double> recent;  // present times of the last second, for the frames-per-second figure
    double lastProgress = 0;
    Shown result = Shown::Ok;
    for (int64_t n = 0; n < count && result == Shown::Ok;) {
      PumpMessages();
      if (p.state.closeAsked) break;
      const double now = Seconds();
      if (p.state.paused) {
        if (p.state.resized && n > 0) {
          p.state.resized = false;
          result = showFrame(n - 1, false, 0);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        anchor = Seconds();  // carry on from here when unpaused
        anchorFrame = n;
        continue;
      }
      p.state.resized = false;
      while (!recent.empty() && recent.front() < now - 1.0) recent.erase(recent.begin());
      const double fps = recent.size() > 1 ? (recent.size() - 1) / (recent.back() - recent.front()) : 0;
      result = showFrame(n, !captureDir.empty() && n % options.every == 0, fps);
      if (result != Shown::Ok) break;
      recent.push_back(Seconds());
      ++n;
      shown = n;
      if (terminal && (Seconds() - lastProgress > 0.25 || n == count)) {
        lastProgress = Seconds();
        std::fprintf(stderr, "\r  frame %" PRId64 "/%" PRId64 "  %5.1f fps ", n, count, fps);
      }
      if (!options.fast) {
        double due = anchor + (n - anchorFrame) / clip.fps();
        if (Seconds() - due > 0.25) {  // far behind: count from here instead of hurrying
          anchor = due = Seconds();
          anchorFrame = n;
        }
        WaitUntil(due, &Seconds);
      }
    }
    playSeconds = Seconds() - start;
    if (terminal) std::fprintf(stderr, "\n");
    if (result == Shown::WindowGone) {
      std::fprintf(stderr, "vmdx play: the window went away at frame %" PRId64 "\n", shown);
      p.window = nullptr;
    } else if (result == Shown::Failed) {
      exitCode = 1;
    } else if (p.state.closeAsked) {
      std::fprintf(stderr, "vmdx play: stopped at frame %" PRId64 "\n", shown);
    }
  }
  const HRESULT open = openObjects ? openObjects() : 0;
  std::fprintf(stderr, "vmdx play: %" PRId64 " frames in %.2f s (%.1f fps), open objects %ld\n", shown, playSeconds,
               playSeconds > 0 ? shown / playSeconds : 0.0, static_cast<long>(open));
  if (open != 0) {
    std::fprintf(stderr, "vmdx play: objects were left open\n");
    return 1;
  }
  return exitCode;
}
