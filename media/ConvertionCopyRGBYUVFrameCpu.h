// Conversions between YUV and RGB (B, G, R byte order), 8- and 10-bit YUV, integer arithmetic.
#pragma once
#include "VarnicaMediaFormats.h"

HRESULT Yuv422ToRgb_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT RgbToYuv422_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv422ToRgb_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT RgbToYuv422_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv444ToRgb_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT RgbToYuv444_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuva444ToRgb_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT RgbToYuva444_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuva444ToRgb_16(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
