// YUV to YUV kernels: 4:2:2 packing and unpacking in 8 and 10 bits, semi-planar 4:2:2, and
// luma to grey.
#pragma once
#include "VarnicaMediaFormats.h"

HRESULT Yuv422To444_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv422AlphaToYuva444_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv422ToYuva444_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv444To422_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuva444To422_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuva444To422Alpha_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);

HRESULT Yuv422To444_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv422AlphaToYuva444_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv422ToYuva444_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv444To422_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuva444To422_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuva444To422Alpha_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);

HRESULT Yuv422ToSemiPlanar_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT SemiPlanarToYuv422_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);

HRESULT Yuv422ToMono_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv422ToMono_10(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv444ToMono_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuva444ToMono_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuv444ToMono_16(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Yuva444ToMono_16(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
