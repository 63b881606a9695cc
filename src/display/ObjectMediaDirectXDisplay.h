// MediaDirectXDisplay: presents pictures in a host window; hands out one drawing surface per
// picture.
#pragma once
#include "IMediaDirectXDisplay.h"
#include "ObjectBase.h"

class MediaDirectXDisplay final : public IMediaDirectXDisplay, public ComponentObject {
 public:
  MediaDirectXDisplay();
  ~MediaDirectXDisplay() override;
  VARNICA_IUNKNOWN_IMPLEMENTATION

  HRESULT STDMETHODCALLTYPE GetObject(REFGUID key, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override;
  HRESULT STDMETHODCALLTYPE Create0(IValueSet* settings) override;

 protected:
  void ReleaseDisposableResources() override;

 private:
  static const InterfaceEntry kInterfaces[];

  bool created_ = false;
  HWND deviceWindow_ = nullptr;
  uint32_t multisampleType_ = 0;
};
