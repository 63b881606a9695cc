#include "MediaFormatLayouts.h"

#include <climits>

namespace vmedia {
namespace {

struct FormatLayout {
  const GUID* format;
  const char* name;
  int32_t planeCount;
  int32_t bitsPerPixel[2];
  // Plane 0 of the 4:2:2 formats holds whole pixel pairs: an odd width still ends in a full pair.
  bool pairedPlane0;
};

const FormatLayout kLayouts[] = {
    {&MediaFormat_YUV422Packed8, "YUV422Packed8", 1, {16, 0}, true},
    {&MediaFormat_YUVA422Packed8, "YUVA422Packed8", 2, {16, 16}, true},
    {&MediaFormat_YUV422Packed10, "YUV422Packed10", 1, {32, 0}, true},
    {&MediaFormat_YUVA422Packed10, "YUVA422Packed10", 2, {32, 16}, true},
    {&MediaFormat_YUV422SemiPlanar8, "YUV422SemiPlanar8", 2, {8, 8}, true},
    {&MediaFormat_YUV444_8, "YUV444_8", 1, {24, 0}, false},
    {&MediaFormat_YUVA444_8, "YUVA444_8", 1, {32, 0}, false},
    {&MediaFormat_YUV444_16, "YUV444_16", 1, {48, 0}, false},
    {&MediaFormat_YUVA444_16, "YUVA444_16", 1, {64, 0}, false},
    {&MediaFormat_RGB8, "RGB8", 1, {24, 0}, false},
    {&MediaFormat_RGBA8, "RGBA8", 1, {32, 0}, false},
    {&MediaFormat_RGBA8Alt, "RGBA8Alt", 1, {32, 0}, false},
    {&MediaFormat_RGBX8, "RGBX8", 1, {32, 0}, false},
    {&MediaFormat_ARGB8, "ARGB8", 1, {32, 0}, false},
    {&MediaFormat_RGB16, "RGB16", 1, {48, 0}, false},
    {&MediaFormat_RGBA16, "RGBA16", 1, {64, 0}, false},
    {&MediaFormat_RGBA16Alt, "RGBA16Alt", 1, {64, 0}, false},
    {&MediaFormat_ARGB16, "ARGB16", 1, {64, 0}, false},
    {&MediaFormat_RGBAFloat, "RGBAFloat", 1, {128, 0}, false},
    {&MediaFormat_RGBAFloatAlt, "RGBAFloatAlt", 1, {128, 0}, false},
    {&MediaFormat_Mono8, "Mono8", 1, {8, 0}, false},
    {&MediaFormat_Mono8Alt, "Mono8Alt", 1, {8, 0}, false},
    {&MediaFormat_RG16, "RG16", 1, {32, 0}, false},
    {&MediaFormat_RGFloat, "RGFloat", 1, {64, 0}, false},
};

const FormatLayout* Find(const GUID& format) {
  for (const FormatLayout& layout : kLayouts) {
    if (varnica::SameGuid(*layout.format, format)) return &layout;
  }
  return nullptr;
}

}  // namespace

int32_t FormatPlaneLayout(const GUID& format, int32_t width, int32_t height, int32_t capacity,
                          int32_t* planeWidths, int32_t* planeRowBytes, int64_t* planeBytes,
                          int32_t* bitsPerPixel, int32_t* rows) {
  const FormatLayout* layout = Find(format);
  if (layout == nullptr || width < 1 || height < 1) return 0;
  // Row bytes are 32-bit: a width whose rows would not fit has no layout.
  if (int64_t{width} * layout->bitsPerPixel[0] / 8 + 8 > INT32_MAX) return 0;
  for (int32_t i = 0; i < layout->planeCount && i < capacity; ++i) {
    const int64_t bpp = layout->bitsPerPixel[i];
    int64_t rowBytes = (bpp * width + 7) / 8;
    if (i == 0 && layout->pairedPlane0) rowBytes = (bpp * 2 / 8) * ((int64_t{width} + 1) / 2);
    if (planeWidths) planeWidths[i] = width;
    if (planeRowBytes) planeRowBytes[i] = static_cast<int32_t>(rowBytes);
    if (planeBytes) planeBytes[i] = rowBytes * height;
    if (bitsPerPixel) bitsPerPixel[i] = static_cast<int32_t>(bpp);
    if (rows) rows[i] = height;
  }
  return layout->planeCount;
}

const char* FormatName(const GUID& format) {
  const FormatLayout* layout = Find(format);
  return layout ? layout->name : nullptr;
}

}  // namespace vmedia
