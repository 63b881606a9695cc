#include "DecodedPicture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vmedia {
namespace {

enum class Packing {
  Yuv422_8,       // Y0 U Y1 V
  Yuva422_8,      // plane 0 as Yuv422_8, plane 1 12-bit alpha words
  Yuv422_10,      // words Y0 U Y1 V, 10 bits
  Yuva422_10,     // plane 0 as Yuv422_10, plane 1 12-bit alpha words
  SemiPlanar_8,   // plane 0 Y, plane 1 V U per pair
  Yuv444_8,       // V U Y
  Yuva444_8,      // V U Y A
  Yuv444_16,      // words V U Y
  Yuva444_16,     // words V U Y A
  Mono_8,         // Y
  Rgb_8,          // B G R
  Rgba_8,         // B G R A
  Argb_8,         // A R G B
  Rgb_16,         // words B G R
  Rgba_16,        // words B G R A
  Argb_16,        // words A R G B
  RgbaFloat,      // floats B G R A, 0..1
};

struct PackingRow {
  const GUID* format;
  Packing packing;
};

const PackingRow kPackings[] = {
    {&MediaFormat_YUV422Packed8, Packing::Yuv422_8},     {&MediaFormat_YUVA422Packed8, Packing::Yuva422_8},
    {&MediaFormat_YUV422Packed10, Packing::Yuv422_10},   {&MediaFormat_YUVA422Packed10, Packing::Yuva422_10},
    {&MediaFormat_YUV422SemiPlanar8, Packing::SemiPlanar_8}, {&MediaFormat_YUV444_8, Packing::Yuv444_8},
    {&MediaFormat_YUVA444_8, Packing::Yuva444_8},        {&MediaFormat_YUV444_16, Packing::Yuv444_16},
    {&MediaFormat_YUVA444_16, Packing::Yuva444_16},      {&MediaFormat_Mono8, Packing::Mono_8},
    {&MediaFormat_Mono8Alt, Packing::Mono_8},            {&MediaFormat_RGB8, Packing::Rgb_8},
    {&MediaFormat_RGBA8, Packing::Rgba_8},               {&MediaFormat_RGBA8Alt, Packing::Rgba_8},
    {&MediaFormat_RGBX8, Packing::Rgba_8},               {&MediaFormat_ARGB8, Packing::Argb_8},
    {&MediaFormat_RGB16, Packing::Rgb_16},               {&MediaFormat_RGBA16, Packing::Rgba_16},
    {&MediaFormat_RGBA16Alt, Packing::Rgba_16},          {&MediaFormat_ARGB16, Packing::Argb_16},
    {&MediaFormat_RGBAFloat, Packing::RgbaFloat},        {&MediaFormat_RGBAFloatAlt, Packing::RgbaFloat},
};

const PackingRow* FindPacking(const GUID& format) {
  for (const PackingRow& row : kPackings) {
    if (varnica::SameGuid(*row.format, format)) return &row;
  }
  return nullptr;
}

bool IsRgbPacking(Packing p) { return p >= Packing::Rgb_8; }
int PlanesOf(Packing p) {
  return p == Packing::Yuva422_8 || p == Packing::Yuva422_10 || p == Packing::SemiPlanar_8 ? 2 : 1;
}

uint16_t Clamp16(double v) { return static_cast<uint16_t>(std::clamp(std::lround(v), 0L, 65535L)); }

// BT.601 in 8-bit units. RGB to YUV always gives full range: the pictures made as RGB are the
// built-in ones, and full range keeps their colours exact through a YUV round trip.
void RgbToYuv(const PictureSample& s, uint16_t out[3]) {
  const double r = s.c[0] / 257.0, g = s.c[1] / 257.0, b = s.c[2] / 257.0;
  const double y = 0.299 * r + 0.587 * g + 0.114 * b;
  out[0] = Clamp16(y * 256.0);
  out[1] = Clamp16((128.0 + (b - y) * (0.5 / 0.886)) * 256.0);
  out[2] = Clamp16((128.0 + (r - y) * (0.5 / 0.701)) * 256.0);
}

void YuvToRgb(const PictureSample& s, bool limited, uint16_t out[3]) {
  double y = s.c[0] / 256.0, u = s.c[1] / 256.0 - 128.0, v = s.c[2] / 256.0 - 128.0;
  if (limited) {
    y = (y - 16.0) * (255.0 / 219.0);
    u *= 255.0 / 224.0;
    v *= 255.0 / 224.0;
  }
  out[0] = Clamp16((y + 1.402 * v) * 257.0);
  out[1] = Clamp16((y - 0.344136 * u - 0.714136 * v) * 257.0);
  out[2] = Clamp16((y + 1.772 * u) * 257.0);
}

// One pixel in the target's family: R, G, B full scale or Y, U, V code values, and alpha.
struct Pixel {
  uint16_t c[3];
  uint16_t a;
};

void ConvertRow(const DecodedPicture& picture, int32_t y, bool rgbTarget, std::vector<Pixel>& row) {
  const PictureSample* in = picture.Row(y);
  for (int32_t x = 0; x < picture.width; ++x) {
    Pixel& p = row[static_cast<size_t>(x)];
    p.a = in[x].alpha;
    const bool rgbSource = picture.color == PictureColor::Rgb;
    if (rgbSource == rgbTarget) {
      std::memcpy(p.c, in[x].c, sizeof p.c);
    } else if (rgbTarget) {
      YuvToRgb(in[x], picture.color == PictureColor::YuvLimited, p.c);
    } else {
      RgbToYuv(in[x], p.c);
    }
  }
}

// YUV code values in the 16-bit store at 8 or 10 bits; RGB full scale at 8 bits.
uint8_t Code8(uint16_t s) { return static_cast<uint8_t>(std::min(255, (s + 128) >> 8)); }
uint16_t Code10(uint16_t s) { return static_cast<uint16_t>(std::min(1023, (s + 32) >> 6)); }
uint8_t Full8(uint16_t s) { return static_cast<uint8_t>((s * 255u + 32767u) / 65535u); }
uint16_t Alpha12(uint16_t s) { return static_cast<uint16_t>(s >> 4); }

void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

void PackRow(Packing packing, const std::vector<Pixel>& row, int32_t width, uint8_t* p0, uint8_t* p1) {
  auto pair = [&](int32_t x) -> const Pixel& { return row[static_cast<size_t>(std::min(x, width - 1))]; };
  // Chroma of a pair: the mean of its two pixels (a 4:2:2 source gives equal ones, so it passes).
  auto chroma = [&](int32_t x, int k) {
    return static_cast<uint16_t>((pair(x).c[k] + pair(x + 1).c[k] + 1) / 2);
  };
  switch (packing) {
    case Packing::Yuv422_8:
    case Packing::Yuva422_8:
      for (int32_t x = 0; x < width; x += 2) {
        uint8_t* q = p0 + 2 * x;
        q[0] = Code8(pair(x).c[0]);
        q[1] = Code8(chroma(x, 1));
        q[2] = Code8(pair(x + 1).c[0]);
        q[3] = Code8(chroma(x, 2));
      }
      if (packing == Packing::Yuva422_8)
        for (int32_t x = 0; x < width; ++x) Put16(p1 + 2 * x, Alpha12(row[x].a));
      break;
    case Packing::Yuv422_10:
    case Packing::Yuva422_10:
      for (int32_t x = 0; x < width; x += 2) {
        uint8_t* q = p0 + 4 * x;
        Put16(q, Code10(pair(x).c[0]));
        Put16(q + 2, Code10(chroma(x, 1)));
        Put16(q + 4, Code10(pair(x + 1).c[0]));
        Put16(q + 6, Code10(chroma(x, 2)));
      }
      if (packing == Packing::Yuva422_10)
        for (int32_t x = 0; x < width; ++x) Put16(p1 + 2 * x, Alpha12(row[x].a));
      break;
    case Packing::SemiPlanar_8:
      for (int32_t x = 0; x < width; ++x) p0[x] = Code8(row[x].c[0]);
      // An odd width leaves room for the last pair's V only.
      for (int32_t x = 0; x < width; x += 2) {
        p1[x] = Code8(chroma(x, 2));
        if (x + 1 < width) p1[x + 1] = Code8(chroma(x, 1));
      }
      break;
    case Packing::Yuv444_8:
    case Packing::Yuva444_8: {
      const int step = packing == Packing::Yuv444_8 ? 3 : 4;
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* q = p0 + step * x;
        q[0] = Code8(row[x].c[2]);
        q[1] = Code8(row[x].c[1]);
        q[2] = Code8(row[x].c[0]);
        if (step == 4) q[3] = static_cast<uint8_t>(row[x].a >> 8);
      }
      break;
    }
    case Packing::Yuv444_16:
    case Packing::Yuva444_16: {
      const int step = packing == Packing::Yuv444_16 ? 6 : 8;
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* q = p0 + step * x;
        Put16(q, row[x].c[2]);
        Put16(q + 2, row[x].c[1]);
        Put16(q + 4, row[x].c[0]);
        if (step == 8) Put16(q + 6, row[x].a);
      }
      break;
    }
    case Packing::Mono_8:
      for (int32_t x = 0; x < width; ++x) p0[x] = Code8(row[x].c[0]);
      break;
    case Packing::Rgb_8:
    case Packing::Rgba_8:
    case Packing::Argb_8: {
      const int step = packing == Packing::Rgb_8 ? 3 : 4;
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* q = p0 + step * x;
        const uint8_t r = Full8(row[x].c[0]), g = Full8(row[x].c[1]), b = Full8(row[x].c[2]);
        const uint8_t a = static_cast<uint8_t>(row[x].a >> 8);
        if (packing == Packing::Argb_8) {
          q[0] = a, q[1] = r, q[2] = g, q[3] = b;
        } else {
          q[0] = b, q[1] = g, q[2] = r;
          if (step == 4) q[3] = a;
        }
      }
      break;
    }
    case Packing::Rgb_16:
    case Packing::Rgba_16:
    case Packing::Argb_16: {
      const int step = packing == Packing::Rgb_16 ? 6 : 8;
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* q = p0 + step * x;
        const Pixel& p = row[x];
        if (packing == Packing::Argb_16) {
          Put16(q, p.a), Put16(q + 2, p.c[0]), Put16(q + 4, p.c[1]), Put16(q + 6, p.c[2]);
        } else {
          Put16(q, p.c[2]), Put16(q + 2, p.c[1]), Put16(q + 4, p.c[0]);
          if (step == 8) Put16(q + 6, p.a);
        }
      }
      break;
    }
    case Packing::RgbaFloat:
      for (int32_t x = 0; x < width; ++x) {
        const float v[4] = {row[x].c[2] / 65535.0f, row[x].c[1] / 65535.0f, row[x].c[0] / 65535.0f,
                            row[x].a / 65535.0f};
        std::memcpy(p0 + 16 * x, v, sizeof v);
      }
      break;
  }
}

}  // namespace

bool CanWritePicture(const GUID& format) { return FindPacking(format) != nullptr; }

bool IsRgbFormat(const GUID& format) {
  const PackingRow* row = FindPacking(format);
  return row != nullptr && IsRgbPacking(row->packing);
}

HRESULT WritePicture(const DecodedPicture& picture, const CpuVidFrameMemory& target) {
  const PackingRow* packing = FindPacking(target.format);
  if (packing == nullptr) return E_UNSUPPORTED;
  if (target.width != picture.width || target.height != picture.height || picture.width < 1 || picture.height < 1)
    return E_INVALIDARG;
  const int planes = PlanesOf(packing->packing);
  for (int i = 0; i < planes; ++i) {
    if (target.planes[i].data == nullptr) return E_INVALIDARG;
  }
  const bool rgb = IsRgbPacking(packing->packing);
  std::vector<Pixel> row(static_cast<size_t>(picture.width));
  for (int32_t y = 0; y < picture.height; ++y) {
    ConvertRow(picture, y, rgb, row);
    uint8_t* p0 = target.planes[0].data + y * target.planes[0].pitch;
    uint8_t* p1 = planes > 1 ? target.planes[1].data + y * target.planes[1].pitch : nullptr;
    PackRow(packing->packing, row, picture.width, p0, p1);
  }
  return S_OK;
}

DecodedPicture ResizePicture(const DecodedPicture& picture, int32_t width, int32_t height) {
  DecodedPicture out;
  out.width = width;
  out.height = height;
  out.color = picture.color;
  out.samples.resize(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    const PictureSample* in = picture.Row(static_cast<int32_t>(int64_t{y} * picture.height / height));
    PictureSample* o = out.Row(y);
    for (int32_t x = 0; x < width; ++x) o[x] = in[int64_t{x} * picture.width / width];
  }
  return out;
}

}  // namespace vmedia
