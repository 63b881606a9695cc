#include "FramePictures.h"

#include <cstring>
#include <vector>

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "Diagnostics.h"
#include "Error.h"
#include "PngWriter.h"
#include "VarnicaFrameAccess.h"
#include "Y4mWriter.h"

namespace vmdxtool {
namespace {

constexpr char kSourceFile[] = "apps/vmdx/FramePictures";

bool IsGrey(const GUID& format) {
  return IsEqualGUID(format, MediaFormat_Mono8) || IsEqualGUID(format, MediaFormat_Mono8Alt);
}

// Tight planes of format at width x height in picture's bytes, with the rows of each plane; the
// number of planes, 0 for a format without a layout.
int32_t Allocate(const GUID& format, int32_t width, int32_t height, CpuPicture* picture,
                 int32_t rows[kMaxVideoPlanes] = nullptr) {
  int32_t rowBytes[kMaxVideoPlanes] = {}, planeRows[kMaxVideoPlanes] = {};
  if (rows == nullptr) rows = planeRows;
  const int32_t planes =
      GetFormatVideoPlaneLayout(&format, width, height, kMaxVideoPlanes, nullptr, rowBytes, nullptr, nullptr, rows);
  if (planes < 1) return 0;
  size_t total = 0;
  for (int32_t i = 0; i < planes; ++i) total += static_cast<size_t>(rowBytes[i]) * rows[i];
  picture->bytes.resize(total);
  picture->record = {format, width, height, {}};
  uint8_t* next = picture->bytes.data();
  for (int32_t i = 0; i < planes; ++i) {
    picture->record.planes[i] = {next, rowBytes[i]};
    next += static_cast<size_t>(rowBytes[i]) * rows[i];
  }
  return planes;
}

// Whether the CPU conversion has a row from one format to the other (a lookup, nothing copied).
bool HasRow(const GUID& from, const GUID& to) {
  const CpuVidFrameMemory source{from, 2, 2, {}}, target{to, 2, 2, {}};
  ConvertionCopyKernel kernel = nullptr;
  int32_t bands = 0;
  return SUCCEEDED(FindConvertionCopy(&kernel, &bands, &source, &target, GUID{}));
}

// Kernels that convert pixel pairs leave the last column of an odd width alone. A one-plane
// picture of whole-byte pixels is therefore converted one pixel wider, its last pixel repeated;
// padded then holds the wider copy. Other pictures are converted as they are.
CpuVidFrameMemory EvenWidth(const CpuVidFrameMemory& source, CpuPicture* padded) {
  int32_t rowBytes = 0, bits = 0;
  if (source.width % 2 == 0 ||
      GetFormatVideoPlaneLayout(&source.format, source.width, source.height, 1, nullptr, &rowBytes, nullptr, &bits,
                                nullptr) != 1 ||
      bits % 8 != 0 || rowBytes != source.width * (bits / 8))
    return source;
  const size_t pixel = static_cast<size_t>(bits / 8);
  if (Allocate(source.format, source.width + 1, source.height, padded) != 1) return source;
  for (int32_t y = 0; y < source.height; ++y) {
    const uint8_t* from = source.planes[0].data + y * source.planes[0].pitch;
    uint8_t* to = padded->record.planes[0].data + y * padded->record.planes[0].pitch;
    std::memcpy(to, from, static_cast<size_t>(rowBytes));
    std::memcpy(to + rowBytes, from + rowBytes - pixel, pixel);
  }
  return padded->record;
}

}  // namespace

HRESULT CopyPlanes(const CpuVidFrameMemory& mapped, CpuPicture* picture) {
  int32_t rows[kMaxVideoPlanes] = {};
  const int32_t planes = Allocate(mapped.format, mapped.width, mapped.height, picture, rows);
  if (planes < 1) return E_UNSUPPORTED;
  for (int32_t i = 0; i < planes; ++i) {
    const CpuVidFramePlane& to = picture->record.planes[i];
    for (int32_t y = 0; y < rows[i]; ++y)
      std::memcpy(to.data + y * to.pitch, mapped.planes[i].data + y * mapped.planes[i].pitch,
                  static_cast<size_t>(to.pitch));
  }
  return S_OK;
}

HRESULT ReadBack(IUnknown* frame, CpuPicture* picture) {
  vmdx::FrameMemoryLock lock;
  const HRESULT hr = lock.Open(frame, vmdx::kLockRead);
  return FAILED(hr) ? hr : CopyPlanes(lock.memory(), picture);
}

void ExpandVideoRange(const CpuVidFrameMemory& r) {
  auto luma = [](double v, double scale) { return (v - 16.0 * scale) * (255.0 / 219.0); };
  auto chroma = [](double v, double scale) { return (v - 128.0 * scale) * (255.0 / 224.0) + 128.0 * scale; };
  auto clamp = [](double v, double top) { return v < 0 ? 0.0 : v > top ? top : v + 0.5; };
  const bool yuva8 = IsEqualGUID(r.format, MediaFormat_YUVA444_8);
  const bool yuva16 = IsEqualGUID(r.format, MediaFormat_YUVA444_16);
  const bool mono = IsGrey(r.format);
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

HRESULT ConvertPicture(const CpuVidFrameMemory& source, const GUID& format, CpuPicture* converted) {
  // Formats without a row to the one asked for go through RGB8, or through RGBA8 and RGB8 (RGB
  // formats of other layouts and depths reach RGB8 that way). With no route at all the direct
  // conversion is tried, and its failure names the pair.
  std::vector<const GUID*> route{&format};
  for (const std::vector<const GUID*>& via :
       {std::vector<const GUID*>{}, {&MediaFormat_RGB8}, {&MediaFormat_RGBA8, &MediaFormat_RGB8}}) {
    std::vector<const GUID*> steps = via;
    if (steps.empty() || !IsEqualGUID(*steps.back(), format)) steps.push_back(&format);
    bool found = true;
    for (size_t i = 0; i < steps.size() && found; ++i) found = HasRow(i ? *steps[i - 1] : source.format, *steps[i]);
    if (found) {
      route = steps;
      break;
    }
  }
  CpuPicture padded, between[2];
  const CpuVidFrameMemory even = EvenWidth(source, &padded);
  return GuardedCall([&] {
    const CpuVidFrameMemory* from = &even;
    for (size_t i = 0; i < route.size(); ++i) {
      CpuPicture* to = i + 1 == route.size() ? converted : &between[i % 2];
      if (Allocate(*route[i], even.width, even.height, to) < 1)
        ThrowErrorF(E_UNSUPPORTED, VLOC, "%s has no plane layout", VarnicaMediaNameOf(route[i], 0, 0));
      CopyCpuVidFrameMemory(from, &to->record, GUID{}, nullptr);
      from = &to->record;
    }
    converted->record.width = source.width;
    return S_OK;
  });
}

HRESULT ToPngPicture(const CpuVidFrameMemory& picture, bool videoRange, CpuPicture* png) {
  if (IsGrey(picture.format)) {
    const HRESULT hr = CopyPlanes(picture, png);
    if (SUCCEEDED(hr) && videoRange) ExpandVideoRange(png->record);
    return hr;
  }
  CpuPicture expanded;
  if (videoRange) {
    const HRESULT hr = CopyPlanes(picture, &expanded);
    if (FAILED(hr)) return hr;
    ExpandVideoRange(expanded.record);
  }
  return ConvertPicture(videoRange ? expanded.record : picture, MediaFormat_RGB8, png);
}

HRESULT WritePngPicture(const CpuPicture& png, const std::filesystem::path& path, std::string* error) {
  const CpuVidFrameMemory& r = png.record;
  return WritePng(path.wstring(), r.width, r.height, IsGrey(r.format) ? PngPixels::Grey8 : PngPixels::Bgr8,
                  r.planes[0].data, r.planes[0].pitch, error);
}

HRESULT WriteFramePng(IUnknown* frame, bool videoRange, const std::filesystem::path& path, std::string* error) {
  vmdx::FrameMemoryLock lock;
  CpuPicture png;
  HRESULT hr = lock.Open(frame, vmdx::kLockRead);
  if (SUCCEEDED(hr)) hr = ToPngPicture(lock.memory(), videoRange, &png);
  return FAILED(hr) ? hr : WritePngPicture(png, path, error);
}

HRESULT ToStreamPicture(const CpuVidFrameMemory& picture, CpuPicture* converted, CpuVidFrameMemory* out) {
  if (Y4mWriter::Writes(picture.format)) {
    *out = picture;
    return S_OK;
  }
  const HRESULT hr = ConvertPicture(picture, MediaFormat_YUV444_8, converted);
  if (SUCCEEDED(hr)) *out = converted->record;
  return hr;
}

}  // namespace vmdxtool
