// libFuzzer target: random format pairs, sizes, pitches and modes through the copy. Whatever the
// input, the copy either succeeds or raises, and when it raises the target is untouched.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "ConvertionCopyCpuVidFrameMemory.h"

namespace {

struct Format {
  const GUID* id;
  int planes;
  int bytes[2];
};

const Format kFormats[] = {
    {&MediaFormat_YUV422Packed8, 1, {2, 0}},    {&MediaFormat_YUVA422Packed8, 2, {2, 2}},
    {&MediaFormat_YUV422Packed10, 1, {4, 0}},   {&MediaFormat_YUVA422Packed10, 2, {4, 2}},
    {&MediaFormat_YUV422SemiPlanar8, 2, {1, 1}}, {&MediaFormat_YUV444_8, 1, {3, 0}},
    {&MediaFormat_YUVA444_8, 1, {4, 0}},        {&MediaFormat_YUV444_16, 1, {6, 0}},
    {&MediaFormat_YUVA444_16, 1, {8, 0}},       {&MediaFormat_RGB8, 1, {3, 0}},
    {&MediaFormat_RGBA8, 1, {4, 0}},            {&MediaFormat_RGBA8Alt, 1, {4, 0}},
    {&MediaFormat_RGBX8, 1, {4, 0}},            {&MediaFormat_ARGB8, 1, {4, 0}},
    {&MediaFormat_RGB16, 1, {6, 0}},            {&MediaFormat_RGBA16, 1, {8, 0}},
    {&MediaFormat_RGBA16Alt, 1, {8, 0}},        {&MediaFormat_ARGB16, 1, {8, 0}},
    {&MediaFormat_RGBAFloat, 1, {16, 0}},       {&MediaFormat_RGBAFloatAlt, 1, {16, 0}},
    {&MediaFormat_Mono8, 1, {1, 0}},            {&MediaFormat_Mono8Alt, 1, {1, 0}},
    {&MediaFormat_RG16, 1, {4, 0}},             {&MediaFormat_RGFloat, 1, {8, 0}},
};
constexpr size_t kFormatCount = sizeof(kFormats) / sizeof(kFormats[0]);

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  const uint8_t* Rest(size_t* size) const {
    *size = size_ - pos_;
    return data_ + pos_;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A frame whose last row ends exactly at the end of its allocation, so any overrun is caught.
struct Frame {
  CpuVidFrameMemory record{};
  std::vector<std::unique_ptr<uint8_t[]>> memory;
  std::vector<size_t> sizes;
};

void Build(Frame& frame, const Format& format, int32_t width, int32_t height, Input& in) {
  frame.record.format = *format.id;
  frame.record.width = width;
  frame.record.height = height;
  for (int k = 0; k < format.planes; ++k) {
    const int choice = in.Byte();
    if (choice == 0xFF) continue;  // a missing plane
    const int64_t row = int64_t{width > 0 ? width : 0} * format.bytes[k];
    const int64_t pitch = row + (choice % 24) - 4;  // sometimes below the row
    const int64_t rows = height > 0 ? height : 0;
    const int64_t size = rows > 0 && pitch >= 0 ? (rows - 1) * pitch + row : 0;
    if (size <= 0 || size > (1 << 22)) continue;
    frame.memory.emplace_back(new uint8_t[static_cast<size_t>(size)]);
    frame.sizes.push_back(static_cast<size_t>(size));
    size_t restSize;
    const uint8_t* rest = in.Rest(&restSize);
    for (int64_t i = 0; i < size; ++i) frame.memory.back()[i] = restSize ? rest[i % restSize] : static_cast<uint8_t>(i);
    frame.record.planes[k].data = frame.memory.back().get();
    frame.record.planes[k].pitch = pitch;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<CpuThreadPool> pool = CreateCpuThreadPool(2);
  mediahost::SetProcessorCountForTesting(8);
  Input in(data, size);
  const Format& from = kFormats[in.Byte() % kFormatCount];
  const uint8_t targetChoice = in.Byte();
  const Format& to = targetChoice < 128 ? from : kFormats[targetChoice % kFormatCount];
  const int32_t width = static_cast<int32_t>(in.Byte() % 80) - 2;
  const int32_t height = static_cast<int32_t>(in.Byte() % 80) - 2;
  const uint8_t flags = in.Byte();
  const int32_t targetWidth = flags & 0x10 ? width + 1 : width;
  GUID mode{};
  if (flags & 1) mode = ConvertionMode_Direct;
  if ((flags & 6) == 6) mode.Data1 = 7;  // neither mode

  Frame source, target;
  Build(source, from, width, height, in);
  Build(target, to, targetWidth, height, in);
  std::vector<std::vector<uint8_t>> before;
  for (size_t i = 0; i < target.memory.size(); ++i)
    before.emplace_back(target.memory[i].get(), target.memory[i].get() + target.sizes[i]);

  try {
    CopyCpuVidFrameMemory(&source.record, &target.record, mode, flags & 0x20 ? pool.get() : nullptr);
  } catch (const mediahost::MediaFailure&) {
    for (size_t i = 0; i < target.memory.size(); ++i) {
      if (std::memcmp(before[i].data(), target.memory[i].get(), target.sizes[i]) != 0) __builtin_trap();
    }
  }
  return 0;
}
