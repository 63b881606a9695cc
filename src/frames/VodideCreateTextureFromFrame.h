// Upload of CPU video frames into new textures on a context's device.
#pragma once
#include "VodideDX9Context.h"

// A new one-level texture of the source's size holding the source's pixels, converted on the
// way. targetFormat null or zero: the source format's unpacked format; otherwise the native
// format of targetFormat. Planes of multi-plane formats are stacked in the one texture.
HRESULT CreateTextureFromMem(const DX9Context* context, IDirect3DTexture9** texture, const CpuVidFrameMemory* source,
                             const GUID* targetFormat);

// The same for a lockable CPU frame object (read lock 0x11 for the time of the copy). field
// (may be null) selects one field of an interlaced frame: mode 1 or 2, field 1 (first line) or 2.
HRESULT CreateTextureFromFrame(const DX9Context* context, IDirect3DTexture9** texture, IUnknown* frame,
                               const GUID* targetFormat, const FieldSelect* field);
