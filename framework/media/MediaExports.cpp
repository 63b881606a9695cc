// The media module's exported functions over the format table.
#include "MediaFormatLayouts.h"
#include "VarnicaMedia.h"

int32_t GetFormatVideoPlaneLayout(const GUID* format, int32_t width, int32_t height, int32_t capacity,
                                  int32_t* planeWidths, int32_t* planeRowBytes, int64_t* planeBytes,
                                  int32_t* bitsPerPixel, int32_t* rows) {
  if (format == nullptr) return 0;
  return vmedia::FormatPlaneLayout(*format, width, height, capacity, planeWidths, planeRowBytes, planeBytes,
                                   bitsPerPixel, rows);
}

const char* VarnicaMediaNameOf(const GUID* format, int32_t reserved1, int32_t reserved2) {
  if (format == nullptr) return "(null)";
  if (const char* name = vmedia::FormatName(*format)) return name;
  // Not a media format: the core knows every other identity (or prints its text).
  return VarnicaNameOf(format, reserved1, reserved2);
}
