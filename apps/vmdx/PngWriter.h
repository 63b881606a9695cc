// PNG files through the Windows Imaging Component. A file of the asked name is always whole:
// the picture is written under a temporary name beside it and renamed only when complete.
#pragma once
#include <cstdint>
#include <string>
#include <windows.h>

enum class PngPixels {
  Bgr8,   // 3 bytes per pixel: blue, green, red
  Grey8,  // 1 byte per pixel
};

// Writes height rows of width pixels, row r starting at pixels + r * pitch. The calling thread
// must have COM initialised. On failure nothing is left on disk and error (may be null) says why.
HRESULT WritePng(const std::wstring& path, int32_t width, int32_t height, PngPixels layout, const uint8_t* pixels,
                 int64_t pitch, std::string* error);
