// vmdx fields [IN] [--out DIR | --out -] [--count N]
//
// Splits each frame of a clip into its two fields on the GPU, weaves the fields back into a frame
// and checks the woven frame against its source byte for byte. Writes the top field, the bottom
// field and the woven frame of each frame as PNG files, or with --out - the woven frames as a Y4M
// stream on standard output. IN is a Y4M file, a built-in clip, or - for a Y4M stream on standard
// input. The fields are taken in the clip's order: the first field in time is field A of the weave.
#include "FieldsCommand.h"

#include <fcntl.h>
#include <io.h>

#include <wrl/client.h>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "Error.h"
#include "FramesCommand.h"
#include "VarnicaFrameAccess.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"
#include "VodideDirectX9JoinInterlaceFields.h"
#include "VodideDirectX9SplitInterlaceFields.h"
#include "VodideGetFrame.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "apps/vmdx/FieldsCommand";
constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr int64_t kBuiltinDefaultCount = 25;

struct Options {
  std::string source = "builtin:interlaced";
  std::string out = "vmdx-fields";
  int64_t count = -1;  // -1: every frame of a file, one second of a built-in clip
};

int Usage() {
  std::fprintf(stderr,
               "usage: vmdx fields [file.y4m | - | builtin:interlaced | builtin:progressive] [--out DIR | --out -]\n"
               "                   [--count N]\n"
               "  splits every frame into its fields on the GPU, weaves them back and checks the woven frame\n"
               "  against its source; writes frame_N_top.png, frame_N_bottom.png and frame_N_woven.png to DIR\n"
               "  (default vmdx-fields), or the woven frames as Y4M to standard output with --out -.\n"
               "  - reads a Y4M stream from standard input; N defaults to every frame of a file and to %" PRId64
               "\n  frames of a built-in clip.\n",
               kBuiltinDefaultCount);
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  bool sourceGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--out" && hasValue) {
      options->out = argv[++i];
      if (options->out.empty()) return false;
    } else if (arg == "--count" && hasValue) {
      char* end = nullptr;
      options->count = std::strtoll(argv[++i], &end, 10);
      if (*end != '\0' || options->count < 1) return false;
    } else if ((arg == "-" || arg.rfind("-", 0) != 0) && !sourceGiven) {
      options->source = arg;
      sourceGiven = true;
    } else {
      return false;
    }
  }
  return true;
}

std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

struct ComScope {
  ComScope() : hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
  HRESULT hr;
};

// Standard input copied into a temporary file, since the decoder indexes a clip's frames up front
// and reads them by number. The file goes when this does (after the decoder has closed it).
class SpooledInput {
 public:
  ~SpooledInput() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  bool Spool(std::string* error) {
    char folder[MAX_PATH + 1] = {}, name[MAX_PATH + 1] = {};
    if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, "vmf", 0, name) == 0) {
      *error = "no temporary file for standard input";
      return false;
    }
    path_ = name;
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
      *error = "cannot write " + path_;
      return false;
    }
    _setmode(_fileno(stdin), _O_BINARY);
    std::vector<char> buffer(1 << 20);
    size_t n = 0;
    bool ok = true;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0)
      ok = ok && std::fwrite(buffer.data(), 1, n, file) == n;
    ok = ok && !std::ferror(stdin);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) *error = "cannot copy standard input to " + path_;
    return ok;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A frame's picture as tight rows of its first plane, read through its lock.
HRESULT ReadRows(IUnknown* frame, CpuVidFrameMemory* shape, std::vector<uint8_t>* bytes, int32_t* rowBytes) {
  vmdx::FrameMemoryLock lock;
  HRESULT hr = lock.Open(frame, vmdx::kLockRead);
  if (FAILED(hr)) return hr;
  const CpuVidFrameMemory& m = lock.memory();
  int32_t rb[kMaxVideoPlanes] = {};
  if (GetFormatVideoPlaneLayout(&m.format, m.width, m.height, kMaxVideoPlanes, nullptr, rb, nullptr, nullptr,
                                nullptr) != 1)
    return E_UNSUPPORTED;  // the unpacked formats the command works in have one plane
  *shape = m;
  *rowBytes = rb[0];
  bytes->resize(size_t(rb[0]) * m.height);
  for (int32_t y = 0; y < m.height; ++y) std::memcpy(bytes->data() + size_t(y) * rb[0], lock.row(0, y), size_t(rb[0]));
  return S_OK;
}

// Writes woven frames of a one-plane 4:4:4 format as a Y4M stream.
class Y4mOut {
 public:
  // Empty when the format has no Y4M form here.
  static std::string HeaderFor(const GUID& format, int32_t w, int32_t h, const VarnicaFrameRate& rate,
                               const VarnicaPixelAspectRatio& aspect, int16_t interlace, bool fullRange) {
    const char* space = IsEqualGUID(format, MediaFormat_YUVA444_8)    ? "444"
                        : IsEqualGUID(format, MediaFormat_YUVA444_16) ? "444p16"
                        : IsEqualGUID(format, MediaFormat_Mono8)      ? "mono"
                                                                      : nullptr;
    if (space == nullptr) return {};
    const char field = interlace == VideoInterlace_TopFieldFirst      ? 't'
                       : interlace == VideoInterlace_BottomFieldFirst ? 'b'
                                                                      : 'p';
    char text[160];
    std::snprintf(text, sizeof text, "YUV4MPEG2 W%d H%d F%" PRId64 ":%" PRId64 " I%c A%" PRId64 ":%" PRId64 " C%s%s\n",
                  w, h, rate.numerator, rate.denominator, field, aspect.numerator, aspect.denominator, space,
                  fullRange ? " XCOLORRANGE=FULL" : "");
    return text;
  }

  // Planes Y, U, V from pixels stored V, U, Y, A (bytes or 16-bit words), or the one grey plane.
  static bool WriteFrame(std::FILE* out, const GUID& format, const std::vector<uint8_t>& rows, int32_t w, int32_t h,
                         int32_t rowBytes) {
    if (std::fputs("FRAME\n", out) < 0) return false;
    if (IsEqualGUID(format, MediaFormat_Mono8)) {
      for (int32_t y = 0; y < h; ++y)
        if (std::fwrite(rows.data() + size_t(y) * rowBytes, 1, size_t(w), out) != size_t(w)) return false;
      return true;
    }
    const int sampleBytes = IsEqualGUID(format, MediaFormat_YUVA444_16) ? 2 : 1;
    std::vector<uint8_t> plane(size_t(w) * h * sampleBytes);
    for (int channel : {2, 1, 0}) {
      uint8_t* next = plane.data();
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* pixel = rows.data() + size_t(y) * rowBytes + channel * sampleBytes;
        for (int32_t x = 0; x < w; ++x, pixel += 4 * sampleBytes, next += sampleBytes)
          std::memcpy(next, pixel, size_t(sampleBytes));
      }
      if (std::fwrite(plane.data(), 1, plane.size(), out) != plane.size()) return false;
    }
    return true;
  }
};

// The rows of woven that differ from source among the first rows; the index of the first in *first.
int32_t CountDifferentRows(const std::vector<uint8_t>& source, const std::vector<uint8_t>& woven, int32_t rowBytes,
                           int32_t rows, int32_t* first) {
  int32_t different = 0;
  *first = -1;
  for (int32_t y = 0; y < rows; ++y) {
    if (std::memcmp(source.data() + size_t(y) * rowBytes, woven.data() + size_t(y) * rowBytes, size_t(rowBytes)) == 0)
      continue;
    if (different++ == 0) *first = y;
  }
  return different;
}

// A render-target texture wrapped as a frame of format, for reading it back.
HRESULT AsFrame(IDirect3DTexture9* texture, const GUID& format, ComPtr<IMediaDirectX9VideoFrame>* frame) {
  return CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &*frame, &format, texture);
}

}  // namespace

int RunFieldsCommand(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      Usage();
      return 0;
    }
  }
  if (!ParseOptions(argc, argv, &options)) return Usage();
  const bool toStdout = options.out == "-";
  std::FILE* report = toStdout ? stderr : stdout;
  const ComScope com;

  const HRESULT loaded = VarnicaLoadClassLibrary(kModule);
  if (FAILED(loaded)) {
    std::fprintf(stderr, "vmdx fields: cannot load %s (%s)\n", kModule, HrText(loaded).c_str());
    return 1;
  }
  SpooledInput spooled;  // outlives the decoder, which keeps the file open
  std::string sourcePath = options.source;
  if (options.source == "-") {
    std::string error;
    if (!spooled.Spool(&error)) {
      std::fprintf(stderr, "vmdx fields: %s\n", error.c_str());
      return 1;
    }
    sourcePath = spooled.path();
  }
  ComPtr<IVideoDecoder> decoder;
  HRESULT hr = CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder);
  if (SUCCEEDED(hr)) hr = decoder->Open(sourcePath.c_str());
  if (FAILED(hr)) {
    std::fprintf(stderr, "vmdx fields: cannot open %s (%s)\n", options.source.c_str(), HrText(hr).c_str());
    return 1;
  }
  ComPtr<IValueSet> values;
  GUID sourceFormat{};
  VarnicaFrameSize size{};
  VarnicaFrameRate rate{25, 1, 0, 0};
  VarnicaPixelAspectRatio aspect{1, 1};
  int16_t interlace = VideoInterlace_Progressive;
  int32_t frameCount = 0, range = ColorRange_Full;
  hr = decoder->GetValueSet(&values);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(values.Get(), FrameFormat, GuidValueType, &sourceFormat);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(values.Get(), FrameSizeProperty, FrameSizeValueType, &size);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(values.Get(), FrameCountProperty, Int32ValueType, &frameCount);
  if (FAILED(hr)) {
    std::fprintf(stderr, "vmdx fields: %s does not describe itself (%s)\n", options.source.c_str(), HrText(hr).c_str());
    return 1;
  }
  vmdx::GetValue(values.Get(), FrameRateProperty, FrameRateProperty, &rate);
  vmdx::GetValue(values.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType, &aspect);
  vmdx::GetValue(values.Get(), VideoInterlaceProperty, VideoInterlaceProperty, &interlace);
  vmdx::GetValue(values.Get(), ColorRangeProperty, Int32ValueType, &range);
  if (size.height < 2) {
    std::fprintf(stderr, "vmdx fields: %s has frames of one row: no fields to split\n", options.source.c_str());
    return 1;
  }
  const bool builtin = options.source.rfind("builtin:", 0) == 0;
  int64_t count = options.count > 0 ? options.count : (builtin ? kBuiltinDefaultCount : frameCount);
  count = std::min<int64_t>(count, frameCount);
  const bool topFirst = interlace != VideoInterlace_BottomFieldFirst;

  const std::filesystem::path outDir(toStdout ? "." : options.out);
  if (!toStdout) {
    std::error_code made;
    std::filesystem::create_directories(outDir, made);
    if (made) {
      std::fprintf(stderr, "vmdx fields: cannot create %s: %s\n", options.out.c_str(), made.message().c_str());
      return 1;
    }
  } else {
    _setmode(_fileno(stdout), _O_BINARY);
  }

  DX9Context context;
  hr = context.InitializeOffscreenDevice(OffscreenDeviceSettings{});
  if (FAILED(hr) || !context.device) {
    std::fprintf(stderr, "vmdx fields: no Direct3D 9Ex device (%s)\n", HrText(FAILED(hr) ? hr : E_FAIL).c_str());
    return 1;
  }
  CDX9ResourceCache cache;

  const char* order = interlace == VideoInterlace_TopFieldFirst      ? "top field first"
                      : interlace == VideoInterlace_BottomFieldFirst ? "bottom field first"
                                                                     : "progressive";
  std::fprintf(report, "%s: %dx%d %s, %" PRId64 " of %d frames -> %s\n", options.source.c_str(), size.width,
               size.height, order, count, frameCount, toStdout ? "Y4M on standard output" : options.out.c_str());
  if (size.height % 2)
    std::fprintf(report, "odd height: the last row belongs to no field and is left out of the comparison\n");

  int64_t exact = 0, done = 0;
  bool headerWritten = false;
  const bool videoRange = range == ColorRange_Video;
  for (int64_t n = 0; n < count; ++n) {
    const char* stage = "GetDirectXFrame";
    std::string error;
    hr = GuardedCall([&] {
      const VarnicaTimecode timecode{n, static_cast<int32_t>(rate.numerator), static_cast<int32_t>(rate.denominator), 0,
                                     0};
      ComPtr<IMediaDirectX9VideoFrame> frame;
      CheckHr(GetDirectXFrame(&context, IID_IMediaDirectX9VideoFrame, &frame, decoder.Get(), &timecode, nullptr,
                              &sourceFormat, nullptr),
              VLOC, "GetDirectXFrame");
      ComPtr<IDirect3DTexture9> texture;
      CheckHr(frame->GetTexture(&texture), VLOC, "GetTexture");
      D3DSURFACE_DESC desc{};
      CheckHr(texture->GetLevelDesc(0, &desc), VLOC, "GetLevelDesc");
      std::vector<uint8_t> source, woven;
      CpuVidFrameMemory shape{};
      int32_t rowBytes = 0;
      CheckHr(ReadRows(frame.Get(), &shape, &source, &rowBytes), VLOC, "read-back of the source");
      const GUID format = shape.format;

      // Field A of the weave is the first field in time; in the split it is the one topFirst names.
      stage = "split and weave";
      const UINT fieldHeight = desc.Height / 2;
      auto renderTarget = [&](UINT height) {
        ComPtr<IDirect3DTexture9> t;
        CheckHr(context.device->CreateTexture(desc.Width, height, 1, D3DUSAGE_RENDERTARGET, desc.Format,
                                              D3DPOOL_DEFAULT, &t, nullptr),
                VLOC, "CreateTexture");
        return t;
      };
      const ComPtr<IDirect3DTexture9> first = renderTarget(fieldHeight), second = renderTarget(fieldHeight),
                                      joined = renderTarget(desc.Height);
      const uint8_t top = topFirst ? 1 : 0;
      CheckHr(SplitInterlaceFields(context, texture.Get(), first.Get(), second.Get(), top), VLOC,
              "SplitInterlaceFields");
      CheckHr(JoinInterlaceFields(context, cache, first.Get(), second.Get(), joined.Get(), top), VLOC,
              "JoinInterlaceFields");

      stage = "comparison";
      ComPtr<IMediaDirectX9VideoFrame> wovenFrame, firstFrame, secondFrame;
      CheckHr(AsFrame(joined.Get(), format, &wovenFrame), VLOC, "CreateMediaDirectX9VideoFrame");
      CpuVidFrameMemory wovenShape{};
      int32_t wovenRowBytes = 0;
      CheckHr(ReadRows(wovenFrame.Get(), &wovenShape, &woven, &wovenRowBytes), VLOC, "read-back of the woven frame");
      int32_t firstWrong = -1;
      const int32_t wrong =
          CountDifferentRows(source, woven, rowBytes, static_cast<int32_t>(2 * fieldHeight), &firstWrong);
      if (wrong == 0) {
        ++exact;
        std::fprintf(report, "frame %" PRId64 ": woven back exactly\n", n);
      } else {
        std::fprintf(report, "frame %" PRId64 ": woven frame differs from its source in %d rows (first: row %d)\n", n,
                     wrong, firstWrong);
      }

      if (toStdout) {
        stage = "Y4M output";
        if (!headerWritten) {
          const std::string header =
              Y4mOut::HeaderFor(format, shape.width, shape.height, rate, aspect, interlace, !videoRange);
          if (header.empty()) ThrowErrorF(E_UNSUPPORTED, VLOC, "no Y4M form of %s", VarnicaMediaNameOf(&format, 0, 0));
          if (std::fputs(header.c_str(), stdout) < 0) ThrowError(E_FAIL, VLOC, "write to standard output");
          headerWritten = true;
        }
        if (!Y4mOut::WriteFrame(stdout, format, woven, shape.width, shape.height, rowBytes))
          ThrowError(E_FAIL, VLOC, "write to standard output");
        return S_OK;
      }
      stage = "PNG";
      CheckHr(AsFrame(topFirst ? first.Get() : second.Get(), format, &firstFrame), VLOC,
              "CreateMediaDirectX9VideoFrame");
      CheckHr(AsFrame(topFirst ? second.Get() : first.Get(), format, &secondFrame), VLOC,
              "CreateMediaDirectX9VideoFrame");
      const struct {
        IMediaDirectX9VideoFrame* frame;
        const char* suffix;
      } pictures[] = {{firstFrame.Get(), "top"}, {secondFrame.Get(), "bottom"}, {wovenFrame.Get(), "woven"}};
      for (const auto& picture : pictures) {
        char name[64];
        std::snprintf(name, sizeof name, "frame_%06" PRId64 "_%s.png", n, picture.suffix);
        const std::filesystem::path path = outDir / name;
        CheckHr(WriteFramePng(picture.frame, videoRange, path, &error), VLOC, "WritePng");
        std::fprintf(report, "wrote %s\n", path.generic_string().c_str());
      }
      return S_OK;
    });
    if (FAILED(hr)) {
      std::fprintf(stderr, "vmdx fields: frame %" PRId64 ": %s failed (%s)%s%s\n", n, stage, HrText(hr).c_str(),
                   error.empty() ? "" : ": ", error.c_str());
      return 1;
    }
    ++done;
  }
  if (toStdout && std::fflush(stdout) != 0) {
    std::fprintf(stderr, "vmdx fields: cannot write to standard output\n");
    return 1;
  }
  if (exact == done) {
    std::fprintf(report, "every frame woven back exactly (%" PRId64 " of %" PRId64 ")\n", exact, done);
    return 0;
  }
  std::fprintf(report, "%" PRId64 " of %" PRId64 " woven frames differ from their source\n", done - exact, done);
  return 1;
}
