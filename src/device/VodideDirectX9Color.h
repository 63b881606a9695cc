// Colours for Direct3D clear and fill calls: floating-point RGBA (0..1) to a 32-bit D3DCOLOR,
// for YUV targets through the colour-space service.
#pragma once
#include <cstdint>

#include "VarnicaMediaDirectX9.h"
#include "VodideColorspaceService.h"

// Each channel times 255, truncated and clamped to 0..255; A << 24 | R << 16 | G << 8 | B.
HRESULT RgbaToD3DColor(uint32_t* color, const float rgba[4]);

// The colour with which a target of mediaFormat is cleared or filled. YUV targets are opaque
// and packed so that memory holds V, U, Y, A; E_UNSUPPORTED for formats without a packing.
HRESULT ColorToD3DColor(uint32_t* color, CColorspaceService* colorConverter, const GUID* mediaFormat,
                        const float rgba[4]);
