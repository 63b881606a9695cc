// Lens files of vmdx lens: the source and target lens models, the matrix between them and the
// offset, one "key values..." line each ('#' starts a comment). The keys:
//
//   source.type    none | rectilinear | radial      required
//   source.center  X Y      optical centre, source pixels (0 is the first pixel's centre)   required
//   source.focal   FX FY    pixels per unit of the undistorted plane                         required
//   source.scale   SX SY    extra scale of the plane (1 1)
//   source.k0, source.k1    the radial model r_d = K1 r / sqrt(1 + K0^2 r^2)  (radial: required)
//   source.flags   N        (0)
//   target.*       the same for the wanted view; the view is centred on the source's centre
//                  and measured in source pixels, so target.scale sets its field of view
//   matrix         m00 m01 m02 m10 m11 m12 m20 m21 m22    row-major (identity)
//   rotate         YAW PITCH ROLL   degrees, the matrix of a turned view (instead of matrix)
//   offset         X Y      shift in the target's plane before the matrix (0 0)
//   view.size      W H      the view's size when the command line gives none
#pragma once
#include <cstdint>
#include <string>

#include "VodideDX9FisheyeRectify.h"

struct LensFile {
  FisheyeRectifyParams params;
  uint32_t viewWidth = 0, viewHeight = 0;  // 0: not given
};

// Parses text (name is used in messages). Refuses what would make a map the shaders cannot
// draw or a pole in its arithmetic (a zero focal length or scale, K1 = 0 on a radial lens, an
// unsupported pair of lens types). On failure error says why, naming the line where there is one.
bool ParseLensFile(const std::string& text, const std::string& name, LensFile* lens, std::string* error);
bool ReadLensFile(const std::string& path, LensFile* lens, std::string* error);
