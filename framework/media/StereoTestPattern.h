// The built-in flat stereo clips: a pair of square eye pictures with known disparities, packed
// side by side or one above the other.
//
// Each eye shows a checkerboard at zero disparity (the screen plane), a grey disc behind it and a
// white square in front of it, the eye's letter ("L", "R") at the upper left and the frame number
// below the square, all within the middle half of the rows. Disparity is the left eye's position
// minus the right eye's: the square's is +StereoPatternDisparity(eye width) (crossed, in front),
// the disc's minus half of that (behind).
#pragma once
#include <cstdint>

#include "DecodedPicture.h"
#include "SphereTestPattern.h"

namespace vmedia {

int32_t StereoPatternDisparity(int32_t eyeWidth);

class StereoPattern {
 public:
  explicit StereoPattern(PatternPacking packing) : packing_(packing) {}
  DecodedPicture Render(int64_t frame, int32_t width, int32_t height);

 private:
  PatternPacking packing_;
};

}  // namespace vmedia
