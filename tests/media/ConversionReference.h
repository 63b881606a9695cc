// Scalar references for the conversion kernels, written from the pixel layouts and integer
// formulas on their own (they share no code with the kernels), and test frames with padding.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ConvertionCopyCpuVidFrameMemory.h"

namespace reference {

// Bytes per pixel of each plane of a format, as the pixel layouts give them (0: no such plane).
struct FormatBytes {
  int planes;
  int bytes[2];
};
FormatBytes BytesOf(const GUID& format);

// Writes into target what the kernel must write for source; false when the kernel is not known.
bool Convert(ConvertionCopyKernel kernel, const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
const char* NameOf(ConvertionCopyKernel kernel);

// A frame in ordinary memory: every plane has `padding` bytes after the row and a few rows of
// slack bytes are avoided (the buffer is exactly pitch * height).
struct TestFrame {
  TestFrame(const GUID& format, int32_t width, int32_t height, int32_t padding, uint8_t fill);
  CpuVidFrameMemory record{};
  std::vector<uint8_t> planes[2];
  void FillRandom(uint32_t seed);
  bool SameBytes(const TestFrame& other) const { return planes[0] == other.planes[0] && planes[1] == other.planes[1]; }
};

// First differing byte of two frames' planes, as text, for failure messages.
std::string FirstDifference(const TestFrame& actual, const TestFrame& expected);

}  // namespace reference
