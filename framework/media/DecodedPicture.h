// The decoder's picture between its source and a frame: one sample per pixel at 16 bits, either
// RGB or YUV, and the writers that pack it into every media format a decoder delivers.
#pragma once
#include <cstdint>
#include <vector>

#include "VarnicaMediaFormats.h"

namespace vmedia {

enum class PictureColor {
  Rgb,         // R, G, B full scale: an 8-bit value v is v * 257
  YuvFull,     // Y, U, V code values, full range (Y 0..255, chroma centred on 128)
  YuvLimited,  // Y, U, V code values, video range (Y 16..235, chroma 16..240)
};

struct PictureSample {
  uint16_t c[3];  // R, G, B or Y, U, V; YUV code values of depth d are stored as value << (16 - d)
  uint16_t alpha;  // full scale
};

struct DecodedPicture {
  int32_t width = 0;
  int32_t height = 0;
  PictureColor color = PictureColor::Rgb;
  std::vector<PictureSample> samples;  // row after row, no padding

  PictureSample* Row(int32_t y) { return samples.data() + static_cast<size_t>(y) * width; }
  const PictureSample* Row(int32_t y) const { return samples.data() + static_cast<size_t>(y) * width; }
};

// Whether WritePicture can fill frames of this format.
bool CanWritePicture(const GUID& format);
// Whether WritePicture writes this format as RGB (the others hold YUV or luma).
bool IsRgbFormat(const GUID& format);

// Packs the picture into target (same width and height; planes and pitches as the record gives
// them). YUV targets get YUV code values unchanged (only the bit depth adapts); RGB and YUV meet
// through BT.601. Returns E_UNSUPPORTED for a format CanWritePicture refuses, E_INVALIDARG for a
// size mismatch or a missing plane.
HRESULT WritePicture(const DecodedPicture& picture, const CpuVidFrameMemory& target);

// The picture at another size, nearest sample.
DecodedPicture ResizePicture(const DecodedPicture& picture, int32_t width, int32_t height);

}  // namespace vmedia
