// vmdx lens IN --lens FILE [--size WxH] [--interp nearest|bilinear|cubic]
//                [--border clamp|mirror|wrap|COLOR] [--count N] [--out DIR|-] [--map-out FILE]
//
// The lens file's map is built once on the GPU for the clip's size; every frame is then fetched
// from the decoder as a GPU frame, drawn through the map into a render target, read back and
// written as a PNG file or as one frame of a Y4M stream (4:2:0) on standard output.
#include "LensCommand.h"

#include <fcntl.h>
#include <io.h>

#include <wrl/client.h>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "LensFile.h"
#include "PngWriter.h"
#include "VarnicaFrameAccess.h"
#include "VodideDX9FisheyeRectify.h"
#include "VodideDX9Remap.h"
#include "VodideGetFrame.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr int64_t kBuiltinDefaultCount = 25;  // one second of a built-in clip
constexpr uint32_t kMaxSide = 16384;

struct Options {
  std::string source;
  std::string lens;
  uint32_t width = 0, height = 0;  // 0: the lens file's view.size, else the source's size
  int32_t interpolation = RemapInterpolation_Bilinear;
  int32_t address = RemapAddress_Border;
  uint32_t borderRgb = 0x000000;
  int64_t count = -1;  // -1: every frame of a file, kBuiltinDefaultCount of a built-in clip
  std::string out = "vmdx-lens";
  std::string mapOut;
};

int Usage() {
  std::fprintf(stderr,
               "usage: vmdx lens IN --lens FILE [--size WxH] [--interp nearest|bilinear|cubic]\n"
               "                 [--border clamp|mirror|wrap|COLOR] [--count N] [--out DIR|-] [--map-out FILE]\n"
               "  IN        a Y4M file, builtin:fisheye (or another built-in clip), or - for Y4M on standard input\n"
               "  --lens    lens file: source and target lens, matrix, offset (see apps/vmdx/lenses/)\n"
               "  --size    the view's size (default: the lens file's view.size, else the source's size)\n"
               "  --interp  bilinear by default\n"
               "  --border  where no source pixel is seen: the source's edge (clamp), its mirror image, the\n"
               "            source repeated (wrap), or a colour #RRGGBB, black, white or grey (default black)\n"
               "  --count   frames to draw (default: all of a file, %" PRId64
               " of a built-in clip)\n"
               "  --out     folder for frame_NNNNNN.png files (default vmdx-lens), or - for a Y4M stream\n"
               "  --map-out the map: a line \"RG32F <width> <height>\", then two little-endian floats per pixel\n",
               kBuiltinDefaultCount);
  return 2;
}

bool ParseSize(const std::string& text, uint32_t* width, uint32_t* height) {
  unsigned w = 0, h = 0;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &extra) != 2) return false;
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
  *width = w, *height = h;
  return true;
}

bool ParseColor(std::string text, uint32_t* rgb) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (text == "black") return *rgb = 0x000000, true;
  if (text == "white") return *rgb = 0xFFFFFF, true;
  if (text == "grey" || text == "gray") return *rgb = 0x808080, true;
  if (!text.empty() && text[0] == '#') text.erase(0, 1);
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
  *rgb = static_cast<uint32_t>(std::stoul(text, nullptr, 16));
  return true;
}

bool ParseOptions(int argc, char** argv, Options* o) {
  bool sourceGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--lens" && hasValue) {
      o->lens = argv[++i];
    } else if (arg == "--size" && hasValue) {
      if (!ParseSize(argv[++i], &o->width, &o->height)) return false;
    } else if (arg == "--interp" && hasValue) {
      const std::string v = argv[++i];
      if (v == "nearest")
        o->interpolation = RemapInterpolation_Nearest;
      else if (v == "bilinear")
        o->interpolation = RemapInterpolation_Bilinear;
      else if (v == "cubic")
        o->interpolation = RemapInterpolation_Cubic;
      else
        return false;
    } else if (arg == "--border" && hasValue) {
      const std::string v = argv[++i];
      if (v == "clamp")
        o->address = RemapAddress_Clamp;
      else if (v == "mirror")
        o->address = RemapAddress_Mirror;
      else if (v == "wrap")
        o->address = RemapAddress_Wrap;
      else if (ParseColor(v, &o->borderRgb))
        o->address = RemapAddress_Border;
      else
        return false;
    } else if (arg == "--count" && hasValue) {
      char* end = nullptr;
      o->count = std::strtoll(argv[++i], &end, 10);
      if (*end != '\0' || o->count < 1) return false;
    } else if (arg == "--out" && hasValue) {
      o->out = argv[++i];
    } else if (arg == "--map-out" && hasValue) {
      o->mapOut = argv[++i];
    } else if ((arg == "-" || arg.rfind("-", 0) != 0) && !sourceGiven) {
      o->source = arg;
      sourceGiven = true;
    } else {
      return false;
    }
  }
  return sourceGiven && !o->lens.empty() && !o->out.empty();
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

// Standard input copied into a temporary file, which the decoder reads like any Y4M file (it
// needs to find every frame up front); the file goes with the object.
class SpooledInput {
 public:
  ~SpooledInput() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  bool Fill(std::string* error) {
    char folder[MAX_PATH], file[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "vmdx", 0, file)) {
      *error = "no temporary file for standard input";
      return false;
    }
    path_ = file;
    _setmode(_fileno(stdin), _O_BINARY);
    FILE* spool = std::fopen(file, "wb");
    if (!spool) {
      *error = std::string("cannot write ") + file;
      return false;
    }
    std::vector<char> buffer(1 << 20);
    size_t total = 0, n = 0;
    bool written = true;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
      written = written && std::fwrite(buffer.data(), 1, n, spool) == n;
      total += n;
    }
    written = std::fclose(spool) == 0 && written;
    if (!written)
      *error = std::string("cannot write ") + file;
    else if (total == 0)
      *error = "standard input is empty";
    return written && total > 0;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// One read-back view picture: V, U, Y, A per pixel, in bytes or in 16-bit words.
struct ViewPicture {
  uint32_t width, height;
  bool deep;  // 16-bit samples
  const uint8_t* bits;
  int64_t pitch;
  // Sample c (0 V, 1 U, 2 Y) of pixel (x, y), 16-bit samples in their full 16-bit scale.
  uint32_t At(uint32_t x, uint32_t y, int c) const {
    const uint8_t* row = bits + int64_t{y} * pitch;
    if (!deep) return row[4 * x + c];
    uint16_t word;
    std::memcpy(&word, row + 8 * x + 2 * c, 2);
    return word;
  }
};

// BT.601 between RGB (8 bits) and YUV of either range.
struct Bt601 {
  bool limited;
  void ToYuv(uint32_t rgb, double yuv[3]) const {
    const double r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    const double u = 128 + 0.564 * (b - y), v = 128 + 0.713 * (r - y);
    yuv[0] = limited ? 16 + y * 219 / 255 : y;
    yuv[1] = limited ? 128 + (u - 128) * 224 / 255 : u;
    yuv[2] = limited ? 128 + (v - 128) * 224 / 255 : v;
  }
  void ToRgb(double y, double u, double v, uint8_t bgr[3]) const {
    if (limited) y = (y - 16) * 255 / 219, u = (u - 128) * 255 / 224 + 128, v = (v - 128) * 255 / 224 + 128;
    auto clamp = [](double c) { return static_cast<uint8_t>(c < 0 ? 0 : c > 255 ? 255 : c + 0.5); };
    bgr[2] = clamp(y + 1.402 * (v - 128));
    bgr[1] = clamp(y - 0.344136 * (u - 128) - 0.714136 * (v - 128));
    bgr[0] = clamp(y + 1.772 * (u - 128));
  }
};

// The border colour as the view texture holds it: the 8-bit texture keeps Y, U, V in red,
// green, blue; the 16-bit one keeps V, U, Y in red, green, blue.
D3DCOLOR BorderColor(uint32_t rgb, bool deep, const Bt601& colors) {
  double yuv[3];
  colors.ToYuv(rgb, yuv);
  auto byte = [](double c) { return static_cast<uint32_t>(c < 0 ? 0 : c > 255 ? 255 : c + 0.5); };
  const uint32_t y = byte(yuv[0]), u = byte(yuv[1]), v = byte(yuv[2]);
  return deep ? D3DCOLOR_ARGB(255, v, u, y) : D3DCOLOR_ARGB(255, y, u, v);
}

bool WriteAll(FILE* f, const void* data, size_t bytes) { return std::fwrite(data, 1, bytes, f) == bytes; }

// 4:2:0 Y4M on standard output: Y, then U and V averaged over 2 x 2 pixels.
class Y4mOutput {
 public:
  Y4mOutput(uint32_t width, uint32_t height, bool deep, VarnicaFrameRate rate, VarnicaPixelAspectRatio aspect,
            bool limited)
      : width_(width), height_(height), deep_(deep) {
    char header[256];
    std::snprintf(header, sizeof header, "YUV4MPEG2 W%u H%u F%u:%u Ip A%d:%d %s XCOLORRANGE=%s\n", width, height,
                  static_cast<unsigned>(rate.numerator), static_cast<unsigned>(rate.denominator),
                  static_cast<int>(aspect.numerator), static_cast<int>(aspect.denominator),
                  deep ? "C420p16" : "C420jpeg", limited ? "LIMITED" : "FULL");
    header_ = header;
  }
  bool Write(const ViewPicture& p) {
    const uint32_t cw = (width_ + 1) / 2, ch = (height_ + 1) / 2;
    const size_t sample = deep_ ? 2 : 1;
    frame_.assign(6, 0);
    std::memcpy(frame_.data(), "FRAME\n", 6);
    frame_.reserve(6 + (size_t{width_} * height_ + 2 * size_t{cw} * ch) * sample);
    auto put = [&](uint32_t value) {
      frame_.push_back(static_cast<uint8_t>(value));
      if (deep_) frame_.push_back(static_cast<uint8_t>(value >> 8));
    };
    for (uint32_t y = 0; y < height_; ++y)
      for (uint32_t x = 0; x < width_; ++x) put(p.At(x, y, 2));
    for (int c : {1, 0}) {  // U, then V
      for (uint32_t y = 0; y < ch; ++y)
        for (uint32_t x = 0; x < cw; ++x) {
          uint32_t sum = 0, n = 0;
          for (uint32_t yy = 2 * y; yy < std::min(2 * y + 2, height_); ++yy)
            for (uint32_t xx = 2 * x; xx < std::min(2 * x + 2, width_); ++xx, ++n) sum += p.At(xx, yy, c);
          put((sum + n / 2) / n);
        }
    }
    if (!header_.empty()) {
      _setmode(_fileno(stdout), _O_BINARY);  // the C runtime would turn \n into \r\n
      if (!WriteAll(stdout, header_.data(), header_.size())) return false;
      header_.clear();
    }
    return WriteAll(stdout, frame_.data(), frame_.size()) && std::fflush(stdout) == 0;
  }

 private:
  uint32_t width_, height_;
  bool deep_;
  std::string header_;  // written with the first frame
  std::vector<uint8_t> frame_;
};

HRESULT WriteViewPng(const std::filesystem::path& path, const ViewPicture& p, const Bt601& colors, std::string* error) {
  std::vector<uint8_t> bgr(size_t{p.width} * p.height * 3);
  const double scale = p.deep ? 1.0 / 257 : 1.0;
  for (uint32_t y = 0; y < p.height; ++y)
    for (uint32_t x = 0; x < p.width; ++x)
      colors.ToRgb(p.At(x, y, 2) * scale, p.At(x, y, 1) * scale, p.At(x, y, 0) * scale,
                   &bgr[(size_t{y} * p.width + x) * 3]);
  return WritePng(path.wstring(), static_cast<int32_t>(p.width), static_cast<int32_t>(p.height), PngPixels::Bgr8,
                  bgr.data(), int64_t{p.width} * 3, error);
}

// The map as a file: "RG32F <width> <height>\n", then (x, y) as little-endian floats, rows from
// the top. Written under a temporary name and renamed when whole.
bool WriteMapFile(DX9Context& context, IDirect3DTexture9* map, const std::string& path, std::string* error) {
  D3DSURFACE_DESC desc{};
  ComPtr<IDirect3DSurface9> level, copy;
  HRESULT hr = map->GetLevelDesc(0, &desc);
  if (SUCCEEDED(hr)) hr = map->GetSurfaceLevel(0, &level);
  if (SUCCEEDED(hr))
    hr = context.device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                     nullptr);
  if (SUCCEEDED(hr)) hr = context.device->GetRenderTargetData(level.Get(), copy.Get());
  vmdx::LockedRect locked(copy.Get(), D3DLOCK_READONLY);
  if (SUCCEEDED(hr)) hr = locked.status();
  if (FAILED(hr)) {
    *error = "map read-back failed (" + HrText(hr) + ")";
    return false;
  }
  const std::string partial = path + ".partial";
  FILE* f = std::fopen(partial.c_str(), "wb");
  bool ok = f != nullptr && std::fprintf(f, "RG32F %u %u\n", desc.Width, desc.Height) > 0;
  for (uint32_t y = 0; ok && y < desc.Height; ++y) ok = WriteAll(f, locked.scanline(y), size_t{desc.Width} * 8);
  ok = f != nullptr && std::fclose(f) == 0 && ok;
  if (ok) ok = MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  if (!ok) {
    DeleteFileA(partial.c_str());
    *error = "cannot write " + path;
  }
  return ok;
}

bool IsDeepFormat(const GUID& format) {
  for (const GUID* deep :
       {&MediaFormat_YUV422Packed10, &MediaFormat_YUVA422Packed10, &MediaFormat_YUV444_16, &MediaFormat_YUVA444_16,
        &MediaFormat_RGB16, &MediaFormat_RGBA16, &MediaFormat_RGBA16Alt, &MediaFormat_ARGB16})
    if (IsEqualGUID(format, *deep)) return true;
  return false;
}

void PrintRate(const char* stage, int64_t frames, double seconds) {
  if (seconds > 0)
    std::fprintf(stderr, "  %-20s %8.1f frames/s  (%.2f ms per frame)\n", stage, frames / seconds,
                 1000.0 * seconds / frames);
}

}  // namespace

int RunLensCommand(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0) return Usage(), 0;
  if (!ParseOptions(argc, argv, &options)) return Usage();
  const bool toStdout = options.out == "-";

  // The lens file is checked whole before anything touches the GPU.
  LensFile lens;
  std::string error;
  if (!ReadLensFile(options.lens, &lens, &error)) {
    std::fprintf(stderr, "vmdx lens: %s\n", error.c_str());
    return 1;
  }
  const ComScope com;
  SpooledInput spooled;
  std::string source = options.source;
  if (source == "-") {
    if (!spooled.Fill(&error)) {
      std::fprintf(stderr, "vmdx lens: %s\n", error.c_str());
      return 1;
    }
    source = spooled.path();
  }

  const HRESULT loaded = VarnicaLoadClassLibrary(kModule);
  if (FAILED(loaded)) {
    std::fprintf(stderr, "vmdx lens: cannot load %s (%s)\n", kModule, HrText(loaded).c_str());
    return 1;
  }
  ComPtr<IVideoDecoder> decoder;
  HRESULT hr = CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder);
  if (SUCCEEDED(hr)) hr = decoder->Open(source.c_str());
  if (FAILED(hr)) {
    std::fprintf(stderr, "vmdx lens: cannot open %s (%s)\n", options.source.c_str(), HrText(hr).c_str());
    return 1;
  }
  ComPtr<IValueSet> described;
  GUID sourceFormat{};
  VarnicaFrameSize size{};
  VarnicaFrameRate rate{25, 1, 0, 0};
  VarnicaPixelAspectRatio aspect{1, 1};
  int32_t frameCount = 0, range = ColorRange_Full;
  hr = decoder->GetValueSet(&described);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(described.Get(), FrameFormat, GuidValueType, &sourceFormat);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(described.Get(), FrameSizeProperty, FrameSizeValueType, &size);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(described.Get(), FrameCountProperty, Int32ValueType, &frameCount);
  if (FAILED(hr)) {
    std::fprintf(stderr, "vmdx lens: %s does not describe itself (%s)\n", options.source.c_str(), HrText(hr).c_str());
    return 1;
  }
  vmdx::GetValue(described.Get(), FrameRateProperty, FrameRateProperty, &rate);
  vmdx::GetValue(described.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType, &aspect);
  vmdx::GetValue(described.Get(), ColorRangeProperty, Int32ValueType, &range);
  const bool builtin = options.source.rfind("builtin:", 0) == 0;
  const int64_t count = std::min<int64_t>(options.count > 0 ? options.count
                                          : builtin         ? kBuiltinDefaultCount
                                                            : frameCount,
                                          frameCount);
  const uint32_t width = options.width ? options.width : lens.viewWidth ? lens.viewWidth : size.width;
  const uint32_t height = options.width ? options.height : lens.viewWidth ? lens.viewHeight : size.height;

  // Frames are drawn as YUV with alpha at the source's depth; the view keeps that format.
  const bool deep = IsDeepFormat(sourceFormat);
  const GUID& working = deep ? MediaFormat_YUVA444_16 : MediaFormat_YUVA444_8;
  const D3DFORMAT viewFormat = deep ? D3DFMT_A16B16G16R16 : D3DFMT_A8R8G8B8;
  const Bt601 colors{range == ColorRange_Video};

  std::filesystem::path outDir;
  if (!toStdout) {
    std::error_code made;
    outDir = std::filesystem::path(options.out);
    std::filesystem::create_directories(outDir, made);
    if (made) {
      std::fprintf(stderr, "vmdx lens: cannot create %s: %s\n", options.out.c_str(), made.message().c_str());
      return 1;
    }
  }

  DX9Context context;
  CDX9ResourceCache cache;
  hr = context.InitializeOffscreenDevice(OffscreenDeviceSettings{});
  if (FAILED(hr) || !context.device) {
    std::fprintf(stderr, "vmdx lens: no Direct3D 9Ex device (%s)\n", HrText(FAILED(hr) ? hr : E_FAIL).c_str());
    return 1;
  }
  std::fprintf(stderr, "vmdx lens: %s (%dx%d) through %s -> %ux%u, %" PRId64 " frames -> %s\n", options.source.c_str(),
               size.width, size.height, options.lens.c_str(), width, height, count,
               toStdout ? "standard output" : options.out.c_str());

  // The map, once.
  CDX9FisheyeRectify rectify(&context, &cache);
  rectify.params = lens.params;
  ComPtr<IDirect3DTexture9> map;
  double start = HighResolutionSeconds();
  hr = rectify.CheckDevice();
  if (SUCCEEDED(hr))
    hr = rectify.BuildFisheyeRectifyMap(&map, width, height, static_cast<uint32_t>(size.width),
                                        static_cast<uint32_t>(size.height), D3DFMT_G32R32F);
  if (FAILED(hr)) {
    std::fprintf(stderr, "vmdx lens: building the map failed (%s)\n", HrText(hr).c_str());
    return 1;
  }
  const double mapSeconds = HighResolutionSeconds() - start;
  if (!options.mapOut.empty() && !WriteMapFile(context, map.Get(), options.mapOut, &error)) {
    std::fprintf(stderr, "vmdx lens: %s\n", error.c_str());
    return 1;
  }

  CDX9Remap remap(&context, &cache);
  hr = remap.CheckDevice();
  if (SUCCEEDED(hr)) hr = remap.SetInterpolation(options.interpolation);
  if (SUCCEEDED(hr)) hr = remap.SetAddressMode(options.address);
  if (SUCCEEDED(hr)) hr = remap.SetBorderColor(BorderColor(options.borderRgb, deep, colors));
  if (SUCCEEDED(hr)) hr = remap.SetMapTexture(map.Get());
  ComPtr<IDirect3DTexture9> view;
  ComPtr<IDirect3DSurface9> viewSurface, readBack;
  if (SUCCEEDED(hr))
    hr = context.device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, viewFormat, D3DPOOL_DEFAULT, &view,
                                       nullptr);
  if (SUCCEEDED(hr)) hr = view->GetSurfaceLevel(0, &viewSurface);
  if (SUCCEEDED(hr))
    hr = context.device->CreateOffscreenPlainSurface(width, height, viewFormat, D3DPOOL_SYSTEMMEM, &readBack, nullptr);
  ComPtr<IDirect3DQuery9> done;
  if (SUCCEEDED(hr)) hr = context.device->CreateQuery(D3DQUERYTYPE_EVENT, &done);
  if (FAILED(hr)) {
    std::fprintf(stderr, "vmdx lens: setting up the remap failed (%s)\n", HrText(hr).c_str());
    return 1;
  }

  Y4mOutput y4m(width, height, deep, rate, aspect, range == ColorRange_Video);
  DWORD consoleMode = 0;
  const bool console = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &consoleMode) != 0;
  double fetchSeconds = 0, drawSeconds = 0, writeSeconds = 0;
  int64_t frames = 0;
  for (int64_t n = 0; n < count; ++n) {
    const VarnicaTimecode timecode{n, static_cast<int32_t>(rate.numerator), static_cast<int32_t>(rate.denominator), 0,
                                   0};
    const char* stage = "decoding";
    ComPtr<IMediaDirectX9VideoFrame> frame;
    start = HighResolutionSeconds();
    hr = GetDirectXFrame(&context, IID_IMediaDirectX9VideoFrame, &frame, decoder.Get(), &timecode, nullptr, &working,
                         nullptr);
    fetchSeconds += HighResolutionSeconds() - start;
    start = HighResolutionSeconds();
    if (SUCCEEDED(hr)) stage = "remap", hr = remap.SetSourceTexture(frame.Get());
    if (SUCCEEDED(hr)) hr = remap.RenderRemapTexture(view.Get(), width, height);
    if (SUCCEEDED(hr)) stage = "read-back", hr = context.device->GetRenderTargetData(viewSurface.Get(), readBack.Get());
    // Wait for the drawing between short sleeps: left to LockRect, the wait spins on a core
    // that a renderer running on the CPU needs.
    if (SUCCEEDED(hr)) hr = done->Issue(D3DISSUE_END);
    while (SUCCEEDED(hr) && (hr = done->GetData(nullptr, 0, D3DGETDATA_FLUSH)) == S_FALSE) Sleep(1);
    vmdx::LockedRect locked(readBack.Get(), D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) hr = locked.status();
    drawSeconds += HighResolutionSeconds() - start;
    start = HighResolutionSeconds();
    error.clear();
    if (SUCCEEDED(hr)) {
      const ViewPicture picture{width, height, deep, locked.bits(), locked.pitch()};
      if (toStdout) {
        stage = "writing standard output";
        if (!y4m.Write(picture)) hr = E_FAIL;
      } else {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06" PRId64 ".png", n);
        stage = "PNG";
        hr = WriteViewPng(outDir / name, picture, colors, &error);
      }
    }
    writeSeconds += HighResolutionSeconds() - start;
    if (FAILED(hr)) {
      if (console) std::fprintf(stderr, "\n");
      std::fprintf(stderr, "vmdx lens: frame %" PRId64 ": %s failed (%s)%s%s\n", n, stage, HrText(hr).c_str(),
                   error.empty() ? "" : ": ", error.c_str());
      return 1;
    }
    ++frames;
    if (console) std::fprintf(stderr, "\r  frame %" PRId64 "/%" PRId64, n + 1, count);
  }
  if (console) std::fprintf(stderr, "\n");
  std::fprintf(stderr, "vmdx lens: %" PRId64 " frames %s %s; map %ux%u built in %.1f ms\n", frames,
               toStdout ? "written to" : "written as PNG files in", toStdout ? "standard output" : options.out.c_str(),
               width, height, 1000.0 * mapSeconds);
  PrintRate("decode and upload", frames, fetchSeconds);
  PrintRate("remap and read-back", frames, drawSeconds);
  PrintRate(toStdout ? "Y4M" : "PNG", frames, writeSeconds);
  return 0;
}
