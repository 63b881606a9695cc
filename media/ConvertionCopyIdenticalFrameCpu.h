// Plane-by-plane copies between frames of the same layout.
#pragma once
#include "VarnicaMediaFormats.h"

// Equal formats and sizes: every plane the media module describes, copied as is.
HRESULT IdenticalCopy(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
// RGBA8 to RGBX8: the same bytes (the fourth byte of RGBX8 carries no meaning), so also a copy.
HRESULT SameLayoutCopy(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target);
