// Every way out of the module's public operations, proven clean. Each operation of the table runs
// once with the k-th Direct3D call failing (k = 1, 2, ... until a run makes fewer calls than k)
// and once with the k-th allocation of the module's private heaps failing. After every failing
// run: a failure code that the observer was told, nothing handed out (no frame, texture, format,
// image or surface), every reference count and the open-object count back, no lock left
// (Direct3D locks, lent GDI contexts and frame locks), no scene left open, render target 0,
// texture stages, pixel shader, the samplers' address modes, stage 0's colour argument and the
// blend states unchanged; then a clean run on the same inputs must succeed and give the row's
// result. A few calls' failures are absorbed by design (a row names them); a run that meets one
// must succeed as a clean run does.
//
// Operations are rows: upload, capture, decoder fetch, frames, present copy, the GPU image
// processing, the drawing surface (on a window's device with a multisampled back buffer, as a
// display makes it) and the display's surface requests (the display makes its own device, which
// the module's device hook hands to the injector).
#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "DebugOutputCapture.h"
#include "DeviceFixture.h"
#include "DisplayWindow.h"
#include "Error.h"
#include "FaultyDevice.h"
#include "Heaps.h"
#include "InProcessModule.h"
#include "TestSupport.h"
#include "VarnicaDisplayProgram.h"
#include "VarnicaFrameAccess.h"
#include "VodideCaptureRenderTargetDX9.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideCreateTextureFromFrame.h"
#include "VodideDX9FisheyeRectify.h"
#include "VodideDX9Remap.h"
#include "VodideDX9VidConvert.h"
#include "VodideDX9ocvMat.h"
#include "VodideDirectX9JoinInterlaceFields.h"
#include "VodideDirectX9Present.h"
#include "VodideDirectX9SplitInterlaceFields.h"
#include "VodideGetFrame.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 16;
constexpr DWORD kStages = 16;
// The client area of the window the surface and display rows draw into.
constexpr int kWindowWidth = 160;
constexpr int kWindowHeight = 120;
// What the surface rows draw (a texture of one colour over the window) and write with GDI.
constexpr uint32_t kPictureColour = 0xFF3366CC;
constexpr COLORREF kGdiColour = RGB(0x20, 0xC0, 0x40);
constexpr D3DRENDERSTATETYPE kBlendStates[] = {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND};
// A run that still reaches its k-th call past this many is a runaway, not a long path.
constexpr uint32_t kMaxInjections = 64;

// A format output no operation writes: a failing run must leave it so.
constexpr GUID kUnwritten = {0x5EA1ED00, 0xFA17, 0x4B1D, {0xA5, 0x5E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};

// What one run of an operation works on and hands out. Rows fill the members they need.
struct Trial {
  // A context of the run's own on the faulty device: what a context makes on first use (its quad
  // buffer) is made, and failed, inside the run and goes with it. Declared first, so it goes last.
  std::unique_ptr<DX9Context> ownContext;
  DX9Context* context = nullptr;
  FaultInjector* injector = nullptr;
  // Image processing: a fresh shader cache per run (so shader creation is on the path), the
  // processors on the run's context.
  CDX9ResourceCache cache;
  // The faulty device the run works on and whose state it must leave as it found it.
  IDirect3DDevice9Ex* device = nullptr;
  // The drawing surface, bound to the run's context and cache as any host may bind one.
  ComPtr<IMediaDirectXGraphics> graphics;
  // The test's window, and a display of the run's own bound to it (it makes its device itself).
  TestWindow* window = nullptr;
  ComPtr<IMediaDirectXDisplay> display;
  std::unique_ptr<CDX9VidConvert> converter;
  std::unique_ptr<CDX9FisheyeRectify> rectifier;
  std::unique_ptr<CDX9Remap> remap;
  // Inputs, made by the row's set-up before the runs.
  ComPtr<IVideoDecoder> decoder;
  ComPtr<IValueSet> request;
  ComPtr<IVideoFrame> cpuFrame;
  ComPtr<IMediaDirectX9VideoFrame> gpuFrame;
  ComPtr<IDirect3DTexture9> texture;
  ComPtr<IDirect3DSurface9> surface;
  ComPtr<IDirect3DTexture9> more[3];  // further textures: fields, render targets, a map
  vmdx::FrameMemoryLock sourceLock;   // a CPU frame's memory, mapped for the whole run
  std::vector<uint8_t> matPixels;
  std::unique_ptr<cv::Mat> mat;  // over matPixels
  // Outputs: what the call hands out (a frame, or the surface a display hands out).
  ComPtr<IUnknown> frame;
  ComPtr<IDirect3DTexture9> outTexture;
  GUID outFormat = kUnwritten;
  DX9Image image;
  CpuVidFrameMemory record{};
};

// The device a row runs on: the fixture's offscreen one, or one for the test's shown window
// (X8R8G8B8 back buffer of the window's size, 4x multisampled, presented into the window) as a
// display makes it. Display rows run on the offscreen device: their display makes its own.
enum class On { OffscreenDevice, WindowDevice };

struct Operation {
  const char* name;
  std::function<void(Trial&)> setUp;
  std::function<HRESULT(Trial&)> call;
  // Checks what a successful call handed out.
  std::function<void(Trial&)> checkResult;
  On on = On::OffscreenDevice;
  // Direct3D calls whose failure the operation goes on from by design, names separated by spaces.
  const char* absorbs = "";
  // Direct3D calls whose failure leaves the object in the state hosts know it for (a surface's
  // vertex-buffer capacity raised before the buffer exists, its copy of the picture made but not
  // filled): the clean run after such a failure is made on fresh inputs.
  const char* sticks = "";
  // What the same inputs answer after such a failure, as hosts know it.
  HRESULT stuck = S_OK;
};

bool Named(const char* list, const std::string& call) {
  const std::string names = std::string(" ") + list + " ";
  return !call.empty() && names.find(" " + call + " ") != std::string::npos;
}
bool Absorbs(const Operation& op, const std::string& call) { return Named(op.absorbs, call); }

// --- Set-up pieces --------------------------------------------------------------------------

// A CPU frame of the media module: frame 3 of the interlaced built-in clip, packed 4:2:2.
void DecoderFrame(Trial& run) {
  ASSERT_HR(S_OK, CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &run.decoder));
  ASSERT_HR(S_OK, run.decoder->Open("builtin:interlaced"));
  ASSERT_HR(S_OK, CreateClassObject(CLSID_ValueSet, IID_IValueSet, &run.request));
  const VarnicaTimecode timecode{3, 25, 1, 0, 0};
  const VarnicaFrameSize size{kWidth, kHeight};
  ASSERT_HR(S_OK, vmdx::SetValue(run.request.Get(), FrameFormat, GuidValueType, MediaFormat_YUV422Packed8));
  ASSERT_HR(S_OK, vmdx::SetValue(run.request.Get(), TimecodeProperty, TimecodeValueType, timecode));
  ASSERT_HR(S_OK, vmdx::SetValue(run.request.Get(), FrameSizeProperty, FrameSizeValueType, size));
  ASSERT_HR(S_OK, run.decoder->GetFrame(run.request.Get(), IID_IVideoFrame, &run.cpuFrame));
}

// A dynamic A8R8G8B8 texture made through the faulty device, wrapped as a GPU frame.
void TextureFrame(Trial& run) {
  ASSERT_HR(S_OK, run.context->device->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8,
                                                     D3DPOOL_DEFAULT, &run.texture, nullptr));
  ASSERT_HR(S_OK, CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &run.frame, &MediaFormat_RGBA8,
                                                run.texture.Get()));
  ASSERT_HR(S_OK, run.frame.As(&run.gpuFrame));
  run.frame.Reset();
}

// A render-target texture's surface, and a frame over it (read through a staging copy).
void RenderTargetFrame(Trial& run) {
  ASSERT_HR(S_OK, run.context->device->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                                     D3DPOOL_DEFAULT, &run.texture, nullptr));
  ASSERT_HR(S_OK, run.texture->GetSurfaceLevel(0, &run.surface));
  ASSERT_HR(S_OK, CaptureRenderTargetAsDirectXFrame(run.context->device.Get(), run.surface.Get(),
                                                    IID_IMediaDirectX9VideoFrame, &run.frame, &MediaFormat_RGBA8));
  ASSERT_HR(S_OK, run.frame.As(&run.gpuFrame));
  run.frame.Reset();
}

// Texel (x, y) of a patterned input: each row, column and input its own value.
uint32_t Pattern(uint32_t x, uint32_t y, uint32_t salt) { return 0xFF000000u | salt << 16 | y << 8 | x; }

// A render-target texture of the faulty device.
void RenderTarget(Trial& run, ComPtr<IDirect3DTexture9>& out, UINT width, UINT height,
                  D3DFORMAT format = D3DFMT_A8R8G8B8) {
  ASSERT_HR(S_OK, run.context->device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT,
                                                     &out, nullptr));
}

// A dynamic A8R8G8B8 texture holding texel(x, y).
void Filled(Trial& run, ComPtr<IDirect3DTexture9>& out, UINT width, UINT height,
            const std::function<uint32_t(UINT, UINT)>& texel) {
  ASSERT_HR(S_OK, run.context->device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8,
                                                     D3DPOOL_DEFAULT, &out, nullptr));
  const vmdx::LockedRect locked(out.Get(), 0, D3DLOCK_DISCARD);
  ASSERT_HR(S_OK, locked.status());
  for (UINT y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(locked.scanline(y));
    for (UINT x = 0; x < width; ++x) row[x] = texel(x, y);
  }
}

// A dynamic A8R8G8B8 texture holding Pattern(x, y, salt).
void Patterned(Trial& run, ComPtr<IDirect3DTexture9>& out, UINT width, UINT height, uint32_t salt) {
  Filled(run, out, width, height, [salt](UINT x, UINT y) { return Pattern(x, y, salt); });
}

// A converter on the run's context, left to initialise itself on its first conversion.
void Converter(Trial& run) { run.converter = std::make_unique<CDX9VidConvert>(run.context, &run.cache); }

// A semi-planar 4:2:2 texture (A8, double height) for the converter.
void SemiPlanarTexture(Trial& run) {
  Converter(run);
  ASSERT_HR(S_OK, run.context->device->CreateTexture(kWidth, 2 * kHeight, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8,
                                                     D3DPOOL_DEFAULT, &run.texture, nullptr));
}

// A patterned frame (run.texture) and two field targets.
void SplitInputs(Trial& run) {
  Patterned(run, run.texture, kWidth, kHeight, 1);
  RenderTarget(run, run.more[0], kWidth, kHeight / 2);
  RenderTarget(run, run.more[1], kWidth, kHeight / 2);
}

// Two patterned fields and a frame target of the given height.
void JoinInputs(Trial& run, UINT height) {
  Patterned(run, run.more[0], kWidth, kHeight / 2, 1);
  Patterned(run, run.more[1], kWidth, kHeight / 2, 2);
  RenderTarget(run, run.more[2], kWidth, height);
}

// A CV_8UC3 matrix with padded rows, declared as RGB8 (uploaded into RGBX8 through the CPU copy).
void Matrix(Trial& run) {
  const size_t step = kWidth * 3 + 8;
  run.matPixels.assign(step * kHeight, 0x5A);
  run.mat = std::make_unique<cv::Mat>(kHeight, kWidth, CV_8UC3, run.matPixels.data(), step);
}

// A rectifier from one radial lens into another (the variant that sets every lens constant).
void Rectifier(Trial& run, bool initialize) {
  run.rectifier = std::make_unique<CDX9FisheyeRectify>(run.context, &run.cache);
  FisheyeRectifyParams& p = run.rectifier->params;
  p.Source = {FisheyeLensType_Radial, 32, 32, 20, 20, 1, 1, 1, 1};
  p.Target = {FisheyeLensType_Radial, 32, 32, 16, 16, 1, 1, 0.5f, 1};
  if (initialize) {
    ASSERT_HR(S_OK, run.rectifier->Initialize());
  }
}

// A cubic remap of a patterned source through a G32R32F map, and a target (more[2]).
void Remapper(Trial& run, bool initialize) {
  run.remap = std::make_unique<CDX9Remap>(run.context, &run.cache);
  if (!initialize) return;
  ASSERT_HR(S_OK, run.remap->Initialize());
  Patterned(run, run.more[0], kWidth, kHeight, 1);
  RenderTarget(run, run.more[1], kWidth, kHeight, D3DFMT_G32R32F);
  RenderTarget(run, run.more[2], kWidth, kHeight);
  ASSERT_HR(S_OK, run.remap->SetSourceTexture(run.more[0].Get()));
  ASSERT_HR(S_OK, run.remap->SetMapTexture(run.more[1].Get()));
  ASSERT_HR(S_OK, run.remap->SetInterpolation(RemapInterpolation_Cubic));
}

// A drawing surface bound to the run's context and shader cache.
void Surface(Trial& run) {
  ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDirectXGraphics, IID_IMediaDirectXGraphics, &run.graphics));
  ASSERT_HR(S_OK, run.graphics->Create0(run.context, &run.cache));
}

// A GPU frame of one colour (run.gpuFrame over run.texture).
void ColourFrame(Trial& run) {
  ASSERT_NO_FATAL_FAILURE(Filled(run, run.texture, kWidth, kHeight, [](UINT, UINT) { return kPictureColour; }));
  ASSERT_HR(S_OK, CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &run.frame, &MediaFormat_RGBA8,
                                                run.texture.Get()));
  ASSERT_HR(S_OK, run.frame.As(&run.gpuFrame));
  run.frame.Reset();
}

// A surface with the one-colour frame bound at stage 0.
void SurfaceWithFrame(Trial& run) {
  ASSERT_NO_FATAL_FAILURE(Surface(run));
  ASSERT_NO_FATAL_FAILURE(ColourFrame(run));
  ASSERT_HR(S_OK, run.graphics->SetTexture(0, run.gpuFrame.Get()));
}

// A list of count vertices in the surface: the first four a strip over the whole window with
// texture coordinates 0..1, the others at the origin.
void WindowVertices(Trial& run, const GUID& type, uint64_t count) {
  const float r = kWindowWidth - 0.5f, b = kWindowHeight - 0.5f;
  const float xyz[12] = {-0.5f, -0.5f, 0, r, -0.5f, 0, -0.5f, b, 0, r, b, 0};
  const float uv[8] = {0, 0, 1, 0, 0, 1, 1, 1};
  ASSERT_HR(S_OK, run.graphics->BeginVertex(type, count));
  ASSERT_HR(S_OK, run.graphics->VertexSetPosV(0, xyz, 4));
  ASSERT_HR(S_OK, run.graphics->VertexSetTextureUVV(0, 0, uv, 4));
}

// The frame drawn over the whole window (the scene stays open).
void Drawn(Trial& run) {
  ASSERT_NO_FATAL_FAILURE(SurfaceWithFrame(run));
  ASSERT_NO_FATAL_FAILURE(WindowVertices(run, PrimitiveType_TriangleStrip, 4));
  ASSERT_HR(S_OK, run.graphics->DrawPrimitive());
}

// The display program's views: a sphere in red-cyan, its view size left to the render target's;
// the left eye of a side-by-side pair on a view of the window's size.
void SphereInRedCyan(Trial& run) {
  ASSERT_NO_FATAL_FAILURE(SurfaceWithFrame(run));
  const ComPtr<IValueSet> values = ValuesOf(run.graphics.Get());
  ASSERT_HR(S_OK, vmdx::SetValue(values, GraphicsCameraTypeProperty, GuidValueType, CameraType_Spherical));
  ASSERT_HR(S_OK, vmdx::SetValue(values, GraphicsDisplayTypeProperty, GuidValueType, DisplayType_AnaglyphRC));
}

void LeftEyeOfPair(Trial& run) {
  ASSERT_NO_FATAL_FAILURE(SurfaceWithFrame(run));
  const ComPtr<IValueSet> values = ValuesOf(run.graphics.Get());
  const float view[2] = {kWindowWidth, kWindowHeight};
  ASSERT_HR(S_OK, vmdx::SetValue(values, GraphicsFramePackingProperty, GuidValueType, FramePacking_LR));
  ASSERT_HR(S_OK, vmdx::SetValue(values, GraphicsDisplayTypeProperty, GuidValueType, DisplayType_LeftEye));
  ASSERT_HR(S_OK, vmdx::SetValue(values, GraphicsViewSizeProperty, GraphicsViewSizeProperty, view));
}

// GetHDC, the whole picture filled through GDI, ReleaseHDC: the first failure.
HRESULT DrawWithGdi(IMediaDirectXGraphics* surface) {
  HDC dc = nullptr;
  const HRESULT hr = surface->GetHDC(&dc);
  if (FAILED(hr)) return hr;
  const RECT all{0, 0, kWindowWidth, kWindowHeight};
  HBRUSH brush = CreateSolidBrush(kGdiColour);
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  return surface->ReleaseHDC(dc);
}

// A display bound to the test's window at its first size; with a device, one surface has been
// asked for (and released), so the display has made its device.
void Display(Trial& run, bool withDevice) {
  RECT client{};
  GetClientRect(run.window->hwnd(), &client);
  if (client.right != kWindowWidth || client.bottom != kWindowHeight) run.window->Resize(kWindowWidth, kWindowHeight);
  run.display = MakeDisplay(run.window->hwnd());
  ASSERT_TRUE(run.display);
  if (withDevice) {
    ASSERT_TRUE(NextSurface(run.display.Get()));
  }
}

HRESULT RequestSurface(Trial& run) { return run.display->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &run.frame); }

// --- Result checks --------------------------------------------------------------------------

// The real device behind the run's.
IDirect3DDevice9Ex* RealOf(const Trial& run) { return run.injector->Unwrap(run.device); }

void ExpectTexture(IDirect3DTexture9* texture, UINT width, UINT height, D3DFORMAT format) {
  ASSERT_NE(nullptr, texture);
  D3DSURFACE_DESC desc{};
  ASSERT_HR(S_OK, texture->GetLevelDesc(0, &desc));
  EXPECT_EQ(width, desc.Width);
  EXPECT_EQ(height, desc.Height);
  EXPECT_EQ(format, desc.Format);
}

void ExpectFrame(IUnknown* frame, const GUID& format, int32_t width, int32_t height) {
  ASSERT_NE(nullptr, frame);
  vmdx::FrameMemoryLock lock;
  ASSERT_HR(S_OK, lock.Open(frame, vmdx::kLockRead));
  EXPECT_TRUE(IsEqualGUID(format, lock.memory().format));
  EXPECT_EQ(width, lock.memory().width);
  EXPECT_EQ(height, lock.memory().height);
  EXPECT_NE(nullptr, lock.memory().planes[0].data);
}

// A texture converted into 4:4:4 with alpha at the frame's size.
void ExpectUnpacked(Trial& run) {
  ExpectTexture(run.outTexture.Get(), kWidth, kHeight, D3DFMT_A8R8G8B8);
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUVA444_8, run.outFormat));
}

// Every texel of a render-target texture against expected(x, y), read through the real device.
void ExpectTexels(Trial& run, IDirect3DTexture9* texture, const std::function<uint32_t(UINT, UINT)>& expected) {
  D3DSURFACE_DESC desc{};
  ASSERT_HR(S_OK, run.injector->Unwrap(texture)->GetLevelDesc(0, &desc));
  const std::vector<uint32_t> got = ReadBack(RealOf(run), run.injector->Unwrap(texture));
  ASSERT_EQ(size_t{desc.Width} * desc.Height, got.size());
  for (UINT y = 0; y < desc.Height; ++y)
    for (UINT x = 0; x < desc.Width; ++x)
      if (got[y * desc.Width + x] != expected(x, y)) {
        ADD_FAILURE() << "texel (" << x << ", " << y << ") " << std::hex << got[y * desc.Width + x] << ", expected "
                      << expected(x, y);
        return;
      }
}

// A field of the patterned frame: rows parity, parity + 2, ...
void ExpectField(Trial& run, IDirect3DTexture9* field, UINT parity) {
  ExpectTexels(run, field, [&](UINT x, UINT y) { return Pattern(x, 2 * y + parity, 1); });
}

// The two patterned fields woven, field 1 on the even rows; an odd last row repeats its last row.
void ExpectWoven(Trial& run) {
  ExpectTexels(run, run.more[2].Get(), [](UINT x, UINT y) {
    return y % 2 ? Pattern(x, y / 2, 2) : Pattern(x, std::min<UINT>(y / 2, kHeight / 2 - 1), 1);
  });
}

// The real texture bound to a stage of a real device.
IUnknown* BoundTexture(IDirect3DDevice9* real, DWORD stage) {
  ComPtr<IDirect3DBaseTexture9> bound;
  real->GetTexture(stage, &bound);
  return bound.Get();
}

// The centre of a picture of the window, as RGB.
void ExpectCentre(const Picture& picture, uint32_t rgb) {
  ASSERT_EQ(kWindowWidth, picture.width);
  ASSERT_EQ(kWindowHeight, picture.height);
  EXPECT_EQ(rgb & 0xFFFFFF, picture.Rgb(kWindowWidth / 2, kWindowHeight / 2));
}

// The display program bound the catalogue's shader id.
void ExpectShader(Trial& run, PixelShaderId id) {
  ComPtr<IDirect3DPixelShader9> expected, bound;
  ASSERT_HR(S_OK, run.cache.ObtainPixelShader(*run.context, id, &expected));
  RealOf(run)->GetPixelShader(&bound);
  EXPECT_EQ(expected.Get(), bound.Get());
}

// The surface a display handed out draws on a device of the window's client size, cleared to
// transparent black.
void ExpectWindowSurface(Trial& run) {
  ComPtr<IMediaDirectXGraphics> surface;
  ASSERT_HR(S_OK, run.frame.As(&surface));
  RECT client{};
  GetClientRect(run.window->hwnd(), &client);
  const Picture picture = Capture(surface.Get());
  EXPECT_EQ(client.right, picture.width);
  EXPECT_EQ(client.bottom, picture.height);
  if (!picture.pixels.empty()) {
    EXPECT_EQ(0u, picture.Rgb(picture.width / 2, picture.height / 2));
  }
}

HRESULT ReadLockedMemory(Trial& run, IUnknown* frame) {
  const HRESULT hr = run.sourceLock.Open(frame, vmdx::kLockRead);
  if (SUCCEEDED(hr)) run.record = run.sourceLock.memory();
  run.sourceLock.Unlock();
  return hr;
}

// --- The table ------------------------------------------------------------------------------

const Operation kOperations[] = {
    // Upload.
    {"CreateTextureFromMem",
     [](Trial& run) {
       DecoderFrame(run);
       ASSERT_HR(S_OK, run.sourceLock.Open(run.cpuFrame.Get(), vmdx::kLockRead));
     },
     [](Trial& run) { return CreateTextureFromMem(run.context, &run.outTexture, &run.sourceLock.memory(), nullptr); },
     [](Trial& run) { ExpectTexture(run.outTexture.Get(), kWidth, kHeight, D3DFMT_A8R8G8B8); }},
    {"CreateTextureFromFrame, field 2", DecoderFrame,
     [](Trial& run) {
       const FieldSelect field{1, 2};
       return CreateTextureFromFrame(run.context, &run.outTexture, run.cpuFrame.Get(), &MediaFormat_YUV422Packed8,
                                     &field);
     },
     [](Trial& run) { ExpectTexture(run.outTexture.Get(), kWidth, kHeight, D3DFMT_A8); }},
    {"DX9Context::SetTexture of a GPU frame", TextureFrame,
     [](Trial& run) { return run.context->SetTexture(0, run.gpuFrame.Get()); },
     [](Trial& run) { EXPECT_EQ(run.injector->Unwrap(run.texture.Get()), BoundTexture(RealOf(run), 0)); }},
    {"DX9Context::SetTexture of a CPU frame", DecoderFrame,
     [](Trial& run) { return run.context->SetTexture(1, static_cast<IUnknown*>(run.cpuFrame.Get()), 0); },
     [](Trial& run) { EXPECT_NE(nullptr, BoundTexture(RealOf(run), 1)); }},
    {"DX9Context::GetTextureFromFrame of a CPU frame", DecoderFrame,
     [](Trial& run) { return run.context->GetTextureFromFrame(&run.outTexture, run.cpuFrame.Get(), 0); },
     [](Trial& run) { ExpectTexture(run.outTexture.Get(), kWidth, kHeight, D3DFMT_A8R8G8B8); }},
    // Capture.
    {"CaptureRenderTargetAsDirectXFrame of render target 0", [](Trial&) {},
     [](Trial& run) {
       return CaptureRenderTargetAsDirectXFrame(run.context->device.Get(), nullptr, IID_IMediaDirectX9VideoFrame,
                                                &run.frame, nullptr);
     },
     [](Trial& run) {
       ComPtr<IDirect3DSurface9> target;
       D3DSURFACE_DESC desc{};
       ASSERT_HR(S_OK, RealOf(run)->GetRenderTarget(0, &target));
       ASSERT_HR(S_OK, target->GetDesc(&desc));
       GUID format{};
       ASSERT_HR(S_OK, GetMediaFormatDirectX(&format, desc.Format));
       ExpectFrame(run.frame.Get(), format, static_cast<int32_t>(desc.Width), static_cast<int32_t>(desc.Height));
     }},
    {"CaptureRenderTargetAsVideoCpuFrame", RenderTargetFrame,
     [](Trial& run) {
       return CaptureRenderTargetAsVideoCpuFrame(run.context->device.Get(), run.surface.Get(), IID_IVideoFrame,
                                                 &run.frame, &MediaFormat_YUVA444_8);
     },
     [](Trial& run) { ExpectFrame(run.frame.Get(), MediaFormat_YUVA444_8, kWidth, kHeight); }},
    // Decoder fetch.
    {"GetDirectXFrame with a request", DecoderFrame,
     [](Trial& run) {
       return GetDirectXFrame(run.context, run.decoder.Get(), run.request.Get(), IID_IMediaDirectX9VideoFrame,
                              &run.frame);
     },
     [](Trial& run) { ExpectFrame(run.frame.Get(), MediaFormat_YUVA444_8, kWidth, kHeight); }},
    {"GetDirectXFrame of a field", DecoderFrame,
     [](Trial& run) {
       const VarnicaTimecode timecode{5, 25, 1, 0, 0};
       const VarnicaFrameSize size{kWidth, kHeight};
       const FieldSelect field{1, 1};
       return GetDirectXFrame(run.context, IID_IVideoFrame, &run.frame, run.decoder.Get(), &timecode, &size,
                              &MediaFormat_YUV444_8, &field);
     },
     [](Trial& run) { ExpectFrame(run.frame.Get(), MediaFormat_YUVA444_8, kWidth, kHeight / 2); }},
    // Frame creation.
    {"CreateMediaDirectX9VideoFrame over a texture",
     [](Trial& run) {
       ASSERT_HR(S_OK, run.context->device->CreateTexture(kWidth, 2 * kHeight, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8,
                                                          D3DPOOL_DEFAULT, &run.texture, nullptr));
     },
     [](Trial& run) {
       return CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &run.frame, &MediaFormat_YUV422SemiPlanar8,
                                            run.texture.Get());
     },
     [](Trial& run) { ExpectFrame(run.frame.Get(), MediaFormat_YUV422SemiPlanar8, kWidth, kHeight); }},
    {"CreateMediaDirectX9VideoFrame over a surface",
     [](Trial& run) {
       ASSERT_HR(S_OK, run.context->device->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_A8R8G8B8,
                                                                        D3DPOOL_SYSTEMMEM, &run.surface, nullptr));
     },
     [](Trial& run) {
       const int16_t interlace = VideoInterlace_TopFieldFirst;
       return CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &run.frame, &MediaFormat_RGBA8,
                                            run.surface.Get(), nullptr, &interlace, nullptr, nullptr, nullptr,
                                            vmdx::kLockRead);
     },
     [](Trial& run) { ExpectFrame(run.frame.Get(), MediaFormat_RGBA8, kWidth, kHeight); }},
    // Frame lock and CPU memory (ObtainVidFrameMem through the lock and the value set).
    {"Frame lock and CPU memory of a texture frame", TextureFrame,
     [](Trial& run) { return ReadLockedMemory(run, run.gpuFrame.Get()); },
     [](Trial& run) { EXPECT_EQ(kWidth, run.record.width); }},
    {"Frame lock and CPU memory of a render-target frame", RenderTargetFrame,
     [](Trial& run) { return ReadLockedMemory(run, run.gpuFrame.Get()); },
     [](Trial& run) { EXPECT_EQ(kHeight, run.record.height); }},
    // Present copy.
    {"CopyRenderTargetToPresentSurface",
     [](Trial& run) {
       ASSERT_HR(S_OK, run.context->device->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                                          D3DPOOL_DEFAULT, &run.texture, nullptr));
       ASSERT_HR(S_OK, run.context->SetRenderTarget(run.texture.Get()));
     },
     [](Trial& run) { return CopyRenderTargetToPresentSurface(*run.context); }, [](Trial&) {}},
    // GPU format conversion: the converter initialises itself in the run.
    {"CDX9VidConvert::CreateTextureFromTexture", SemiPlanarTexture,
     [](Trial& run) {
       return run.converter->CreateTextureFromTexture(&run.outTexture, &run.outFormat, run.texture.Get(),
                                                      MediaFormat_YUV422SemiPlanar8, MediaFormat_YUVA444_8);
     },
     ExpectUnpacked},
    {"CDX9VidConvert::CreateConvertedTextureFromMem, unpack",
     [](Trial& run) {
       Converter(run);
       DecoderFrame(run);
       ASSERT_HR(S_OK, run.sourceLock.Open(run.cpuFrame.Get(), vmdx::kLockRead));
     },
     [](Trial& run) {
       return run.converter->CreateConvertedTextureFromMem(&run.outTexture, &run.outFormat, &run.sourceLock.memory(),
                                                           GUID{}, GUID{}, true);
     },
     ExpectUnpacked},
    {"CDX9VidConvert::CreateConvertedTextureFromFrame of a CPU frame",
     [](Trial& run) {
       Converter(run);
       DecoderFrame(run);
     },
     [](Trial& run) {
       return run.converter->CreateConvertedTextureFromFrame(&run.outTexture, &run.outFormat, run.cpuFrame.Get(),
                                                             GUID{}, GUID{}, true);
     },
     ExpectUnpacked},
    {"CDX9VidConvert::CreateConvertedTextureFromFrame of a GPU frame",
     [](Trial& run) {
       SemiPlanarTexture(run);
       ASSERT_HR(S_OK, CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &run.frame,
                                                     &MediaFormat_YUV422SemiPlanar8, run.texture.Get()));
       ASSERT_HR(S_OK, run.frame.As(&run.gpuFrame));
       run.frame.Reset();
     },
     [](Trial& run) {
       return run.converter->CreateConvertedTextureFromFrame(&run.outTexture, &run.outFormat, run.gpuFrame.Get(),
                                                             GUID{}, MediaFormat_YUVA444_8, false);
     },
     ExpectUnpacked},
    // Field split and weave.
    {"SplitInterlaceFields, batch with a skipped entry", SplitInputs,
     [](Trial& run) {
       IDirect3DTexture9* const sources[3] = {run.texture.Get(), nullptr, run.texture.Get()};
       IDirect3DTexture9* const targets[3] = {run.more[0].Get(), nullptr, run.more[1].Get()};
       const uint8_t top[3] = {1, 1, 0};
       return SplitInterlaceFields(*run.context, 3, sources, targets, top);
     },
     [](Trial& run) {
       ExpectField(run, run.more[0].Get(), 0);
       ExpectField(run, run.more[1].Get(), 1);
     }},
    {"SplitInterlaceFields, one field", SplitInputs,
     [](Trial& run) { return SplitInterlaceFields(*run.context, run.texture.Get(), 0, run.more[0].Get()); },
     [](Trial& run) { ExpectField(run, run.more[0].Get(), 1); }},
    {"SplitInterlaceFields, both fields", SplitInputs,
     [](Trial& run) {
       return SplitInterlaceFields(*run.context, run.texture.Get(), run.more[0].Get(), run.more[1].Get(), 1);
     },
     [](Trial& run) {
       ExpectField(run, run.more[0].Get(), 0);
       ExpectField(run, run.more[1].Get(), 1);
     }},
    {"JoinInterlaceFields, batch", [](Trial& run) { JoinInputs(run, kHeight); },
     [](Trial& run) {
       IDirect3DTexture9* const fields[2] = {run.more[0].Get(), run.more[1].Get()};
       IDirect3DTexture9* const targets[1] = {run.more[2].Get()};
       const uint8_t top[1] = {1};
       return JoinInterlaceFields(*run.context, run.cache, fields, targets, top);
     },
     ExpectWoven},
    {"JoinInterlaceFields, pair into an odd height", [](Trial& run) { JoinInputs(run, kHeight + 1); },
     [](Trial& run) {
       return JoinInterlaceFields(*run.context, run.cache, run.more[0].Get(), run.more[1].Get(), run.more[2].Get(), 1);
     },
     ExpectWoven},
    // The matrix bridge.
    {"CreateTextureFromMat", Matrix,
     [](Trial& run) { return CreateTextureFromMat(run.context, &run.outTexture, *run.mat, MediaFormat_RGB8); },
     [](Trial& run) { ExpectTexture(run.outTexture.Get(), kWidth, kHeight, D3DFMT_X8R8G8B8); }},
    {"OpenFromMat", Matrix, [](Trial& run) { return OpenFromMat(&run.image, run.context, *run.mat, MediaFormat_RGB8); },
     [](Trial& run) { ExpectTexture(run.image.Texture(), kWidth, kHeight, D3DFMT_X8R8G8B8); }},
    // Fisheye maps.
    {"CDX9FisheyeRectify::CheckDevice, initialising", [](Trial& run) { Rectifier(run, false); },
     [](Trial& run) { return run.rectifier->CheckDevice(); }, [](Trial&) {}},
    {"CDX9FisheyeRectify::BuildFisheyeRectifyMap, texture", [](Trial& run) { Rectifier(run, true); },
     [](Trial& run) {
       return run.rectifier->BuildFisheyeRectifyMap(&run.outTexture, kWidth, kHeight, 64, 64, D3DFMT_G32R32F);
     },
     [](Trial& run) { ExpectTexture(run.outTexture.Get(), kWidth, kHeight, D3DFMT_G32R32F); }},
    {"CDX9FisheyeRectify::BuildFisheyeRectifyMap, frame", [](Trial& run) { Rectifier(run, true); },
     [](Trial& run) {
       return run.rectifier->BuildFisheyeRectifyMap(IID_IMediaDirectX9VideoFrame, &run.frame, kWidth, kHeight, 64, 64,
                                                    D3DFMT_G32R32F);
     },
     [](Trial& run) { ExpectFrame(run.frame.Get(), MediaFormat_RGFloat, kWidth, kHeight); }},
    // The remap renderer.
    {"CDX9Remap::CheckDevice, initialising", [](Trial& run) { Remapper(run, false); },
     [](Trial& run) { return run.remap->CheckDevice(); }, [](Trial&) {}},
    {"CDX9Remap::SetSourceTexture of a CPU frame",
     [](Trial& run) {
       Remapper(run, false);
       DecoderFrame(run);
     },
     [](Trial& run) { return run.remap->SetSourceTexture(static_cast<IUnknown*>(run.cpuFrame.Get())); }, [](Trial&) {}},
    {"CDX9Remap::RenderRemapTexture, cubic", [](Trial& run) { Remapper(run, true); },
     [](Trial& run) { return run.remap->RenderRemapTexture(run.more[2].Get(), kWidth, kHeight); }, [](Trial&) {}},
    {"CDX9Remap::CreateRemapTexture, texture", [](Trial& run) { Remapper(run, true); },
     [](Trial& run) { return run.remap->CreateRemapTexture(&run.outTexture, kWidth, kHeight, D3DFMT_A8R8G8B8); },
     [](Trial& run) { ExpectTexture(run.outTexture.Get(), kWidth, kHeight, D3DFMT_A8R8G8B8); }},
    {"CDX9Remap::CreateRemapTexture, frame", [](Trial& run) { Remapper(run, true); },
     [](Trial& run) {
       return run.remap->CreateRemapTexture(IID_IMediaDirectX9VideoFrame, &run.frame, kWidth, kHeight,
                                            MediaFormat_RGBA8);
     },
     [](Trial& run) { ExpectFrame(run.frame.Get(), MediaFormat_RGBA8, kWidth, kHeight); }},
    // The drawing surface, on a window's device, bound as any host may bind it.
    {"MediaDirectXGraphics::Create0",
     [](Trial& run) {
       ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDirectXGraphics, IID_IMediaDirectXGraphics, &run.graphics));
     },
     [](Trial& run) { return run.graphics->Create0(run.context, &run.cache); },
     [](Trial& run) {
       DWORD blending = FALSE;
       RealOf(run)->GetRenderState(D3DRS_ALPHABLENDENABLE, &blending);
       EXPECT_EQ(DWORD{TRUE}, blending);
     },
     On::WindowDevice},
    {"MediaDirectXGraphics alpha matte set to blending",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(Surface(run));
       ASSERT_HR(S_OK, vmdx::SetValue(ValuesOf(run.graphics.Get()), GraphicsAlphaMatteProperty, GuidValueType, GUID{}));
       // Blend factors of the host's own, which a half-done change would overwrite.
       RealOf(run)->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
       RealOf(run)->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
     },
     [](Trial& run) {
       return vmdx::SetValue(ValuesOf(run.graphics.Get()), GraphicsAlphaMatteProperty, GuidValueType, AlphaMatteBlend);
     },
     [](Trial& run) {
       DWORD states[3] = {};
       for (int i = 0; i < 3; ++i) RealOf(run)->GetRenderState(kBlendStates[i], &states[i]);
       EXPECT_EQ(DWORD{TRUE}, states[0]);
       EXPECT_EQ(DWORD{D3DBLEND_SRCALPHA}, states[1]);
       EXPECT_EQ(DWORD{D3DBLEND_INVSRCALPHA}, states[2]);
     },
     On::WindowDevice},
    {"MediaDirectXGraphics::SetTexture of a GPU frame",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(Surface(run));
       ColourFrame(run);
     },
     [](Trial& run) { return run.graphics->SetTexture(0, run.gpuFrame.Get()); },
     [](Trial& run) { EXPECT_EQ(run.injector->Unwrap(run.texture.Get()), BoundTexture(RealOf(run), 0)); },
     On::WindowDevice},
    {"MediaDirectXGraphics::SetTexture of a CPU frame",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(Surface(run));
       DecoderFrame(run);
     },
     [](Trial& run) { return run.graphics->SetTexture(1, run.cpuFrame.Get()); },
     [](Trial& run) { EXPECT_NE(nullptr, BoundTexture(RealOf(run), 1)); }, On::WindowDevice},
    {"MediaDirectXGraphics::UnsetTexture", SurfaceWithFrame, [](Trial& run) { return run.graphics->UnsetTexture(0); },
     [](Trial& run) { EXPECT_EQ(nullptr, BoundTexture(RealOf(run), 0)); }, On::WindowDevice},
    {"MediaDirectXGraphics::SetShader, sphere in red-cyan", SphereInRedCyan,
     [](Trial& run) { return run.graphics->SetShader(DisplayShaderProgramId); },
     [](Trial& run) { ExpectShader(run, PixelShader_SphericalAnaglyph); }, On::WindowDevice, "SetPixelShaderConstantF"},
    {"MediaDirectXGraphics::SetShader, left eye of a pair", LeftEyeOfPair,
     [](Trial& run) { return run.graphics->SetShader(DisplayShaderProgramId); },
     [](Trial& run) { ExpectShader(run, PixelShader_FlatEye); }, On::WindowDevice, "SetPixelShaderConstantF"},
    {"MediaDirectXGraphics::UnsetShader",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(SphereInRedCyan(run));
       ASSERT_HR(S_OK, run.graphics->SetShader(DisplayShaderProgramId));
     },
     [](Trial& run) { return run.graphics->UnsetShader(); },
     [](Trial& run) {
       ComPtr<IDirect3DPixelShader9> bound;
       RealOf(run)->GetPixelShader(&bound);
       EXPECT_EQ(nullptr, bound.Get());
     },
     On::WindowDevice},
    {"MediaDirectXGraphics::GetDecoderFrame",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(Surface(run));
       DecoderFrame(run);
     },
     [](Trial& run) {
       const VarnicaTimecode timecode{4, 25, 1, 0, 0};
       const VarnicaFrameSize size{kWidth, kHeight};
       return run.graphics->GetDecoderFrame(IID_IMediaDirectX9VideoFrame, &run.frame, run.decoder.Get(), &timecode,
                                            &size, &MediaFormat_RGBA8, nullptr);
     },
     [](Trial& run) { ExpectFrame(run.frame.Get(), MediaFormat_RGBA8, kWidth, kHeight); }, On::WindowDevice},
    {"MediaDirectXGraphics vertex list (BeginVertex, setters, EndVertex)", Surface,
     [](Trial& run) {
       const float xyz[3] = {1, 2, 0}, uv[2] = {0.5f, 0.5f}, rgba[4] = {1, 0, 0, 1};
       const float xyzs[6] = {}, uvs[4] = {}, rgbas[8] = {};
       IMediaDirectXGraphics* g = run.graphics.Get();
       HRESULT hr = g->BeginVertex(PrimitiveType_LineList, 2);
       if (SUCCEEDED(hr)) hr = g->VertexSetPos(1, xyz);
       if (SUCCEEDED(hr)) hr = g->VertexSetPosV(0, xyzs, 2);
       if (SUCCEEDED(hr)) hr = g->VertexSetTextureUV(1, 0, uv);
       if (SUCCEEDED(hr)) hr = g->VertexSetTextureUVV(0, 0, uvs, 2);
       if (SUCCEEDED(hr)) hr = g->VertexSetColor(1, rgba);
       if (SUCCEEDED(hr)) hr = g->VertexSetColorV(0, rgbas, 2);
       return SUCCEEDED(hr) ? g->EndVertex() : hr;
     },
     [](Trial&) {}, On::WindowDevice},
    {"MediaDirectXGraphics::DrawPrimitive, first draw",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(SurfaceWithFrame(run));
       WindowVertices(run, PrimitiveType_TriangleStrip, 4);
     },
     [](Trial& run) { return run.graphics->DrawPrimitive(); },
     [](Trial& run) { ExpectCentre(Capture(run.graphics.Get()), kPictureColour); }, On::WindowDevice, "",
     "CreateVertexBuffer", E_POINTER},
    {"MediaDirectXGraphics::DrawPrimitive, list outgrowing the buffer",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(Drawn(run));
       // Two triangles over the window, then degenerate ones: more than the first buffer holds.
       WindowVertices(run, PrimitiveType_TriangleList, 99);
       const float second[9] = {kWindowWidth - 0.5f,  -0.5f, 0, -0.5f, kWindowHeight - 0.5f, 0, kWindowWidth - 0.5f,
                                kWindowHeight - 0.5f, 0};
       ASSERT_HR(S_OK, run.graphics->VertexSetPosV(3, second, 3));
     },
     [](Trial& run) { return run.graphics->DrawPrimitive(); },
     [](Trial& run) { ExpectCentre(Capture(run.graphics.Get()), kPictureColour); }, On::WindowDevice, "",
     "CreateVertexBuffer", E_POINTER},
    {"MediaDirectXGraphics::Present", Drawn, [](Trial& run) { return run.graphics->Present(); },
     [](Trial& run) { EXPECT_EQ(0, run.injector->OpenScenes()) << "Present leaves no scene open"; }, On::WindowDevice},
    {"MediaDirectXGraphics::Present after GDI drawing",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(Drawn(run));
       ASSERT_HR(S_OK, DrawWithGdi(run.graphics.Get()));
     },
     [](Trial& run) { return run.graphics->Present(); }, [](Trial&) {}, On::WindowDevice},
    {"MediaDirectXGraphics::CaptureFrame", Drawn,
     [](Trial& run) { return run.graphics->CaptureFrame(0, IID_IMediaDirectX9VideoFrame, &run.frame); },
     [](Trial& run) { ExpectCentre(ReadFrame(run.frame.Get()), kPictureColour); }, On::WindowDevice, "",
     "StretchRect"},
    {"MediaDirectXGraphics::GetHDC and ReleaseHDC", Drawn, [](Trial& run) { return DrawWithGdi(run.graphics.Get()); },
     [](Trial& run) {
       const COLORREF c = kGdiColour;
       ExpectCentre(Capture(run.graphics.Get()), uint32_t{GetRValue(c)} << 16 | GetGValue(c) << 8 | GetBValue(c));
     },
     On::WindowDevice, "", "StretchRect"},
    // The display's surface requests: the display makes its device from the window.
    {"MediaDirectXDisplay::GetObject, device made", [](Trial& run) { Display(run, false); }, RequestSurface,
     ExpectWindowSurface, On::OffscreenDevice, "SetSamplerState"},
    {"MediaDirectXDisplay::GetObject, device kept", [](Trial& run) { Display(run, true); }, RequestSurface,
     ExpectWindowSurface, On::OffscreenDevice, "Apply SetSamplerState"},
    {"MediaDirectXDisplay::GetObject after a resize",
     [](Trial& run) {
       ASSERT_NO_FATAL_FAILURE(Display(run, true));
       run.window->Resize(kWindowWidth + 40, kWindowHeight + 30);
     },
     RequestSurface, ExpectWindowSurface, On::OffscreenDevice, "SetSamplerState"},
};

// --- The harness ----------------------------------------------------------------------------

// What a failing run must leave as it found it: the inputs' reference counts, the module's open
// objects, the Direct3D locks of live resources, and the device's bindings and the states a pass
// sets for itself only.
struct Snapshot {
  std::vector<ULONG> refs;
  int openObjects = 0;
  int locks = 0;
  int scenes = 0;
  std::vector<void*> state;   // render target 0, the stages' textures, the pixel shader
  std::vector<DWORD> states;  // address modes of samplers 0 and 1, stage 0's first colour argument, blending
};

std::string Describe(const Snapshot& s) {
  std::string text = "input refs";
  for (ULONG r : s.refs) text += " " + std::to_string(r);
  return text + ", open objects " + std::to_string(s.openObjects) + ", Direct3D locks " + std::to_string(s.locks);
}

// What must be back once a run's inputs are gone too. Inputs may keep what they cache (a
// render-target frame keeps its staging copy, a surface its vertex buffer and its copy of the
// picture), so resources and device references are counted only after them. A display of the
// run's own takes its device with it: its wrapper must be gone, and the real device with it.
struct Totals {
  int wrappers = 0;
  int devices = 0;
  int devicesOutliving = 0;
  std::vector<ULONG> deviceRefs;  // each test device, its wrapper's and the real one's
  int openObjects = 0;
};

std::string Describe(const Totals& t) {
  std::string text = "live resources " + std::to_string(t.wrappers) + ", live devices " + std::to_string(t.devices) +
                     " (" + std::to_string(t.devicesOutliving) + " outliving their wrapper), device refs";
  for (ULONG r : t.deviceRefs) text += " " + std::to_string(r);
  return text + ", open objects " + std::to_string(t.openObjects);
}

// The module's device hook: every device the module makes is adopted by the injector.
IDirect3DDevice9Ex* AdoptIntoInjector(IDirect3DDevice9Ex* device, void* injector) {
  return AdoptDevice(device, static_cast<FaultInjector*>(injector));
}

const HRESULT kInjectedCodes[] = {D3DERR_INVALIDCALL, D3DERR_OUTOFVIDEOMEMORY, E_OUTOFMEMORY, D3DERR_DEVICELOST};

class FaultTable : public DeviceFixture, public ::testing::WithParamInterface<const Operation*> {
 protected:
  // One shown window for the whole suite: under Wine without a window manager, taking a shown
  // window down waits two seconds for a confirmation that never comes.
  static void SetUpTestSuite() {
    ServeModuleInProcess();
    window_ = std::make_unique<TestWindow>(kWindowWidth, kWindowHeight);
  }
  static void TearDownTestSuite() { window_.reset(); }

  void SetUp() override {
    DeviceFixture::SetUp();
    if (IsSkipped()) return;
    faultyDevice_ = WrapDevice(context_.device.Get(), &injector_);
    ASSERT_HR(S_OK, faultyDevice_->GetRenderTarget(0, &initialTarget_));
    // From here on every device the module makes (the window device below, a display's) is
    // wrapped and counted by the injector.
    SetOffscreenDeviceHook(&AdoptIntoInjector, &injector_);
    RECT client{};
    GetClientRect(window_->hwnd(), &client);
    if (client.right != kWindowWidth || client.bottom != kWindowHeight) window_->Resize(kWindowWidth, kWindowHeight);
    if (GetParam()->on == On::WindowDevice) {
      OffscreenDeviceSettings settings;
      settings.width = kWindowWidth;
      settings.height = kWindowHeight;
      settings.multiSampleType = D3DMULTISAMPLE_4_SAMPLES;
      settings.deviceWindow = window_->hwnd();
      ASSERT_HR(S_OK, windowContext_.InitializeOffscreenDevice(settings));
      ASSERT_TRUE(windowContext_.device) << "no Direct3D 9Ex device for a window";
    }
    openAtStart_ = InProcessOpenObjects();
  }

  void TearDown() override {
    SetOffscreenDeviceHook(nullptr, nullptr);
    windowContext_.Close();
    if (faultyDevice_) {
      initialTarget_.Reset();
      faultyDevice_.Reset();
      EXPECT_EQ(0, injector_.LiveWrappers()) << "wrapped resources still alive";
      EXPECT_EQ(0, injector_.LiveDevices()) << "wrapped devices still alive";
      EXPECT_EQ(0, injector_.DevicesOutlivingWrapper()) << "a device the module made outlived its last release";
      EXPECT_EQ(openAtStart_, InProcessOpenObjects());
    }
    DeviceFixture::TearDown();
  }

  void Prepare(const Operation& op, Trial& run) {
    const bool onWindow = op.on == On::WindowDevice;
    run.device = onWindow ? windowContext_.device.Get() : faultyDevice_.Get();
    run.ownContext = std::make_unique<DX9Context>(run.device);
    run.ownContext->initialRenderTarget = onWindow ? windowContext_.initialRenderTarget : initialTarget_;
    run.context = run.ownContext.get();
    run.injector = &injector_;
    run.window = window_.get();
  }

  Snapshot Take(Trial& run) {
    Snapshot s;
    IUnknown* inputs[] = {run.decoder.Get(), run.request.Get(),  run.cpuFrame.Get(), run.gpuFrame.Get(),
                          run.texture.Get(), run.surface.Get(),  run.more[0].Get(),  run.more[1].Get(),
                          run.more[2].Get(), run.graphics.Get(), run.display.Get()};
    for (IUnknown* object : inputs) s.refs.push_back(RefCount(object));
    s.openObjects = InProcessOpenObjects();
    s.locks = injector_.OpenLocks();
    s.scenes = injector_.OpenScenes();
    IDirect3DDevice9Ex* real = RealOf(run);
    ComPtr<IDirect3DSurface9> target;
    real->GetRenderTarget(0, &target);
    s.state.push_back(target.Get());
    for (DWORD stage = 0; stage < kStages; ++stage) s.state.push_back(BoundTexture(real, stage));
    ComPtr<IDirect3DPixelShader9> shader;
    real->GetPixelShader(&shader);
    s.state.push_back(shader.Get());
    for (DWORD sampler = 0; sampler < 2; ++sampler) {
      for (D3DSAMPLERSTATETYPE type : {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV}) {
        DWORD value = 0;
        real->GetSamplerState(sampler, type, &value);
        s.states.push_back(value);
      }
    }
    DWORD colorArg = 0;
    real->GetTextureStageState(0, D3DTSS_COLORARG1, &colorArg);
    s.states.push_back(colorArg);
    for (D3DRENDERSTATETYPE type : kBlendStates) {
      DWORD value = 0;
      real->GetRenderState(type, &value);
      s.states.push_back(value);
    }
    return s;
  }

  Totals TakeTotals() {
    IDirect3DDevice9Ex* window = windowContext_.device.Get();
    return {injector_.LiveWrappers(),
            injector_.LiveDevices(),
            injector_.DevicesOutlivingWrapper(),
            {RefCount(faultyDevice_.Get()), RefCount(context_.device.Get()), RefCount(window),
             RefCount(window ? injector_.Unwrap(window) : nullptr)},
            InProcessOpenObjects()};
  }

  // The frames a run works on must not be left locked: a property change is refused while they are.
  static void ExpectUnlocked(Trial& run) {
    if (run.gpuFrame) {
      EXPECT_HR(S_OK, run.gpuFrame->SetPixelAspectRatio(nullptr)) << "GPU frame left locked";
    }
    if (run.cpuFrame && !run.sourceLock.locked()) {
      ComPtr<IValueSet> values;
      ASSERT_HR(S_OK, run.cpuFrame->GetValueSet(&values));
      const VarnicaPixelAspectRatio square{1, 1};
      EXPECT_HR(S_OK, vmdx::SetValue(values.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType, square))
          << "CPU frame left locked";
    }
  }

  // The device as a run found it: a successful run may bind a texture, a render target or a
  // shader, or set blending.
  void RestoreDeviceState(Trial& run) {
    IDirect3DDevice9Ex* real = RealOf(run);
    for (DWORD stage = 0; stage < kStages; ++stage) real->SetTexture(stage, nullptr);
    real->SetRenderTarget(0, injector_.Unwrap(run.context->initialRenderTarget.Get()));
    real->SetPixelShader(nullptr);
    real->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    real->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    real->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  }

  // The clean run after a failing one (or the run that met no fault, or one that met a fault
  // the row absorbs): succeeds, hands out what the row expects, and everything it took goes
  // again with its results.
  void ExpectCleanRun(const Operation& op, Trial& run, HRESULT hr) {
    EXPECT_HR(S_OK, hr) << op.name << ": clean run";
    if (SUCCEEDED(hr)) op.checkResult(run);
    run.frame.Reset();
    run.outTexture.Reset();
    run.image.Close();
    RestoreDeviceState(run);
  }

  struct Injected {
    int failures = 0;  // runs that met their fault, absorbed ones included
    int absorbed = 0;  // runs whose fault the operation went on from
  };

  // Runs op with the k-th fault armed by arm (k = 1, 2, ...) until a run meets no fault.
  // injected(k) says whether the k-th fault was reached, absorbed() whether the operation goes on
  // from the fault it met by design.
  Injected RunFaults(const Operation& op, const char* kind, const std::function<HRESULT(uint32_t)>& arm,
                     const std::function<void()>& disarm, const std::function<bool(uint32_t)>& injected,
                     const std::function<bool()>& absorbed,
                     const std::function<void(HRESULT, const ObserverCapture&, const DebugOutputCapture&)>& reported) {
    Injected count;
    for (uint32_t k = 1; k <= kMaxInjections; ++k) {
      const std::string where = std::string(op.name) + ", " + kind + " " + std::to_string(k);
      SCOPED_TRACE(where);
      const Totals totals = TakeTotals();
      bool faultMet = false;
      bool sticks = false;  // the fault left its inputs in a state hosts know (see Operation::sticks)
      std::string calls;
      {
        Trial run;
        Prepare(op, run);
        op.setUp(run);
        if (HasFatalFailure()) return count;
        const Snapshot before = Take(run);
        HRESULT hr = S_OK;
        {
          ObserverCapture observer;
          DebugOutputCapture debug;
          const HRESULT code = arm(k);
          hr = op.call(run);
          disarm();
          faultMet = injected(k);
          calls = "Direct3D calls: " + injector_.Trace();
          if (faultMet && absorbed()) {
            ++count.absorbed;
            faultMet = false;  // a run that went on: it must end as a clean run does
          } else if (faultMet) {
            SCOPED_TRACE(calls);
            EXPECT_HR(code, hr) << "the operation's result";
            reported(code, observer, debug);
          }
          if (injected(k)) ++count.failures;
        }
        if (faultMet) {
          SCOPED_TRACE(calls);
          EXPECT_EQ(nullptr, run.frame.Get()) << "a frame was handed out";
          EXPECT_EQ(nullptr, run.outTexture.Get()) << "a texture was handed out";
          EXPECT_TRUE(IsEqualGUID(kUnwritten, run.outFormat)) << "a format was written";
          EXPECT_EQ(nullptr, run.image.Texture()) << "the image took a texture";
          const Snapshot after = Take(run);
          EXPECT_EQ(Describe(before), Describe(after));
          // A failing copy of the picture may end the scene it found open, never leave one open.
          EXPECT_LE(after.scenes, before.scenes) << "a scene left open";
          EXPECT_TRUE(before.state == after.state) << "render target 0, a stage's texture or the pixel shader changed";
          EXPECT_TRUE(before.states == after.states) << "a sampler's address mode or stage 0's colour argument changed";
          ExpectUnlocked(run);
          sticks = Named(op.sticks, injector_.InjectedCall());
          hr = op.call(run);
          if (sticks) {
            EXPECT_HR(op.stuck, hr) << "the same inputs after a failed " << injector_.InjectedCall();
          }
        }
        if (sticks)
          RestoreDeviceState(run);
        else
          ExpectCleanRun(op, run, hr);
      }
      if (sticks) {  // the inputs the failure stuck to are gone: a clean run on new ones
        Trial fresh;
        Prepare(op, fresh);
        op.setUp(fresh);
        if (HasFatalFailure()) return count;
        ExpectCleanRun(op, fresh, op.call(fresh));
      }
      EXPECT_EQ(Describe(totals), Describe(TakeTotals())) << "after the run's inputs went";
      if (!injected(k)) return count;
    }
    ADD_FAILURE() << op.name << ": still failing after " << kMaxInjections << " injected " << kind << "s";
    return count;
  }

  FaultInjector injector_;
  ComPtr<IDirect3DDevice9Ex> faultyDevice_;
  ComPtr<IDirect3DSurface9> initialTarget_;  // render target 0 as the faulty device hands it out
  static std::unique_ptr<TestWindow> window_;
  // The window rows' device, made by the module for the window and adopted by the injector.
  DX9Context windowContext_;
  int openAtStart_ = 0;
  uint32_t lastCounted_ = 0;
};

std::unique_ptr<TestWindow> FaultTable::window_;

std::string ExceptionLine(HRESULT code) {
  char text[32];
  std::snprintf(text, sizeof text, "[EXCEPTION] 0x%08lX ", static_cast<unsigned long>(code));
  return text;
}

TEST_P(FaultTable, EveryFailingDirect3DCallLeavesNothingBehind) {
  const Operation& op = *GetParam();
  const Injected n = RunFaults(
      op, "Direct3D call",
      [&](uint32_t k) {
        const HRESULT code = kInjectedCodes[(k - 1) % std::size(kInjectedCodes)];
        injector_.Arm(k, code);
        return code;
      },
      [&] { injector_.Disarm(); }, [&](uint32_t) { return injector_.Injected(); },
      [&] { return Absorbs(op, injector_.InjectedCall()); },
      [&](HRESULT code, const ObserverCapture& observer, const DebugOutputCapture&) {
        EXPECT_TRUE(observer.Contains(ExceptionLine(code))) << observer.Text();
      });
  if (n.absorbed)
    std::printf("[ faults   ] %-64s %2d Direct3D failures (%d absorbed by design)\n", op.name, n.failures, n.absorbed);
  else
    std::printf("[ faults   ] %-64s %2d Direct3D failures\n", op.name, n.failures);
}

TEST_P(FaultTable, EveryFailingHeapAllocationLeavesNothingBehind) {
  const Operation& op = *GetParam();
  const Injected n = RunFaults(
      op, "heap allocation",
      [&](uint32_t k) {
        SetHeapAllocationFailure(k);
        return E_OUTOFMEMORY;
      },
      [&] {
        const uint32_t counted = HeapAllocationsCounted();
        SetHeapAllocationFailure(0);
        lastCounted_ = counted;
      },
      [&](uint32_t k) { return lastCounted_ >= k; }, [] { return false; },
      [&](HRESULT code, const ObserverCapture& observer, const DebugOutputCapture& debug) {
        EXPECT_TRUE(observer.Contains(ExceptionLine(code))) << observer.Text();
        EXPECT_TRUE(debug.SawPrefix("TWinHeap::AllocMem failed err=8 size=")) << "debugger output";
      });
  std::printf("[ faults   ] %-64s %2d heap failures\n", op.name, n.failures);
}

std::vector<const Operation*> AllOperations() {
  std::vector<const Operation*> rows;
  for (const Operation& op : kOperations) rows.push_back(&op);
  return rows;
}

std::string RowName(const ::testing::TestParamInfo<const Operation*>& info) {
  std::string name;
  for (const char* c = info.param->name; *c; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  return name;
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultTable, ::testing::ValuesIn(AllOperations()), RowName);

}  // namespace
