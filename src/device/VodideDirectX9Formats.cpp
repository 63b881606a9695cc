// The media-format table and its lookups. Each media format is the key of exactly one row;
// Direct3D formats and matrix types are shared, and a scan from the last row makes the
// last row carrying them answer (so a bare A8R8G8B8 surface reads as MediaFormat_RGBA8Alt).
#include "VarnicaMediaDirectX9.h"

const DirectXFormatRow DirectXFormatTable[kDirectXFormatTableRows] = {
    {D3DFMT_X8R8G8B8, MediaFormat_RGB8, MediaFormat_RGBX8, MediaFormat_RGBX8, MatrixType_8UC3},
    {D3DFMT_X8R8G8B8, MediaFormat_YUV444_8, MediaFormat_YUVA444_8, MediaFormat_YUVA444_8, MatrixType_8UC3},
    {D3DFMT_A8R8G8B8, MediaFormat_YUVA444_8, MediaFormat_YUVA444_8, MediaFormat_YUVA444_8, MatrixType_8UC4},
    {D3DFMT_A8, MediaFormat_YUV422Packed8, MediaFormat_YUV422SemiPlanar8, MediaFormat_YUVA444_8, MatrixType_8UC1},
    {D3DFMT_A8, MediaFormat_YUV422SemiPlanar8, MediaFormat_YUV422SemiPlanar8, MediaFormat_YUVA444_8,
     MatrixType_8UC1},
    {D3DFMT_A16B16G16R16, MediaFormat_YUV444_16, MediaFormat_YUVA444_16, MediaFormat_YUVA444_16, MatrixType_16UC3},
    {D3DFMT_A16B16G16R16, MediaFormat_YUVA444_16, MediaFormat_YUVA444_16, MediaFormat_YUVA444_16, MatrixType_16UC4},
    {D3DFMT_A16B16G16R16, MediaFormat_YUV422Packed10, MediaFormat_YUVA444_16, MediaFormat_YUVA444_16,
     MatrixType_16UC4},
    {D3DFMT_A8R8G8B8, MediaFormat_RGBA8, MediaFormat_RGBA8, MediaFormat_RGBA8, MatrixType_8UC4},
    {D3DFMT_A8R8G8B8, MediaFormat_RGBA8Alt, MediaFormat_RGBA8Alt, MediaFormat_RGBA8Alt, MatrixType_8UC4},
    {D3DFMT_X8R8G8B8, MediaFormat_RGBX8, MediaFormat_RGBX8, MediaFormat_RGBX8, MatrixType_8UC4},
    {D3DFMT_A8, MediaFormat_Mono8Alt, MediaFormat_Mono8Alt, MediaFormat_Mono8Alt, MatrixType_8UC1},
    {D3DFMT_A8, MediaFormat_Mono8, MediaFormat_Mono8, MediaFormat_Mono8, MatrixType_8UC1},
    {D3DFMT_A16B16G16R16, MediaFormat_RGBA16, MediaFormat_RGBA16, MediaFormat_RGBA16, MatrixType_16UC4},
    {D3DFMT_A16B16G16R16, MediaFormat_RGBA16Alt, MediaFormat_RGBA16Alt, MediaFormat_RGBA16Alt, MatrixType_16UC4},
    {D3DFMT_G16R16, MediaFormat_RG16, MediaFormat_RG16, MediaFormat_RG16, MatrixType_16UC2},
    {D3DFMT_A32B32G32R32F, MediaFormat_RGBAFloat, MediaFormat_RGBAFloat, MediaFormat_RGBAFloat, MatrixType_32FC4},
    {D3DFMT_A32B32G32R32F, MediaFormat_RGBAFloatAlt, MediaFormat_RGBAFloatAlt, MediaFormat_RGBAFloatAlt,
     MatrixType_32FC4},
    {D3DFMT_G32R32F, MediaFormat_RGFloat, MediaFormat_RGFloat, MediaFormat_RGFloat, MatrixType_32FC2},
};

namespace {

// The last row whose key matches, or null.
template <class Matches>
const DirectXFormatRow* FindFromLast(Matches&& matches) {
  for (int row = kDirectXFormatTableRows - 1; row >= 0; --row) {
    if (matches(DirectXFormatTable[row])) return &DirectXFormatTable[row];
  }
  return nullptr;
}

const DirectXFormatRow* ByMedia(const GUID& mediaFormat) {
  return FindFromLast([&](const DirectXFormatRow& r) { return varnica::SameGuid(r.mediaFormat, mediaFormat); });
}
const DirectXFormatRow* ByDirectX(D3DFORMAT format) {
  return FindFromLast([&](const DirectXFormatRow& r) { return r.d3dFormat == format; });
}
const DirectXFormatRow* ByMatrixType(int32_t matrixType) {
  return FindFromLast([&](const DirectXFormatRow& r) { return r.matrixType == matrixType; });
}

// The output is checked before the key is looked up: a null output is E_POINTER even for a
// key that would be found.
template <class T, class Field>
HRESULT Answer(T* out, const DirectXFormatRow* (*find)(Field), Field key, T DirectXFormatRow::*column) {
  if (out == nullptr) return E_POINTER;
  const DirectXFormatRow* row = find(key);
  if (row == nullptr) return E_VALUE_NOT_FOUND;
  *out = row->*column;
  return S_OK;
}

}  // namespace

HRESULT GetDirectXFormatFromMedia(D3DFORMAT* out, const GUID& mediaFormat) {
  return Answer<D3DFORMAT, const GUID&>(out, ByMedia, mediaFormat, &DirectXFormatRow::d3dFormat);
}
HRESULT GetDirectXNativeMediaFormatFrom(GUID* out, const GUID& mediaFormat) {
  return Answer<GUID, const GUID&>(out, ByMedia, mediaFormat, &DirectXFormatRow::nativeFormat);
}
HRESULT GetDirectXUnpackedMediaFormatFrom(GUID* out, const GUID& mediaFormat) {
  return Answer<GUID, const GUID&>(out, ByMedia, mediaFormat, &DirectXFormatRow::unpackedFormat);
}
HRESULT GetMediaFormatDirectX(GUID* out, D3DFORMAT format) {
  return Answer<GUID, D3DFORMAT>(out, ByDirectX, format, &DirectXFormatRow::mediaFormat);
}
HRESULT GetOcvFormatFromMedia(int32_t* out, const GUID& mediaFormat) {
  return Answer<int32_t, const GUID&>(out, ByMedia, mediaFormat, &DirectXFormatRow::matrixType);
}
HRESULT GetOcvFormatFromDirectX(int32_t* out, D3DFORMAT format) {
  return Answer<int32_t, D3DFORMAT>(out, ByDirectX, format, &DirectXFormatRow::matrixType);
}
HRESULT GetDirectXFormatFromOcv(D3DFORMAT* out, int32_t matrixType) {
  return Answer<D3DFORMAT, int32_t>(out, ByMatrixType, matrixType, &DirectXFormatRow::d3dFormat);
}
HRESULT GetMediaFormatFromOcv(GUID* out, int32_t matrixType, uint8_t native) {
  return Answer<GUID, int32_t>(out, ByMatrixType, matrixType,
                               native == 0 ? &DirectXFormatRow::mediaFormat : &DirectXFormatRow::nativeFormat);
}
