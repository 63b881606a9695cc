#include "VodideDX9VidConvert.h"

#include "Diagnostics.h"
#include "Error.h"
#include "VarnicaFrameAccess.h"
#include "VodideCreateTextureFromFrame.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr char kSourceFile[] = "src/VodideDX9VidConvert";

GUID NativeFormat(const GUID& format, const SourceLocation& location) {
  GUID native{};
  CheckHr(GetDirectXNativeMediaFormatFrom(&native, format), location, "GetDirectXNativeMediaFormatFrom");
  return native;
}

GUID UnpackedFormat(const GUID& format, const SourceLocation& location) {
  GUID unpacked{};
  CheckHr(GetDirectXUnpackedMediaFormatFrom(&unpacked, format), location, "GetDirectXUnpackedMediaFormatFrom");
  return unpacked;
}
}  // namespace

CDX9VidConvert::CDX9VidConvert() : context_(&ownContext_), cache_(&ownCache_) {}

CDX9VidConvert::CDX9VidConvert(DX9Context* context, CDX9ResourceCache* cache) : context_(context), cache_(cache) {}

// The embedded cache's shaders go first, then the quad buffer, then the embedded context.
CDX9VidConvert::~CDX9VidConvert() = default;

void CDX9VidConvert::EnsureInitialized() {
  if (!initialized_ || !context_->device) CheckHr(Initialize(), VLOC, "Initialize");
}

HRESULT CDX9VidConvert::Initialize() {
  return GuardedCall([&] {
    if (!context_->device) {
      const OffscreenDeviceSettings defaults;
      CheckHr(context_->InitializeOffscreenDevice(defaults), VLOC, "InitializeOffscreenDevice");
    }
    CheckHr(context_->ObtainPCT4VertexBuffer(mVB.ReleaseAndGetAddressOf()), VLOC, "ObtainPCT4VertexBuffer");
    initialized_ = true;
    return S_OK;
  });
}

HRESULT CDX9VidConvert::CreateConvertedTextureFromMem(IDirect3DTexture9** ppTargetTexture, GUID* pTargetTextureFormat,
                                                      const CpuVidFrameMemory* memory, const GUID& memoryFormat,
                                                      const GUID& targetFormat, bool unpack) {
  return GuardedCall([&] {
    CheckPointer(ppTargetTexture, VLOC, "ppTargetTexture");
    CheckPointer(pTargetTextureFormat, VLOC, "pTargetTextureFormat");
    CheckPointer(memory, VLOC, "pMem");
    CpuVidFrameMemory record = *memory;
    if (!varnica::IsNullGuid(memoryFormat)) record.format = memoryFormat;
    GUID source = NativeFormat(record.format, VLOC);
    GUID target = targetFormat;
    EnsureInitialized();
    ComPtr<IDirect3DTexture9> uploaded;
    CheckHr(CreateTextureFromMem(context_, &uploaded, &record, &source), VLOC, "CreateTextureFromMem");
    if (varnica::IsNullGuid(target)) target = source;
    source = NativeFormat(source, VLOC);
    if (unpack) target = UnpackedFormat(target, VLOC);
    CheckHr(CreateTextureFromTexture(ppTargetTexture, pTargetTextureFormat, uploaded.Get(), source, target), VLOC,
            "CreateTextureFromTexture");
    return S_OK;
  });
}

HRESULT CDX9VidConvert::CreateConvertedTextureFromFrame(IDirect3DTexture9** ppTargetTexture, GUID* pTargetTextureFormat,
                                                        IUnknown* pFrame, const GUID& frameFormat,
                                                        const GUID& targetFormat, bool unpack) {
  return GuardedCall([&] {
    CheckPointer(ppTargetTexture, VLOC, "ppTargetTexture");
    CheckPointer(pTargetTextureFormat, VLOC, "pTargetTextureFormat");
    CheckPointer(pFrame, VLOC, "pFrame");
    ComPtr<IVarnicaObject> object;
    ComPtr<IValueSet> values;
    if (SUCCEEDED(pFrame->QueryInterface(IID_IVarnicaObject, reinterpret_cast<void**>(object.GetAddressOf()))))
      object->GetValueSet(values.GetAddressOf());
    if (!values) ThrowError(E_POINTER, VLOC, "FrameFormat");
    GUID ownFormat{};  // a frame without the property has the null format
    if (values->HasValue(FrameFormat) == S_OK)
      CheckHr(vmdx::GetValue(values.Get(), FrameFormat, GuidValueType, &ownFormat), VLOC, "FrameFormat");
    ComPtr<IMediaDirectX9VideoFrame> gpuFrame;
    const bool onGpu = SUCCEEDED(
        pFrame->QueryInterface(IID_IMediaDirectX9VideoFrame, reinterpret_cast<void**>(gpuFrame.GetAddressOf())));

    GUID source = NativeFormat(varnica::IsNullGuid(frameFormat) ? ownFormat : frameFormat, VLOC);
    GUID target = targetFormat;
    EnsureInitialized();
    ComPtr<IDirect3DTexture9> texture;
    if (onGpu) {
      CheckHr(context_->GetTextureFromFrame(&texture, pFrame, 0), VLOC, "GetTextureFromFrame");
      source = ownFormat;  // the texture holds what the frame says, whatever the override
    } else {
      CheckHr(CreateTextureFromFrame(context_, &texture, pFrame, &source, nullptr), VLOC, "CreateTextureFromFrame");
    }
    if (varnica::IsNullGuid(target)) target = source;
    source = NativeFormat(source, VLOC);
    if (unpack) target = UnpackedFormat(target, VLOC);
    CheckHr(CreateTextureFromTexture(ppTargetTexture, pTargetTextureFormat, texture.Get(), source, target), VLOC,
            "CreateTextureFromTexture");
    return S_OK;
  });
}
