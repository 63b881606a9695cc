#include "ObjectMediaDirectX9VideoFrame.h"

#include <cstring>

#include "ComServer.h"
#include "Diagnostics.h"

namespace {

constexpr char kSourceFile[] = "VarnicaMediaDirectX9";
constexpr ClassDescriptor kDescriptor{&CLSID_MediaDirectX9VideoFrame, "MediaDirectX9VideoFrame"};

template <class I>
IUnknown* Cast(ObjectRoot* root) {
  return CastTo<MediaDirectX9VideoFrame, I>(root);
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
  static const PropertyTable table = [] {
    static PropertyTableColumns<8> c;
    auto row = [](int i, const GUID& key, const GUID& type, uint32_t size, PropertyGetter getter) {
      c.keys[i] = &key;
      c.types[i] = &type;
      c.sizes[i] = size;
      c.getChecks[i] = &StandardPropertyCheck;
      c.getters[i] = getter;
    };
#define FRAME_GETTER(method) \
  [](CValueSetController* owner, void* data) { return static_cast<MediaDirectX9VideoFrame*>(owner)->method(data); }
    row(0, TimecodeProperty, TimecodeValueType, 24, FRAME_GETTER(ReadTimecode));
    row(1, FrameFormat, GuidValueType, 16, FRAME_GETTER(ReadFrameFormat));
    row(2, FrameSizeProperty, FrameSizeValueType, 8, FRAME_GETTER(ReadFrameSize));
    row(3, CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, 88, FRAME_GETTER(ReadCpuMemory));
    row(4, FrameRateProperty, FrameRateProperty, 24, FRAME_GETTER(ReadFrameRate));
    row(5, PixelAspectRatioProperty, PixelAspectRatioValueType, 16, FRAME_GETTER(ReadPixelAspectRatio));
    row(6, VideoInterlaceProperty, VideoInterlaceProperty, 2, FRAME_GETTER(ReadVideoInterlace));
    row(7, FramePackingProperty, GuidValueType, 16, FRAME_GETTER(ReadFramePacking));
#undef FRAME_GETTER
    return c.Table(false);
  }();
  return &table;
}

MediaDirectX9VideoFrame::MediaDirectX9VideoFrame()
    : ComponentObject(kDescriptor), CValueSetController(Properties(), Policy::ReadOnlyTableWithHostSet) {}

MediaDirectX9VideoFrame::~MediaDirectX9VideoFrame() {
  ReleaseAndClear(mappedSurface_);
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
  ReleaseAndClear(mappedSurface_);
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

// The creates wrap Direct3D resources; they arrive with the frame's device work.
HRESULT MediaDirectX9VideoFrame::CreateTex1(const GUID*, IDirect3DTexture9*, uint32_t, const VarnicaPixelAspectRatio*,
                                            const int16_t*, const VarnicaTimecode*, const VarnicaFrameRate*,
                                            const GUID*, uint32_t) {
  return E_NOTIMPL;
}

HRESULT MediaDirectX9VideoFrame::CreateSurf1(const GUID*, IDirect3DSurface9*, const VarnicaPixelAspectRatio*,
                                             const int16_t*, const VarnicaTimecode*, const VarnicaFrameRate*,
                                             const GUID*, uint32_t) {
  return E_NOTIMPL;
}

HRESULT MediaDirectX9VideoFrame::CreateTex2(IDirect3DTexture9*, uint32_t, IValueSet*, uint32_t) { return E_NOTIMPL; }

HRESULT MediaDirectX9VideoFrame::CreateSurf2(IDirect3DSurface9*, IValueSet*, uint32_t) { return E_NOTIMPL; }

HRESULT MediaDirectX9VideoFrame::SetTimecode(const VarnicaTimecode* timecode) {
  return GuardedCall([&] {
    ThrowIfDisposed("SetTimecode", VLOC);
    ThrowIfLocked("SetTimecode", VLOC);
    if (timecode) timecode_ = *timecode;
    timecodeDefined_ = timecode != nullptr;
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::SetPixelAspectRatio(const VarnicaPixelAspectRatio* ratio) {
  return GuardedCall([&] {
    ThrowIfDisposed("SetPixelAspectRatio", VLOC);
    ThrowIfLocked("SetPixelAspectRatio", VLOC);
    if (ratio) pixelAspectRatio_ = *ratio;
    pixelAspectRatioDefined_ = ratio != nullptr;
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::SetFrameRate(const VarnicaFrameRate* frameRate) {
  return GuardedCall([&] {
    ThrowIfDisposed("SetFrameRate", VLOC);
    ThrowIfLocked("SetFrameRate", VLOC);
    if (frameRate) frameRate_ = *frameRate;
    frameRateDefined_ = frameRate != nullptr;
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::SetVideoInterlace(const int16_t* interlace) {
  return GuardedCall([&] {
    ThrowIfDisposed("SetVideoInterlace", VLOC);
    ThrowIfLocked("SetVideoInterlace", VLOC);
    if (interlace) videoInterlace_ = *interlace;
    videoInterlaceDefined_ = interlace != nullptr;
    return S_OK;
  });
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
    *texture = texture_;
    if (texture_ == nullptr) return S_FALSE;
    texture_->AddRef();
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::GetSurface(IDirect3DSurface9** surface) {
  return GuardedCall([&] {
    ThrowIfDisposed("GetSurface", VLOC);
    CheckPointer(surface, VLOC, "ppSurf");
    *surface = surface_;
    if (surface_ == nullptr) return S_FALSE;
    surface_->AddRef();
    return S_OK;
  });
}

HRESULT MediaDirectX9VideoFrame::SetEnabledLockAccess(uint32_t mask) {
  enabledLockAccess_ = mask;
  return S_OK;
}

// Locking maps Direct3D resources; it arrives with the frame's device work.
HRESULT MediaDirectX9VideoFrame::LockObject(uint32_t) { return E_NOTIMPL; }
HRESULT MediaDirectX9VideoFrame::UnlockObject() { return E_NOTIMPL; }

HRESULT MediaDirectX9VideoFrame::ReadTimecode(void* data) {
  if (!timecodeDefined_) ThrowError(E_FAIL, VLOC, "TimeCode not defined");
  std::memcpy(data, &timecode_, sizeof timecode_);
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadFrameFormat(void* data) {
  std::memcpy(data, &frameFormat_, sizeof frameFormat_);
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadFrameSize(void* data) {
  const VarnicaFrameSize size{width_, height_};
  std::memcpy(data, &size, sizeof size);
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadCpuMemory(void*) {
  if (lockCount_ <= 0)
    ThrowError(E_ACCESSDENIED, VLOC, "CVideoFrameCpuMemoryProperty only available if the frame locked");
  ThrowError(E_NOTIMPL, VLOC, "ObtainVidFrameMem");
}

HRESULT MediaDirectX9VideoFrame::ReadFrameRate(void* data) {
  if (!frameRateDefined_) ThrowError(E_FAIL, VLOC, "FrameRate not defined");
  std::memcpy(data, &frameRate_, sizeof frameRate_);
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadPixelAspectRatio(void* data) {
  VarnicaPixelAspectRatio ratio{1, 1};
  if (pixelAspectRatioDefined_ && pixelAspectRatio_.numerator != 0 && pixelAspectRatio_.denominator != 0)
    ratio = pixelAspectRatio_;
  std::memcpy(data, &ratio, sizeof ratio);
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadVideoInterlace(void* data) {
  const int16_t value = videoInterlaceDefined_ ? videoInterlace_ : 0;
  std::memcpy(data, &value, sizeof value);
  return S_OK;
}

HRESULT MediaDirectX9VideoFrame::ReadFramePacking(void* data) {
  std::memcpy(data, &framePacking_, sizeof framePacking_);
  return S_OK;
}
