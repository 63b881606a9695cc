#include "PatternGlyphs.h"

#include <algorithm>
#include <cstring>

namespace vmedia {
namespace {

// One byte per row, bit 4 the leftmost column.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* Find(char c) {
  for (const Glyph& g : kGlyphs) {
    if (g.c == c) return &g;
  }
  return nullptr;
}

}  // namespace

PictureSample PatternSample(PatternColor c) {
  return {{static_cast<uint16_t>(c.r * 257), static_cast<uint16_t>(c.g * 257), static_cast<uint16_t>(c.b * 257)},
          0xFFFF};
}

void FillPatternRect(DecodedPicture& picture, int32_t left, int32_t top, int32_t right, int32_t bottom,
                     PatternColor color) {
  left = std::max(left, 0), top = std::max(top, 0);
  right = std::min(right, picture.width), bottom = std::min(bottom, picture.height);
  if (left >= right) return;  // wholly outside; the rows loop skips the same for top and bottom
  const PictureSample s = PatternSample(color);
  for (int32_t y = top; y < bottom; ++y) std::fill(picture.Row(y) + left, picture.Row(y) + right, s);
}

void DrawPatternText(DecodedPicture& picture, const char* text, int32_t centreX, int32_t centreY, int32_t scale,
                     PatternColor ink, PatternColor paper) {
  const int32_t count = static_cast<int32_t>(std::strlen(text));
  const int32_t advance = 6 * scale;
  const int32_t left = centreX - (advance * count - scale) / 2;
  const int32_t top = centreY - 7 * scale / 2;
  FillPatternRect(picture, left - scale, top - scale, left + advance * count, top + 8 * scale, paper);
  for (int32_t i = 0; i < count; ++i) {
    const Glyph* glyph = Find(text[i]);
    if (glyph == nullptr) continue;
    const int32_t x0 = left + advance * i;
    for (int32_t row = 0; row < 7; ++row) {
      for (int32_t col = 0; col < 5; ++col) {
        if (glyph->rows[row] & (0x10 >> col))
          FillPatternRect(picture, x0 + col * scale, top + row * scale, x0 + (col + 1) * scale, top + (row + 1) * scale,
                          ink);
      }
    }
  }
}

}  // namespace vmedia
