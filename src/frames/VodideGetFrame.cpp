#include "VarnicaFrameAccess.h"
#include "VodideGetFrame.h"

#include "Diagnostics.h"
#include "Error.h"
#include "VodideCreateTextureFromFrame.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "src/VodideGetFrame";

void CheckArguments(const DX9Context* context, void** ppFrame, IVideoDecoder* decoder) {
  CheckPointer(ppFrame, VLOC, "ppFrame");
  CheckPointer(decoder, VLOC, "pDecoder");
  if (context == nullptr || !context->device) ThrowError(E_POINTER, VLOC, "Device3D");
  *ppFrame = nullptr;
}

// The properties the new frame takes from its source. When the source format's unpacked form (the
// texture's format) is held on the GPU in another Direct3D format than the source format itself
// (packed 4:2:2 becomes 4:4:4), the frame must name the texture's format: the same properties
// with FrameFormat replaced. Otherwise the source's own set serves as it is.
ComPtr<IValueSet> FrameSettingsFor(IValueSet* sourceValues) {
  GUID format{};
  if (FAILED(vmdx::GetValue(sourceValues, FrameFormat, GuidValueType, &format))) return sourceValues;
  GUID unpacked{}, native{}, unpackedNative{};
  if (FAILED(GetDirectXUnpackedMediaFormatFrom(&unpacked, format)) ||
      FAILED(GetDirectXNativeMediaFormatFrom(&native, format)) ||
      FAILED(GetDirectXNativeMediaFormatFrom(&unpackedNative, unpacked)) ||
      varnica::SameGuid(native, unpackedNative))
    return sourceValues;
  ComPtr<IValueSet> settings;
  CheckHr(CreateClassObject(CLSID_ValueSet, IID_IValueSet, &settings), VLOC, "Initialize");
  const GUID* const copied[] = {&PixelAspectRatioProperty, &VideoInterlaceProperty, &TimecodeProperty,
                                &FrameRateProperty, &FramePackingProperty};
  for (const GUID* key : copied) {
    GUID type{};
    VSIZE size = 0;
    if (FAILED(sourceValues->GetValueType(*key, &type, &size)) || size <= 0 || size > 64) continue;
    uint8_t data[64];
    if (SUCCEEDED(sourceValues->GetValueData(*key, &type, data, size)))
      CheckHr(settings->SetValueData(*key, &type, data, size), VLOC, "SetValueData");
  }
  CheckHr(vmdx::SetValue(settings, FrameFormat, GuidValueType, unpacked), VLOC, "SetFormat");
  return settings;
}

// Uploads the source frame and wraps the texture in a new GPU frame with the source's properties.
ComPtr<IMediaDirectX9VideoFrame> UploadAsFrame(const DX9Context* context, IVideoFrame* source,
                                               const FieldSelect* field) {
  ComPtr<IValueSet> sourceValues;
  CheckHr(source->GetValueSet(&sourceValues), VLOC, "GetValueSet");
  ComPtr<IDirect3DTexture9> texture;
  CheckHr(CreateTextureFromFrame(context, &texture, source, nullptr, field), VLOC, "CreateTextureFromFrame");
  ComPtr<IMediaDirectX9VideoFrame> frame;
  CheckHr(CreateClassObject(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame, &frame), VLOC,
          "CreateMediaDirectX9VideoFrame");
  ComPtr<IValueSet> settings = FrameSettingsFor(sourceValues.Get());
  CheckHr(frame->CreateTex2(texture.Get(), 0, settings.Get(), vmdx::kLockRead), VLOC, "CreateTex1");
  return frame;
}

}  // namespace

HRESULT GetDirectXFrame(const DX9Context* context, IVideoDecoder* decoder, IValueSet* request, REFIID iid,
                        void** ppFrame) {
  return GuardedCall([&] {
    CheckArguments(context, ppFrame, decoder);
    ComPtr<IVideoFrame> source;
    CheckHr(decoder->GetFrame(request, IID_IVideoFrame, &source), VLOC, "GetFrame");
    ComPtr<IMediaDirectX9VideoFrame> frame = UploadAsFrame(context, source.Get(), nullptr);
    return CheckHr(frame->QueryInterface(iid, ppFrame), VLOC, "query");
  });
}

HRESULT GetDirectXFrame(const DX9Context* context, REFIID iid, void** ppFrame, IVideoDecoder* decoder,
                        const VarnicaTimecode* timecode, const VarnicaFrameSize* frameSize, const GUID* format,
                        const FieldSelect* field) {
  return GuardedCall([&] {
    CheckArguments(context, ppFrame, decoder);
    {
      ComPtr<IValueSet> decoderValues;  // asked for as the decoder expects; not used further
      decoder->GetValueSet(&decoderValues);
    }
    ComPtr<IValueSet> request;
    CheckHr(CreateClassObject(CLSID_ValueSet, IID_IValueSet, &request), VLOC, "Initialize");
    CheckHr(vmdx::SetValue(request, FrameFormat, GuidValueType, *format), VLOC, "SetFormat");
    CheckHr(vmdx::SetValue(request, TimecodeProperty, TimecodeValueType, *timecode), VLOC, "SetTimeCode");
    if (frameSize != nullptr)
      CheckHr(vmdx::SetValue(request, FrameSizeProperty, FrameSizeValueType, *frameSize), VLOC, "SetFrameSize");
    ComPtr<IVideoFrame> source;
    CheckHr(decoder->GetFrame(request.Get(), IID_IVideoFrame, &source), VLOC, "GetFrame");
    ComPtr<IMediaDirectX9VideoFrame> frame = UploadAsFrame(context, source.Get(), field);
    // The frame carries the timecode that was asked for, whatever the decoder reported.
    CheckHr(frame->SetTimecode(timecode), VLOC, "SetTimecode");
    return CheckHr(frame->QueryInterface(iid, ppFrame), VLOC, "query");
  });
}
