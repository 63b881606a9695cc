// The CPU frame and decoder a host hands to the module, as every suite fakes them: a lockable
// frame whose value set (the core's own) holds its memory record, format and interlace value,
// counting the locks it is given and the references it hands out.
#pragma once
#include <vector>
#include <wrl/client.h>

#include "TestSupport.h"
#include "VarnicaFrameAccess.h"

class FakeCpuFrame final : public ILockObject, public IVideoFrame {
 public:
  // Owns zeroed planes laid out for format (each plane's pitch = its row bytes + padding).
  static Microsoft::WRL::ComPtr<FakeCpuFrame> Make(const GUID& format, int32_t width, int32_t height,
                                                   int16_t interlace = 0, int32_t padding = 0);
  // Over memory the test owns.
  static Microsoft::WRL::ComPtr<FakeCpuFrame> Over(const CpuVidFrameMemory& record);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE LockObject(uint32_t flags) override;
  HRESULT STDMETHODCALLTYPE UnlockObject() override;
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID, REFIID, void**) override { return E_UNSUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override;

  IUnknown* Unknown() { return static_cast<IVideoFrame*>(this); }
  CpuVidFrameMemory& Record() { return record_; }
  // Stores the record for readers (after the test changed it).
  void Publish();
  // Takes the record out of the value set: reading the frame's memory then fails.
  void Withdraw();
  IValueSet* Values() { return values_.Get(); }
  // Locks held now.
  int LockCount() const { return locks - unlocks; }
  // Every lock given back and no reference but the test's own left.
  bool Balanced() const { return locks == unlocks && refs_ == 1; }

  HRESULT refuseLock = S_OK;
  uint32_t lastLockFlags = 0;
  int locks = 0;
  int unlocks = 0;

 private:
  FakeCpuFrame() = default;
  ULONG refs_ = 1;
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
