// vmdx play [file.y4m | - | builtin:NAME] [--frames N] [--fast] [--size WxH] [--capture DIR [--every K]] [--osd]
//           [view options] [--leak-check] [--resize-every N] [--switch-view-every N]
//
// A player built only on what a host gets from the module's classes: a MediaDirectXDisplay
// bound to a resizable window, and for every picture a drawing surface from it, the decoder's
// frame bound as a texture (GetDecoderFrame), the view properties and the display program
// (flat, packed stereo and 360-degree pictures; the view matrix from the display's spherical
// metric), a textured quad, GDI text on top (--osd), CaptureFrame for PNG files (--capture) and
// Present. Frames are paced to the clip's rate unless --fast. In the window a mouse drag turns the
// view, the wheel zooms, keys 1-8 choose the view type, R resets the direction; space pauses;
// Escape, closing the window or the end of the clip end the run.
#include "PlayCommand.h"

#include <io.h>
#include <windowsx.h>
#include <wrl/client.h>
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "FramePictures.h"
#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXDisplay.h"
#include "IMediaDirectXGraphics.h"
#include "LeakCheck.h"
#include "PngWriter.h"
#include "VarnicaFrameAccess.h"
#include "VarnicaSphericalMetric.h"
#include "ViewControls.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtool;

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
  int64_t every = 0;  // 0: not given (1)
  bool osd = false;
  vmdxview::ViewOptions view;
  bool leakCheck = false;
  int64_t resizeEvery = 0;      // long runs: the window changes size every N frames
  int64_t switchViewEvery = 0;  // long runs: the next view type every N frames
};

constexpr char kUsage[] =
    "[file.y4m | - | builtin:NAME] [--frames N] [--fast] [--size WxH] [--capture DIR [--every K]] [--osd]\n"
    "                 [--camera ...] [--packing ...] [--view ...] [--ipd MM] [--zero-parallax M] [--range LON,LAT]\n"
    "                 [--yaw DEG] [--pitch DEG] [--roll DEG] [--zoom Z] [--leak-check]";

std::string Details() {
  return std::string(
             "Plays a clip in a resizable window through the display object: each frame is fetched from\n"
             "the decoder onto the display's device, drawn through the display program (letterboxed with\n"
             "its pixel aspect ratio, or over the whole window for a 360-degree view) and presented, paced\n"
             "to the clip's frame rate.\n"
             "  file.y4m            a Y4M clip; - reads a Y4M stream from standard input; builtin:NAME a\n"
             "                      built-in clip: progressive (default), interlaced, sphere, sphere-lr,\n"
             "                      sphere-tb, stereo, stereo-tb, fisheye\n"
             "  --frames N          play at most N frames\n"
             "  --fast              do not wait for the frame rate\n"
             "  --size WxH          the window's first client size (default: the clip's display size)\n"
             "  --capture DIR       write the presented picture of every K-th frame as DIR/frame_NNNNNN.png\n"
             "  --every K           with --capture: every K-th frame (default 1)\n"
             "  --osd               frame number, timecode and frames per second drawn with GDI\n") +
         vmdxview::ViewOptionsUsage() +
         "  --leak-check        private bytes after frame 100 and after the last within 5 MB, no open\n"
         "                      module object and the device's last release 0 at the end, or exit 1\n"
         "  --resize-every N    (long runs) change the window's size every N frames\n"
         "  --switch-view-every N  (long runs) go on to the next view type every N frames\n"
         "In the window: drag with the mouse to look around, the wheel zooms, keys 1-8 choose the view\n"
         "type (plain, left, right, anaglyph, contrast, dubois-rc, dubois-gm, dubois-ab), R resets the\n"
         "direction and zoom, space pauses, Escape ends. Messages and progress go to standard error.\n";
}

bool ParseSize(const std::string& text, int* width, int* height) {
  int w = 0, h = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) != 2) return false;
  if (w < 16 || h < 16 || w > kLargestSide || h > kLargestSide) return false;
  *width = w;
  *height = h;
  return true;
}

// The view options, through the viewer's own parser.
void DeclareViewOptions(CommandLine& cli, vmdxview::ViewOptions* view) {
  static const char* const kNames[] = {"--camera", "--packing", "--view",  "--ipd",  "--zero-parallax",
                                       "--range",  "--yaw",     "--pitch", "--roll", "--zoom"};
  for (const char* name : kNames) {
    cli.Value(name, "see --help", [name, view](const std::string& value) {
      char* argv[] = {const_cast<char*>(name), const_cast<char*>(value.c_str())};
      int i = 0;
      std::string error;
      return vmdxview::ParseViewOption(2, argv, &i, view, &error) == vmdxview::OptionResult::Taken;
    });
  }
}

// ---- the clip ---------------------------------------------------------------------------

struct Clip {
  ComPtr<IVideoDecoder> decoder;
  std::string name;
  int32_t width = 0, height = 0;
  VarnicaFrameRate rate{25, 1, 0, 0};
  VarnicaPixelAspectRatio aspect{1, 1};
  int64_t frames = -1;  // -1: a stream, whose length shows at its end
  bool stream = false;
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
  if (FAILED(hr)) return hr;
  // A stream has no frame count: it is read once, front to back.
  clip->stream = FAILED(vmdx::GetValue(values.Get(), FrameCountProperty, Int32ValueType, &count));
  // Rate and aspect are optional in a source's description.
  vmdx::GetValue(values.Get(), FrameRateProperty, FrameRateProperty, &clip->rate);
  vmdx::GetValue(values.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType, &clip->aspect);
  clip->name = name;
  clip->width = size.width;
  clip->height = size.height;
  clip->frames = clip->stream ? -1 : count;
  return S_OK;
}

// ---- the window --------------------------------------------------------------------------

struct WindowState {
  bool closeAsked = false;
  bool paused = false;
  bool resized = false;
  bool viewChanged = false;  // the view was turned, zoomed or its type chosen: new title, and a redraw when paused
  vmdxview::ViewState* view = nullptr;
  bool dragging = false;
  POINT dragFrom{};
};

LRESULT CALLBACK PlayWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (state == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    case WM_CLOSE:  // the run ends and releases everything before the window goes
      state->closeAsked = true;
      return 0;
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE) state->closeAsked = true;
      if (wparam == VK_SPACE) state->paused = !state->paused;
      if (state->view && state->view->Key(static_cast<unsigned>(wparam))) state->viewChanged = true;
      return 0;
    case WM_LBUTTONDOWN:
      state->dragging = true;
      state->dragFrom = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      SetCapture(hwnd);
      return 0;
    case WM_MOUSEMOVE:
      if (state->dragging && state->view) {
        const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        RECT client{};
        GetClientRect(hwnd, &client);
        state->view->Drag(at.x - state->dragFrom.x, at.y - state->dragFrom.y, client.right);
        state->dragFrom = at;
        state->viewChanged = true;
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (state->dragging) ReleaseCapture();
      state->dragging = false;
      return 0;
    case WM_MOUSEWHEEL:
      if (state->view) {
        state->view->Wheel(GET_WHEEL_DELTA_WPARAM(wparam) / double(WHEEL_DELTA));
        state->viewChanged = true;
      }
      return 0;
    case WM_SIZE:
      state->resized = true;
      return 0;
    case WM_ERASEBKGND:  // every picture covers the whole client area
      return 1;
    case WM_PAINT:
      ValidateRect(hwnd, nullptr);
      state->resized = true;  // shown again: draw the picture again when paused
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

// The view properties of a surface for the viewer's current view, with the view matrix from the
// display's spherical metric.
HRESULT ApplyView(IMediaDirectXGraphics* surface, const vmdxview::ViewOptions& view,
                  IMediaDisplaySphericalMetric* metric, float viewWidth, float viewHeight) {
  vmdxview::SurfaceViewValues values{};
  HRESULT hr = vmdxview::ToSurfaceValues(view, metric, &values);
  ComPtr<IValueSet> set;
  if (SUCCEEDED(hr)) hr = surface->GetValueSet(&set);
  if (SUCCEEDED(hr)) hr = vmdxview::ApplyToSurface(set.Get(), values, viewWidth, viewHeight);
  return hr;
}

// Where the picture goes in a client area: as large as fits with its display shape, centred, on
// whole pixels.
struct Area {
  int x, y, width, height;
};
Area Letterbox(int clientWidth, int clientHeight, const Clip& clip, const vmdxview::ViewOptions& view) {
  double w = clip.width * clip.par(), h = clip.height;
  if (vmdxview::ShowsOneEyePicture(view)) (view.packing == vmdxview::Packing::LR ? w : h) /= 2;
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

// The presented picture, captured as a frame, as a PNG file.
HRESULT WriteCapture(IMediaDirectXGraphics* surface, const std::filesystem::path& path, std::string* error) {
  ComPtr<IMediaDirectX9VideoFrame> frame;
  HRESULT hr = surface->CaptureFrame(0, IID_IMediaDirectX9VideoFrame, &frame);
  if (FAILED(hr)) {
    *error = "CaptureFrame failed";
    return hr;
  }
  return WriteFramePng(frame.Get(), false, path, error);
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

enum class Shown { Ok, End, WindowGone, Failed };

// A Y4M stream's end as the decoder reports it.
constexpr HRESULT kEndOfStream = HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);

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

// The window sizes a long run cycles through (--resize-every).
constexpr SIZE kStressSizes[] = {{640, 360}, {480, 480}, {800, 450}, {333, 187}};

void ResizeClient(HWND window, SIZE client) {
  RECT outer{0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE, 0);
  SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowTitle(const vmdxview::ViewState& view, const Clip& clip) {
  wchar_t title[320];
  std::swprintf(title, 320, L"%hs - %hs - %dx%d @ %.3g fps", view.Title().c_str(), clip.name.c_str(), clip.width,
                clip.height, clip.fps());
  return title;
}

}  // namespace

int RunPlayCommand(int argc, char** argv) {
  Options options;
  const std::string details = Details();
  CommandLine cli("play", kUsage, details.c_str());
  cli.Input(&options.source);
  cli.Integer("--frames", &options.frames, 1, INT64_MAX);
  cli.Flag("--fast", &options.fast);
  cli.Value("--size", "WxH, sides from 16 to 16384",
            [&](const std::string& v) { return ParseSize(v, &options.width, &options.height); });
  cli.Text("--capture", &options.captureDir);
  cli.Integer("--every", &options.every, 1, INT64_MAX);
  cli.Flag("--osd", &options.osd);
  DeclareViewOptions(cli, &options.view);
  cli.Flag("--leak-check", &options.leakCheck);
  cli.Integer("--resize-every", &options.resizeEvery, 1, INT64_MAX);
  cli.Integer("--switch-view-every", &options.switchViewEvery, 1, INT64_MAX);
  if (const int code = cli.Parse(argc, argv); code >= 0) return code;
  if (options.every > 0 && options.captureDir.empty()) return cli.UsageError("--every goes with --capture");
  if (options.every == 0) options.every = 1;
  const ComScope com;
  FrameworkMessages messages(cli.verbose());

  if (const HRESULT loaded = VarnicaLoadClassLibrary(kModule); FAILED(loaded))
    return cli.Failure(Failed(std::string("loading ") + kModule, loaded, messages));
  HMODULE module = GetModuleHandleA(kModule);
  auto openObjects =
      reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module, "DLLGetOpenObjectCount")));

  std::string name = options.source == "-" ? "standard input" : options.source;
  if (options.source != "-" && options.source.rfind("builtin:", 0) != 0)
    name = std::filesystem::path(options.source).filename().string();

  std::filesystem::path captureDir;
  if (!options.captureDir.empty()) {
    std::error_code made;
    captureDir = options.captureDir;
    std::filesystem::create_directories(captureDir, made);
    if (made) return cli.Failure("cannot create the folder " + options.captureDir + ": " + made.message());
  }

  int exitCode = kExitSuccess;
  int64_t shown = 0;
  double playSeconds = 0;
  LeakCheck leaks(options.leakCheck);
  IDirect3DDevice9* lastDevice = nullptr;  // the display's device at the end, held for the leak check
  {
    Player p;
    HRESULT hr = OpenClip(options.source, name, &p.clip);
    if (FAILED(hr)) return cli.Failure(Failed("opening " + name, hr, messages));
    Clip& clip = p.clip;
    const int64_t count = options.frames > 0 ? (clip.stream ? options.frames : std::min(options.frames, clip.frames))
                                             : clip.frames;  // -1: a stream to its end

    vmdxview::ViewState view(options.view);
    p.state.view = &view;
    p.window = CreatePlayWindow(WindowTitle(view, clip), FirstClientSize(options, clip), &p.state);
    if (p.window == nullptr) return cli.Failure("cannot create a window (" + std::to_string(GetLastError()) + ")");
    ComPtr<IValueSet> settings;
    hr = CreateClassObject(CLSID_MediaDirectXDisplay, IID_IMediaDirectXDisplay, &p.display);
    if (SUCCEEDED(hr)) hr = CreateClassObject(CLSID_ValueSet, IID_IValueSet, &settings);
    if (SUCCEEDED(hr)) hr = vmdx::SetValue(settings.Get(), CHwndProperty, CHwndProperty, p.window);
    if (SUCCEEDED(hr)) hr = p.display->Create0(settings.Get());
    if (SUCCEEDED(hr)) hr = p.display->GetObject(GUID{}, MediaDisplaySphericalMetricId, &p.metric);
    if (FAILED(hr)) return cli.Failure(Failed("binding a display to the window", hr, messages));

    char countText[32] = "all";
    if (count >= 0) std::snprintf(countText, sizeof countText, "%" PRId64, count);
    std::fprintf(stderr, "vmdx play: %s, %dx%d, %.3g fps, %s frames%s\n", clip.name.c_str(), clip.width, clip.height,
                 clip.fps(), countText, options.fast ? ", as fast as it goes" : "");
    const bool terminal = _isatty(_fileno(stderr)) != 0;

    // Draws frame n into a new surface and presents it; captures when asked.
    auto showFrame = [&](int64_t n, bool capture, double fps, bool last) -> Shown {
      ComPtr<IMediaDirectXGraphics> surface;
      HRESULT shownHr = p.display->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &surface);
      if (FAILED(shownHr)) {
        if (!IsWindow(p.window)) return Shown::WindowGone;
        std::fprintf(stderr, "vmdx play: frame %" PRId64 ": %s\n", n,
                     Failed("no drawing surface", shownHr, messages).c_str());
        return Shown::Failed;
      }
      RECT client{};
      GetClientRect(p.window, &client);
      const VarnicaTimecode timecode{n, static_cast<int32_t>(clip.rate.numerator),
                                     static_cast<int32_t>(clip.rate.denominator), 0, 0};
      ComPtr<IMediaDirectX9VideoFrame> frame;
      // RGB, so that the display program and the plain path show the colours as they are.
      shownHr = surface->GetDecoderFrame(IID_IMediaDirectX9VideoFrame, &frame, clip.decoder.Get(), &timecode, nullptr,
                                         &MediaFormat_RGBX8, nullptr);
      if (shownHr == kEndOfStream && clip.stream) return Shown::End;
      if (FAILED(shownHr)) {
        std::fprintf(stderr, "vmdx play: frame %" PRId64 " of %s cannot be decoded (%s); the frames before it were shown\n",
                     n, clip.name.c_str(), Failed("GetDecoderFrame", shownHr, messages).c_str());
        return Shown::Failed;
      }
      if (last && leaks.enabled() && lastDevice == nullptr) {
        ComPtr<IDirect3DTexture9> texture;
        if (SUCCEEDED(frame->GetTexture(&texture)) && texture) texture->GetDevice(&lastDevice);
      }
      const vmdxview::ViewOptions& now = view.options();
      const Area area = now.camera == vmdxview::Camera::Sphere
                            ? Area{0, 0, int(client.right), int(client.bottom)}
                            : Letterbox(client.right, client.bottom, clip, now);
      Steps steps;
      steps.Run("SetTexture", [&] { return surface->SetTexture(0, frame.Get()); });
      steps.Run("view properties",
                [&] { return ApplyView(surface.Get(), now, p.metric.Get(), float(area.width), float(area.height)); });
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
        std::fprintf(stderr, "vmdx play: frame %" PRId64 ": %s%s%s\n", n,
                     Failed(steps.failed, steps.hr, messages).c_str(), error.empty() ? "" : ": ", error.c_str());
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
    for (int64_t n = 0; (count < 0 || n < count) && result == Shown::Ok;) {
      PumpMessages();
      if (p.state.closeAsked) break;
      if (p.state.viewChanged) {
        p.state.viewChanged = false;
        SetWindowTextW(p.window, WindowTitle(view, clip).c_str());
        p.state.resized = true;  // a paused picture is drawn again in the new view
      }
      const double now = Seconds();
      if (p.state.paused) {
        // A stream cannot go back for the shown frame; files and built-in clips draw it again.
        if (p.state.resized && n > 0 && !clip.stream) {
          p.state.resized = false;
          result = showFrame(n - 1, false, 0, false);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        anchor = Seconds();  // carry on from here when unpaused
        anchorFrame = n;
        continue;
      }
      p.state.resized = false;
      if (options.resizeEvery > 0 && n > 0 && n % options.resizeEvery == 0)
        ResizeClient(p.window, kStressSizes[(n / options.resizeEvery) % std::size(kStressSizes)]);
      if (options.switchViewEvery > 0 && n > 0 && n % options.switchViewEvery == 0) {
        view.Key('1' + static_cast<unsigned>((n / options.switchViewEvery) % 8));
        SetWindowTextW(p.window, WindowTitle(view, clip).c_str());
      }
      while (!recent.empty() && recent.front() < now - 1.0) recent.erase(recent.begin());
      const double fps = recent.size() > 1 ? (recent.size() - 1) / (recent.back() - recent.front()) : 0;
      messages.Clear();
      result = showFrame(n, !captureDir.empty() && n % options.every == 0, fps, count >= 0 && n + 1 == count);
      if (result != Shown::Ok) break;
      recent.push_back(Seconds());
      ++n;
      shown = n;
      leaks.FrameDone(n);
      if (terminal && (Seconds() - lastProgress > 0.25 || n == count)) {
        lastProgress = Seconds();
        std::fprintf(stderr, "\r  frame %" PRId64 "/%s  %5.1f fps ", n, countText, fps);
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
    leaks.RunDone();
    playSeconds = Seconds() - start;
    if (terminal) std::fprintf(stderr, "\n");
    if (result == Shown::WindowGone) {
      std::fprintf(stderr, "vmdx play: the window went away at frame %" PRId64 "\n", shown);
      p.window = nullptr;
    } else if (result == Shown::Failed) {
      exitCode = kExitFailure;
    } else if (p.state.closeAsked) {
      std::fprintf(stderr, "vmdx play: stopped at frame %" PRId64 "\n", shown);
    }
  }
  // The run's objects are gone: the device must go with the last reference, held here.
  const ULONG deviceLastRelease = lastDevice ? lastDevice->Release() : 0;
  const HRESULT open = openObjects ? openObjects() : 0;
  std::fprintf(stderr, "%" PRId64 " frames\n", shown);
  std::fprintf(stderr, "vmdx play: %" PRId64 " frames in %.2f s (%.1f fps), open objects %ld\n", shown, playSeconds,
               playSeconds > 0 ? shown / playSeconds : 0.0, static_cast<long>(open));
  if (leaks.enabled()) {
    std::string verdict;
    const bool passed = leaks.Report(static_cast<int>(open), deviceLastRelease, &verdict);
    std::fprintf(stderr, "%s\n", verdict.c_str());
    if (!passed) return kExitFailure;
  }
  if (open != 0) return cli.Failure("objects were left open");
  return exitCode;
}
