// vmdx frames [SOURCE] [--format F] [--field 1|2] [--count N] [--out DIR | --out - | --discard]
//             [--capture] [--gpu-unpack] [--leak-check]
//
// Each frame is fetched from the media module's decoder as a GPU frame (GetDirectXFrame uploads
// it into a texture on an offscreen device), read back through the frame's lock, and written as a
// PNG file (converted to RGB on the CPU) or into a Y4M stream on standard output. Ends with
// frames per second of each stage. --gpu-unpack uploads the frame in its native GPU format and
// unpacks it with the format converter (4:2:2 8-bit becomes 4:4:4 on the GPU) instead.
#include "FramesCommand.h"

#include <wrl/client.h>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "ConvertionCopyCpuVidFrameMemory.h"
#include "Diagnostics.h"
#include "Error.h"
#include "LeakCheck.h"
#include "PngWriter.h"
#include "VarnicaFrameAccess.h"
#include "VodideCaptureRenderTargetDX9.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDX9Context.h"
#include "VodideDX9VidConvert.h"
#include "VodideGetFrame.h"
#include "Y4mWriter.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtool;

namespace {

constexpr char kSourceFile[] = "apps/vmdx/FramesCommand";
constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr int64_t kBuiltinDefaultCount = 25;  // one second of the built-in clip

const GUID* const kFormats[] = {
    &MediaFormat_RGB8,
    &MediaFormat_YUV444_8,
    &MediaFormat_YUVA444_8,
    &MediaFormat_YUV422Packed8,
    &MediaFormat_YUV422SemiPlanar8,
    &MediaFormat_YUV444_16,
    &MediaFormat_YUVA444_16,
    &MediaFormat_YUV422Packed10,
    &MediaFormat_RGBA8,
    &MediaFormat_RGBA8Alt,
    &MediaFormat_RGBX8,
    &MediaFormat_Mono8Alt,
    &MediaFormat_Mono8,
    &MediaFormat_RGBA16,
    &MediaFormat_RGBA16Alt,
    &MediaFormat_RG16,
    &MediaFormat_RGBAFloat,
    &MediaFormat_RGBAFloatAlt,
    &MediaFormat_RGFloat,
    &MediaFormat_YUVA422Packed8,
    &MediaFormat_YUVA422Packed10,
    &MediaFormat_RGB16,
    &MediaFormat_ARGB8,
    &MediaFormat_ARGB16,
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

// A source that reports the end of its frames with this code (a Y4M stream on standard input).
constexpr HRESULT kEndOfStream = HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);

struct Options {
  std::string source = "builtin:progressive";
  const GUID* format = nullptr;  // the source's own when not given
  int64_t field = 0;
  int64_t count = -1;  // -1: the default for the source
  std::string out = "vmdx-frames";
  bool capture = false;  // also a rendered copy through a render-target capture
  bool discard = false;
  bool leakCheck = false;
  bool gpuUnpack = false;  // unpack with the GPU format converter instead of during the upload
};

constexpr char kUsage[] =
    "[SOURCE] [--format F] [--field 1|2] [--count N] [--out DIR | --out - | --discard] [--capture] [--gpu-unpack]\n"
    "                   [--leak-check]";
constexpr char kDetails[] =
    "Decoder frames through the GPU and back: each frame is fetched as a GPU frame, read back through\n"
    "its lock and written as a PNG file, or into a Y4M stream.\n"
    "  SOURCE              a Y4M file, - for a Y4M stream on standard input, builtin:progressive (the\n"
    "                      default) or builtin:interlaced\n"
    "  --format F          the media format frames are fetched in: YUV422Packed8, YUV422Packed10, YUV444_8,\n"
    "                      YUV444_16, RGB8, RGBA8, RGBA16, Mono8, ... (default: the source's own)\n"
    "  --field 1|2         one field of each frame (the field of the first or of the second line)\n"
    "  --count N           frames to take (default: all of a file or stream, 25 of a built-in clip)\n"
    "  --out DIR           folder of the PNG files (default vmdx-frames)\n"
    "  --out -             a Y4M stream on standard output instead (4:4:4 8 or 16 bits, or mono)\n"
    "  --discard           run every stage but write nothing (timing, long runs)\n"
    "  --capture           also draw each frame into a render target and write its capture as a PNG file\n"
    "  --gpu-unpack        upload 4:2:2 frames as they are and unpack them on the GPU (whole frames only)\n"
    "  --leak-check        private bytes after frame 100 and after the last within 5 MB, no open\n"
    "                      module object and the device's last release 0 at the end, or exit 1\n";

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
  vmdx::FrameMemoryLock lock;
  HRESULT hr = lock.Open(frame, vmdx::kLockRead);
  if (FAILED(hr)) return hr;
  const CpuVidFrameMemory& mapped = lock.memory();
  int32_t rowBytes[kMaxVideoPlanes] = {}, rows[kMaxVideoPlanes] = {};
  const int32_t planes = GetFormatVideoPlaneLayout(&mapped.format, mapped.width, mapped.height, kMaxVideoPlanes,
                                                   nullptr, rowBytes, nullptr, nullptr, rows);
  if (planes < 1) return E_UNSUPPORTED;
  size_t total = 0;
  for (int32_t i = 0; i < planes; ++i) total += static_cast<size_t>(rowBytes[i]) * rows[i];
  picture->bytes.resize(total);
  picture->record = {mapped.format, mapped.width, mapped.height, {}};
  uint8_t* out = picture->bytes.data();
  for (int32_t i = 0; i < planes; ++i) {
    picture->record.planes[i] = {out, rowBytes[i]};
    for (int32_t y = 0; y < rows[i]; ++y, out += rowBytes[i])
      std::memcpy(out, lock.row(i, y), static_cast<size_t>(rowBytes[i]));
  }
  return S_OK;
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
    CheckHr(vmdx::GetValue(values, FrameFormat, GuidValueType, &format), VLOC, "FrameFormat");
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
    vmdx::FrameMemoryLock lock;
    CheckHr(lock.Open(captured.Get(), vmdx::kLockRead), VLOC, "captured frame");
    CpuVidFrameMemory record = lock.memory();
    std::vector<uint8_t> own;
    if (videoRange) {
      // The captured memory is the frame's, locked for reading: expand a copy.
      const int64_t rowBytes = std::min<int64_t>(std::abs(record.planes[0].pitch), int64_t{record.width} * 8);
      own.resize(static_cast<size_t>(rowBytes) * record.height);
      for (int32_t y = 0; y < record.height; ++y)
        std::memcpy(own.data() + y * rowBytes, lock.row(0, y), static_cast<size_t>(rowBytes));
      record.planes[0] = {own.data(), rowBytes};
      ExpandVideoRange(record);
    }
    const HRESULT hr = ToPngPixels(record, layout, pixels);
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
  if (total < 0) {
    std::fprintf(stderr, "\r  %" PRId64 " frames", done);
  } else {
    const int filled = total > 0 ? static_cast<int>(done * kWidth / total) : kWidth;
    std::fprintf(stderr, "\r  [%.*s%.*s] %" PRId64 "/%" PRId64, filled, "########################################",
                 kWidth - filled, "----------------------------------------", done, total);
  }
  std::fflush(stderr);
}

void PrintRate(const char* stage, int64_t frames, double seconds) {
  if (seconds > 0)
    std::fprintf(stderr, "%-11s %9.1f frames/s  (%.2f ms per frame)\n", stage, frames / seconds,
                 1000.0 * seconds / frames);
  else
    std::fprintf(stderr, "%-11s         - frames/s\n", stage);
}

// COM for this thread while the command runs (WIC needs it).
struct ComScope {
  ComScope() : hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
  HRESULT hr;
};

// The read-back frame in a form a Y4M stream holds: YUV and mono as they are; RGB through the CPU
// conversion into full-range 4:4:4.
HRESULT ToStreamFrame(const CpuVidFrameMemory& frame, std::vector<uint8_t>* rgb, std::vector<uint8_t>* yuv,
                      CpuVidFrameMemory* out) {
  if (Y4mWriter::Writes(frame.format)) {
    *out = frame;
    return S_OK;
  }
  PngPixels layout = PngPixels::Bgr8;
  HRESULT hr = ToPngPixels(frame, &layout, rgb);
  if (FAILED(hr)) return hr;
  const int32_t w = frame.width, h = frame.height;
  yuv->resize(static_cast<size_t>(w) * h * 3);
  const CpuVidFrameMemory source{MediaFormat_RGB8, w, h, {{rgb->data(), int64_t{w} * 3}}};
  *out = {MediaFormat_YUV444_8, w, h, {{yuv->data(), int64_t{w} * 3}}};
  return GuardedCall([&] { return CopyCpuVidFrameMemory(&source, out, GUID{}, nullptr); });
}

// The module's own count of open objects, through its export.
int OpenModuleObjects() {
  using Fn = HRESULT(WINAPI*)();
  HMODULE module = GetModuleHandleA(kModule);
  auto count =
      module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, "DLLGetOpenObjectCount"))) : nullptr;
  return count ? static_cast<int>(count()) : -1;
}

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
  CommandLine cli("frames", kUsage, kDetails);
  cli.Input(&options.source);
  cli.Value("--format", "a media format name such as YUV422Packed8, YUV444_8, RGB8", [&](const std::string& name) {
    options.format = FormatByName(name.c_str());
    return options.format != nullptr;
  });
  cli.Integer("--field", &options.field, 1, 2);
  cli.Integer("--count", &options.count, 1, INT32_MAX);
  cli.Text("--out", &options.out);
  cli.Flag("--discard", &options.discard);
  cli.Flag("--capture", &options.capture);
  cli.Flag("--leak-check", &options.leakCheck);
  cli.Flag("--gpu-unpack", &options.gpuUnpack);
  if (const int code = cli.Parse(argc, argv); code >= 0) return code;
  if (options.gpuUnpack && options.field != 0) return cli.UsageError("--gpu-unpack takes whole frames; it cannot go with --field");
  const bool toStream = options.out == "-";
  if (toStream && (options.capture || options.discard))
    return cli.UsageError("--out - writes the frames themselves; it cannot go with --capture or --discard");
  const bool fromStream = options.source == "-";
  const std::string sourceName = fromStream ? "standard input" : options.source;

  const ComScope com;
  FrameworkMessages messages(cli.verbose());
  HRESULT hr = VarnicaLoadClassLibrary(kModule);
  if (FAILED(hr)) return cli.Failure(Failed(std::string("loading ") + kModule, hr, messages));
  ComPtr<IVideoDecoder> decoder;
  hr = CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder);
  if (SUCCEEDED(hr)) hr = decoder->Open(options.source.c_str());
  if (FAILED(hr)) return cli.Failure(Failed("opening " + sourceName, hr, messages));
  ComPtr<IValueSet> sourceValues;
  GUID sourceFormat{};
  VarnicaFrameSize size{};
  Y4mStreamFacts facts;
  int32_t frameCount = -1;  // none for a stream
  hr = decoder->GetValueSet(&sourceValues);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(sourceValues, FrameFormat, GuidValueType, &sourceFormat);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(sourceValues, FrameSizeProperty, FrameSizeValueType, &size);
  if (FAILED(hr)) return cli.Failure(Failed("reading the properties of " + sourceName, hr, messages));
  vmdx::GetValue(sourceValues, FrameCountProperty, Int32ValueType, &frameCount);
  vmdx::GetValue(sourceValues, FrameRateProperty, FrameRateProperty, &facts.rate);
  vmdx::GetValue(sourceValues, PixelAspectRatioProperty, PixelAspectRatioValueType, &facts.aspect);
  vmdx::GetValue(sourceValues, VideoInterlaceProperty, VideoInterlaceProperty, &facts.interlace);
  int32_t range = ColorRange_Full;
  vmdx::GetValue(sourceValues, ColorRangeProperty, Int32ValueType, &range);
  const GUID format = options.format ? *options.format : sourceFormat;
  const bool builtin = options.source.rfind("builtin:", 0) == 0;
  int64_t count = options.count > 0 ? options.count : (builtin ? kBuiltinDefaultCount : frameCount);
  if (frameCount >= 0) count = std::min<int64_t>(count, frameCount);
  if (options.field) facts.interlace = VideoInterlace_Progressive;  // one field of a frame is a whole picture
  // RGB frames are made full range; YUV ones keep the source's samples and range.
  facts.fullRange = range == ColorRange_Full;

  const std::filesystem::path outDir = std::filesystem::path(options.out);
  if (!toStream && !options.discard) {
    std::error_code made;
    std::filesystem::create_directories(outDir, made);
    if (made) return cli.Failure("cannot create the folder " + options.out + ": " + made.message());
  }

  DX9Context context;
  OffscreenDeviceSettings settings;
  hr = context.InitializeOffscreenDevice(settings);
  if (FAILED(hr) || !context.device)
    return cli.Failure(Failed("making a Direct3D 9Ex device", FAILED(hr) ? hr : E_FAIL, messages));

  CDX9ResourceCache cache;
  CDX9VidConvert convert(&context, &cache);

  char countText[32] = "all";
  if (count >= 0) std::snprintf(countText, sizeof countText, "%" PRId64, count);
  std::fprintf(stderr, "%s: %dx%d, %s frames as %s%s%s -> %s\n", sourceName.c_str(), size.width, size.height,
               countText, VarnicaMediaNameOf(&format, 0, 0),
               options.field ? (options.field == 1 ? ", field 1" : ", field 2") : "",
               options.gpuUnpack ? ", unpacked on the GPU" : "",
               toStream          ? "standard output"
               : options.discard ? "nothing (discarded)"
                                 : options.out.c_str());
  const bool console = IsConsole(GetStdHandle(STD_ERROR_HANDLE));

  TimedDecoder timed(decoder.Get());
  Y4mWriter stream(stdout, facts);
  LeakCheck leaks(options.leakCheck);
  double fetchSeconds = 0, readSeconds = 0, convertSeconds = 0, captureSeconds = 0;
  int64_t frames = 0;
  std::vector<std::string> written;
  std::string failure;
  for (int64_t n = 0; count < 0 || n < count; ++n) {
    messages.Clear();
    const VarnicaTimecode timecode{n, static_cast<int32_t>(facts.rate.numerator),
                                   static_cast<int32_t>(facts.rate.denominator), 0, 0};
    const FieldSelect field{1, static_cast<uint8_t>(options.field)};
    ComPtr<IMediaDirectX9VideoFrame> frame;
    double start = HighResolutionSeconds();
    if (options.gpuUnpack)
      hr = FetchUnpackedOnGpu(convert, &timed, format, timecode, &frame);
    else
      hr = GetDirectXFrame(&context, IID_IMediaDirectX9VideoFrame, &frame, &timed, &timecode, nullptr, &format,
                           options.field ? &field : nullptr);
    fetchSeconds += HighResolutionSeconds() - start;
    if (hr == kEndOfStream && fromStream) break;  // the stream's end: every frame was taken
    std::string stage = "GetDirectXFrame";
    CpuPicture picture;
    PngPixels layout = PngPixels::Bgr8;
    std::vector<uint8_t> pixels, converted;
    std::string error;
    if (SUCCEEDED(hr)) {
      start = HighResolutionSeconds();
      hr = ReadBack(frame.Get(), &picture);
      readSeconds += HighResolutionSeconds() - start;
      stage = "read-back";
    }
    if (SUCCEEDED(hr) && toStream) {
      CpuVidFrameMemory streamFrame{};
      start = HighResolutionSeconds();
      hr = ToStreamFrame(picture.record, &pixels, &converted, &streamFrame);
      convertSeconds += HighResolutionSeconds() - start;
      stage = "conversion for the stream";
      if (SUCCEEDED(hr)) {
        hr = stream.Write(streamFrame, &error);
        stage = "Y4M";
      }
    } else if (SUCCEEDED(hr)) {
      start = HighResolutionSeconds();
      if (range == ColorRange_Video) ExpandVideoRange(picture.record);
      hr = ToPngPixels(picture.record, &layout, &pixels);
      convertSeconds += HighResolutionSeconds() - start;
      stage = "conversion to RGB";
    }
    char name[64];
    const char* fieldSuffix = options.field == 1 ? "_field1" : options.field == 2 ? "_field2" : "";
    std::snprintf(name, sizeof name, "frame_%06" PRId64 "%s.png", n, fieldSuffix);
    const std::filesystem::path path = outDir / name;
    if (SUCCEEDED(hr) && !toStream && !options.discard) {
      hr = WritePng(path.wstring(), picture.record.width, picture.record.height, layout, pixels.data(),
                    layout == PngPixels::Bgr8 ? int64_t{picture.record.width} * 3 : picture.record.width, &error);
      stage = "PNG";
      if (SUCCEEDED(hr)) written.push_back(path.generic_string());
    }
    if (SUCCEEDED(hr) && options.capture) {
      int32_t w = 0, h = 0;
      start = HighResolutionSeconds();
      hr = RenderAndCapture(context, frame.Get(), range == ColorRange_Video, &layout, &pixels, &w, &h);
      captureSeconds += HighResolutionSeconds() - start;
      stage = "render and capture";
      std::snprintf(name, sizeof name, "frame_%06" PRId64 "%s_capture.png", n, fieldSuffix);
      const std::filesystem::path capturePath = outDir / name;
      if (SUCCEEDED(hr) && !options.discard) {
        hr = WritePng(capturePath.wstring(), w, h, layout, pixels.data(),
                      layout == PngPixels::Bgr8 ? int64_t{w} * 3 : w, &error);
        stage = "PNG";
        if (SUCCEEDED(hr)) written.push_back(capturePath.generic_string());
      }
    }
    if (FAILED(hr)) {
      failure = "frame " + std::to_string(n) + ": " +
                (error.empty() ? Failed(stage, hr, messages) : stage + " failed (" + HrText(hr) + "): " + error);
      break;
    }
    ++frames;
    frame.Reset();
    leaks.FrameDone(frames);
    if (console) ShowProgress(n + 1, count);
  }
  if (console) std::fprintf(stderr, "\n");
  leaks.RunDone();

  for (const std::string& file : written) std::fprintf(stderr, "wrote %s\n", file.c_str());
  if (frames > 0) {
    std::fprintf(stderr, "%" PRId64 " frames\n", frames);
    PrintRate("decode", frames, timed.seconds);
    PrintRate("upload", frames, fetchSeconds - timed.seconds);
    PrintRate("read-back", frames, readSeconds);
    PrintRate("conversion", frames, convertSeconds);
    if (options.capture) PrintRate("capture", frames, captureSeconds);
  }

  // The device goes with the context's last references: nothing else may hold it.
  context.vertexBuffer.Reset();
  context.initialRenderTarget.Reset();
  const ULONG deviceLastRelease = context.device.Detach()->Release();
  decoder.Reset();
  sourceValues.Reset();
  if (!failure.empty()) return cli.Failure(failure);
  if (leaks.enabled()) {
    std::string verdict;
    const bool passed = leaks.Report(OpenModuleObjects(), deviceLastRelease, &verdict);
    std::fprintf(stderr, "%s\n", verdict.c_str());
    if (!passed) return kExitFailure;
  }
  return kExitSuccess;
}
