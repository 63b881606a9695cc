#include "VodideCreateTextureFromFrame.h"

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "Diagnostics.h"
#include "Error.h"

namespace {

constexpr char kSourceFile[] = "src/VodideCreateTextureFromFrame";

// The module's shared pool for uploads. Nothing sets it, so uploads copy on the calling thread.
CpuThreadPool* const g_uploadThreadPool = nullptr;

// Holds a frame's read lock for a scope.
class FrameReadLock {
 public:
  explicit FrameReadLock(ILockObject* lock) : lock_(lock) {}
  ~FrameReadLock() {
    if (lock_) lock_->UnlockObject();
  }
  FrameReadLock(const FrameReadLock&) = delete;
  FrameReadLock& operator=(const FrameReadLock&) = delete;

 private:
  ILockObject* lock_;
};

}  // namespace

HRESULT CreateTextureFromMem(const DX9Context* context, IDirect3DTexture9** texture, const CpuVidFrameMemory* source,
                             const GUID* targetFormat) {
  return GuardedCall([&] {
    if (context == nullptr || !context->device) ThrowError(E_POINTER, VLOC, "Device3D");
    CheckPointer(texture, VLOC, "ppTex");
    CheckPointer(source, VLOC, "pSrc");
    GUID format{};
    if (targetFormat == nullptr || varnica::IsNullGuid(*targetFormat))
      CheckHr(GetDirectXUnpackedMediaFormatFrom(&format, source->format), VLOC, "GetDirectXUnpackedMediaFormatFrom");
    else
      CheckHr(GetDirectXNativeMediaFormatFrom(&format, *targetFormat), VLOC, "GetDirectXNativeMediaFormatFrom");

    int32_t rows[kMaxVideoPlanes] = {};
    int32_t bits[kMaxVideoPlanes] = {};
    const int32_t planes = GetFormatVideoPlaneLayout(&format, source->width, source->height, kMaxVideoPlanes,
                                                     nullptr, nullptr, nullptr, bits, rows);
    if (planes < 1) ThrowErrorF(E_UNSUPPORTED, VLOC, "%s", VarnicaMediaNameOf(&format, 0, 0));
    int32_t totalHeight = 0;
    for (int32_t i = 0; i < planes && i < kMaxVideoPlanes; ++i) totalHeight += rows[i];
    D3DFORMAT d3dFormat = D3DFMT_UNKNOWN;
    const HRESULT found = GetDirectXFormatFromMedia(&d3dFormat, format);
    if (FAILED(found))
      ThrowErrorF(found, VLOC, "GetDirectXFormatFromMedia( %s )", VarnicaMediaNameOf(&format, 0, 0));

    const bool timing = LogEnabled(LOG_TIMING);
    const double t0 = timing ? HighResolutionSeconds() : 0.0;
    Microsoft::WRL::ComPtr<IDirect3DTexture9> created;
    CheckHr(context->device->CreateTexture(static_cast<UINT>(source->width), static_cast<UINT>(totalHeight), 1,
                                           context->usage, d3dFormat, context->pool, &created, nullptr),
            VLOC, "CreateTexture");
    Microsoft::WRL::ComPtr<IDirect3DSurface9> surface;
    CheckHr(created->GetSurfaceLevel(0, &surface), VLOC, "GetSurfaceLevel");
    const double t1 = timing ? HighResolutionSeconds() : 0.0;

    D3DLOCKED_RECT locked{};
    CheckHr(surface->LockRect(&locked, nullptr, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK), VLOC, "Enter");
    struct Unlock {
      IDirect3DSurface9* s;
      ~Unlock() { s->UnlockRect(); }
    } unlock{surface.Get()};

    // The planes lie one below the other, all with the texture's pitch.
    CpuVidFrameMemory target{};
    target.format = format;
    target.width = source->width;
    target.height = source->height;
    target.planes[0] = {static_cast<uint8_t*>(locked.pBits), locked.Pitch};
    for (int32_t i = 1; i < planes && i < kMaxVideoPlanes; ++i)
      target.planes[i] = {target.planes[i - 1].data + int64_t{rows[i - 1]} * locked.Pitch, locked.Pitch};
    CheckHr(CopyCpuVidFrameMemory(source, &target, ConvertionMode_Direct, g_uploadThreadPool), VLOC,
            "CopyCpuVidFrameMemory");

    if (timing) {
      const double t2 = HighResolutionSeconds();
      LogPrint(LOG_TIMING, VLOC, "CreateTextureFromMem %dx%d %s -> %s: (CrtTex %f c/s) %f c/s\n", source->width,
               source->height, VarnicaMediaNameOf(&source->format, 0, 0), VarnicaMediaNameOf(&format, 0, 0),
               t1 > t0 ? 1.0 / (t1 - t0) : 0.0, t2 > t0 ? 1.0 / (t2 - t0) : 0.0);
    }
    *texture = created.Detach();
    return S_OK;
  });
}

HRESULT CreateTextureFromFrame(const DX9Context* context, IDirect3DTexture9** texture, IUnknown* frame,
                               const GUID* targetFormat, const FieldSelect* field) {
  return GuardedCall([&] {
    CheckPointer(frame, VLOC, "pFrame");
    CheckPointer(texture, VLOC, "ppTex");
    Microsoft::WRL::ComPtr<IVarnicaObject> object;
    Microsoft::WRL::ComPtr<IValueSet> values;
    if (SUCCEEDED(frame->QueryInterface(IID_IVarnicaObject, &object))) object->GetValueSet(&values);

    Microsoft::WRL::ComPtr<ILockObject> lock;
    CheckHr(frame->QueryInterface(IID_ILockObject, &lock), VLOC, "Enter");
    CheckHr(lock->LockObject(0x11), VLOC, "Enter");
    FrameReadLock hold(lock.Get());

    CpuVidFrameMemory record{};
    const HRESULT read = values ? values->GetValueData(CVideoFrameCpuMemoryProperty, &CVideoFrameCpuMemoryProperty,
                                                       &record, sizeof record)
                                : E_POINTER;
    CheckHr(read, VLOC, "Mem.ReadFrom");

    if (field != nullptr && (field->mode == 1 || field->mode == 2)) {
      int16_t interlace = 0;
      if (FAILED(values->GetValueData(VideoInterlaceProperty, &VideoInterlaceProperty, &interlace, 2)))
        interlace = 0;
      // A progressive frame has no fields: it is uploaded whole.
      if ((interlace & 0xFF) != 0 && (field->field == 1 || field->field == 2)) {
        record.height /= 2;
        for (CpuVidFramePlane& plane : record.planes) {
          if (plane.data == nullptr) continue;
          if (field->field == 2) plane.data += plane.pitch;
          plane.pitch *= 2;
        }
      }
    }
    return CheckHr(CreateTextureFromMem(context, texture, &record, targetFormat), VLOC, "CreateTextureFromMem");
  });
}
