// libFuzzer target: the media stand-in's decoder path on hostile input. The Y4M reader opens the
// bytes as a file or as a stream, a request (format, frame, size, each optional) is checked
// against the clip, and the frame asked for is read, resized and written in the requested format
// into planes of exactly the layout's size, so any overrun meets AddressSanitizer. A rejection
// must name what is wrong and where.
//
// Input: flags (bit 0 stream, bits 1-3 request has format / frame / size, bit 4 read the next
// frame too), format index, frame (16-bit signed), width and height (16-bit), then the clip.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "DecoderRequest.h"
#include "MediaFormatLayouts.h"
#include "Y4mReader.h"

using namespace vmedia;

namespace {

constexpr size_t kPrefix = 8;
// Pictures are 8 bytes a pixel and frames up to 16; a request larger than this is only checked.
constexpr int64_t kMaxRenderedPixels = 1 << 18;

const GUID kFormats[] = {
    MediaFormat_RGB8,
    MediaFormat_YUV444_8,
    MediaFormat_YUVA444_8,
    MediaFormat_YUV422Packed8,
    MediaFormat_YUV422SemiPlanar8,
    MediaFormat_YUV444_16,
    MediaFormat_YUVA444_16,
    MediaFormat_YUV422Packed10,
    MediaFormat_RGBA8,
    MediaFormat_RGBA8Alt,
    MediaFormat_RGBX8,
    MediaFormat_Mono8Alt,
    MediaFormat_Mono8,
    MediaFormat_RGBA16,
    MediaFormat_RGBA16Alt,
    MediaFormat_RG16,
    MediaFormat_RGBAFloat,
    MediaFormat_RGBAFloatAlt,
    MediaFormat_RGFloat,
    MediaFormat_YUVA422Packed8,
    MediaFormat_YUVA422Packed10,
    MediaFormat_RGB16,
    MediaFormat_ARGB8,
    MediaFormat_ARGB16,
    ConvertionMode_Direct,  // not a media format
};

[[noreturn]] void Unnamed(const MediaError& e) {
  std::fprintf(stderr, "rejection without what and where: 0x%08X \"%s\"\n", static_cast<unsigned>(e.code),
               e.text.c_str());
  std::abort();
}

// Writes the picture into planes of exactly the layout's size.
void WriteFrame(const DecodedPicture& picture, const GUID& format) {
  int32_t rowBytes[kMaxVideoPlanes] = {}, rows[kMaxVideoPlanes] = {};
  const int32_t planes = FormatPlaneLayout(format, picture.width, picture.height, kMaxVideoPlanes, nullptr, rowBytes,
                                           nullptr, nullptr, rows);
  if (planes < 1) return;
  std::vector<std::vector<uint8_t>> memory(static_cast<size_t>(planes));
  CpuVidFrameMemory frame{format, picture.width, picture.height, {}};
  for (int32_t i = 0; i < planes; ++i) {
    memory[i].resize(static_cast<size_t>(rowBytes[i]) * static_cast<size_t>(rows[i]));
    frame.planes[i] = {memory[i].data(), rowBytes[i]};
  }
  if (FAILED(WritePicture(picture, frame))) std::abort();  // the request was checked: the write must work
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kPrefix) return 0;
  const uint8_t flags = data[0];
  const GUID& format = kFormats[data[1] % (sizeof kFormats / sizeof kFormats[0])];
  const int16_t frame = static_cast<int16_t>(data[2] | data[3] << 8);
  const VarnicaFrameSize asked{data[4] | data[5] << 8, data[6] | data[7] << 8};
  try {
    Y4mReader reader(MemoryY4m(data + kPrefix, size - kPrefix, (flags & 1) == 0), "fuzz");
    const ClipFacts clip{reader.NativeFormat(), reader.Width(), reader.Height(), reader.FrameRate(),
                         reader.FrameCount()};
    const VarnicaTimecode timecode{frame, 25, 1, 0, 0};
    const FrameRequest request = ResolveFrameRequest(clip, (flags & 2) ? &format : nullptr,
                                                     (flags & 4) ? &timecode : nullptr, (flags & 8) ? &asked : nullptr);
    if (int64_t{request.size.width} * request.size.height > kMaxRenderedPixels) return 0;
    const int frames = (flags & 16) ? 2 : 1;
    for (int i = 0; i < frames; ++i) {
      DecodedPicture picture = reader.ReadFrame(request.timecode.frame + i);
      if (picture.width != request.size.width || picture.height != request.size.height)
        picture = ResizePicture(picture, request.size.width, request.size.height);
      WriteFrame(picture, request.format);
    }
  } catch (const MediaError& e) {
    const bool named = e.text.rfind("fuzz: ", 0) == 0 || e.text.rfind("GetFrame: ", 0) == 0;
    if (!FAILED(e.code) || !named || e.text.size() < 16) Unnamed(e);
  }
  return 0;
}
