// The built-in 360-degree clips: an equirectangular test sphere, 2:1 per eye, as one picture or
// as two eyes packed side by side or one above the other.
//
// Longitude runs from -180 degrees at the left edge to +180 at the right, 0 (north, "N") in the
// middle and east ("E", 90) at three quarters of the width; elevation from +90 at the top to -90
// at the bottom. The sky is tinted by direction (north blue, east amber, south green, west
// violet), the ground is a darker tint of the same, a grid marks every 15 degrees (every 45 and
// the equator in black), the caps above 75 degrees are red (north pole) and below -75 blue (south
// pole). The cardinal letters stand above the equator, the bearings 0..315 below it, and the
// frame number under "N". In the stereo pictures the labels are a near layer: the left eye sees
// them kSphereLabelDisparity / 2 degrees further east, the right eye as far further west, and
// each eye carries its letter ("L", "R") above every cardinal letter.
#pragma once
#include <cstdint>

#include "DecodedPicture.h"

namespace vmedia {

enum class PatternPacking { Mono, LeftRight, TopBottom };

constexpr double kSphereLabelDisparity = 2.0;  // degrees of longitude between the eyes' labels
constexpr double kSpherePoleCap = 75.0;        // elevation where the coloured caps begin

class SpherePattern {
 public:
  explicit SpherePattern(PatternPacking packing) : packing_(packing) {}
  // Frame n at width x height; the still part is drawn once per size.
  DecodedPicture Render(int64_t frame, int32_t width, int32_t height);

 private:
  PatternPacking packing_;
  DecodedPicture still_;
};

}  // namespace vmedia
