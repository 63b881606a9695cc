// A device's render target as a frame: wrapped (GPU frame) or copied (CPU frame).
#pragma once
#include "IMediaDirectX9VideoFrame.h"
#include "VarnicaMediaDirectX9.h"

// Wraps the render target (surface, or render target 0 when null) as a MediaDirectX9VideoFrame;
// later drawing into it shows through the frame. format null or zero: from the surface format.
HRESULT CaptureRenderTargetAsDirectXFrame(IDirect3DDevice9* device, IDirect3DSurface9* surface, REFIID iid,
                                          void** ppFrame, const GUID* format);

// Copies the render target into system memory and hands it out as a CPU frame of the media
// module that owns the copy.
HRESULT CaptureRenderTargetAsVideoCpuFrame(IDirect3DDevice9* device, IDirect3DSurface9* surface, REFIID iid,
                                           void** ppFrame, const GUID* format);
