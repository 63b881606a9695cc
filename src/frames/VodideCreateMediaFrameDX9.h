// Direct3D textures and surfaces as MediaDirectX9VideoFrame objects (enabled lock access 0x11).
#pragma once
#include "IMediaDirectX9VideoFrame.h"
#include "VarnicaMediaDirectX9.h"

// A frame over level 0 of texture, of the native format of format.
HRESULT CreateMediaDirectX9VideoFrame(REFIID iid, void** ppFrame, const GUID* format, IDirect3DTexture9* texture);

// A frame over surface, of the native format of format, with the given optional properties.
HRESULT CreateMediaDirectX9VideoFrame(REFIID iid, void** ppFrame, const GUID* format, IDirect3DSurface9* surface,
                                      const VarnicaPixelAspectRatio* pixelAspectRatio, const int16_t* videoInterlace,
                                      const VarnicaTimecode* timecode, const VarnicaFrameRate* frameRate,
                                      const GUID* framePacking, uint32_t enabledLockAccess);
