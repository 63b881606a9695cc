// vmdx frames [file.y4m | builtin:progressive | builtin:interlaced] [--format F] [--field 1|2]
//             [--count N] [--out DIR] [--capture] [--gpu-unpack]
//
// Each frame is fetched from the media module's decoder as a GPU frame (GetDirectXFrame uploads
// it into a texture on an offscreen device), read back through the frame's lock, converted to
// RGB on the CPU and written as a PNG file. Ends with frames per second of each stage.
// --gpu-unpack uploads the frame in its native GPU format and unpacks it with the format
// converter (4:2:2 8-bit becomes 4:4:4 on the GPU) instead of unpacking it on the CPU.
#include "FramesCommand.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <wrl/client.h>

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "Diagnostics.h"
#include "Error.h"
#include "PngWriter.h"
#include "VarnicaFrameAccess.h"
#include "VodideCaptureRenderTargetDX9.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDX9Context.h"
#include "VodideDX9VidConvert.h"
#include "VodideGetFrame.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "apps/vmdx/FramesCommand";
constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr int64_t kBuiltinDefaultCount = 25;  // one second of the built-in clip

const GUID* const kFormats[] = {
    &MediaFormat_RGB8,          &MediaFormat_YUV444_8,      &MediaFormat_YUVA444_8,    &MediaFormat_YUV422Packed8,
    &MediaFormat_YUV422SemiPlanar8, &MediaFormat_YUV444_16, &MediaFormat_YUVA444_16,   &MediaFormat_YUV422Packed10,
    &MediaFormat_RGBA8,         &MediaFormat_RGBA8Alt,      &MediaFormat_RGBX8,        &MediaFormat_Mono8Alt,
    &MediaFormat_Mono8,         &MediaFormat_RGBA16,        &MediaFormat_RGBA16Alt,    &MediaFormat_RG16,
    &MediaFormat_RGBAFloat,     &MediaFormat_RGBAFloatAlt,  &MediaFormat_RGFloat,      &MediaFormat_YUVA422Packed8,
    &MediaFormat_YUVA422Packed10, &MediaFormat_RGB16,       &MediaFormat_ARGB8,        &MediaFormat_ARGB16,
};

bool SameText(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

const GUID* FormatByName(const char* name) {
  for (const GUID* format : kFormats) {
    if (SameText(VarnicaMediaNameOf(format, 0, 0), name)) return format;
  }
  return nullptr;
}

struct Options {
  std::string source = "builtin:progressive";
  const GUID* format = nullptr;  // the source's own when not given
  int field = 0;
  int64_t count = -1;  // -1: the default for the source
  std::string out = "vmdx-frames";
  bool capture = false;  // also a rendered copy through a render-target capture
  bool gpuUnpack = false;  // unpack with the GPU format converter instead of during the upload
};

int Usage() {
  std::fprintf(stderr,
               "usage: vmdx frames [file.y4m | builtin:progressive | builtin:interlaced] [--format F]\n"
               "                   [--field 1|2] [--count N] [--out DIR] [--capture] [--gpu-unpack]\n"
               "  F is a media format name (YUV422Packed8, YUV422Packed10, YUV444_8, RGB8, RGBA16, Mono8, ...);\n"
               "  N defaults to every frame of a file and to %" PRId64 " frames of a built-in clip;\n"
               "  --capture also draws each frame into a render target and writes its capture;\n"
               "  --gpu-unpack unpacks 4:2:2 on the GPU (whole frames only, no --field).\n",
               kBuiltinDefaultCount);
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  bool sourceGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--format" && hasValue) {
      options->format = FormatByName(argv[++i]);
      if (options->format == nullptr) {
        std::fprintf(stderr, "vmdx frames: unknown format %s\n", argv[i]);
        return false;
      }
    } else if (arg == "--field" && hasValue) {
      options->field = std::atoi(argv[++i]);
      if (options->field != 1 && options->field != 2) return false;
    } else if (arg == "--count" && hasValue) {
      options->count = std::atoll(argv[++i]);
      if (options->count < 1) return false;
    } else if (arg == "--capture") {
      options->capture = true;
    } else if (arg == "--gpu-unpack") {
      options->gpuUnpack = true;
    } else if (arg == "--out" && hasValue) {
      options->out = argv[++i];
    } else if (arg.rfind("--", 0) != 0 && !sourceGiven) {
      options->source = arg;
      sourceGiven = true;
    } else {
      return false;
    }
  }
  return !(options->gpuUnpack && options->field != 0);
}

// Passes every call to the decoder and adds up the time its GetFrame takes, so the upload's
// share of GetDirectXFrame can be told apart from decoding.
class TimedDecoder final : public IVideoDecoder {
 public:
  explicit TimedDecoder(IVideoDecoder* decoder) : decoder_(decoder) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IVideoDecoder)) return E_NOINTERFACE;
    *ppv = static_cast<IVideoDecoder*>(this);
    return S_OK;
  }
  // Lives on the command's stack, longer than any call made with it.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID key, REFIID iid, void** ppv) override {
    return decoder_->GetObject(key, iid, ppv);
  }
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override { return decoder_->GetValueSet(valueSet); }
  HRESULT STDMETHODCALLTYPE GetFrame(IValueSet* request, REFIID iid, void** ppFrame) override {
    const double start = HighResolutionSeconds();
    const HRESULT hr = decoder_->GetFrame(request, iid, ppFrame);
    seconds += HighResolutionSeconds() - start;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Open(const char* source) override { return decoder_->Open(source); }

  double seconds = 0;

 private:
  IVideoDecoder* decoder_;
};

// Pixels of a frame in CPU memory, planes packed tight.
struct CpuPicture {
  CpuVidFrameMemory record{};
  std::vector<uint8_t> bytes;
};

// Copies the planes a locked frame maps into memory of our own.
HRESULT ReadBack(IMediaDirectX9VideoFrame* frame, CpuPicture* picture) {
  ComPtr<ILockObject> lock;
  ComPtr<IValueSet> values;
  HRESULT hr = frame->QueryInterface(IID_ILockObject, &lock);
  if (SUCCEEDED(hr)) hr = frame->GetValueSet(&values);
  if (SUCCEEDED(hr)) hr = lock->LockObject(0x11);
  if (FAILED(hr)) return hr;
  CpuVidFrameMemory mapped{};
  hr = values->GetValueData(CVideoFrameCpuMemoryProperty, &CVideoFrameCpuMemoryProperty, &mapped, sizeof mapped);
  if (SUCCEEDED(hr)) {
    int32_t rowBytes[kMaxVideoPlanes] = {}, rows[kMaxVideoPlanes] = {};
    const int32_t planes = GetFormatVideoPlaneLayout(&mapped.format, mapped.width, mapped.height, kMaxVideoPlanes,
                                                     nullptr, rowBytes, nullptr, nullptr, rows);
    size_t total = 0;
    for (int32_t i = 0; i < planes; ++i) total += static_cast<size_t>(rowBytes[i]) * rows[i];
    picture->bytes.resize(total);
    picture->record = {mapped.format, mapped.width, mapped.height, {}};
    uint8_t* out = picture->bytes.data();
    for (int32_t i = 0; i < planes; ++i) {
      picture->record.planes[i] = {out, rowBytes[i]};
      for (int32_t y = 0; y < rows[i]; ++y, out += rowBytes[i])
        std::memcpy(out, mapped.planes[i].data + y * mapped.planes[i].pitch, static_cast<size_t>(rowBytes[i]));
    }
    if (planes < 1) hr = E_UNSUPPORTED;
  }
  lock->UnlockObject();
  return hr;
}

// Video-range YUV (Y 16..235, chroma 16..240) stretched to full range in place, since the CPU
// conversion to RGB reads YUV as full range. Formats other than the YUV ones read back stay.
void ExpandVideoRange(const CpuVidFrameMemory& r) {
  auto luma = [](double v, double scale) { return (v - 16.0 * scale) * (255.0 / 219.0); };
  auto chroma = [](double v, double scale) { return (v - 128.0 * scale) * (255.0 / 224.0) + 128.0 * scale; };
  auto clamp = [](double v, double top) { return v < 0 ? 0.0 : v > top ? top : v + 0.5; };
  const bool yuva8 = IsEqualGUID(r.format, MediaFormat_YUVA444_8);
  const bool yuva16 = IsEqualGUID(r.format, MediaFormat_YUVA444_16);
  const bool mono = IsEqualGUID(r.format, MediaFormat_Mono8) || IsEqualGUID(r.format, MediaFormat_Mono8Alt);
  if (!yuva8 && !yuva16 && !mono) return;
  uint8_t lumaTable[256], chromaTable[256];
  for (int v = 0; v < 256; ++v) {
    lumaTable[v] = static_cast<uint8_t>(clamp(luma(v, 1.0), 255.0));
    chromaTable[v] = static_cast<uint8_t>(clamp(chroma(v, 1.0), 255.0));
  }
  for (int32_t y = 0; y < r.height; ++y) {
    uint8_t* row = r.planes[0].data + y * r.planes[0].pitch;
    for (int32_t x = 0; x < r.width; ++x) {
      if (mono) {
        row[x] = lumaTable[row[x]];
      } else if (yuva8) {  // V, U, Y, A
        uint8_t* p = row + 4 * x;
        p[0] = chromaTable[p[0]], p[1] = chromaTable[p[1]], p[2] = lumaTable[p[2]];
      } else {  // words V, U, Y, A
        uint16_t* p = reinterpret_cast<uint16_t*>(row) + 4 * x;
        p[0] = static_cast<uint16_t>(clamp(chroma(p[0], 256.0), 65535.0));
        p[1] = static_cast<uint16_t>(clamp(chroma(p[1], 256.0), 65535.0));
        p[2] = static_cast<uint16_t>(clamp(luma(p[2], 256.0), 65535.0));
      }
    }
  }
}

// The picture as BGR rows (grey rows for one-channel formats), through the module's CPU
// conversion; formats without a direct conversion to RGB8 go through RGBA8.
HRESULT ToPngPixels(const CpuVidFrameMemory& source, PngPixels* layout, std::vector<uint8_t>* pixels) {
  const int32_t w = source.width, h = source.height;
  if (IsEqualGUID(source.format, MediaFormat_Mono8) || IsEqualGUID(source.format, MediaFormat_Mono8Alt)) {
    *layout = PngPixels::Grey8;
    pixels->resize(static_cast<size_t>(w) * h);
    for (int32_t y = 0; y < h; ++y)
      std::memcpy(pixels->data() + static_cast<size_t>(y) * w, source.planes[0].data + y * source.planes[0].pitch,
                  static_cast<size_t>(w));
    return S_OK;
  }
  *layout = PngPixels::Bgr8;
  pixels->resize(static_cast<size_t>(w) * h * 3);
  const CpuVidFrameMemory rgb{MediaFormat_RGB8, w, h, {{pixels->data(), int64_t{w} * 3}}};
  ConvertionCopyKernel kernel = nullptr;
  int32_t bands = 0;
  const GUID normal{};
  if (SUCCEEDED(FindConvertionCopy(&kernel, &bands, &source, &rgb, normal)))
    return GuardedCall([&] { return CopyCpuVidFrameMemory(&source, &rgb, normal, nullptr); });
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  const CpuVidFrameMemory between{MediaFormat_RGBA8, w, h, {{rgba.data(), int64_t{w} * 4}}};
  return GuardedCall([&] {
    CopyCpuVidFrameMemory(&source, &between, normal, nullptr);
    return CopyCpuVidFrameMemory(&between, &rgb, normal, nullptr);
  });
}

// A rendered copy of the frame: its texture drawn pixel for pixel into a render target of the
// same Direct3D format, captured as a CPU frame of the frame's format, converted to PNG pixels.
HRESULT RenderAndCapture(DX9Context& context, IMediaDirectX9VideoFrame* frame, bool videoRange, PngPixels* layout,
                         std::vector<uint8_t>* pixels, int32_t* width, int32_t* height) {
  return GuardedCall([&]() -> HRESULT {
    ComPtr<IDirect3DTexture9> texture;
    ComPtr<IValueSet> values;
    GUID format{};
    CheckHr(frame->GetTexture(&texture), VLOC, "GetTexture");
    CheckHr(frame->GetValueSet(&values), VLOC, "GetValueSet");
    CheckHr(values->GetValueData(FrameFormat, &GuidValueType, &format, 16), VLOC, "FrameFormat");
    D3DSURFACE_DESC desc{};
    CheckHr(texture->GetLevelDesc(0, &desc), VLOC, "GetLevelDesc");
    ComPtr<IDirect3DTexture9> target;
    CheckHr(context.device->CreateTexture(desc.Width, desc.Height, 1, D3DUSAGE_RENDERTARGET, desc.Format,
                                          D3DPOOL_DEFAULT, &target, nullptr),
            VLOC, "CreateTexture(render target)");
    ComPtr<IDirect3DVertexBuffer9> vb;
    CheckHr(context.ObtainPCT4VertexBuffer(&vb), VLOC, "ObtainPCT4VertexBuffer");
    CheckHr(context.SetRenderTarget(target.Get()), VLOC, "SetRenderTarget");
    HRESULT drawn = context.BeginScene();
    if (SUCCEEDED(drawn)) {
      context.SetTexture(0, texture.Get());
      drawn = context.FillRectangle(vb.Get(), -0.5f, -0.5f, desc.Width - 0.5f, desc.Height - 0.5f);
      context.UnsetTexture(0);
      context.EndScene();
    }
    context.UnsetRenderTarget();
    CheckHr(drawn, VLOC, "FillRectangle");
    ComPtr<IDirect3DSurface9> surface;
    CheckHr(target->GetSurfaceLevel(0, &surface), VLOC, "GetSurfaceLevel");
    ComPtr<IVideoFrame> captured;
    CheckHr(CaptureRenderTargetAsVideoCpuFrame(context.device.Get(), surface.Get(), IID_IVideoFrame, &captured, &format),
            VLOC, "CaptureRenderTargetAsVideoCpuFrame");
    ComPtr<ILockObject> lock;
    ComPtr<IValueSet> capturedValues;
    CheckHr(captured.As(&lock), VLOC, "ILockObject");
    CheckHr(captured->GetValueSet(&capturedValues), VLOC, "GetValueSet");
    CheckHr(lock->LockObject(0x11), VLOC, "LockObject");
    CpuVidFrameMemory record{};
    HRESULT hr = capturedValues->GetValueData(CVideoFrameCpuMemoryProperty, &CVideoFrameCpuMemoryProperty, &record,
                                              sizeof record);
    std::vector<uint8_t> own;
    if (SUCCEEDED(hr) && videoRange) {
      // The captured memory is the frame's, locked for reading: expand a copy.
      const int64_t rowBytes = std::min<int64_t>(std::abs(record.planes[0].pitch), int64_t{record.width} * 8);
      own.resize(static_cast<size_t>(rowBytes) * record.height);
      for (int32_t y = 0; y < record.height; ++y)
        std::memcpy(own.data() + y * rowBytes, record.planes[0].data + y * record.planes[0].pitch,
                    static_cast<size_t>(rowBytes));
      record.planes[0] = {own.data(), rowBytes};
      ExpandVideoRange(record);
    }
    if (SUCCEEDED(hr)) hr = ToPngPixels(record, layout, pixels);
    lock->UnlockObject();
    *width = record.width;
    *height = record.height;
    return CheckHr(hr, VLOC, "captured frame");
  });
}

// The decoder's frame as a GPU frame, uploaded in its native GPU format and unpacked by the
// format converter, not by the CPU conversion of the upload.
HRESULT FetchUnpackedOnGpu(CDX9VidConvert& convert, IVideoDecoder* decoder, const GUID& format,
                           const VarnicaTimecode& timecode, ComPtr<IMediaDirectX9VideoFrame>* frame) {
  return GuardedCall([&] {
    ComPtr<IValueSet> request;
    CheckHr(CreateClassObject(CLSID_ValueSet, IID_IValueSet, &request), VLOC, "request");
    CheckHr(vmdx::SetValue(request.Get(), FrameFormat, GuidValueType, format), VLOC, "FrameFormat");
    CheckHr(vmdx::SetValue(request.Get(), TimecodeProperty, TimecodeValueType, timecode), VLOC, "TimecodeProperty");
    ComPtr<IVideoFrame> source;
    CheckHr(decoder->GetFrame(request.Get(), IID_IVideoFrame, &source), VLOC, "GetFrame");
    ComPtr<IDirect3DTexture9> texture;
    GUID held{};
    CheckHr(convert.CreateConvertedTextureFromFrame(&texture, &held, source.Get(), GUID{}, GUID{}, true), VLOC,
            "CreateConvertedTextureFromFrame");
    return CheckHr(CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &*frame, &held, texture.Get()), VLOC,
                   "CreateMediaDirectX9VideoFrame");
  });
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

void ShowProgress(int64_t done, int64_t total) {
  constexpr int kWidth = 40;
  const int filled = total > 0 ? static_cast<int>(done * kWidth / total) : kWidth;
  std::printf("\r  [%.*s%.*s] %" PRId64 "/%" PRId64, filled, "########################################",
              kWidth - filled, "----------------------------------------", done, total);
  std::fflush(stdout);
}

void PrintRate(const char* stage, int64_t frames, double seconds) {
  if (seconds > 0)
    std::printf("%-11s %9.1f frames/s  (%.2f ms per frame)\n", stage, frames / seconds, 1000.0 * seconds / frames);
  else
    std::printf("%-11s         - frames/s\n", stage);
}

std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// COM for this thread while the command runs (WIC needs it).
struct ComScope {
  ComScope() : hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
  HRESULT hr;
};

}  // namespace

HRESULT WriteFramePng(IMediaDirectX9VideoFrame* frame, bool videoRange, const std::filesystem::path& path,
                      std::string* error) {
  CpuPicture picture;
  PngPixels layout = PngPixels::Bgr8;
  std::vector<uint8_t> pixels;
  HRESULT hr = ReadBack(frame, &picture);
  if (SUCCEEDED(hr)) {
    if (videoRange) ExpandVideoRange(picture.record);
    hr = ToPngPixels(picture.record, &layout, &pixels);
  }
  const int32_t w = picture.record.width;
  if (SUCCEEDED(hr))
    hr = WritePng(path.wstring(), w, picture.record.height, layout, pixels.data(),
                  layout == PngPixels::Bgr8 ? int64_t{w} * 3 : w, error);
  return hr;
}

int RunFramesCommand(int argc, char** argv) {
  Options options;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    Usage();
    return 0;
  }
  if (!ParseOptions(argc, argv, &options)) return Usage();
  const ComScope com;

  const HRESULT loaded = VarnicaLoadClassLibrary(kModule);
  if (FAILED(loaded)) {
    std::fprintf(stderr, "vmdx frames: cannot load %s (%s)\n", kModule, HrText(loaded).c_str());
    return 1;
  }
  ComPtr<IVideoDecoder> decoder;
  HRESULT hr = CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder);
  if (SUCCEEDED(hr)) hr = decoder->Open(options.source.c_str());
  if (FAILED(hr)) {
    std::fprintf(stderr, "vmdx frames: cannot open %s (%s)\n", options.source.c_str(), HrText(hr).c_str());
    return 1;
  }
  ComPtr<IValueSet> sourceValues;
  GUID sourceFormat{};
  VarnicaFrameSize size{};
  VarnicaFrameRate rate{25, 1, 0, 0};
  int32_t frameCount = 0;
  hr = decoder->GetValueSet(&sourceValues);
  if (SUCCEEDED(hr)) hr = sourceValues->GetValueData(FrameFormat, &GuidValueType, &sourceFormat, 16);
  if (SUCCEEDED(hr)) hr = sourceValues->GetValueData(FrameSizeProperty, &FrameSizeValueType, &size, 8);
  if (SUCCEEDED(hr)) hr = sourceValues->GetValueData(FrameCountProperty, &Int32ValueType, &frameCount, 4);
  if (SUCCEEDED(hr)) sourceValues->GetValueData(FrameRateProperty, &FrameRateProperty, &rate, 24);
  int32_t range = ColorRange_Full;
  if (SUCCEEDED(hr)) sourceValues->GetValueData(ColorRangeProperty, &Int32ValueType, &range, 4);
  if (FAILED(hr)) {
    std::fprintf(stderr, "vmdx frames: %s does not describe itself (%s)\n", options.source.c_str(), HrText(hr).c_str());
    return 1;
  }
  const GUID format = options.format ? *options.format : sourceFormat;
  const bool builtin = options.source.rfind("builtin:", 0) == 0;
  int64_t count = options.count > 0 ? options.count : (builtin ? kBuiltinDefaultCount : frameCount);
  count = std::min<int64_t>(count, frameCount);

  std::error_code made;
  const std::filesystem::path outDir = std::filesystem::path(options.out);
  std::filesystem::create_directories(outDir, made);
  if (made) {
    std::fprintf(stderr, "vmdx frames: cannot create %s: %s\n", options.out.c_str(), made.message().c_str());
    return 1;
  }

  DX9Context context;
  OffscreenDeviceSettings settings;
  hr = context.InitializeOffscreenDevice(settings);
  if (FAILED(hr) || !context.device) {
    std::fprintf(stderr, "vmdx frames: no Direct3D 9Ex device (%s)\n", HrText(FAILED(hr) ? hr : E_FAIL).c_str());
    return 1;
  }

  CDX9ResourceCache cache;
  CDX9VidConvert convert(&context, &cache);

  std::printf("%s: %dx%d, %" PRId64 " of %d frames as %s%s%s -> %s\n", options.source.c_str(), size.width,
              size.height, count, frameCount, VarnicaMediaNameOf(&format, 0, 0),
              options.field ? (options.field == 1 ? ", field 1" : ", field 2") : "",
              options.gpuUnpack ? ", unpacked on the GPU" : "", options.out.c_str());
  const bool console = IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));

  TimedDecoder timed(decoder.Get());
  double fetchSeconds = 0, readSeconds = 0, convertSeconds = 0, captureSeconds = 0;
  int64_t frames = 0;
  std::vector<std::string> written;
  int exitCode = 0;
  for (int64_t n = 0; n < count; ++n) {
    const VarnicaTimecode timecode{n, static_cast<int32_t>(rate.numerator), static_cast<int32_t>(rate.denominator),
                                   0, 0};
    const FieldSelect field{1, static_cast<uint8_t>(options.field)};
    ComPtr<IMediaDirectX9VideoFrame> frame;
    double start = HighResolutionSeconds();
    if (options.gpuUnpack)
      hr = FetchUnpackedOnGpu(convert, &timed, format, timecode, &frame);
    else
      hr = GetDirectXFrame(&context, IID_IMediaDirectX9VideoFrame, &frame, &timed, &timecode, nullptr, &format,
                           options.field ? &field : nullptr);
    fetchSeconds += HighResolutionSeconds() - start;
    const char* stage = "GetDirectXFrame";
    CpuPicture picture;
    PngPixels layout = PngPixels::Bgr8;
    std::vector<uint8_t> pixels;
    if (SUCCEEDED(hr)) {
      start = HighResolutionSeconds();
      hr = ReadBack(frame.Get(), &picture);
      readSeconds += HighResolutionSeconds() - start;
      stage = "read-back";
    }
    if (SUCCEEDED(hr)) {
      start = HighResolutionSeconds();
      if (range == ColorRange_Video) ExpandVideoRange(picture.record);
      hr = ToPngPixels(picture.record, &layout, &pixels);
      convertSeconds += HighResolutionSeconds() - start;
      stage = "conversion to RGB";
    }
    std::string error;
    char name[64];
    const char* fieldSuffix = options.field == 1 ? "_field1" : options.field == 2 ? "_field2" : "";
    std::snprintf(name, sizeof name, "frame_%06" PRId64 "%s.png", n, fieldSuffix);
    const std::filesystem::path path = outDir / name;
    if (SUCCEEDED(hr)) {
      hr = WritePng(path.wstring(), picture.record.width, picture.record.height, layout, pixels.data(),
                    layout == PngPixels::Bgr8 ? int64_t{picture.record.width} * 3 : picture.record.width, &error);
      stage = "PNG";
    }
    if (SUCCEEDED(hr)) written.push_back(path.generic_string());
    if (SUCCEEDED(hr) && options.capture) {
      int32_t w = 0, h = 0;
      start = HighResolutionSeconds();
      hr = RenderAndCapture(context, frame.Get(), range == ColorRange_Video, &layout, &pixels, &w, &h);
      captureSeconds += HighResolutionSeconds() - start;
      stage = "render and capture";
      std::snprintf(name, sizeof name, "frame_%06" PRId64 "%s_capture.png", n, fieldSuffix);
      const std::filesystem::path capturePath = outDir / name;
      if (SUCCEEDED(hr)) {
        hr = WritePng(capturePath.wstring(), w, h, layout, pixels.data(), layout == PngPixels::Bgr8 ? int64_t{w} * 3 : w,
                      &error);
        stage = "PNG";
      }
      if (SUCCEEDED(hr)) written.push_back(capturePath.generic_string());
    }
    if (FAILED(hr)) {
      if (console) std::printf("\n");
      std::fprintf(stderr, "vmdx frames: frame %" PRId64 ": %s failed (%s)%s%s\n", n, stage, HrText(hr).c_str(),
                   error.empty() ? "" : ": ", error.c_str());
      exitCode = 1;
      break;
    }
    ++frames;
    if (console) ShowProgress(n + 1, count);
  }
  if (console) std::printf("\n");

  for (const std::string& file : written) std::printf("wrote %s\n", file.c_str());
  if (frames > 0) {
    PrintRate("decode", frames, timed.seconds);
    PrintRate("upload", frames, fetchSeconds - timed.seconds);
    PrintRate("read-back", frames, readSeconds);
    PrintRate("conversion", frames, convertSeconds);
    if (options.capture) PrintRate("capture", frames, captureSeconds);
  }
  return exitCode;
}
