#include "SphereTestPattern.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "PatternGlyphs.h"

namespace vmedia {
namespace {

constexpr PatternColor kSky[4] = {{120, 170, 255}, {255, 200, 110}, {140, 220, 140}, {210, 150, 240}};
constexpr PatternColor kGround[4] = {{50, 75, 120}, {120, 90, 40}, {55, 100, 55}, {95, 60, 110}};
constexpr PatternColor kNorthCap = {220, 50, 50};
constexpr PatternColor kSouthCap = {40, 70, 220};
constexpr PatternColor kMinorLine = {60, 60, 60};
constexpr PatternColor kMajorLine = {0, 0, 0};
constexpr PatternColor kInk = {0, 0, 0};
constexpr PatternColor kPaper = {255, 255, 255};

// 0 no line, 1 a 15-degree line, 2 a 45-degree line or the equator / prime meridian. halfWidth
// is half a minor line's width in degrees.
int LineClass(double degrees, double halfWidth) {
  const double nearest = std::round(degrees / 15) * 15;
  const double distance = std::abs(degrees - nearest);
  const bool major = std::fmod(std::abs(nearest), 45) == 0;
  return distance < (major ? 2 : 1) * halfWidth ? (major ? 2 : 1) : 0;
}

int32_t Column(double longitude, int32_t width) {
  return static_cast<int32_t>(std::lround((longitude / 360 + 0.5) * width));
}
int32_t Row(double elevation, int32_t height) {
  return static_cast<int32_t>(std::lround((0.5 - elevation / 180) * height));
}

// Text centred at a longitude, drawn a second time across the seam when it straddles it.
void Label(DecodedPicture& eye, const std::string& text, double longitude, double elevation, int32_t scale,
           PatternColor ink, PatternColor paper) {
  const int32_t x = Column(longitude, eye.width), y = Row(elevation, eye.height);
  for (int32_t wrap : {-eye.width, 0, eye.width}) DrawPatternText(eye, text.c_str(), x + wrap, y, scale, ink, paper);
}

int32_t TextScale(int32_t height, int32_t parts) { return std::max(1, height / parts); }

// One eye's still picture; shift moves the label layer east (degrees), letter names the eye.
DecodedPicture RenderEye(int32_t width, int32_t height, double shift, const char* letter) {
  DecodedPicture eye;
  eye.width = width;
  eye.height = height;
  eye.color = PictureColor::Rgb;
  eye.samples.resize(static_cast<size_t>(width) * height);
  const double halfLine = std::max(1.0, width / 1024.0) * 180.0 / width;  // half a minor line, degrees
  std::vector<int> columnLine(static_cast<size_t>(width));
  std::vector<int> sector(static_cast<size_t>(width));
  for (int32_t x = 0; x < width; ++x) {
    const double longitude = ((x + 0.5) / width - 0.5) * 360;
    columnLine[x] = LineClass(longitude, halfLine);
    sector[x] = ((static_cast<int>(std::floor((longitude + 45) / 90)) % 4) + 4) % 4;
  }
  for (int32_t y = 0; y < height; ++y) {
    const double elevation = (0.5 - (y + 0.5) / height) * 180;
    const int rowLine = LineClass(elevation, halfLine);
    PictureSample* row = eye.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      const int line = std::max(rowLine, columnLine[x]);
      PatternColor c;
      if (line == 2) {
        c = kMajorLine;
      } else if (line == 1) {
        c = kMinorLine;
      } else if (elevation > kSpherePoleCap) {
        c = kNorthCap;
      } else if (elevation < -kSpherePoleCap) {
        c = kSouthCap;
      } else {
        c = elevation >= 0 ? kSky[sector[x]] : kGround[sector[x]];
      }
      row[x] = PatternSample(c);
    }
  }
  const char* const cardinal[4] = {"N", "E", "S", "W"};
  for (int i = 0; i < 4; ++i) {
    Label(eye, cardinal[i], i * 90 + shift, 12, TextScale(height, 90), kInk, kPaper);
    if (letter != nullptr) Label(eye, letter, i * 90 + shift, 30, TextScale(height, 150), kPaper, kInk);
  }
  for (int bearing = 0; bearing < 360; bearing += 45)
    Label(eye, std::to_string(bearing), bearing + shift, -8, TextScale(height, 180), kPaper, kInk);
  return eye;
}

void Blit(const DecodedPicture& from, DecodedPicture& to, int32_t left, int32_t top) {
  for (int32_t y = 0; y < from.height; ++y) std::copy(from.Row(y), from.Row(y) + from.width, to.Row(top + y) + left);
}

}  // namespace

DecodedPicture SpherePattern::Render(int64_t frame, int32_t width, int32_t height) {
  const bool lr = packing_ == PatternPacking::LeftRight, tb = packing_ == PatternPacking::TopBottom;
  const int32_t eyeWidth = lr ? width / 2 : width;
  const int32_t eyeHeight = tb ? height / 2 : height;
  if (still_.width != width || still_.height != height) {
    still_ = DecodedPicture{};
    still_.width = width;
    still_.height = height;
    still_.color = PictureColor::Rgb;
    still_.samples.assign(static_cast<size_t>(width) * height, PatternSample(kMajorLine));
    if (eyeWidth < 1 || eyeHeight < 1) {
      // No room for two eyes: black.
    } else if (packing_ == PatternPacking::Mono) {
      Blit(RenderEye(eyeWidth, eyeHeight, 0, nullptr), still_, 0, 0);
    } else {
      const double half = kSphereLabelDisparity / 2;
      Blit(RenderEye(eyeWidth, eyeHeight, half, "L"), still_, 0, 0);
      Blit(RenderEye(eyeWidth, eyeHeight, -half, "R"), still_, lr ? eyeWidth : 0, tb ? eyeHeight : 0);
    }
  }
  DecodedPicture picture = still_;
  // The frame number under "N" of each eye, on the eye's label layer.
  const std::string number = std::to_string(frame);
  const int32_t scale = TextScale(eyeHeight, 120);
  const int eyes = eyeWidth < 1 || eyeHeight < 1 ? 0 : packing_ == PatternPacking::Mono ? 1 : 2;
  for (int e = 0; e < eyes; ++e) {
    const double shift = eyes == 1 ? 0 : (e == 0 ? 1 : -1) * kSphereLabelDisparity / 2;
    const int32_t x = (lr && e == 1 ? eyeWidth : 0) + Column(shift, eyeWidth);
    const int32_t y = (tb && e == 1 ? eyeHeight : 0) + Row(-25, eyeHeight);
    DrawPatternText(picture, number.c_str(), x, y, scale, kPaper, kInk);
  }
  return picture;
}

}  // namespace vmedia
