#include "ConversionReference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "ConvertionCopyIdenticalFrameCpu.h"
#include "ConvertionCopyPackFrameCpu.h"
#include "ConvertionCopyRGBFrameCpu.h"
#include "ConvertionCopyRGBYUVFrameCpu.h"
#include "ConvertionCopyYUVFrameCpu.h"

namespace reference {
namespace {

bool Is(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// Reads and writes by plane, row and byte offset; words are little-endian. S and SetS address
// plane 0 by sample of `size` bytes (1 or 2).
struct Frame {
  const CpuVidFrameMemory& f;
  uint8_t* At(int k, int y, int64_t offset) const { return f.planes[k].data + y * f.planes[k].pitch + offset; }
  int B(int k, int y, int64_t o) const { return *At(k, y, o); }
  int W(int k, int y, int64_t o) const { return At(k, y, o)[0] | (At(k, y, o)[1] << 8); }
  int S(int size, int y, int64_t sample) const { return size == 1 ? B(0, y, sample) : W(0, y, 2 * sample); }
  float F(int y, int64_t o) const {
    float v;
    std::memcpy(&v, At(0, y, o), 4);
    return v;
  }
  void SetB(int k, int y, int64_t o, int v) const { *At(k, y, o) = static_cast<uint8_t>(v); }
  void SetW(int k, int y, int64_t o, int v) const {
    At(k, y, o)[0] = static_cast<uint8_t>(v & 0xFF);
    At(k, y, o)[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
  void SetS(int size, int y, int64_t sample, int v) const {
    size == 1 ? SetB(0, y, sample, v) : SetW(0, y, 2 * sample, v);
  }
};

// Signed division truncating toward zero, computed without the integer operator.
int Div(int a, int b) { return static_cast<int>(std::trunc(static_cast<double>(a) / b)); }
int Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

struct Yuv {
  int y, u, v, a;
};
struct Bgr {
  int b, g, r;
};

Bgr YuvToRgb(Yuv c, int center, int constant, int divisor) {
  return {Clamp(Div((c.u - center) * 453 + c.y * 256, divisor)),
          Clamp(Div(c.y * 256 - c.v * 182 - c.u * 87 + constant, divisor)),
          Clamp(Div((c.v - center) * 358 + c.y * 256, divisor))};
}
Bgr YuvToRgb8(Yuv c) { return YuvToRgb(c, 128, 34432, 256); }
Bgr YuvToRgb10(Yuv c) { return YuvToRgb(c, 512, 137728, 1024); }
Yuv RgbToYuv8(Bgr c) {
  return {(66 * c.r + 129 * c.g + 25 * c.b) / 256, Div(-38 * c.r - 74 * c.g + 112 * c.b, 256) + 128,
          Div(112 * c.r - 94 * c.g - 18 * c.b, 256) + 128, 255};
}
Yuv RgbToYuv10(Bgr c) {
  auto cap = [](int v) { return v > 1023 ? 1023 : v; };
  return {cap((264 * c.r + 516 * c.g + 100 * c.b) / 256), cap(Div(-152 * c.r - 296 * c.g + 448 * c.b, 256) + 512),
          cap(Div(448 * c.r - 376 * c.g - 72 * c.b, 256) + 512), 0};
}
// 10-bit samples widened to 16 bits, the top bits repeated below.
Yuv Widen10(Yuv c) { return {c.y * 64 + c.y % 64, c.u * 64 + c.u % 64, c.v * 64 + c.v % 64, c.a}; }

// Pixel x of a 4:2:2 frame: its own luma and its pair's chroma; alpha from plane 1 when present.
Yuv Read422_8(const Frame& s, int y, int x, bool alpha) {
  const int pair = 4 * (x / 2);
  return {s.B(0, y, pair + 2 * (x % 2)), s.B(0, y, pair + 1), s.B(0, y, pair + 3), alpha ? s.W(1, y, 2 * x) : -1};
}
Yuv Read422_10(const Frame& s, int y, int x, bool alpha) {
  const int pair = 8 * (x / 2);
  return {s.W(0, y, pair + 4 * (x % 2)) % 1024, s.W(0, y, pair + 2) % 1024, s.W(0, y, pair + 6) % 1024,
          alpha ? s.W(1, y, 2 * x) : -1};
}
// Pixel x of a V U Y [A] frame of `size`-byte samples.
Yuv Read444(const Frame& s, int y, int x, int size, bool alpha) {
  const int n = alpha ? 4 : 3;
  return {s.S(size, y, n * x + 2), s.S(size, y, n * x + 1), s.S(size, y, n * x), alpha ? s.S(size, y, n * x + 3) : -1};
}
void Write444(const Frame& t, int y, int x, int size, bool alpha, Yuv c) {
  const int n = alpha ? 4 : 3;
  const int values[4] = {c.v, c.u, c.y, c.a};
  for (int i = 0; i < n; ++i) t.SetS(size, y, n * x + i, values[i]);
}
// Pixel x of V U Y [A] into 4:2:2 (Y0 U Y1 V): its luma and the mean of its pair's U (even x) or
// V (odd x); 16-bit samples go to 10 bits. Returns the pixel read.
Yuv Pack422(const Frame& s, const Frame& t, int y, int x, int size, bool alpha) {
  const Yuv c = Read444(s, y, x, size, alpha), n = Read444(s, y, x ^ 1, size, alpha);
  const int chroma = x % 2 == 0 ? c.u + n.u : c.v + n.v;
  if (size == 1) {
    t.SetB(0, y, 2 * x, c.y);
    t.SetB(0, y, 2 * x + 1, chroma / 2);
  } else {
    t.SetW(0, y, 4 * x, c.y / 64);
    t.SetW(0, y, 4 * x + 2, chroma / 128);
  }
  return c;
}
Bgr ReadBgr(const Frame& s, int y, int x) { return {s.B(0, y, 3 * x), s.B(0, y, 3 * x + 1), s.B(0, y, 3 * x + 2)}; }
void WriteBgr(const Frame& t, int y, int x, Bgr c) {
  t.SetB(0, y, 3 * x, c.b);
  t.SetB(0, y, 3 * x + 1, c.g);
  t.SetB(0, y, 3 * x + 2, c.r);
}

// Channel positions (in samples) of B, G, R in a pixel.
struct Order {
  int b, g, r;
};
constexpr Order kBgr{0, 1, 2};
constexpr Order kArgb{3, 2, 1};
// Grey (B + 2G + R) / 4 of pixel x of n samples of `size` bytes, in 8 bits.
int Grey(const Frame& s, int y, int x, int n, int size, Order o) {
  auto at = [&](int c) { return s.S(size, y, n * x + c); };
  return (at(o.b) + 2 * at(o.g) + at(o.r)) / (size == 1 ? 4 : 1024);
}

// Pixel x of `in` samples of `from` bytes into `out` samples of `to` bytes: each sample widened
// (times 257) or narrowed (divided by 256) to the new size, in reverse order when reverse, and
// an alpha the source lacks opaque.
void Repack(const Frame& s, const Frame& t, int y, int x, int in, int from, int out, int to, bool reverse) {
  for (int c = 0; c < std::min(in, out); ++c) {
    const int v = s.S(from, y, in * x + c);
    t.SetS(to, y, out * x + (reverse ? out - 1 - c : c), from == to ? v : (to == 2 ? v * 257 : v / 256));
  }
  if (out > in) t.SetS(to, y, out * x + out - 1, to == 1 ? 255 : 65535);
}

using PixelFn = void (*)(const Frame& s, const Frame& t, int y, int x);

struct Entry {
  ConvertionCopyKernel kernel;
  const char* name;
  bool pairs;  // converts the width rounded down to even
  PixelFn pixel;
};

// A kernel and what it does to pixel x of row y of source s and target t.
#define ROW(kernel, pairs, ...)                                                               \
  {                                                                                           \
    kernel, #kernel, pairs, [](const Frame& s, const Frame& t, int y, int x) { __VA_ARGS__; } \
  }

const Entry kEntries[] = {
    ROW(Yuv422To444_8, true, Write444(t, y, x, 1, false, Read422_8(s, y, x, false))),
    ROW(Yuv422AlphaToYuva444_8, true, Yuv c = Read422_8(s, y, x, true); c.a = ((c.a - c.a / 4096) / 16) % 256;
        Write444(t, y, x, 1, true, c)),
    ROW(Yuv422ToYuva444_8, true, Yuv c = Read422_8(s, y, x, false); c.a = 255; Write444(t, y, x, 1, true, c)),
    ROW(Yuv444To422_8, true, Pack422(s, t, y, x, 1, false)),
    ROW(Yuva444To422_8, true, Pack422(s, t, y, x, 1, true)),
    ROW(Yuva444To422Alpha_8, true, const int a = Pack422(s, t, y, x, 1, true).a;
        t.SetW(1, y, 2 * x, ((a * 16) | (a / 16)) + (a >= 128))),
    ROW(Yuv422To444_10, true, Write444(t, y, x, 2, false, Widen10(Read422_10(s, y, x, false)))),
    ROW(Yuv422AlphaToYuva444_10, true, Yuv c = Widen10(Read422_10(s, y, x, true));
        c.a = (c.a * 16 - c.a / 4096) % 65536; Write444(t, y, x, 2, true, c)),
    ROW(Yuv422ToYuva444_10, true, Yuv c = Widen10(Read422_10(s, y, x, false)); c.a = 65535;
        Write444(t, y, x, 2, true, c)),
    ROW(Yuv444To422_10, true, Pack422(s, t, y, x, 2, false)),
    ROW(Yuva444To422_10, true, Pack422(s, t, y, x, 2, true)),
    ROW(Yuva444To422Alpha_10, true, const int a = Pack422(s, t, y, x, 2, true).a;
        t.SetW(1, y, 2 * x, a / 16 + a / 32768)),
    ROW(Yuv422ToSemiPlanar_8, true, const Yuv c = Read422_8(s, y, x, false); t.SetB(0, y, x, c.y);
        t.SetB(1, y, x, x % 2 == 0 ? c.v : c.u)),
    ROW(SemiPlanarToYuv422_8, true, t.SetB(0, y, 2 * x, s.B(0, y, x));
        t.SetB(0, y, 2 * x + 1, s.B(1, y, x - x % 2 + (x % 2 == 0 ? 1 : 0)))),
    ROW(Yuv422ToRgb_8, true, WriteBgr(t, y, x, YuvToRgb8(Read422_8(s, y, x, false)))),
    ROW(Yuv422ToRgb_10, true, WriteBgr(t, y, x, YuvToRgb10(Read422_10(s, y, x, false)))),
    ROW(Yuv444ToRgb_8, true, WriteBgr(t, y, x, YuvToRgb8(Read444(s, y, x, 1, false)))),
    ROW(Yuva444ToRgb_8, true, WriteBgr(t, y, x, YuvToRgb8(Read444(s, y, x, 1, true)))),
    ROW(Yuva444ToRgb_16, true, const Yuv c = Read444(s, y, x, 2, true);
        WriteBgr(t, y, x, YuvToRgb10({c.y / 64, c.u / 64, c.v / 64, 0}))),
    ROW(RgbToYuv422_8, true, const Yuv c = RgbToYuv8(ReadBgr(s, y, x)), n = RgbToYuv8(ReadBgr(s, y, x ^ 1));
        t.SetB(0, y, 2 * x, c.y);
        t.SetB(0, y, 2 * x + 1, x % 2 == 0 ? (c.u % 256 + n.u % 256) / 2 : (c.v % 256 + n.v % 256) / 2)),
    ROW(RgbToYuv422_10, true, const Yuv c = RgbToYuv10(ReadBgr(s, y, x)), n = RgbToYuv10(ReadBgr(s, y, x ^ 1));
        t.SetW(0, y, 4 * x, c.y); t.SetW(0, y, 4 * x + 2, x % 2 == 0 ? (c.u + n.u) / 2 : (c.v + n.v) / 2)),
    ROW(RgbToYuv444_8, true, Write444(t, y, x, 1, false, RgbToYuv8(ReadBgr(s, y, x)))),
    ROW(RgbToYuva444_8, true, Write444(t, y, x, 1, true, RgbToYuv8(ReadBgr(s, y, x)))),
    ROW(Yuv422ToMono_8, true, t.SetB(0, y, x, Read422_8(s, y, x, false).y)),
    ROW(Yuv422ToMono_10, true, t.SetB(0, y, x, Read422_10(s, y, x, false).y / 4)),
    ROW(Yuv444ToMono_8, false, t.SetB(0, y, x, Read444(s, y, x, 1, false).y)),
    ROW(Yuva444ToMono_8, false, t.SetB(0, y, x, Read444(s, y, x, 1, true).y)),
    ROW(Yuv444ToMono_16, false, t.SetB(0, y, x, Read444(s, y, x, 2, false).y / 256)),
    ROW(Yuva444ToMono_16, false, t.SetB(0, y, x, Read444(s, y, x, 2, true).y / 256)),
    ROW(Rgb8ToMono, false, t.SetB(0, y, x, Grey(s, y, x, 3, 1, kBgr))),
    ROW(Rgba8ToMono, false, t.SetB(0, y, x, Grey(s, y, x, 4, 1, kBgr))),
    ROW(Argb8ToMono, false, t.SetB(0, y, x, Grey(s, y, x, 4, 1, kArgb))),
    ROW(Rgba16ToMono, false, t.SetB(0, y, x, Grey(s, y, x, 4, 2, kBgr))),
    ROW(Argb16ToMono, false, t.SetB(0, y, x, Grey(s, y, x, 4, 2, kArgb))),
    ROW(RgbaFloatToMono, false,
        const float v = (s.F(y, 16 * x) + 2.0f * s.F(y, 16 * x + 4) + s.F(y, 16 * x + 8)) * 63.75f;
        t.SetB(0, y, x, std::isnan(v) ? 0 : static_cast<int>(std::fmin(std::fmax(v, 0.0f), 255.0f)))),
    ROW(Rgba8ToRgb8, false, Repack(s, t, y, x, 4, 1, 3, 1, false)),
    ROW(Expand3To4_8, false, Repack(s, t, y, x, 3, 1, 4, 1, false)),
    ROW(Expand3To4_16, false, Repack(s, t, y, x, 3, 2, 4, 2, false)),
    ROW(Rgb16ToRgb8, false, Repack(s, t, y, x, 3, 2, 3, 1, false)),
    ROW(Rgb8ToRgb16, false, Repack(s, t, y, x, 3, 1, 3, 2, false)),
    ROW(Rgba16ToRgba8, false, Repack(s, t, y, x, 4, 2, 4, 1, false)),
    ROW(Rgba8ToRgba16, false, Repack(s, t, y, x, 4, 1, 4, 2, false)),
    ROW(ReverseExpand8To16, false, Repack(s, t, y, x, 4, 1, 4, 2, true)),
    ROW(ReverseShrink16To8, false, Repack(s, t, y, x, 4, 2, 4, 1, true)),
    ROW(Reverse8, false, Repack(s, t, y, x, 4, 1, 4, 1, true)),
};
#undef ROW

const Entry* Find(ConvertionCopyKernel kernel) {
  for (const Entry& e : kEntries)
    if (e.kernel == kernel) return &e;
  return nullptr;
}

}  // namespace

FormatBytes BytesOf(const GUID& f) {
  if (Is(f, MediaFormat_YUV422Packed8)) return {1, {2, 0}};
  if (Is(f, MediaFormat_YUVA422Packed8)) return {2, {2, 2}};
  if (Is(f, MediaFormat_YUV422Packed10)) return {1, {4, 0}};
  if (Is(f, MediaFormat_YUVA422Packed10)) return {2, {4, 2}};
  if (Is(f, MediaFormat_YUV422SemiPlanar8)) return {2, {1, 1}};
  if (Is(f, MediaFormat_YUV444_8) || Is(f, MediaFormat_RGB8)) return {1, {3, 0}};
  if (Is(f, MediaFormat_YUVA444_8) || Is(f, MediaFormat_RGBA8) || Is(f, MediaFormat_RGBA8Alt) ||
      Is(f, MediaFormat_RGBX8) || Is(f, MediaFormat_ARGB8))
    return {1, {4, 0}};
  if (Is(f, MediaFormat_YUV444_16) || Is(f, MediaFormat_RGB16)) return {1, {6, 0}};
  if (Is(f, MediaFormat_YUVA444_16) || Is(f, MediaFormat_RGBA16) || Is(f, MediaFormat_RGBA16Alt) ||
      Is(f, MediaFormat_ARGB16))
    return {1, {8, 0}};
  if (Is(f, MediaFormat_RGBAFloat) || Is(f, MediaFormat_RGBAFloatAlt)) return {1, {16, 0}};
  if (Is(f, MediaFormat_Mono8)) return {1, {1, 0}};
  return {0, {0, 0}};
}

bool Convert(ConvertionCopyKernel kernel, const CpuVidFrameMemory& source, const CpuVidFrameMemory& target) {
  if (kernel == IdenticalCopy || kernel == SameLayoutCopy) {
    // Each plane's whole row (pixels times bytes per pixel), row by row.
    const FormatBytes bytes = BytesOf(source.format);
    for (int k = 0; k < bytes.planes; ++k)
      for (int y = 0; y < source.height; ++y)
        std::memcpy(target.planes[k].data + y * target.planes[k].pitch,
                    source.planes[k].data + y * source.planes[k].pitch,
                    static_cast<size_t>(source.width) * bytes.bytes[k]);
    return true;
  }
  const Entry* e = Find(kernel);
  if (e == nullptr) return false;
  const Frame s{source}, t{target};
  const int width = e->pairs ? source.width - source.width % 2 : source.width;
  for (int y = 0; y < source.height; ++y)
    for (int x = 0; x < width; ++x) e->pixel(s, t, y, x);
  return true;
}

const char* NameOf(ConvertionCopyKernel kernel) {
  if (kernel == IdenticalCopy) return "IdenticalCopy";
  if (kernel == SameLayoutCopy) return "SameLayoutCopy";
  const Entry* e = Find(kernel);
  return e ? e->name : "?";
}

TestFrame::TestFrame(const GUID& format, int32_t width, int32_t height, int32_t padding, uint8_t fill) {
  record.format = format;
  record.width = width;
  record.height = height;
  const FormatBytes bytes = BytesOf(format);
  for (int k = 0; k < bytes.planes; ++k) {
    const int64_t pitch = int64_t{width} * bytes.bytes[k] + padding;
    planes[k].assign(static_cast<size_t>(pitch * height), fill);
    record.planes[k].data = planes[k].data();
    record.planes[k].pitch = pitch;
  }
}

void TestFrame::FillRandom(uint32_t seed) {
  std::mt19937 random(seed);
  const bool floats = Is(record.format, MediaFormat_RGBAFloat) || Is(record.format, MediaFormat_RGBAFloatAlt);
  std::uniform_real_distribution<float> spread(-1.0f, 3.0f);
  for (auto& plane : planes) {
    if (floats) {
      for (size_t i = 0; i + 4 <= plane.size(); i += 4) {
        const float v = spread(random);
        std::memcpy(&plane[i], &v, 4);
      }
    } else {
      for (auto& b : plane) b = static_cast<uint8_t>(random());
    }
  }
}

std::string FirstDifference(const TestFrame& actual, const TestFrame& expected) {
  for (int k = 0; k < 2; ++k) {
    for (size_t i = 0; i < actual.planes[k].size() && i < expected.planes[k].size(); ++i) {
      if (actual.planes[k][i] != expected.planes[k][i]) {
        const int64_t pitch = actual.record.planes[k].pitch;
        char text[160];
        std::snprintf(text, sizeof(text), "plane %d row %lld byte %lld: got %d, expected %d", k,
                      static_cast<long long>(i / pitch), static_cast<long long>(i % pitch), actual.planes[k][i],
                      expected.planes[k][i]);
        return text;
      }
    }
  }
  return "no difference";
}

}  // namespace reference
