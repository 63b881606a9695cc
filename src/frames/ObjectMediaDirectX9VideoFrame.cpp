#include "ObjectMediaDirectX9VideoFrame.h"

#include <cstring>
#include <wrl/client.h>

#include "ComServer.h"
#include "Diagnostics.h"

namespace {

constexpr char kSourceFile[] = "src/ObjectMediaDirectX9VideoFrame";
constexpr ClassDescriptor kDescriptor{&CLSID_MediaDirectX9VideoFrame, "MediaDirectX9VideoFrame"};
constexpr uint32_t kAccessBits = LockAccess_Read | LockAccess_Write;
constexpr uint32_t kClassBits = LockAccess_ReadClass | LockAccess_WriteClass;

template <class I>
IUnknown* Cast(ObjectRoot* root) {
  return CastTo<MediaDirectX9VideoFrame, I>(root);
}

// Busy-wait ownership of a spin word (0 free, 1 taken).
class SpinHold {
 public:
  explicit SpinHold(std::atomic<uint32_t>& word) : word_(word) {
    uint32_t expected = 0;
    while (!word_.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
      expected = 0;
      YieldProcessor();
    }
  }
  ~SpinHold() { word_.store(0, std::memory_order_release); }
  SpinHold(const SpinHold&) = delete;
  SpinHold& operator=(const SpinHold&) = delete;

 private:
  std::atomic<uint32_t>& word_;
};

// A new reference to held for the caller; S_FALSE and null when there is none.
template <class T>
HRESULT HandOut(T* held, T** out) {
  *out = held;
  if (held == nullptr) return S_FALSE;
  held->AddRef();
  return S_OK;
}

template <class T>
void ReleaseAndClear(T*& pointer) {
  if (T* held = pointer) {
    pointer = nullptr;
    held->Release();
  }
}

}  // namespace

ClassRegistration g_MediaDirectX9VideoFrameClass = {
    CLSID_MediaDirectX9VideoFrame, nullptr, &CreateComponentObject<MediaDirectX9VideoFrame>,
    "MediaDirectX9VideoFrame"};

const ObjectRoot::InterfaceEntry MediaDirectX9VideoFrame::kInterfaces[] = {
    {&IID_IMediaDirectX9VideoFrame, &Cast<IMediaDirectX9VideoFrame>},
    {&IID_IVideoFrame, &Cast<IMediaDirectX9VideoFrame>},
    {&IID_IVarnicaObject, &Cast<IMediaDirectX9VideoFrame>},
    {&IID_IVarnicaObjectBase, &Cast<IMediaDirectX9VideoFrame>},
    {&IID_ILockObject, &Cast<ILockObject>},
    {&IID_IDisposable, &Cast<IDisposable>},
    {&IID_IClassInfo, &Cast<IClassInfo>},
    {&IID_IObjectName, &Cast<IObjectName>},
    {&IID_IValueSet, &Cast<IValueSet>},
};

VARNICA_QUERY_INTERFACE(MediaDirectX9VideoFrame)

const PropertyTable* MediaDirectX9VideoFrame::Properties() {
  // Built once, with the first frame; read-only through the value set.
  using F = MediaDirectX9VideoFrame;
  static const auto rows = PropertyTableBuilder<8>()
                               .Read<&F::ReadTimecode>(TimecodeProperty, TimecodeValueType)
                               .Read<&F::ReadFrameFormat>(FrameFormat, GuidValueType)
                               .Read<&F::ReadFrameSize>(FrameSizeProperty, FrameSizeValueType)
                               .Read<&F::ReadCpuMemory>(CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty)
                               .Read<&F::ReadFrameRate>(FrameRateProperty, FrameRateProperty)
                               .Read<&F::ReadPixelAspectRatio>(PixelAspectRatioProperty, PixelAspectRatioValueType)
                               .Read<&F::ReadVideoInterlace>(VideoInterlaceProperty, VideoInterlaceProperty)
                               .Read<&F::ReadFramePacking>(FramePackingProperty, GuidValueType);
  static const PropertyTable table = rows.Table(false);
  return &table;
}

MediaDirectX9VideoFrame::MediaDirectX9VideoFrame()
    : ComponentObject(kDescriptor), CValueSetController(Properties(), Policy::ReadOnlyTableWithHostSet) {}

MediaDirectX9VideoFrame::~MediaDirectX9VideoFrame() {
  UnmapLocked();
  ReleaseAndClear(stagingCopy_);
  ReleaseAndClear(surface_);
  ReleaseAndClear(texture_);
}

HRESULT MediaDirectX9VideoFrame::FinalConstruct() { return CreateHostSet(); }

HRESULT MediaDirectX9VideoFrame::RefuseDispose() {
  if (lockCount_ > 0) {
    LogPrint(LOG_ERROR, VLOC, "Frame-Dispose failed, because the frame is locked\n");
    return E_ACCESSDENIED;
  }
  return S_OK;
}

void MediaDirectX9VideoFrame::ReleaseDisposableResources() {
  created_ = false;
  ReleaseAndClear(texture_);
  ReleaseAndClear(surface_);
  ReleaseAndClear(stagingCopy_);
  UnmapLocked();
}

void MediaDirectX9VideoFrame::ThrowIfLocked(const char* operation, const SourceLocation& location) const {
  if (lockCount_ >= 1) ThrowErrorF(E_ACCESSDENIED, location, "%s: not allowed if the object is locked", operation);
}

HRESULT MediaDirectX9VideoFrame::GetObject(REFGUID, REFIID, void** ppv) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(ppv, VLOC, "ppv");
    ThrowIfDisposed("GetObject", VLOC);
    return E_UNSUPPORTED;
  });
}

HRESULT MediaDirectX9VideoFrame::GetValueSet(IValueSet** valueSet) {
  return GuardedCall([&] {
    CheckPointer(valueSet, VLOC, "valueSet");
    ThrowIfDisposed("GetValueSet", VLOC);
    *valueSet = static_cast<IValueSet*>(this);
    (*valueSet)->AddRef();
    return S_OK;
  });
}

void MediaDirectX9VideoFrame::CheckCreate(const void* resource, const char* resourceName, const char* operation,
                                          const SourceLocation& location) const {
  if (resource == nullptr) ThrowError(E_POINTER, location, resourceName);
  if (created_) ThrowError(E_FAIL, location, "Frame already created");
  ThrowIfDisposed(operation, location);
}

void MediaDirectX9VideoFrame::ApplyCreateProperties(const VarnicaPixelAspectRatio* pixelAspectRatio,
                                                    const int16_t* videoInterlace, const VarnicaTimecode* timecode,
                                                    const VarnicaFrameRate* frameRate, const GUID* framePacking) {
  if (pixelAspectRatio) {
    pixelAspectRatio_ = *pixelAspectRatio;
    pixelAspectRatioDefined_ = true;
  }
  if (videoInterlace) {
    videoInterlace_ = *videoInterlace;
    videoInterlaceDefined_ = true;
  }
  if (timecode) {
    timecode_ = *timecode;
    timecodeDefined_ = true;
  }
  if (frameRate) {
    frameRate_ = *frameRate;
    frameRateDefined_ = true;
  }
  framePacking_ = framePacking ? *framePacking : FramePacking_Default;
}

void MediaDirectX9VideoFrame::ApplySettings(IValueSet* settings, GUID* format) {
  *format = GUID{};
  GUID value{};
  if (SUCCEEDED(vmdx::GetValue(settings, FrameFormat, GuidValueType, &value))) *format = value;
  VarnicaPixelAspectRatio ratio{};
  if (SUCCEEDED(vmdx::GetValue(settings, PixelAspectRatioProperty, PixelAspectRatioValueType, &ratio))) {
    pixelAspectRatio_ = ratio;
    pixelAspectRatioDefined_ = true;
  }
  int16_t interlace = 0;
  if (SUCCEEDED(vmdx::GetValue(settings, VideoInterlaceProperty, VideoInterlaceProperty, &interlace))) {
    videoInterlace_ = interlace;
    videoInterlaceDefined_ = true;
  }
  VarnicaTimecode timecode{};
  if (SUCCEEDED(vmdx::GetValue(settings, TimecodeProperty, TimecodeValueType, &timecode))) {
    timecode_ = timecode;
    timecodeDefined_ = true;
  }
  VarnicaFrameRate rate{};
  if (SUCCEEDED(vmdx::GetValue(settings, FrameRateProperty, FrameRateProperty, &rate))) {
    frameRate_ = rate;
    frameRateDefined_ = true;
  }
  if (SUCCEEDED(vmdx::GetValue(settings, FramePackingProperty, GuidValueType, &value))) framePacking_ = value;
}

void MediaDirectX9VideoFrame::AttachSurface(const GUID* format, IDirect3DSurface9* surface) {
  D3DSURFACE_DESC desc{};
  CheckHr(surface->GetDesc(&desc), VLOC, "GetDesc");
  GUID frameFormat{};
  if (format == nullptr || varnica::IsNullGuid(*format)) {
    if (FAILED(GetMediaFormatDirectX(&frameFormat, desc.Format)))
      ThrowError(E_VALUE_NOT_FOUND, VLOC, "GetMediaFormatDirectX");
  } else {
    GUID native{};
    D3DFORMAT nativeD3D = D3DFMT_UNKNOWN;
    HRESULT hr = GetDirectXNativeMediaFormatFrom(&native, *format);
    if (SUCCEEDED(hr)) hr = GetDirectXFormatFromMedia(&nativeD3D, native);
    if (FAILED(hr))
      ThrowErrorF(hr, VLOC, "GetDirectXFormatFromMedia( %s )", VarnicaMediaNameOf(format, 0, 0));
    if (!varnica::SameGuid(*format, native))
      ThrowErrorF(E_INVALIDARG, VLOC, "Input-Format %s != Native-DxFormat %s", VarnicaMediaNameOf(format, 0, 0),
                  VarnicaMediaNameOf(&native, 0, 0));
    if (desc.Format != nativeD3D)
      ThrowErrorF(E_INVALIDARG, VLOC, "Input-Format %s: Surface-Format %d != DxFormat %d",
                  VarnicaMediaNameOf(format, 0, 0), static_cast<int>(desc.Format), static_cast<int>(nativeD3D));
    frameFormat = *format;
  }

  // Planes of a multi-plane format lie stacked in the one surface: find the frame's own height.
  const int32_t width = static_cast<int32_t>(desc.Width);
  const int32_t surfaceHeight = static_cast<int32_t>(desc.Height);
  int32_t height = surfaceHeight;
  for (int corrections = 0;; ++corrections) {
    int32_t rows[kMaxVideoPlanes] = {};
    int32_t bits[kMaxVideoPlanes] = {};
    const int32_t planes = GetFormatVideoPlaneLayout(&frameFormat, width, height, kMaxVideoPlanes, nullptr,
                                                     nullptr, nullptr, bits, rows);
    if (planes <= 0) ThrowError(E_FAIL, VLOC, "GetFormatVideoPlaneLayout");
    int32_t sum = 0;
    for (int32_t i = 0; i < planes && i < kMaxVideoPlanes; ++i) sum += rows[i];
    if (planes == 1 || sum == surfaceHeight) break;
    if (corrections == 3) ThrowError(E_UNEXPECTED, VLOC, "Can't calc real height");
    height = height * height / sum;
  }

  surface->AddRef();
  ReleaseAndClear(surface_);
  surface_ = surface;
  frameFormat_ = frameFormat;
  width_ = width;
  height_ = height;
  surfaceUsage_ = desc.Usage;
  surfacePool_ = static_cast<uint32_t>(desc.Pool);
}

void MediaDirectX9VideoFrame::AttachTexture(const GUID* format, IDirect3DTexture9* texture, uint32_t level) {
  Microsoft::WRL::ComPtr<IDirect3DSurface9> surface;
  CheckHr(texture->GetSurfaceLevel(level, &surface), VLOC, "GetSurfaceLevel");
  AttachSurface(format, surface.Get());
  texture->AddRef();
  ReleaseAndClear(texture_);
  texture_ = texture;
  level_ = level;
  created_ = true;
}

HRESULT MediaDirectX9VideoFrame::CreateTex1(const GUID* format, IDirect3DTexture9* texture, uint32_t level,
                                            const VarnicaPixelAspectRatio* pixelAspectRatio,
                                            const int16_t* videoInterlace, const VarnicaTimecode* timecode,
                                            const VarnicaFrameRate* frameRate, const GUID* framePacking,
                                            uint32_t enabledLockAccess) {
  return GuardedCall([&] {
    CheckCreate(texture, "pTex", "CreateTex1", VLOC);
    enabledLockAccess_ = enabledLockAccess;
    ApplyCreateProperties(pixelAspectRatio, videoInterlace, timecode, frameRate, framePacking);
    AttachTexture(format, texture, level);
    return S_OK;
  });
}
HRESULT MediaDirectX9VideoFrame::CreateSurf1(const GUID* format, IDirect3DSurface9* surface,
                                             const VarnicaPixelAspectRatio* pixelAspectRatio,
                                             const int16_t* videoInterlace, const VarnicaTimecode* timecode,
                                             const VarnicaFrameRate* frameRate, const GUID* framePacking,
                                             uint32_t enabledLockAccess) {
  return GuardedCall([&] {
    CheckCreate(surface, "pSurf", "CreateTex1", VLOC);
    enabledLockAccess_ = enabledLockAccess;
    ApplyCreateProperties(pixelAspectRatio, videoInterlace, timecode, frameRate, framePacking);
    AttachSurface(format, surface);
    created_ = true;
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::CreateTex2(IDirect3DTexture9* texture, uint32_t level, IValueSet* settings,
                                            uint32_t enabledLockAccess) {
  return GuardedCall([&] {
    CheckPointer(settings, VLOC, "settings");
    CheckCreate(texture, "pTex", "CreateTex2", VLOC);
    const GUID native = NativeFormatFromSettings(settings, enabledLockAccess);
    AttachTexture(&native, texture, level);
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::CreateSurf2(IDirect3DSurface9* surface, IValueSet* settings,
                                             uint32_t enabledLockAccess) {
  return GuardedCall([&] {
    CheckPointer(settings, VLOC, "settings");
    CheckCreate(surface, "pSurf", "CreateTex2", VLOC);
    const GUID native = NativeFormatFromSettings(settings, enabledLockAccess);
    AttachSurface(&native, surface);
    created_ = true;
    return S_OK;
  });
}

GUID MediaDirectX9VideoFrame::NativeFormatFromSettings(IValueSet* settings, uint32_t enabledLockAccess) {
  GUID format{};
  ApplySettings(settings, &format);
  enabledLockAccess_ = enabledLockAccess;
  GUID native{};
  CheckHr(GetDirectXNativeMediaFormatFrom(&native, format), VLOC, "GetDirectXNativeMediaFormatFrom");
  return native;
}

HRESULT MediaDirectX9VideoFrame::SetTimecode(const VarnicaTimecode* timecode) {
  return SetOptionalProperty("SetTimecode", VLOC, timecode, timecode_, timecodeDefined_);
}

HRESULT MediaDirectX9VideoFrame::SetPixelAspectRatio(const VarnicaPixelAspectRatio* ratio) {
  return SetOptionalProperty("SetPixelAspectRatio", VLOC, ratio, pixelAspectRatio_, pixelAspectRatioDefined_);
}

HRESULT MediaDirectX9VideoFrame::SetFrameRate(const VarnicaFrameRate* frameRate) {
  return SetOptionalProperty("SetFrameRate", VLOC, frameRate, frameRate_, frameRateDefined_);
}

HRESULT MediaDirectX9VideoFrame::SetVideoInterlace(const int16_t* interlace) {
  return SetOptionalProperty("SetVideoInterlace", VLOC, interlace, videoInterlace_, videoInterlaceDefined_);
}

HRESULT MediaDirectX9VideoFrame::SetFramePacking(const GUID* framePacking) {
  return GuardedCall([&] {
    ThrowIfDisposed("SetFramePacking", VLOC);
    if (created_) ThrowError(E_ACCESSDENIED, VLOC, "SetFramePacking: not allowed if the object is already created");
    CheckPointer(framePacking, VLOC, "framePacking");
    framePacking_ = *framePacking;
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::GetTexture(IDirect3DTexture9** texture) {
  return GuardedCall([&] {
    ThrowIfDisposed("GetTexture", VLOC);
    CheckPointer(texture, VLOC, "ppTex");
    return HandOut(texture_, texture);
  });
}

HRESULT MediaDirectX9VideoFrame::GetSurface(IDirect3DSurface9** surface) {
  return GuardedCall([&] {
    ThrowIfDisposed("GetSurface", VLOC);
    CheckPointer(surface, VLOC, "ppSurf");
    return HandOut(surface_, surface);
  });
}

HRESULT MediaDirectX9VideoFrame::SetEnabledLockAccess(uint32_t mask) {
  enabledLockAccess_ = mask;
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::LockObject(uint32_t flags) {
  return GuardedCall([&] {
    ThrowIfDisposed("LockObject", VLOC);
    if (!created_) ThrowError(E_ACCESSDENIED, VLOC, "Frame not created yet");
    bool refused = false;
    {
      SpinHold hold(lockSpin_);
      const uint32_t current = lockFlags_;
      if ((flags & kAccessBits) == 0) refused = true;
      if ((flags & ~enabledLockAccess_) != 0) refused = true;
      if (lockCount_ > 0) {
        // The first lock fixes the access of all further concurrent locks.
        if ((flags & kAccessBits & ~current) != 0) refused = true;
        const uint32_t classes = ((current & kAccessBits) << 4) & current;
        if (classes != 0 && (flags & kClassBits & ~classes) != 0) refused = true;
      }
      if (!refused) {
        lockFlags_ = current | flags;
        ++lockCount_;
      }
    }
    if (refused) ThrowError(E_ACCESSDENIED, VLOC, "Lock()");
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::UnlockObject() {
  return GuardedCall([&] {
    SpinHold hold(lockSpin_);
    if (lockCount_ == 1) {
      SpinHold staging(stagingSpin_);
      UnmapLocked();
    }
    if (lockCount_ > 0) --lockCount_;
    if (lockCount_ == 0) lockFlags_ = 0;
    return S_OK;
  });
}

void MediaDirectX9VideoFrame::UnmapLocked() {
  if (IDirect3DSurface9* mapped = mappedSurface_) {
    mappedSurface_ = nullptr;
    mapped->UnlockRect();
    mapped->Release();
  }
}

HRESULT MediaDirectX9VideoFrame::ObtainVidFrameMem() {
  SpinHold hold(stagingSpin_);
  if (mappedSurface_ != nullptr) return S_OK;
  const bool timing = LogEnabled(LOG_TRACE);
  const double start = timing ? HighResolutionSeconds() : 0.0;
  if ((surfaceUsage_ & D3DUSAGE_RENDERTARGET) != 0 && stagingCopy_ == nullptr) {
    // Render targets cannot be locked: read them through a system-memory copy, made once.
    Microsoft::WRL::ComPtr<IDirect3DDevice9> device;
    CheckHr(surface_->GetDevice(&device), VLOC, "GetDevice");
    D3DSURFACE_DESC desc{};
    CheckHr(surface_->GetDesc(&desc), VLOC, "GetDesc");
    Microsoft::WRL::ComPtr<IDirect3DSurface9> staging;
    CheckHr(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &staging,
                                                nullptr),
            VLOC, "CreateOffscreenPlainSurface");
    CheckHr(device->GetRenderTargetData(surface_, staging.Get()), VLOC, "GetRenderTargetData");
    stagingCopy_ = staging.Detach();
  }
  DWORD lockFlags = 0;
  switch (enabledLockAccess_ & kAccessBits) {
    case LockAccess_Read: lockFlags = D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK; break;
    case LockAccess_Write: lockFlags = D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK; break;
    default: return E_ACCESSDENIED;
  }
  const uint32_t accessClass = enabledLockAccess_ & kClassBits;
  if (accessClass != LockAccess_ReadClass && accessClass != LockAccess_WriteClass) return E_ACCESSDENIED;

  IDirect3DSurface9* target = stagingCopy_ ? stagingCopy_ : surface_;
  D3DLOCKED_RECT locked{};
  CheckHr(target->LockRect(&locked, nullptr, lockFlags), VLOC, "LockRect");
  target->AddRef();
  mappedSurface_ = target;

  CpuVidFrameMemory record{frameFormat_, width_, height_, {}};
  // The planes were stacked into the one surface with its pitch.
  if (vmdx::StackPlanes(&record, static_cast<uint8_t*>(locked.pBits), locked.Pitch) <= 0)
    ThrowError(E_FAIL, VLOC, "GetFormatVideoPlaneLayout");
  cpuMemory_ = record;

  if (timing) {
    const double seconds = HighResolutionSeconds() - start;
    LogPrint(LOG_TRACE, VLOC, "ObtainVidFrameMem %dx%d %s   %f c/s\n", width_, height_,
             VarnicaMediaNameOf(&frameFormat_, 0, 0), seconds > 0 ? 1.0 / seconds : 0.0);
  }
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadTimecode(VarnicaTimecode* out) {
  if (!timecodeDefined_) ThrowError(E_FAIL, VLOC, "TimeCode not defined");
  *out = timecode_;
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadFrameFormat(GUID* out) {
  *out = frameFormat_;
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadFrameSize(VarnicaFrameSize* out) {
  *out = {width_, height_};
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadCpuMemory(CpuVidFrameMemory* out) {
  if (lockCount_ <= 0)
    ThrowError(E_ACCESSDENIED, VLOC, "CVideoFrameCpuMemoryProperty only available if the frame locked");
  if (ObtainVidFrameMem() == E_ACCESSDENIED) ThrowError(E_ACCESSDENIED, VLOC, "ObtainVidFrameMem");
  SpinHold hold(stagingSpin_);
  *out = cpuMemory_;
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadFrameRate(VarnicaFrameRate* out) {
  if (!frameRateDefined_) ThrowError(E_FAIL, VLOC, "FrameRate not defined");
  *out = frameRate_;
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadPixelAspectRatio(VarnicaPixelAspectRatio* out) {
  VarnicaPixelAspectRatio ratio{1, 1};
  if (pixelAspectRatioDefined_ && pixelAspectRatio_.numerator != 0 && pixelAspectRatio_.denominator != 0)
    ratio = pixelAspectRatio_;
  *out = ratio;
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadVideoInterlace(int16_t* out) {
  *out = videoInterlaceDefined_ ? videoInterlace_ : 0;
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadFramePacking(GUID* out) {
  *out = framePacking_;
  return S_OK;
}
