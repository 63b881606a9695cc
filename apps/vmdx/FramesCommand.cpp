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
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ClipSession.h"
#include "CommandLine.h"
#include "Diagnostics.h"
#include "Error.h"
#include "FramePictures.h"
#include "LeakCheck.h"
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

// A rendered copy of the frame: its texture drawn pixel for pixel into a render target of the
// same Direct3D format, captured as a CPU frame of the frame's format, made into PNG pixels.
HRESULT RenderAndCapture(DX9Context& context, IMediaDirectX9VideoFrame* frame, bool videoRange, CpuPicture* png) {
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
    CheckHr(
        CaptureRenderTargetAsVideoCpuFrame(context.device.Get(), surface.Get(), IID_IVideoFrame, &captured, &format),
        VLOC, "CaptureRenderTargetAsVideoCpuFrame");
    vmdx::FrameMemoryLock lock;
    CheckHr(lock.Open(captured.Get(), vmdx::kLockRead), VLOC, "captured frame");
    return CheckHr(ToPngPicture(lock.memory(), videoRange, png), VLOC, "captured frame");
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

}  // namespace

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
  if (options.gpuUnpack && options.field != 0)
    return cli.UsageError("--gpu-unpack takes whole frames; it cannot go with --field");
  const bool toStream = options.out == "-";
  if (toStream && (options.capture || options.discard))
    return cli.UsageError("--out - writes the frames themselves; it cannot go with --capture or --discard");

  ClipSession session(cli);
  if (!session.Open(options.source)) return kExitFailure;
  ClipFacts& facts = session.facts;
  const GUID format = options.format ? *options.format : facts.format;
  const int64_t count = facts.FramesToTake(options.count);
  if (options.field) facts.stream.interlace = VideoInterlace_Progressive;  // one field of a frame is a whole picture
  const std::filesystem::path outDir = std::filesystem::path(options.out);
  if (!toStream && !options.discard && !session.MakeOutputFolder(options.out)) return kExitFailure;
  if (!session.MakeDevice()) return kExitFailure;
  DX9Context& context = session.context;
  // Only --gpu-unpack needs the converter; it holds a vertex buffer of the device.
  std::unique_ptr<CDX9VidConvert> convert;
  if (options.gpuUnpack) convert = std::make_unique<CDX9VidConvert>(&context, &session.cache);

  char countText[32] = "all";
  if (count >= 0) std::snprintf(countText, sizeof countText, "%" PRId64, count);
  std::fprintf(stderr, "%s: %dx%d, %s frames as %s%s%s -> %s\n", facts.name.c_str(), facts.size.width,
               facts.size.height, countText, VarnicaMediaNameOf(&format, 0, 0),
               options.field ? (options.field == 1 ? ", field 1" : ", field 2") : "",
               options.gpuUnpack ? ", unpacked on the GPU" : "",
               toStream          ? "standard output"
               : options.discard ? "nothing (discarded)"
                                 : options.out.c_str());

  TimedDecoder timed(session.decoder.Get());
  Y4mWriter stream(stdout, facts.stream);
  LeakCheck leaks(options.leakCheck);
  Progress progress(count);
  double fetchSeconds = 0, readSeconds = 0, convertSeconds = 0, captureSeconds = 0;
  int64_t frames = 0;
  std::vector<std::string> written;
  std::string failure, failureDetail;
  HRESULT failureCode = S_OK;
  for (int64_t n = 0; count < 0 || n < count; ++n) {
    session.messages.Clear();
    const VarnicaTimecode timecode{n, static_cast<int32_t>(facts.stream.rate.numerator),
                                   static_cast<int32_t>(facts.stream.rate.denominator), 0, 0};
    const FieldSelect field{1, static_cast<uint8_t>(options.field)};
    ComPtr<IMediaDirectX9VideoFrame> frame;
    double start = HighResolutionSeconds();
    HRESULT hr;
    if (options.gpuUnpack)
      hr = FetchUnpackedOnGpu(*convert, &timed, format, timecode, &frame);
    else
      hr = GetDirectXFrame(&context, IID_IMediaDirectX9VideoFrame, &frame, &timed, &timecode, nullptr, &format,
                           options.field ? &field : nullptr);
    fetchSeconds += HighResolutionSeconds() - start;
    if (facts.Ended(hr)) break;  // the stream's end: every frame was taken
    std::string stage = "GetDirectXFrame";
    CpuPicture picture, converted;
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
      hr = ToStreamPicture(picture.record, &converted, &streamFrame);
      convertSeconds += HighResolutionSeconds() - start;
      stage = "conversion for the stream";
      if (SUCCEEDED(hr)) {
        hr = stream.Write(streamFrame, &error);
        stage = "Y4M";
      }
    } else if (SUCCEEDED(hr)) {
      start = HighResolutionSeconds();
      // The read-back is ours: stretched in place.
      if (facts.videoRange) ExpandVideoRange(picture.record);
      hr = ToPngPicture(picture.record, false, &converted);
      convertSeconds += HighResolutionSeconds() - start;
      stage = "conversion to RGB";
    }
    char name[64];
    const char* fieldSuffix = options.field == 1 ? "_field1" : options.field == 2 ? "_field2" : "";
    std::snprintf(name, sizeof name, "frame_%06" PRId64 "%s.png", n, fieldSuffix);
    const std::filesystem::path path = outDir / name;
    if (SUCCEEDED(hr) && !toStream && !options.discard) {
      hr = WritePngPicture(converted, path, &error);
      stage = "PNG";
      if (SUCCEEDED(hr)) written.push_back(path.generic_string());
    }
    if (SUCCEEDED(hr) && options.capture) {
      start = HighResolutionSeconds();
      hr = RenderAndCapture(context, frame.Get(), facts.videoRange, &converted);
      captureSeconds += HighResolutionSeconds() - start;
      stage = "render and capture";
      std::snprintf(name, sizeof name, "frame_%06" PRId64 "%s_capture.png", n, fieldSuffix);
      const std::filesystem::path capturePath = outDir / name;
      if (SUCCEEDED(hr) && !options.discard) {
        hr = WritePngPicture(converted, capturePath, &error);
        stage = "PNG";
        if (SUCCEEDED(hr)) written.push_back(capturePath.generic_string());
      }
    }
    if (FAILED(hr)) {
      failure = "frame " + std::to_string(n) + ": " + stage;
      failureCode = hr;
      failureDetail = error;
      break;
    }
    ++frames;
    frame.Reset();
    leaks.FrameDone(frames);
    progress.FrameDone(n + 1);
  }
  progress.End();
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

  // The device goes with the session's last references to it: nothing else may hold it.
  convert.reset();
  const ULONG deviceLastRelease = session.ReleaseDevice();
  if (!failure.empty()) return session.Fail(failure, failureCode, failureDetail);
  if (leaks.enabled()) {
    std::string verdict;
    const bool passed = leaks.Report(session.OpenModuleObjects(), deviceLastRelease, &verdict);
    std::fprintf(stderr, "%s\n", verdict.c_str());
    if (!passed) return kExitFailure;
  }
  return kExitSuccess;
}
