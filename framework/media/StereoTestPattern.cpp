#include "StereoTestPattern.h"

#include <algorithm>
#include <string>

#include "PatternGlyphs.h"

namespace vmedia {
namespace {

constexpr PatternColor kTileLight = {190, 190, 170};
constexpr PatternColor kTileDark = {120, 130, 150};
constexpr PatternColor kDisc = {90, 90, 90};
constexpr PatternColor kRing = {235, 235, 235};
constexpr PatternColor kSquare = {250, 250, 250};
constexpr PatternColor kInk = {0, 0, 0};
constexpr PatternColor kPaper = {255, 255, 255};

// A disc clipped to the eye's w x h rectangle at (left, top).
void Disc(DecodedPicture& p, int32_t left, int32_t top, int32_t w, int32_t h, int32_t cx, int32_t cy, int32_t radius,
          PatternColor color) {
  for (int32_t y = std::max(0, cy - radius); y <= cy + radius && y < h; ++y) {
    for (int32_t x = std::max(0, cx - radius); x <= cx + radius && x < w; ++x) {
      const int64_t dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy <= int64_t{radius} * radius) p.Row(top + y)[left + x] = PatternSample(color);
    }
  }
}

// One eye into the rectangle at (left, top); sign is +1 for the left eye, -1 for the right.
void DrawEye(DecodedPicture& p, int32_t left, int32_t top, int32_t w, int32_t h, int sign, int64_t frame) {
  const int32_t tile = std::max(1, w / 16);
  for (int32_t y = 0; y < h; ++y) {
    PictureSample* row = p.Row(top + y) + left;
    for (int32_t x = 0; x < w; ++x) row[x] = PatternSample(((x / tile + y / tile) & 1) ? kTileDark : kTileLight);
  }
  const int32_t d = StereoPatternDisparity(w);
  // Behind: at -d / 2, half to each eye.
  const int32_t discX = w * 3 / 10 - sign * d / 4, discY = h / 2, radius = std::max(2, w / 10);
  Disc(p, left, top, w, h, discX, discY, radius, kRing);
  Disc(p, left, top, w, h, discX, discY, radius * 4 / 5, kDisc);
  // In front: at +d.
  const int32_t side = std::max(4, w / 5), border = std::max(1, side / 24);
  const int32_t squareLeft = w * 3 / 5 - side / 2 + sign * d / 2, squareTop = h / 2 - side / 2;
  FillPatternRect(p, left + squareLeft, top + squareTop, left + squareLeft + side, top + squareTop + side, kInk);
  FillPatternRect(p, left + squareLeft + border, top + squareTop + border, left + squareLeft + side - border,
                  top + squareTop + side - border, kSquare);
  const int32_t scale = std::max(1, h / 60);
  DrawPatternText(p, sign > 0 ? "L" : "R", left + w / 8, top + h * 5 / 16, scale, kPaper, kInk);
  DrawPatternText(p, std::to_string(frame).c_str(), left + w / 2, top + h * 11 / 16, std::max(1, h / 120), kInk,
                  kPaper);
}

}  // namespace

int32_t StereoPatternDisparity(int32_t eyeWidth) { return std::max(2, eyeWidth / 32); }

DecodedPicture StereoPattern::Render(int64_t frame, int32_t width, int32_t height) {
  DecodedPicture p;
  p.width = width;
  p.height = height;
  p.color = PictureColor::Rgb;
  p.samples.assign(static_cast<size_t>(width) * height, PatternSample(kInk));
  const bool lr = packing_ != PatternPacking::TopBottom;
  const int32_t w = lr ? width / 2 : width, h = lr ? height : height / 2;
  if (w < 1 || h < 1) return p;  // no room for two eyes: black
  DrawEye(p, 0, 0, w, h, +1, frame);
  DrawEye(p, lr ? w : 0, lr ? 0 : h, w, h, -1, frame);
  return p;
}

}  // namespace vmedia
