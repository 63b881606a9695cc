#include "FisheyeScene.h"

#include <algorithm>
#include <cmath>

namespace vmedia {
namespace {

// The wall's pattern, in wall units (one unit is the distance to the camera).
constexpr double kCell = 0.25;            // grid spacing
constexpr double kGridHalfWidth = 0.004;  // half the width of a grid line
constexpr double kLineHalfWidth = 0.006;  // half the width of the two long lines
constexpr double kGlyphPixel = kCell / 24;
constexpr double kLabelInset = kCell * 0.12;
// Drift per frame: slow enough to follow, never repeating within the clip.
constexpr double kDriftX = 0.004;
constexpr double kDriftY = 0.0015;

struct Rgb {
  double r, g, b;
};
constexpr Rgb kPaperA = {245, 245, 240};
constexpr Rgb kPaperB = {200, 214, 232};
constexpr Rgb kGridInk = {40, 40, 40};
constexpr Rgb kLabelInk = {0, 0, 0};
constexpr Rgb kRedLine = {220, 30, 30};
constexpr Rgb kBlueLine = {30, 60, 220};

// The long lines: a point on each and its direction (unit vector).
struct WallLine {
  double x, y, dx, dy;
  Rgb ink;
};
const WallLine kLines[2] = {
    {-0.1, 0.0, 0.8660254037844386, 0.5, kRedLine},   // 30 degrees down to the right
    {0.3, 0.2, 0.5, -0.8660254037844386, kBlueLine},  // 60 degrees up to the right
};

// 5 x 7 glyphs, one byte per row, bit 4 the leftmost column: A to Z, then 0 to 9.
constexpr uint8_t kLetters[26][7] = {
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}, {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E},
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}, {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}, {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}, {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}, {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}, {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}, {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}, {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},
};
constexpr uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

int64_t PositiveModulo(int64_t value, int64_t n) { return ((value % n) + n) % n; }

// Share of a pixel [d - footprint/2, d + footprint/2] that a band [-halfWidth, halfWidth] covers.
double BandCoverage(double d, double halfWidth, double footprint) {
  const double overlap = std::min(d + footprint / 2, halfWidth) - std::max(d - footprint / 2, -halfWidth);
  return std::clamp(overlap / footprint, 0.0, 1.0);
}

Rgb Mix(const Rgb& under, const Rgb& over, double amount) {
  return {under.r + (over.r - under.r) * amount, under.g + (over.g - under.g) * amount,
          under.b + (over.b - under.b) * amount};
}

// Whether the cell's label ("C4": column letter, row digit) inks the point (x, y) of the cell,
// measured from the cell's top left corner.
bool LabelInk(int64_t column, int64_t row, double x, double y) {
  const int64_t gx = static_cast<int64_t>(std::floor((x - kLabelInset) / kGlyphPixel));
  const int64_t gy = static_cast<int64_t>(std::floor((y - kLabelInset) / kGlyphPixel));
  if (gy < 0 || gy >= 7 || gx < 0 || gx >= 11 || gx == 5) return false;
  const uint8_t* glyph = gx < 5 ? kLetters[PositiveModulo(column, 26)] : kDigits[PositiveModulo(row, 10)];
  const int64_t col = gx < 5 ? gx : gx - 6;
  return (glyph[gy] & (0x10 >> col)) != 0;
}

// The wall's colour around a point, box-filtered over footprint wall units.
Rgb WallColor(double x, double y, double footprint) {
  const int64_t column = static_cast<int64_t>(std::floor(x / kCell));
  const int64_t row = static_cast<int64_t>(std::floor(y / kCell));
  const double inX = x - column * kCell, inY = y - row * kCell;
  // Detail finer than a pixel fades into the average, so the rim of the lens stays calm.
  const double fade = std::clamp((footprint - kCell / 4) / (kCell / 4), 0.0, 1.0);
  const Rgb average = Mix(Mix(kPaperA, kPaperB, 0.5), kGridInk, 4 * kGridHalfWidth / kCell);
  Rgb c = ((column + row) & 1) ? kPaperB : kPaperA;
  const double labelAlpha = std::clamp(2.0 - 2.0 * footprint / kGlyphPixel, 0.0, 1.0);
  if (labelAlpha > 0 && LabelInk(column, row, inX, inY)) c = Mix(c, kLabelInk, labelAlpha);
  const double gridX = BandCoverage(std::min(inX, kCell - inX), kGridHalfWidth, footprint);
  const double gridY = BandCoverage(std::min(inY, kCell - inY), kGridHalfWidth, footprint);
  c = Mix(c, kGridInk, std::max(gridX, gridY));
  c = Mix(c, average, fade);
  for (const WallLine& line : kLines) {
    const double distance = std::abs((x - line.x) * line.dy - (y - line.y) * line.dx);
    c = Mix(c, line.ink, BandCoverage(distance, kLineHalfWidth, footprint));
  }
  return c;
}

PictureSample ToSample(const Rgb& c) {
  auto channel = [](double v) { return static_cast<uint16_t>(std::lround(std::clamp(v, 0.0, 255.0) * 257.0)); };
  return {{channel(c.r), channel(c.g), channel(c.b)}, 0xFFFF};
}

bool SameCamera(const SceneCamera& a, const SceneCamera& b) {
  return a.radial == b.radial && a.centerX == b.centerX && a.centerY == b.centerY && a.focalX == b.focalX &&
         a.focalY == b.focalY;
}

}  // namespace

SceneCamera FisheyeClipCamera(int32_t width, int32_t height) {
  const double focal = std::min(width, height) / 2.0;
  return {true, (width - 1) / 2.0, (height - 1) / 2.0, focal, focal};
}

void FisheyeSceneRenderer::Prepare(int32_t width, int32_t height, const SceneCamera& camera) {
  if (width == width_ && height == height_ && SameCamera(camera, camera_) && !points_.empty()) return;
  points_.assign(static_cast<size_t>(width) * height, WallPoint{0, 0, 0});
  const double unit = 1.0 / std::min(camera.focalX, camera.focalY);
  for (int32_t py = 0; py < height; ++py) {
    for (int32_t px = 0; px < width; ++px) {
      const double dx = (px - camera.centerX) / camera.focalX;
      const double dy = (py - camera.centerY) / camera.focalY;
      WallPoint& point = points_[static_cast<size_t>(py) * width + px];
      if (!camera.radial) {
        point = {static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(unit)};
        continue;
      }
      // r = r_d / sqrt(1 - r_d^2); the wall stretches fastest along the radius, by
      // dr/dr_d = (1 - r_d^2)^(-3/2).
      const double rd2 = dx * dx + dy * dy;
      if (rd2 >= 1.0) continue;  // beyond 90 degrees: no wall
      const double stretch = 1.0 / std::sqrt(1.0 - rd2);
      point = {static_cast<float>(dx * stretch), static_cast<float>(dy * stretch),
               static_cast<float>(unit * stretch * stretch * stretch)};
    }
  }
  width_ = width;
  height_ = height;
  camera_ = camera;
}

DecodedPicture FisheyeSceneRenderer::Render(int32_t width, int32_t height, int64_t frame, const SceneCamera& camera) {
  Prepare(width, height, camera);
  DecodedPicture picture;
  picture.width = width;
  picture.height = height;
  picture.color = PictureColor::Rgb;
  picture.samples.resize(static_cast<size_t>(width) * height);
  const double driftX = kDriftX * static_cast<double>(frame), driftY = kDriftY * static_cast<double>(frame);
  const PictureSample black = ToSample({0, 0, 0});
  for (size_t i = 0; i < points_.size(); ++i) {
    const WallPoint& p = points_[i];
    picture.samples[i] = p.footprint > 0 ? ToSample(WallColor(p.x - driftX, p.y - driftY, p.footprint)) : black;
  }
  return picture;
}

}  // namespace vmedia
