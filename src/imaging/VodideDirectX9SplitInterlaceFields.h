// One field of interlaced frames copied out into textures of half the height, texel for texel:
// the top field holds the frame's even rows (0, 2, 4, ...), the bottom field its odd rows. Targets
// are render-target textures of the source's width and half its height (an odd last row has no
// field). Top-field flags are bytes, non-zero for the top field.
#pragma once
#include <cstdint>

#include "VodideDX9Context.h"

// Entry i copies one field of pSourceFrame[i] into pTargetField[i]; an entry whose source and
// target are both null is skipped. All entries are drawn in one scene; entries before a failing
// one stay drawn.
HRESULT SplitInterlaceFields(DX9Context& context, uint32_t count, IDirect3DTexture9* const* pSourceFrame,
                             IDirect3DTexture9* const* pTargetField, const uint8_t* pTopField);
// One field of one frame.
HRESULT SplitInterlaceFields(DX9Context& context, IDirect3DTexture9* pSourceFrame, uint8_t topField,
                             IDirect3DTexture9* pTargetField);
// Both fields of one frame: firstTarget gets the field topField names, secondTarget the other.
// Either target may be null, so either field can be taken alone.
HRESULT SplitInterlaceFields(DX9Context& context, IDirect3DTexture9* pSourceFrame, IDirect3DTexture9* pFirstTarget,
                             IDirect3DTexture9* pSecondTarget, uint8_t topField);
