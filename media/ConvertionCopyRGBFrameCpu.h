// RGB to grey: (B + 2G + R) / 4 on bytes, words and floats.
#pragma once
#include "VarnicaMediaFormats.h"

HRESULT Rgb8ToMono(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Rgba8ToMono(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Argb8ToMono(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Rgba16ToMono(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Argb16ToMono(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT RgbaFloatToMono(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
