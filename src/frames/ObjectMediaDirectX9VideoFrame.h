// MediaDirectX9VideoFrame: a video frame held in a Direct3D 9 texture or surface, with its
// media properties and CPU access by locking.
#pragma once
#include <atomic>

#include "CValueSetController.h"
#include "IMediaDirectX9VideoFrame.h"
#include "VarnicaFrameAccess.h"
#include "VarnicaMediaDirectX9.h"
#include "ObjectBase.h"

class MediaDirectX9VideoFrame final : public IMediaDirectX9VideoFrame,
                                      public ILockObject,
                                      public ComponentObject,
                                      public CValueSetController {
 public:
  MediaDirectX9VideoFrame();
  ~MediaDirectX9VideoFrame() override;
  VARNICA_IUNKNOWN_IMPLEMENTATION

  // IVarnicaObject
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID key, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override;
  // IMediaDirectX9VideoFrame
  HRESULT STDMETHODCALLTYPE CreateTex1(const GUID* format, IDirect3DTexture9* texture, uint32_t level,
                                       const VarnicaPixelAspectRatio* pixelAspectRatio, const int16_t* videoInterlace,
                                       const VarnicaTimecode* timecode, const VarnicaFrameRate* frameRate,
                                       const GUID* framePacking, uint32_t enabledLockAccess) override;
  HRESULT STDMETHODCALLTYPE CreateSurf1(const GUID* format, IDirect3DSurface9* surface,
                                        const VarnicaPixelAspectRatio* pixelAspectRatio, const int16_t* videoInterlace,
                                        const VarnicaTimecode* timecode, const VarnicaFrameRate* frameRate,
                                        const GUID* framePacking, uint32_t enabledLockAccess) override;
  HRESULT STDMETHODCALLTYPE CreateTex2(IDirect3DTexture9* texture, uint32_t level, IValueSet* settings,
                                       uint32_t enabledLockAccess) override;
  HRESULT STDMETHODCALLTYPE CreateSurf2(IDirect3DSurface9* surface, IValueSet* settings,
                                        uint32_t enabledLockAccess) override;
  HRESULT STDMETHODCALLTYPE SetTimecode(const VarnicaTimecode* timecode) override;
  HRESULT STDMETHODCALLTYPE SetPixelAspectRatio(const VarnicaPixelAspectRatio* ratio) override;
  HRESULT STDMETHODCALLTYPE SetFrameRate(const VarnicaFrameRate* frameRate) override;
  HRESULT STDMETHODCALLTYPE SetVideoInterlace(const int16_t* interlace) override;
  HRESULT STDMETHODCALLTYPE SetFramePacking(const GUID* framePacking) override;
  HRESULT STDMETHODCALLTYPE GetTexture(IDirect3DTexture9** texture) override;
  HRESULT STDMETHODCALLTYPE GetSurface(IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE SetEnabledLockAccess(uint32_t mask) override;
  // ILockObject
  HRESULT STDMETHODCALLTYPE LockObject(uint32_t flags) override;
  HRESULT STDMETHODCALLTYPE UnlockObject() override;

 protected:
  HRESULT FinalConstruct() override;
  HRESULT RefuseDispose() override;
  void ReleaseDisposableResources() override;
  bool ValueOwnerDisposedOrDisposing() const override { return DisposedOrDisposing(); }

 private:
  static const InterfaceEntry kInterfaces[];
  static const PropertyTable* Properties();
  // Raises E_ACCESSDENIED "<operation>: not allowed if the object is locked".
  void ThrowIfLocked(const char* operation, const SourceLocation& location) const;
  // A property setter: refused when disposed or locked; null makes the property undefined.
  template <class T>
  HRESULT SetOptionalProperty(const char* operation, const SourceLocation& location, const T* value, T& field,
                              bool& defined) {
    return GuardedCall([&] {
      ThrowIfDisposed(operation, location);
      ThrowIfLocked(operation, location);
      if (value) field = *value;
      defined = value != nullptr;
      return S_OK;
    });
  }
  // The checks every create starts with, in their order.
  void CheckCreate(const void* resource, const char* resourceName, const char* operation,
                   const SourceLocation& location) const;
  // Stores the optional properties a create is given.
  void ApplyCreateProperties(const VarnicaPixelAspectRatio* pixelAspectRatio, const int16_t* videoInterlace,
                             const VarnicaTimecode* timecode, const VarnicaFrameRate* frameRate,
                             const GUID* framePacking);
  // Reads the optional properties of a settings set, each only when present.
  void ApplySettings(IValueSet* settings, GUID* format);
  // The settings' properties applied, the mask stored, and the native format of their format.
  GUID NativeFormatFromSettings(IValueSet* settings, uint32_t enabledLockAccess);
  // Takes the surface as the frame's pixels: format, size, real height.
  void AttachSurface(const GUID* format, IDirect3DSurface9* surface);
  // Takes level of the texture as the frame's pixels, and the texture with it; the frame is created.
  void AttachTexture(const GUID* format, IDirect3DTexture9* texture, uint32_t level);
  // Maps the frame's pixels for the CPU once per lock period and fills the record.
  HRESULT ObtainVidFrameMem();
  void UnmapLocked();

  // Getters behind the property table.
  HRESULT ReadTimecode(VarnicaTimecode* out);
  HRESULT ReadFrameFormat(GUID* out);
  HRESULT ReadFrameSize(VarnicaFrameSize* out);
  HRESULT ReadCpuMemory(CpuVidFrameMemory* out);
  HRESULT ReadFrameRate(VarnicaFrameRate* out);
  HRESULT ReadPixelAspectRatio(VarnicaPixelAspectRatio* out);
  HRESULT ReadVideoInterlace(int16_t* out);
  HRESULT ReadFramePacking(GUID* out);

  // Lock state
  std::atomic<uint32_t> lockSpin_{0};
  int32_t lockCount_ = 0;
  uint32_t lockFlags_ = 0;
  // CPU staging state
  std::atomic<uint32_t> stagingSpin_{0};
  IDirect3DSurface9* mappedSurface_ = nullptr;
  IDirect3DSurface9* stagingCopy_ = nullptr;
  CpuVidFrameMemory cpuMemory_{};

  IDirect3DTexture9* texture_ = nullptr;
  IDirect3DSurface9* surface_ = nullptr;
  uint32_t level_ = 0;
  VarnicaTimecode timecode_{};
  bool timecodeDefined_ = false;
  VarnicaPixelAspectRatio pixelAspectRatio_{};
  bool pixelAspectRatioDefined_ = false;
  VarnicaFrameRate frameRate_{};
  bool frameRateDefined_ = false;
  int16_t videoInterlace_ = 0;
  bool videoInterlaceDefined_ = false;
  int32_t width_ = 0;
  int32_t height_ = 0;
  GUID framePacking_ = FramePacking_Default;
  GUID frameFormat_{};
  uint32_t enabledLockAccess_ = vmdx::kLockAccessDefault;
  uint32_t surfaceUsage_ = 0;
  uint32_t surfacePool_ = 0;
  bool created_ = false;
};
