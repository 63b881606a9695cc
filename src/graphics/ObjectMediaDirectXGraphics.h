// MediaDirectXGraphics: the drawing surface of one picture in a display's window: textures,
// the display program with its view properties, an immediate-mode vertex list, and at the end
// present, capture as a frame, or GDI drawing on a copy of the picture.
#pragma once
#include <wrl/client.h>
#include <vector>

#include "CValueSetController.h"
#include "IMediaDirectXGraphics.h"
#include "ObjectBase.h"
#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"

class MediaDirectXGraphics final : public IMediaDirectXGraphics, public ComponentObject, public CValueSetController {
 public:
  MediaDirectXGraphics();
  ~MediaDirectXGraphics() override;
  VARNICA_IUNKNOWN_IMPLEMENTATION

  // IVarnicaObject
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID key, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override;
  // IMediaDirectXGraphics
  HRESULT STDMETHODCALLTYPE GetDecoderFrame(REFIID iid, void** ppFrame, IVideoDecoder* decoder,
                                            const VarnicaTimecode* timecode, const VarnicaFrameSize* frameSize,
                                            const GUID* format, const FieldSelect* field) override;
  HRESULT STDMETHODCALLTYPE SetTexture(uint32_t stage, IUnknown* frame) override;
  HRESULT STDMETHODCALLTYPE UnsetTexture(uint32_t stage) override;
  HRESULT STDMETHODCALLTYPE SetShader(REFGUID program) override;
  HRESULT STDMETHODCALLTYPE UnsetShader() override;
  HRESULT STDMETHODCALLTYPE BeginVertex(REFGUID type, uint64_t count) override;
  HRESULT STDMETHODCALLTYPE EndVertex() override;
  HRESULT STDMETHODCALLTYPE VertexSetPos(uint64_t index, const float xyz[3]) override;
  HRESULT STDMETHODCALLTYPE VertexSetPosV(uint64_t index, const float* xyz, uint64_t count) override;
  HRESULT STDMETHODCALLTYPE VertexSetTextureUV(uint64_t index, uint32_t ignored, const float uv[2]) override;
  HRESULT STDMETHODCALLTYPE VertexSetTextureUVV(uint64_t index, uint32_t ignored, const float* uv,
                                                uint64_t count) override;
  HRESULT STDMETHODCALLTYPE VertexSetColor(uint64_t index, const float rgba[4]) override;
  HRESULT STDMETHODCALLTYPE VertexSetColorV(uint64_t index, const float* rgba, uint64_t count) override;
  HRESULT STDMETHODCALLTYPE DrawPrimitive() override;
  HRESULT STDMETHODCALLTYPE Present() override;
  HRESULT STDMETHODCALLTYPE CaptureFrame(uint32_t ignored, REFIID iid, void** ppFrame) override;
  HRESULT STDMETHODCALLTYPE GetHDC(HDC* dc) override;
  HRESULT STDMETHODCALLTYPE ReleaseHDC(HDC dc) override;
  HRESULT STDMETHODCALLTYPE Create0(const DX9Context* source, CDX9ResourceCache* cache) override;

 protected:
  bool ValueOwnerDisposedOrDisposing() const override { return DisposedOrDisposing(); }
  void ReleaseDisposableResources() override;

 private:
  static const InterfaceEntry kInterfaces[];
  static const PropertyTable* Properties();
  // Longitude and latitude span of the whole equirectangular picture, in radians.
  struct AngularRange {
    float longitude = 6.2831855f;
    float latitude = 3.1415927f;
  };
  // Applies the alpha matte to the bound device's blend state (fails without a device).
  HRESULT AlphaMatte_UpdateDirectX();
  HRESULT ReadAngularRange(AngularRange* out);
  HRESULT WriteAngularRange(const AngularRange& range);
  HRESULT ReadAlphaMatte(GUID* out);
  HRESULT WriteAlphaMatte(const GUID& matte);

  // The scene bracket of drawing; every copy of the picture ends the scene first.
  void BeginScene();
  void EndScene();
  // The lockable copy of the render target that capture and GDI work on, made once.
  void EnsureCopySurface();
  // Copies the copy back onto render target 0, so that GDI drawing reaches the window.
  void ShowCopy();
  // Present and capture copy the picture; with a GDI context lent on the copy they must not.
  void RefuseWhileDCLent(const char* operation, const SourceLocation& location) const;
  PCT4Vertex& VertexAt(uint64_t index, const char* operation, const SourceLocation& location);
  PCT4Vertex* VertexRun(uint64_t index, uint64_t count, const void* data, const char* operation,
                        const SourceLocation& location);

  bool created_ = false;
  DX9Context context_;
  CDX9ResourceCache* cache_ = nullptr;  // the display's; the display outlives its surfaces
  Microsoft::WRL::ComPtr<IDirect3DSurface9> copySurface_;
  // A plain render target the copy passes through on its way to a multisampled window picture.
  Microsoft::WRL::ComPtr<IDirect3DSurface9> presentSurface_;
  HDC heldDC_ = nullptr;
  bool inScene_ = false;
  std::vector<PCT4Vertex> vertices_;
  uint32_t primitiveType_ = 0;
  Microsoft::WRL::ComPtr<IDirect3DVertexBuffer9> vertexBuffer_;
  uint64_t vertexBufferCapacity_ = 0;

  uint16_t uploadOptions_ = 0;
  GUID alphaMatte_ = AlphaMatteBlend;
  GUID displayType_{};
  float ipd_ = 0.07f;
  AngularRange angularRange_;
  float zeroParallax_ = 1.0f;
  float viewMatrix_[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  GUID framePacking_{};
  GUID cameraType_{};
  float viewSize_[2] = {0, 0};
};
