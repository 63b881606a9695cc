// The built-in fisheye clip's picture: a flat wall one unit in front of the camera, covered
// with a labelled grid (column letter, row digit in every cell) and two long straight lines,
// all drifting slowly. The clip sees it through a 180-degree radial lens; the same scene seen
// through a rectilinear camera is what a rectified view of the clip must look like.
#pragma once
#include <vector>

#include "DecodedPicture.h"

namespace vmedia {

// A camera looking straight at the wall. A point (X, Y) of the wall (the undistorted plane)
// shows at pixel centre + focal * d, where pixel indices count from 0 at the first pixel's
// centre and d = (X, Y) for a rectilinear camera, d = (X, Y) / sqrt(1 + X^2 + Y^2) for the
// radial lens (r_d = K1 r / sqrt(1 + K0^2 r^2) with K0 = K1 = 1): the wall fills the circle of
// radius focal, whose rim is 90 degrees off the axis.
struct SceneCamera {
  bool radial = false;
  double centerX = 0, centerY = 0;  // pixels
  double focalX = 1, focalY = 1;    // pixels per unit
};

// The clip's lens at a size: centred, the 180-degree circle touching the shorter sides.
SceneCamera FisheyeClipCamera(int32_t width, int32_t height);

// Renders frames of the scene; keeps the per-pixel geometry of the last size and camera, so a
// run of frames costs only the pattern.
class FisheyeSceneRenderer {
 public:
  DecodedPicture Render(int32_t width, int32_t height, int64_t frame, const SceneCamera& camera);

 private:
  struct WallPoint {
    float x, y;       // where the pixel's centre meets the wall
    float footprint;  // wall units one pixel spans (0: the pixel sees no wall)
  };
  void Prepare(int32_t width, int32_t height, const SceneCamera& camera);

  int32_t width_ = 0, height_ = 0;
  SceneCamera camera_{};
  std::vector<WallPoint> points_;
};

}  // namespace vmedia
