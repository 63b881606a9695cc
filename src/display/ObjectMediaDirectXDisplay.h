// MediaDirectXDisplay: presents pictures in a host window; hands out one drawing surface per
// picture, on a device that always has the window's client size.
#pragma once
#include <wrl/client.h>

#include "IMediaDirectXDisplay.h"
#include "ObjectBase.h"
#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"

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

  // (Re)makes the device to the window's client size when needed, restores the captured device
  // state and clears the back buffer to transparent black.
  void PrepareDXDevice();
  void CloseDevice();
  HRESULT CreateSurface(REFIID iid, void** ppv);
  HRESULT ObtainMediaDisplaySphericalMetric(REFIID iid, void** ppv);

  bool created_ = false;
  OffscreenDeviceSettings deviceSettings_;
  DX9Context context_;
  CDX9ResourceCache cache_;
  // Device state right after the device was made; applied for every new surface.
  Microsoft::WRL::ComPtr<IDirect3DStateBlock9> stateBlock_;
};
