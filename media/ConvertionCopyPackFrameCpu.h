// Repacking without colour arithmetic: dropping or adding a channel, widening bytes to words and
// narrowing words to bytes, reversing the channel order.
#pragma once
#include "VarnicaMediaFormats.h"

HRESULT Rgba8ToRgb8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Expand3To4_8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Expand3To4_16(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Rgb16ToRgb8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Rgb8ToRgb16(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Rgba16ToRgba8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Rgba8ToRgba16(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT ReverseExpand8To16(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT ReverseShrink16To8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
HRESULT Reverse8(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
