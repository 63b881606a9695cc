// Drawing helpers of the built-in 360-degree and stereo clips: flat colours, rectangles and a
// 5 x 7 pixel font for digits and the letters the clips label things with.
#pragma once
#include <cstdint>

#include "DecodedPicture.h"

namespace vmedia {

struct PatternColor {
  uint8_t r, g, b;
};

PictureSample PatternSample(PatternColor c);

// Fills [left, right) x [top, bottom), clipped to the picture.
void FillPatternRect(DecodedPicture& picture, int32_t left, int32_t top, int32_t right, int32_t bottom,
                     PatternColor color);

// Draws text (digits, space and the letters E, L, N, R, S, W) in cells of scale pixels, centred
// on (centreX, centreY); each glyph gets a one-cell margin of paper around its ink.
void DrawPatternText(DecodedPicture& picture, const char* text, int32_t centreX, int32_t centreY, int32_t scale,
                     PatternColor ink, PatternColor paper);

}  // namespace vmedia
