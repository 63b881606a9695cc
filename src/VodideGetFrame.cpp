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
  CheckHr(frame->CreateTex2(texture.Get(), 0, sourceValues.Get(), 0x11), VLOC, "CreateTex1");
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
    CheckHr(request->SetValueData(FrameFormat, &GuidValueType, format, 16), VLOC, "SetFormat");
    CheckHr(request->SetValueData(TimecodeProperty, &TimecodeValueType, timecode, 24), VLOC, "SetTimeCode");
    if (frameSize != nullptr)
      CheckHr(request->SetValueData(FrameSizeProperty, &FrameSizeValueType, frameSize, 8), VLOC, "SetFrameSize");
    ComPtr<IVideoFrame> source;
    CheckHr(decoder->GetFrame(request.Get(), IID_IVideoFrame, &source), VLOC, "GetFrame");
    ComPtr<IMediaDirectX9VideoFrame> frame = UploadAsFrame(context, source.Get(), field);
    // The frame carries the timecode that was asked for, whatever the decoder reported.
    CheckHr(frame->SetTimecode(timecode), VLOC, "SetTimecode");
    return CheckHr(frame->QueryInterface(iid, ppFrame), VLOC, "query");
  });
}
