// What a request to the decoder asks of its clip: the format, frame and size it names (each
// optional in the request), checked against what the clip and the frame writers can give.
// Platform-neutral: the native build fuzzes it with the Y4M reader.
#pragma once
#include "MediaError.h"
#include "VarnicaMediaFormats.h"
#include "VarnicaMediaTypes.h"

namespace vmedia {

// The facts of an open clip the request is checked against.
struct ClipFacts {
  GUID format;
  int32_t width;
  int32_t height;
  VarnicaFrameRate rate;
  int64_t frameCount;  // -1 for a stream of unknown length
};

struct FrameRequest {
  GUID format;
  VarnicaTimecode timecode;
  VarnicaFrameSize size;
};

constexpr int32_t kMaxFrameSide = 16384;

// Null values take the clip's own: its format, frame 0 with its rate, its size. Raises
// MediaError ("GetFrame: ..." naming the refused value) for a format no frame is written in, a
// frame outside the clip, or a size outside 1..kMaxFrameSide.
FrameRequest ResolveFrameRequest(const ClipFacts& clip, const GUID* format, const VarnicaTimecode* timecode,
                                 const VarnicaFrameSize* size);

}  // namespace vmedia
