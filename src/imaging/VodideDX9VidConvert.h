// CDX9VidConvert: converts a texture holding a frame of one media format into a new render-target
// texture holding the same picture in another, by one full-target quad through a conversion
// shader. The one pair it converts, both ways, is the GPU's 4:2:2 semi-planar layout
// (MediaFormat_YUV422SemiPlanar8, an A8 texture of double height) and 4:4:4 with alpha
// (MediaFormat_YUVA444_8). Frames in CPU memory and frame objects are uploaded first.
//
// Formats are GUIDs; the null format is the all-zero GUID ("the source's own" as a target).
#pragma once
#include <wrl/client.h>

#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"

class CDX9VidConvert {
 public:
  // With a device and a shader cache of its own (the device is made by Initialize).
  CDX9VidConvert();
  // On another user's device and cache; neither is ever released by the converter.
  CDX9VidConvert(DX9Context* context, CDX9ResourceCache* cache);
  ~CDX9VidConvert();
  CDX9VidConvert(const CDX9VidConvert&) = delete;
  CDX9VidConvert& operator=(const CDX9VidConvert&) = delete;

  // Makes the device when the context has none, and takes the context's quad buffer. The
  // conversions call it themselves when it has not run.
  HRESULT Initialize();

  // A new texture (one reference, the caller's) holding source converted to targetFormat, and
  // the format it holds. A null target, or one equal to sourceFormat, hands back the source
  // itself with one more reference.
  HRESULT CreateTextureFromTexture(IDirect3DTexture9** ppTargetTexture, GUID* pTargetTextureFormat,
                                   IDirect3DTexture9* pSourceTexture, const GUID& sourceFormat,
                                   const GUID& targetFormat);
  // The CPU frame in memory (read as memoryFormat when that is not null) uploaded in its native
  // GPU format, then converted. unpack: convert to the unpacked format of the target (or of the
  // native format when the target is null), so 4:2:2 arrives as 4:4:4 at half the height.
  HRESULT CreateConvertedTextureFromMem(IDirect3DTexture9** ppTargetTexture, GUID* pTargetTextureFormat,
                                        const CpuVidFrameMemory* memory, const GUID& memoryFormat,
                                        const GUID& targetFormat, bool unpack);
  // The same for a frame object: a GPU frame gives its own texture, a CPU frame is uploaded.
  // frameFormat overrides the frame's FrameFormat property when it is not null.
  HRESULT CreateConvertedTextureFromFrame(IDirect3DTexture9** ppTargetTexture, GUID* pTargetTextureFormat,
                                          IUnknown* pFrame, const GUID& frameFormat, const GUID& targetFormat,
                                          bool unpack);

  DX9Context& Context() { return *context_; }
  CDX9ResourceCache& Cache() { return *cache_; }

 private:
  void EnsureInitialized();

  bool initialized_ = false;
  DX9Context ownContext_;
  DX9Context* context_;
  Microsoft::WRL::ComPtr<IDirect3DVertexBuffer9> mVB;
  CDX9ResourceCache ownCache_;
  CDX9ResourceCache* cache_;
};

// One conversion the converter knows: source and target format, the shader that draws it and the
// target size as a multiple of the source size.
struct VidConvertRow {
  GUID sourceFormat;
  GUID targetFormat;
  PixelShaderId shader;
  float widthScale;
  float heightScale;
};
constexpr int kVidConvertRows = 2;
extern const VidConvertRow VidConvertTable[kVidConvertRows];
