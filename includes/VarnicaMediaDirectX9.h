// Public header of TamrelVarnicaMediaDirectX: media formats and their Direct3D 9 mapping,
// the pre-transformed vertex of all drawing, and small Direct3D helpers.
#pragma once
#include <d3d9.h>
#include "VarnicaMediaFormats.h"

// One row of the media-format table.
struct DirectXFormatRow {
  D3DFORMAT d3dFormat;     // format of a texture or surface holding such a frame
  GUID mediaFormat;        // the row's key
  GUID nativeFormat;       // how a frame of this format is held on the GPU
  GUID unpackedFormat;     // what a CPU frame is expanded into on upload without a target format
  int32_t matrixType;      // matrix element type of one plane (depth and channels)
};

constexpr int kDirectXFormatTableRows = 19;
extern const DirectXFormatRow DirectXFormatTable[kDirectXFormatTableRows];

// Lookups: 0 on success; E_POINTER (nothing written) for a null output; E_VALUE_NOT_FOUND
// (output untouched) when no row has the key. Rows are scanned from the last to the first.
HRESULT GetDirectXFormatFromMedia(D3DFORMAT* out, const GUID& mediaFormat);
HRESULT GetDirectXNativeMediaFormatFrom(GUID* out, const GUID& mediaFormat);
HRESULT GetDirectXUnpackedMediaFormatFrom(GUID* out, const GUID& mediaFormat);
HRESULT GetMediaFormatDirectX(GUID* out, D3DFORMAT format);
HRESULT GetOcvFormatFromMedia(int32_t* out, const GUID& mediaFormat);
HRESULT GetOcvFormatFromDirectX(int32_t* out, D3DFORMAT format);
HRESULT GetDirectXFormatFromOcv(D3DFORMAT* out, int32_t matrixType);
HRESULT GetMediaFormatFromOcv(GUID* out, int32_t matrixType, uint8_t native);

// Pre-transformed, coloured, textured vertex (FVF 0x144).
struct PCT4Vertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse;
  float u, v;
};
static_assert(sizeof(PCT4Vertex) == 28);
constexpr DWORD kPCT4VertexFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Field selection of an upload: mode 1 or 2 asks for one field, field 1 is the field of the
// first line, field 2 the field of the second line.
struct FieldSelect {
  uint8_t mode;
  uint8_t field;
};
