// Pictures of A8R8G8B8 pixels as the suites read them back, one comparison of them with what a
// reference says, and CPU references of what Direct3D's samplers give.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include <d3d9.h>
#include <gtest/gtest.h>

namespace vmdxtest {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows top to bottom
  uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
  // The colour without the byte an X8R8G8B8 picture leaves undefined.
  uint32_t Rgb(int x, int y) const { return At(x, y) & 0xFFFFFF; }
};

// Per-channel distance of two A8R8G8B8 pixels (the largest of the four).
inline int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8)
    worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
  return worst;
}

// The pixels of picture inside area (the whole picture when area is empty) whose channels under
// mask lie more than tolerance from want(x, y); want may answer std::nullopt for a pixel it
// cannot tell. The first three are reported as failures.
struct PixelCheck {
  int compared = 0, wrong = 0;
};
template <class Want>
PixelCheck ComparePixels(const Picture& picture, Want&& want, int tolerance = 0, uint32_t mask = 0xFFFFFFFF,
                         RECT area = {}) {
  if (area.right == 0) area = {0, 0, picture.width, picture.height};
  PixelCheck check;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      const std::optional<uint32_t> expected = want(x, y);
      if (!expected) continue;
      ++check.compared;
      if (ChannelDistance(picture.At(x, y) & mask, *expected & mask) > tolerance && check.wrong++ < 3)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << picture.At(x, y) << ", expected "
                      << *expected;
    }
  return check;
}
template <class Want>
int WrongPixels(const Picture& picture, Want&& want, int tolerance = 0, uint32_t mask = 0xFFFFFFFF, RECT area = {}) {
  return ComparePixels(picture, want, tolerance, mask, area).wrong;
}
// The reference of a picture of one colour.
inline auto Everywhere(uint32_t pixel) {
  return [pixel](int, int) { return pixel; };
}

// A pixel with channels in 0..1.
struct Color {
  double r = 0, g = 0, b = 0, a = 0;
};
inline Color operator+(Color x, Color y) { return {x.r + y.r, x.g + y.g, x.b + y.b, x.a + y.a}; }
inline Color operator*(double s, Color x) { return {s * x.r, s * x.g, s * x.b, s * x.a}; }
inline Color Unpack(uint32_t p) {
  return {((p >> 16) & 0xFF) / 255.0, ((p >> 8) & 0xFF) / 255.0, (p & 0xFF) / 255.0, (p >> 24) / 255.0};
}
inline uint32_t Pack(Color c) {
  auto q = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return q(c.a) << 24 | q(c.r) << 16 | q(c.g) << 8 | q(c.b);
}

// Texel i of n through a wrap, mirror or clamp address mode.
inline int Fold(int i, int n, D3DTEXTUREADDRESS address) {
  switch (address) {
    case D3DTADDRESS_WRAP:
      return ((i % n) + n) % n;
    case D3DTADDRESS_MIRROR: {
      const int k = ((i % (2 * n)) + 2 * n) % (2 * n);
      return k < n ? k : 2 * n - 1 - k;
    }
    default:
      return std::clamp(i, 0, n - 1);
  }
}

// Texel (x, y) as a sampler with address mode and border colour reads it.
inline uint32_t Texel(const Picture& t, int x, int y, D3DTEXTUREADDRESS address = D3DTADDRESS_BORDER,
                      uint32_t border = 0) {
  if (address == D3DTADDRESS_BORDER && (x < 0 || y < 0 || x >= t.width || y >= t.height)) return border;
  return t.At(Fold(x, t.width, address), Fold(y, t.height, address));
}

// Point sampling at (u, v).
inline uint32_t SamplePoint(const Picture& t, double u, double v, D3DTEXTUREADDRESS address = D3DTADDRESS_BORDER,
                            uint32_t border = 0) {
  return Texel(t, int(std::floor(u * t.width)), int(std::floor(v * t.height)), address, border);
}

// Linear filtering at (u, v). spread (may be null) gets the largest channel difference between
// the four texels blended.
inline Color SampleLinear(const Picture& t, double u, double v, D3DTEXTUREADDRESS address = D3DTADDRESS_BORDER,
                          uint32_t border = 0, double* spread = nullptr) {
  const double x = u * t.width - 0.5, y = v * t.height - 0.5;
  const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  const double fx = x - x0, fy = y - y0;
  auto at = [&](int dx, int dy) { return Unpack(Texel(t, x0 + dx, y0 + dy, address, border)); };
  const Color c00 = at(0, 0), c10 = at(1, 0), c01 = at(0, 1), c11 = at(1, 1);
  if (spread != nullptr) {
    *spread = 0;
    for (double Color::*m : {&Color::r, &Color::g, &Color::b, &Color::a})
      *spread =
          std::max(*spread, std::max({c00.*m, c10.*m, c01.*m, c11.*m}) - std::min({c00.*m, c10.*m, c01.*m, c11.*m}));
  }
  return (1 - fy) * ((1 - fx) * c00 + fx * c10) + fy * ((1 - fx) * c01 + fx * c11);
}

}  // namespace vmdxtest
