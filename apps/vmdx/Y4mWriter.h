// Frames as a Y4M stream (`--out -`): 4:4:4 or 4:2:0 in 8 or 16 bits, or mono, written to a
// binary FILE.
#pragma once
#include <cstdio>
#include <string>

#include "VarnicaMedia.h"

namespace vmdxtool {

struct Y4mStreamFacts {
  VarnicaFrameRate rate{25, 1, 0, 0};
  VarnicaPixelAspectRatio aspect{1, 1};
  int16_t interlace = VideoInterlace_Progressive;
  bool fullRange = false;  // samples in full range (XCOLORRANGE=FULL), else video range
  bool chroma420 = false;  // chroma averaged over 2 x 2 pixels (4:2:0), which every encoder takes
};

class Y4mWriter {
 public:
  Y4mWriter(std::FILE* out, const Y4mStreamFacts& facts) : out_(out), facts_(facts) {}

  // Whether frames of format can be written as they are (others are converted first).
  static bool Writes(const GUID& format);
  // One frame; the header goes first, from the first frame's size and format. E_UNSUPPORTED for
  // a format Writes refuses, E_INVALIDARG for a frame unlike the first; a failed write gives
  // ERROR_WRITE_FAULT. error says what went wrong.
  HRESULT Write(const CpuVidFrameMemory& frame, std::string* error);

 private:
  std::FILE* out_;
  Y4mStreamFacts facts_;
  bool headerWritten_ = false;
  GUID format_{};
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::string planes_;  // one frame's samples, plane after plane
};

}  // namespace vmdxtool
