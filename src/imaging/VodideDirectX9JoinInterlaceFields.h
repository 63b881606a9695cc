// Two fields woven back into one frame of double height, texel for texel, through the weave
// shader: one field fills the frame's even rows, the other its odd rows. The fields have the
// frame's width and half its height (an odd-height frame's last row repeats the last row of the
// field of the even rows, since no field carries it).
#pragma once
#include <cstdint>

#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"

// Batch form with one entry: pSourceField[0] and pSourceField[1] (fields A and B) into
// pTargetFrame[0]; pTopField[0] non-zero: A is the top field (even rows). All three null: skipped.
HRESULT JoinInterlaceFields(DX9Context& context, CDX9ResourceCache& cache, IDirect3DTexture9* const* pSourceField,
                            IDirect3DTexture9* const* pTargetFrame, const uint8_t* pTopField);
// Pair form: fields A and B into target; topField non-zero: A is the top field.
HRESULT JoinInterlaceFields(DX9Context& context, CDX9ResourceCache& cache, IDirect3DTexture9* pFieldA,
                            IDirect3DTexture9* pFieldB, IDirect3DTexture9* pTargetFrame, uint8_t topField);
