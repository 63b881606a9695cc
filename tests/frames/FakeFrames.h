// Small stand-ins for the CPU frames and decoders a host hands to the module: a frame over a
// record in memory that counts its locks, and a decoder that hands out such frames.
#pragma once
#include <vector>
#include <wrl/client.h>

#include "TestSupport.h"

// A lockable CPU frame whose value set holds its record and interlace value.
class FakeCpuFrame final : public ILockObject, public IVideoFrame {
 public:
  // Owns zeroed planes laid out for format (each plane's pitch = its row bytes + padding).
  static Microsoft::WRL::ComPtr<FakeCpuFrame> Make(const GUID& format, int32_t width, int32_t height,
                                                   int16_t interlace = 0, int32_t padding = 0);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE LockObject(uint32_t flags) override;
  HRESULT STDMETHODCALLTYPE UnlockObject() override;
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID, REFIID, void**) override { return E_UNSUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override;

  CpuVidFrameMemory& Record() { return record_; }
  // Stores the record (and anything else in the set) for readers.
  void Publish();
  IValueSet* Values() { return values_.Get(); }
  int LockCount() const { return locks_; }
  HRESULT refuseLock = S_OK;

 private:
  ULONG refs_ = 1;
  int locks_ = 0;
  CpuVidFrameMemory record_{};
  std::vector<std::vector<uint8_t>> planes_;
  Microsoft::WRL::ComPtr<IValueSet> values_;
};

// A decoder that hands out one prepared frame, or fails with a given code.
class FakeDecoder final : public IVideoDecoder {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID, REFIID, void**) override { return E_UNSUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override;
  HRESULT STDMETHODCALLTYPE GetFrame(IValueSet* request, REFIID iid, void** ppFrame) override;
  HRESULT STDMETHODCALLTYPE Open(const char*) override { return S_OK; }

  Microsoft::WRL::ComPtr<FakeCpuFrame> frame;
  HRESULT failure = S_OK;
  Microsoft::WRL::ComPtr<IValueSet> lastRequest;
};
