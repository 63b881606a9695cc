#include "DecoderRequest.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "DecodedPicture.h"
#include "MediaFormatLayouts.h"

namespace vmedia {

FrameRequest ResolveFrameRequest(const ClipFacts& clip, const GUID* format, const VarnicaTimecode* timecode,
                                 const VarnicaFrameSize* size) {
  FrameRequest request{
      clip.format,
      {0, static_cast<int32_t>(clip.rate.numerator), static_cast<int32_t>(clip.rate.denominator), 0, 0},
      {clip.width, clip.height}};
  if (format) request.format = *format;
  if (!CanWritePicture(request.format)) {
    const char* name = FormatName(request.format);
    throw MediaError{E_UNSUPPORTED,
                     std::string("GetFrame: format ") + (name ? name : "(not a media format)") + " is not delivered"};
  }
  if (timecode) request.timecode = *timecode;
  const int64_t frame = request.timecode.frame;
  if (frame < 0 || (clip.frameCount >= 0 && frame >= clip.frameCount)) {
    char text[128];
    if (clip.frameCount >= 0)
      std::snprintf(text, sizeof text, "GetFrame: frame %" PRId64 " is outside the clip of %" PRId64 " frames", frame,
                    clip.frameCount);
    else
      std::snprintf(text, sizeof text, "GetFrame: frame %" PRId64 " is outside the stream", frame);
    throw MediaError{E_INVALIDARG, text};
  }
  if (size) request.size = *size;
  if (request.size.width < 1 || request.size.height < 1 || request.size.width > kMaxFrameSide ||
      request.size.height > kMaxFrameSide) {
    char text[128];
    std::snprintf(text, sizeof text, "GetFrame: FrameSizeProperty %dx%d is out of range (1..%d)", request.size.width,
                  request.size.height, kMaxFrameSide);
    throw MediaError{E_INVALIDARG, text};
  }
  return request;
}

}  // namespace vmedia
