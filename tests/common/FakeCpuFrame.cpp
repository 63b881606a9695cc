#include "FakeCpuFrame.h"

using Microsoft::WRL::ComPtr;

ComPtr<FakeCpuFrame> FakeCpuFrame::Make(const GUID& format, int32_t width, int32_t height, int16_t interlace,
                                        int32_t padding) {
  CpuVidFrameMemory record{format, width, height, {}};
  int32_t rowBytes[kMaxVideoPlanes] = {};
  int32_t rows[kMaxVideoPlanes] = {};
  const int32_t planes =
      GetFormatVideoPlaneLayout(&format, width, height, kMaxVideoPlanes, nullptr, rowBytes, nullptr, nullptr, rows);
  std::vector<std::vector<uint8_t>> owned;
  for (int32_t i = 0; i < planes; ++i) {
    const int64_t pitch = rowBytes[i] + padding;
    owned.emplace_back(static_cast<size_t>(pitch * rows[i]), uint8_t{0});
    record.planes[i] = {owned.back().data(), pitch};
  }
  ComPtr<FakeCpuFrame> frame = Over(record);
  frame->planes_ = std::move(owned);  // the buffers keep their addresses
  EXPECT_HR(S_OK, vmdx::SetValue(frame->values_, VideoInterlaceProperty, VideoInterlaceProperty, interlace));
  return frame;
}

ComPtr<FakeCpuFrame> FakeCpuFrame::Over(const CpuVidFrameMemory& record) {
  ComPtr<FakeCpuFrame> frame;
  *frame.GetAddressOf() = new FakeCpuFrame();  // adopts the first reference (mingw's Attach adds one)
  frame->record_ = record;
  EXPECT_HR(S_OK, CreateClassObject(CLSID_ValueSet, IID_IValueSet, &frame->values_));
  EXPECT_HR(S_OK, vmdx::SetValue(frame->values_, FrameFormat, GuidValueType, record.format));
  frame->Publish();
  return frame;
}

void FakeCpuFrame::Publish() {
  EXPECT_HR(S_OK, vmdx::SetValue(values_, CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, record_));
}

void FakeCpuFrame::Withdraw() { values_->Remove(CVideoFrameCpuMemoryProperty); }

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

HRESULT FakeCpuFrame::LockObject(uint32_t flags) {
  if (FAILED(refuseLock)) return refuseLock;
  lastLockFlags = flags;
  ++locks;
  return S_OK;
}

HRESULT FakeCpuFrame::UnlockObject() {
  ++unlocks;
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
