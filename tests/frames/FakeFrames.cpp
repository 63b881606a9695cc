#include "FakeFrames.h"

using Microsoft::WRL::ComPtr;

ComPtr<FakeCpuFrame> FakeCpuFrame::Make(const GUID& format, int32_t width, int32_t height, int16_t interlace,
                                        int32_t padding) {
  ComPtr<FakeCpuFrame> frame;
  frame.Attach(new FakeCpuFrame());
  frame->record_.format = format;
  frame->record_.width = width;
  frame->record_.height = height;
  int32_t rowBytes[kMaxVideoPlanes] = {};
  int32_t rows[kMaxVideoPlanes] = {};
  const int32_t planes =
      GetFormatVideoPlaneLayout(&format, width, height, kMaxVideoPlanes, nullptr, rowBytes, nullptr, nullptr, rows);
  for (int32_t i = 0; i < planes; ++i) {
    const int64_t pitch = rowBytes[i] + padding;
    frame->planes_.emplace_back(static_cast<size_t>(pitch * rows[i]), uint8_t{0});
    frame->record_.planes[i] = {frame->planes_.back().data(), pitch};
  }
  EXPECT_HR(S_OK, CreateClassObject(CLSID_ValueSet, IID_IValueSet, &frame->values_));
  EXPECT_HR(S_OK, frame->values_->SetValueData(VideoInterlaceProperty, &VideoInterlaceProperty, &interlace, 2));
  EXPECT_HR(S_OK, frame->values_->SetValueData(FrameFormat, &GuidValueType, &format, 16));
  frame->Publish();
  return frame;
}

void FakeCpuFrame::Publish() {
  EXPECT_HR(S_OK, values_->SetValueData(CVideoFrameCpuMemoryProperty, &CVideoFrameCpuMemoryProperty, &record_,
                                        sizeof record_));
}

HRESULT FakeCpuFrame::QueryInterface(REFIID iid, void** ppv) {
  if (IsEqualGUID(iid, IID_ILockObject)) {
    *ppv = static_cast<ILockObject*>(this);
  } else if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IVideoFrame) ||
             IsEqualGUID(iid, IID_IVarnicaObject)) {
    *ppv = static_cast<IVideoFrame*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG FakeCpuFrame::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT FakeCpuFrame::LockObject(uint32_t) {
  if (FAILED(refuseLock)) return refuseLock;
  ++locks_;
  return S_OK;
}

HRESULT FakeCpuFrame::UnlockObject() {
  if (locks_ > 0) --locks_;
  return S_OK;
}

HRESULT FakeCpuFrame::GetValueSet(IValueSet** valueSet) {
  *valueSet = values_.Get();
  values_->AddRef();
  return S_OK;
}

HRESULT FakeDecoder::QueryInterface(REFIID iid, void** ppv) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IVideoDecoder)) {
    *ppv = static_cast<IVideoDecoder*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT FakeDecoder::GetValueSet(IValueSet** valueSet) {
  return CreateClassObject(CLSID_ValueSet, IID_IValueSet, reinterpret_cast<void**>(valueSet));
}

HRESULT FakeDecoder::GetFrame(IValueSet* request, REFIID iid, void** ppFrame) {
  lastRequest = request;
  if (FAILED(failure)) return failure;
  return frame->QueryInterface(iid, ppFrame);
}
