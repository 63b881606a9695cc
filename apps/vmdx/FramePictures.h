// Pictures of the host tool's commands in CPU memory: frames read back through their lock,
// video range stretched for viewing, converted by the module's CPU conversion, written as PNG
// files or put into the form a Y4M stream holds.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "VarnicaMedia.h"

namespace vmdxtool {

// A picture in memory of the tool's own; record describes it and points into bytes.
struct CpuPicture {
  CpuVidFrameMemory record{};
  std::vector<uint8_t> bytes;
};

// The planes of mapped copied into picture, rows packed tight.
HRESULT CopyPlanes(const CpuVidFrameMemory& mapped, CpuPicture* picture);
// The planes of a frame, read through its lock (for reading).
HRESULT ReadBack(IUnknown* frame, CpuPicture* picture);

// Video-range YUV (Y 16..235, chroma 16..240) and grey stretched to full range in place, since
// the CPU conversion to RGB reads YUV as full range. Other formats stay as they are.
void ExpandVideoRange(const CpuVidFrameMemory& picture);

// source converted into format by the module's CPU conversion (through RGBA8 where no row goes
// directly); the result has source's size.
HRESULT ConvertPicture(const CpuVidFrameMemory& source, const GUID& format, CpuPicture* converted);

// The picture in the form a PNG file holds: BGR rows (MediaFormat_RGB8), or grey rows for
// one-channel formats, video range stretched to full range first when videoRange.
HRESULT ToPngPicture(const CpuVidFrameMemory& picture, bool videoRange, CpuPicture* png);
// A picture made by ToPngPicture as a PNG file; error gets the PNG writer's message. The calling
// thread must have COM initialised.
HRESULT WritePngPicture(const CpuPicture& png, const std::filesystem::path& path, std::string* error);
// A frame read through its lock, as a PNG file.
HRESULT WriteFramePng(IUnknown* frame, bool videoRange, const std::filesystem::path& path, std::string* error);

// The picture in a form a Y4M stream holds: as it is where Y4mWriter writes it, otherwise (RGB)
// converted into full-range 4:4:4 in converted. *out describes what to write.
HRESULT ToStreamPicture(const CpuVidFrameMemory& picture, CpuPicture* converted, CpuVidFrameMemory* out);

}  // namespace vmdxtool
