// The built-in clips' picture: colour bars over two thirds of the height, a grey ramp below, a
// box moving across the bars and the frame number in digits on the ramp.
#pragma once
#include "DecodedPicture.h"

namespace vmedia {

// Geometry shared with whoever checks the picture.
struct TestPatternLayout {
  int32_t barsHeight;  // rows 0 .. barsHeight - 1 hold the eight bars
  int32_t boxSize;     // the moving box is boxSize by boxSize
  int32_t boxTop;
  int32_t speed;       // box movement in pixels per frame
};
TestPatternLayout TestPatternLayoutFor(int32_t width, int32_t height);

// Left column of the box at a time counted in half frames (fields).
int32_t TestPatternBoxLeft(int32_t width, int32_t height, int64_t halfFrames);

// The picture of frame n. Interlaced: the rows of the second field (odd rows) show the moving
// box half a frame later than the rows of the first, as a camera filming fields would.
DecodedPicture RenderTestPattern(int32_t width, int32_t height, int64_t frame, bool interlaced);

}  // namespace vmedia
