// Value types of the media module's frame properties. Platform-neutral: the media stand-in's
// Y4M reader and request handling also build natively.
#pragma once
#include <cstdint>

// Value types of the frame properties (stored and returned as given).
struct VarnicaTimecode {  // 24 bytes
  int64_t frame;          // frame number since the start of the clip
  int32_t rateNumerator;  // frames per second as a fraction
  int32_t rateDenominator;
  uint32_t flags;
  uint32_t reserved;
};
static_assert(sizeof(VarnicaTimecode) == 24);

struct VarnicaFrameRate {  // 24 bytes
  int64_t numerator;
  int64_t denominator;
  uint32_t flags;
  uint32_t reserved;
};
static_assert(sizeof(VarnicaFrameRate) == 24);

struct VarnicaPixelAspectRatio {  // 16 bytes
  int64_t numerator;
  int64_t denominator;
};

struct VarnicaFrameSize {  // 8 bytes
  int32_t width;
  int32_t height;
};

// Video interlace values (16-bit); the low byte 0 means progressive.
enum : int16_t {
  VideoInterlace_Progressive = 0,
  VideoInterlace_TopFieldFirst = 1,
  VideoInterlace_BottomFieldFirst = 2,
};
