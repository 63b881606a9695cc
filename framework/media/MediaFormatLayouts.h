// Plane geometry and readable names of the media formats. Platform-neutral, so the media
// stand-in exports it and the conversion library's native build calls it directly.
#pragma once
#include <cstdint>
#include "VarnicaMediaFormats.h"

namespace vmedia {

// Number of planes of a frame of this format and size; 0 for an unknown format or a width or
// height below 1. Writes at most capacity entries into each output array; any array may be null.
int32_t FormatPlaneLayout(const GUID& format, int32_t width, int32_t height, int32_t capacity,
                          int32_t* planeWidths, int32_t* planeRowBytes, int64_t* planeBytes,
                          int32_t* bitsPerPixel, int32_t* rows);

// Readable name of a media format ("YUV422Packed8", "RGBA8Alt"); null for an unknown format.
const char* FormatName(const GUID& format);

}  // namespace vmedia
