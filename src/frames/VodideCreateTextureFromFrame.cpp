#include "VodideCreateTextureFromFrame.h"

#include "VarnicaFrameAccess.h"

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "Diagnostics.h"
#include "Error.h"

namespace {

constexpr char kSourceFile[] = "src/VodideCreateTextureFromFrame";

// The module's shared pool for uploads. Nothing sets it, so uploads copy on the calling thread.
CpuThreadPool* const g_uploadThreadPool = nullptr;

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

    // The planes lie one below the other, all with the texture's pitch.
    CpuVidFrameMemory target{format, source->width, source->height, {}};
    int32_t totalHeight = 0;
    if (vmdx::StackPlanes(&target, nullptr, 0, &totalHeight) < 1)
      ThrowErrorF(E_UNSUPPORTED, VLOC, "%s", VarnicaMediaNameOf(&format, 0, 0));
    D3DFORMAT d3dFormat = D3DFMT_UNKNOWN;
    const HRESULT found = GetDirectXFormatFromMedia(&d3dFormat, format);
    if (FAILED(found))
      ThrowErrorF(found, VLOC, "GetDirectXFormatFromMedia( %s )", VarnicaMediaNameOf(&format, 0, 0));

    // Timing is a trace-level detail: the clock is read only when tracing.
    const bool timing = LogEnabled(LOG_TRACE);
    const double t0 = timing ? HighResolutionSeconds() : 0.0;
    Microsoft::WRL::ComPtr<IDirect3DTexture9> created;
    CheckHr(context->device->CreateTexture(static_cast<UINT>(source->width), static_cast<UINT>(totalHeight), 1,
                                           context->usage, d3dFormat, context->pool, &created, nullptr),
            VLOC, "CreateTexture");
    Microsoft::WRL::ComPtr<IDirect3DSurface9> surface;
    CheckHr(created->GetSurfaceLevel(0, &surface), VLOC, "GetSurfaceLevel");
    const double t1 = timing ? HighResolutionSeconds() : 0.0;

    const vmdx::LockedRect locked(surface.Get(), D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
    CheckHr(locked.status(), VLOC, "Enter");
    vmdx::StackPlanes(&target, locked.bits(), locked.pitch());
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
    vmdx::FrameMemoryLock lock;
    CheckHr(lock.Lock(frame, vmdx::kLockRead), VLOC, "Enter");
    CheckHr(lock.ReadMemory(), VLOC, "Mem.ReadFrom");
    CpuVidFrameMemory record = lock.memory();

    if (field != nullptr && (field->mode == 1 || field->mode == 2)) {
      int16_t interlace = 0;
      if (FAILED(vmdx::GetValue(lock.values(), VideoInterlaceProperty, VideoInterlaceProperty, &interlace)))
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
