#include "TestPattern.h"

#include <algorithm>
#include <string>

namespace vmedia {
namespace {

struct Rgb8 {
  uint8_t r, g, b;
};

// Full-intensity bars, left to right.
constexpr Rgb8 kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                           {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
constexpr Rgb8 kBoxFill = {128, 128, 128};
constexpr Rgb8 kInk = {0, 0, 0};
constexpr Rgb8 kPaper = {255, 255, 255};

// 5 x 7 digits, one byte per row, bit 4 the leftmost column.
constexpr uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

PictureSample Sample(Rgb8 c) {
  return {{static_cast<uint16_t>(c.r * 257), static_cast<uint16_t>(c.g * 257), static_cast<uint16_t>(c.b * 257)},
          0xFFFF};
}

void FillRect(DecodedPicture& p, int32_t left, int32_t top, int32_t right, int32_t bottom, Rgb8 c,
              int parity /* -1 all rows, 0 even, 1 odd */) {
  left = std::max(left, 0), top = std::max(top, 0);
  right = std::min(right, p.width), bottom = std::min(bottom, p.height);
  if (right <= left) return;  // wholly off the picture (small sizes): nothing to fill
  const PictureSample s = Sample(c);
  for (int32_t y = top; y < bottom; ++y) {
    if (parity >= 0 && (y & 1) != parity) continue;
    std::fill(p.Row(y) + left, p.Row(y) + right, s);
  }
}

void DrawBox(DecodedPicture& p, const TestPatternLayout& layout, int32_t left, int parity) {
  const int32_t top = layout.boxTop, size = layout.boxSize;
  const int32_t border = std::max(1, size / 24);
  FillRect(p, left, top, left + size, top + size, kInk, parity);
  FillRect(p, left + border, top + border, left + size - border, top + size - border, kBoxFill, parity);
}

void DrawNumber(DecodedPicture& p, int64_t number, int32_t barsHeight) {
  const std::string digits = std::to_string(number);
  const int32_t scale = std::max(1, p.height / 96);
  const int32_t advance = 6 * scale;
  const int32_t left = std::max(1, p.width / 32);
  const int32_t top = barsHeight + std::max(0, (p.height - barsHeight - 7 * scale) / 2);
  FillRect(p, left - scale, top - scale, left + advance * static_cast<int32_t>(digits.size()) + scale,
           top + 8 * scale, kPaper, -1);
  for (size_t i = 0; i < digits.size(); ++i) {
    const uint8_t* glyph = kDigits[digits[i] - '0'];
    const int32_t x0 = left + advance * static_cast<int32_t>(i);
    for (int32_t row = 0; row < 7; ++row) {
      for (int32_t col = 0; col < 5; ++col) {
        if (glyph[row] & (0x10 >> col))
          FillRect(p, x0 + col * scale, top + row * scale, x0 + (col + 1) * scale, top + (row + 1) * scale, kInk, -1);
      }
    }
  }
}

}  // namespace

TestPatternLayout TestPatternLayoutFor(int32_t width, int32_t height) {
  TestPatternLayout layout{};
  layout.barsHeight = height * 2 / 3;
  layout.boxSize = std::max(2, std::min(width / 4, height / 8));
  layout.boxTop = std::max(0, layout.barsHeight / 2 - layout.boxSize / 2 + layout.barsHeight / 8);
  layout.speed = std::max(2, width / 45);
  return layout;
}

int32_t TestPatternBoxLeft(int32_t width, int32_t height, int64_t halfFrames) {
  const TestPatternLayout layout = TestPatternLayoutFor(width, height);
  const int64_t travel = std::max<int64_t>(1, width - layout.boxSize);
  return static_cast<int32_t>(halfFrames * layout.speed / 2 % travel);
}

DecodedPicture RenderTestPattern(int32_t width, int32_t height, int64_t frame, bool interlaced) {
  DecodedPicture p;
  p.width = width;
  p.height = height;
  p.color = PictureColor::Rgb;
  p.samples.resize(static_cast<size_t>(width) * height);
  const TestPatternLayout layout = TestPatternLayoutFor(width, height);

  for (int32_t i = 0; i < 8; ++i)
    FillRect(p, static_cast<int32_t>(int64_t{width} * i / 8), 0, static_cast<int32_t>(int64_t{width} * (i + 1) / 8),
             layout.barsHeight, kBars[i], -1);
  for (int32_t y = layout.barsHeight; y < height; ++y) {
    PictureSample* row = p.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t v = static_cast<uint8_t>(width > 1 ? int64_t{x} * 255 / (width - 1) : 0);
      row[x] = Sample({v, v, v});
    }
  }
  if (interlaced) {
    DrawBox(p, layout, TestPatternBoxLeft(width, height, 2 * frame), 0);
    DrawBox(p, layout, TestPatternBoxLeft(width, height, 2 * frame + 1), 1);
  } else {
    DrawBox(p, layout, TestPatternBoxLeft(width, height, 2 * frame), -1);
  }
  DrawNumber(p, frame, layout.barsHeight);
  return p;
}

}  // namespace vmedia
