// vmdx lens IN --lens FILE [--size WxH] [--interp nearest|bilinear|cubic]
//                [--border clamp|mirror|wrap|COLOR] [--count N] [--out DIR|-] [--map-out FILE]
//
// The lens file's map is built once on the GPU for the clip's size; every frame is then fetched
// from the decoder as a GPU frame, drawn through the map into a render target, read back and
// written as a PNG file or as one frame of a Y4M stream (4:2:0) on standard output.
#include "LensCommand.h"

#include <wrl/client.h>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "ClipSession.h"
#include "CommandLine.h"
#include "Diagnostics.h"
#include "FramePictures.h"
#include "LensFile.h"
#include "VarnicaFrameAccess.h"
#include "VodideDX9FisheyeRectify.h"
#include "VodideDX9Remap.h"
#include "VodideGetFrame.h"
#include "Y4mWriter.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtool;

namespace {

constexpr uint32_t kMaxSide = 16384;

struct Options {
  std::string source;
  std::string lens;
  uint32_t width = 0, height = 0;  // 0: the lens file's view.size, else the source's size
  int32_t interpolation = RemapInterpolation_Bilinear;
  int32_t address = RemapAddress_Border;
  uint32_t borderRgb = 0x000000;
  int64_t count = -1;  // -1: every frame of a file or stream, one second of a built-in clip
  std::string out = "vmdx-lens";
  std::string mapOut;
};

constexpr char kUsage[] =
    "IN --lens FILE [--size WxH] [--interp nearest|bilinear|cubic] [--border clamp|mirror|wrap|COLOR]\n"
    "                 [--count N] [--out DIR | --out -] [--map-out FILE]";
constexpr char kDetails[] =
    "A clip re-projected from one lens into another on the GPU: the lens file's coordinate map is\n"
    "built once, every frame is drawn through it into PNG files, or into a 4:2:0 Y4M stream.\n"
    "  IN                  a Y4M file, - for a Y4M stream on standard input, or a built-in clip such as\n"
    "                      builtin:fisheye\n"
    "  --lens FILE         source and target lens, matrix, offset (examples in apps/vmdx/lenses/)\n"
    "  --size WxH          the view's size (default: the lens file's view.size, else the source's size)\n"
    "  --interp MODE       nearest, bilinear (the default) or cubic\n"
    "  --border B          where no source pixel is seen: the source's edge (clamp), its mirror image, the\n"
    "                      source repeated (wrap), or a colour #RRGGBB, black, white or grey (default black)\n"
    "  --count N           frames to draw (default: all of a file or stream, 25 of a built-in clip)\n"
    "  --out DIR           folder of the frame_NNNNNN.png files (default vmdx-lens)\n"
    "  --out -             a 4:2:0 Y4M stream on standard output instead\n"
    "  --map-out FILE      the map: a line \"RG32F <width> <height>\", then two little-endian floats per pixel\n";

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

// The border colour (RGB) as the view texture holds it: BT.601 YUV in the source's range; the
// 8-bit texture keeps Y, U, V in red, green, blue, the 16-bit one V, U, Y.
D3DCOLOR BorderColor(uint32_t rgb, bool deep, bool limited) {
  const double r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
  const double cb = 128 + 0.564 * (b - luma), cr = 128 + 0.713 * (r - luma);
  const double yuv[3] = {limited ? 16 + luma * 219 / 255 : luma, limited ? 128 + (cb - 128) * 224 / 255 : cb,
                         limited ? 128 + (cr - 128) * 224 / 255 : cr};
  auto byte = [](double c) { return static_cast<uint32_t>(c < 0 ? 0 : c > 255 ? 255 : c + 0.5); };
  const uint32_t y = byte(yuv[0]), u = byte(yuv[1]), v = byte(yuv[2]);
  return deep ? D3DCOLOR_ARGB(255, v, u, y) : D3DCOLOR_ARGB(255, y, u, v);
}

bool WriteAll(FILE* f, const void* data, size_t bytes) { return std::fwrite(data, 1, bytes, f) == bytes; }

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
    *error = "reading back the map failed (" + HrText(hr) + ")";
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

}  // namespace

int RunLensCommand(int argc, char** argv) {
  Options options;
  CommandLine cli("lens", kUsage, kDetails);
  cli.Input(&options.source);
  cli.Text("--lens", &options.lens);
  cli.Value("--size", "WxH, each side 1 to 16384",
            [&](const std::string& v) { return ParseSize(v, &options.width, &options.height); });
  cli.Value("--interp", "nearest, bilinear or cubic", [&](const std::string& v) {
    for (const auto& [name, mode] : {std::pair{"nearest", RemapInterpolation_Nearest},
                                     {"bilinear", RemapInterpolation_Bilinear},
                                     {"cubic", RemapInterpolation_Cubic}})
      if (v == name) return options.interpolation = mode, true;
    return false;
  });
  cli.Value("--border", "clamp, mirror, wrap, #RRGGBB, black, white or grey", [&](const std::string& v) {
    for (const auto& [name, mode] :
         {std::pair{"clamp", RemapAddress_Clamp}, {"mirror", RemapAddress_Mirror}, {"wrap", RemapAddress_Wrap}})
      if (v == name) return options.address = mode, true;
    options.address = RemapAddress_Border;
    return ParseColor(v, &options.borderRgb);
  });
  cli.Integer("--count", &options.count, 1, INT32_MAX);
  cli.Text("--out", &options.out);
  cli.Text("--map-out", &options.mapOut);
  if (const int code = cli.Parse(argc, argv); code >= 0) return code;
  if (options.source.empty()) return cli.UsageError("no input given");
  if (options.lens.empty()) return cli.UsageError("--lens FILE is required");
  const bool toStream = options.out == "-";

  // The lens file is checked whole before anything touches the GPU.
  LensFile lens;
  std::string error;
  if (!ReadLensFile(options.lens, &lens, &error)) return cli.Failure(error);

  ClipSession session(cli);
  if (!session.Open(options.source)) return kExitFailure;
  ClipFacts& facts = session.facts;
  const VarnicaFrameSize size = facts.size;
  const int64_t count = facts.FramesToTake(options.count);
  const uint32_t width = options.width ? options.width : lens.viewWidth ? lens.viewWidth : size.width;
  const uint32_t height = options.width ? options.height : lens.viewWidth ? lens.viewHeight : size.height;

  // Frames are drawn as YUV with alpha at the source's depth; the view keeps that format.
  const bool deep = IsDeepFormat(facts.format);
  const GUID& working = deep ? MediaFormat_YUVA444_16 : MediaFormat_YUVA444_8;
  const D3DFORMAT viewFormat = deep ? D3DFMT_A16B16G16R16 : D3DFMT_A8R8G8B8;

  const std::filesystem::path outDir(options.out);
  if (!toStream && !session.MakeOutputFolder(options.out)) return kExitFailure;
  if (!session.MakeDevice()) return kExitFailure;
  DX9Context& context = session.context;
  char countText[32] = "all";
  if (count >= 0) std::snprintf(countText, sizeof countText, "%" PRId64, count);
  std::fprintf(stderr, "vmdx lens: %s (%dx%d) through %s -> %ux%u, %s frames -> %s\n", facts.name.c_str(), size.width,
               size.height, options.lens.c_str(), width, height, countText,
               toStream ? "standard output" : options.out.c_str());

  // The map, once.
  CDX9FisheyeRectify rectify(&context, &session.cache);
  rectify.params = lens.params;
  ComPtr<IDirect3DTexture9> map;
  double start = HighResolutionSeconds();
  HRESULT hr = rectify.CheckDevice();
  if (SUCCEEDED(hr))
    hr = rectify.BuildFisheyeRectifyMap(&map, width, height, static_cast<uint32_t>(size.width),
                                        static_cast<uint32_t>(size.height), D3DFMT_G32R32F);
  if (FAILED(hr)) return session.Fail("building the map", hr);
  const double mapSeconds = HighResolutionSeconds() - start;
  if (!options.mapOut.empty() && !WriteMapFile(context, map.Get(), options.mapOut, &error)) return cli.Failure(error);

  CDX9Remap remap(&context, &session.cache);
  hr = remap.CheckDevice();
  if (SUCCEEDED(hr)) hr = remap.SetInterpolation(options.interpolation);
  if (SUCCEEDED(hr)) hr = remap.SetAddressMode(options.address);
  if (SUCCEEDED(hr)) hr = remap.SetBorderColor(BorderColor(options.borderRgb, deep, facts.videoRange));
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
  if (FAILED(hr)) return session.Fail("setting up the remap", hr);

  // The remapped view is a new picture: progressive, 4:2:0 in the stream.
  facts.stream.interlace = VideoInterlace_Progressive;
  facts.stream.chroma420 = true;
  Y4mWriter stream(stdout, facts.stream);
  Progress progress(count);
  double fetchSeconds = 0, drawSeconds = 0, writeSeconds = 0;
  int64_t frames = 0;
  for (int64_t n = 0; count < 0 || n < count; ++n) {
    session.messages.Clear();
    const VarnicaTimecode timecode{n, static_cast<int32_t>(facts.stream.rate.numerator),
                                   static_cast<int32_t>(facts.stream.rate.denominator), 0, 0};
    const char* stage = "GetDirectXFrame";
    ComPtr<IMediaDirectX9VideoFrame> frame;
    start = HighResolutionSeconds();
    hr = GetDirectXFrame(&context, IID_IMediaDirectX9VideoFrame, &frame, session.decoder.Get(), &timecode, nullptr,
                         &working, nullptr);
    fetchSeconds += HighResolutionSeconds() - start;
    if (facts.Ended(hr)) break;
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
      // The view's texture holds the working format's pixels: V, U, Y, A.
      const CpuVidFrameMemory picture{
          working, static_cast<int32_t>(width), static_cast<int32_t>(height), {{locked.bits(), locked.pitch()}}};
      if (toStream) {
        stage = "Y4M";
        hr = stream.Write(picture, &error);
      } else {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06" PRId64 ".png", n);
        stage = "PNG";
        CpuPicture png;
        hr = ToPngPicture(picture, facts.videoRange, &png);
        if (SUCCEEDED(hr)) hr = WritePngPicture(png, outDir / name, &error);
      }
    }
    writeSeconds += HighResolutionSeconds() - start;
    if (FAILED(hr)) {
      progress.End();
      return session.Fail("frame " + std::to_string(n) + ": " + stage, hr, error);
    }
    ++frames;
    progress.FrameDone(n + 1);
  }
  progress.End();
  std::fprintf(stderr, "vmdx lens: %" PRId64 " frames %s %s; map %ux%u built in %.1f ms\n", frames,
               toStream ? "written to" : "written as PNG files in", toStream ? "standard output" : options.out.c_str(),
               width, height, 1000.0 * mapSeconds);
  PrintRate("decode and upload", frames, fetchSeconds);
  PrintRate("remap and read-back", frames, drawSeconds);
  PrintRate(toStream ? "Y4M" : "PNG", frames, writeSeconds);
  return kExitSuccess;
}
