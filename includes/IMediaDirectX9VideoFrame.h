// MediaDirectX9VideoFrame: a video frame held in a Direct3D 9 texture or surface.
#pragma once
#include <d3d9.h>
#include "VarnicaMedia.h"

VARNICA_GUID(CLSID_MediaDirectX9VideoFrame, 0x529B1945, 0x9F11, 0x4BA3, 0x8A, 0x8E, 0xCC, 0x8C, 0xAC, 0xCB, 0xC2, 0xD9);
VARNICA_GUID(IID_IMediaDirectX9VideoFrame, 0x7B49A54E, 0x5BEB, 0x44E9, 0xA8, 0x84, 0xD3, 0x9E, 0xCF, 0x16, 0x43, 0xD1);
// The frame's main interface also answers IID_IVideoFrame {662C3D00-...}.

struct IMediaDirectX9VideoFrame : IVideoFrame {
  virtual HRESULT STDMETHODCALLTYPE CreateTex1(const GUID* format, IDirect3DTexture9* texture, uint32_t level,
                                               const VarnicaPixelAspectRatio* pixelAspectRatio,
                                               const int16_t* videoInterlace, const VarnicaTimecode* timecode,
                                               const VarnicaFrameRate* frameRate, const GUID* framePacking,
                                               uint32_t enabledLockAccess) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateSurf1(const GUID* format, IDirect3DSurface9* surface,
                                                const VarnicaPixelAspectRatio* pixelAspectRatio,
                                                const int16_t* videoInterlace, const VarnicaTimecode* timecode,
                                                const VarnicaFrameRate* frameRate, const GUID* framePacking,
                                                uint32_t enabledLockAccess) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateTex2(IDirect3DTexture9* texture, uint32_t level, IValueSet* settings,
                                               uint32_t enabledLockAccess) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateSurf2(IDirect3DSurface9* surface, IValueSet* settings,
                                                uint32_t enabledLockAccess) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetTimecode(const VarnicaTimecode* timecode) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPixelAspectRatio(const VarnicaPixelAspectRatio* ratio) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFrameRate(const VarnicaFrameRate* frameRate) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVideoInterlace(const int16_t* interlace) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFramePacking(const GUID* framePacking) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTexture(IDirect3DTexture9** texture) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSurface(IDirect3DSurface9** surface) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEnabledLockAccess(uint32_t mask) = 0;
};
__CRT_UUID_DECL(IMediaDirectX9VideoFrame, 0x7B49A54E, 0x5BEB, 0x44E9, 0xA8, 0x84, 0xD3, 0x9E, 0xCF, 0x16, 0x43, 0xD1)
