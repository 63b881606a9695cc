#include "VarnicaFrameAccess.h"
#include "ObjectMediaDirectXDisplay.h"

#include "ComServer.h"
#include "Diagnostics.h"
#include "IMediaDirectXGraphics.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "src/ObjectMediaDirectXDisplay";
constexpr ClassDescriptor kDescriptor{&CLSID_MediaDirectXDisplay, "MediaDirectXDisplay"};

template <class I>
IUnknown* Cast(ObjectRoot* root) {
  return CastTo<MediaDirectXDisplay, I>(root);
}

// Asks the class registry which class implements category; the first failing step decides.
HRESULT ResolveClassId(ISingletonRegistry* singletons, REFGUID category, GUID* classId) {
  ComPtr<IClsidRegistry> registry;
  HRESULT hr = singletons->GetObject(ClassRegistryServiceId, IID_IClsidRegistry,
                                     reinterpret_cast<void**>(registry.GetAddressOf()));
  if (FAILED(hr) || !registry || registry->HasCategory(category) != S_OK) return E_FAIL;
  ComPtr<IEnumeratorGUID> entry;
  hr = registry->GetClasses(category, IID_IEnumeratorGUID, reinterpret_cast<void**>(entry.GetAddressOf()));
  if (SUCCEEDED(hr)) hr = entry->MoveNext();
  if (SUCCEEDED(hr)) hr = entry->GetCurrentGUID(classId);
  return hr;
}

}  // namespace

ClassRegistration g_MediaDirectXDisplayClass = {CLSID_MediaDirectXDisplay, nullptr,
                                                &CreateComponentObject<MediaDirectXDisplay>, "MediaDirectXDisplay"};

const ObjectRoot::InterfaceEntry MediaDirectXDisplay::kInterfaces[] = {
    {&IID_IMediaDirectXDisplay, &Cast<IMediaDirectXDisplay>},
    {&IID_IMediaDirectXDisplay2, &Cast<IMediaDirectXDisplay>},
    {&IID_IVarnicaObject, &Cast<IMediaDirectXDisplay>},
    {&IID_IVarnicaObjectBase, &Cast<IMediaDirectXDisplay>},
    {&IID_IDisposable, &Cast<IDisposable>},
    {&IID_IClassInfo, &Cast<IClassInfo>},
    {&IID_IObjectName, &Cast<IObjectName>},
};

VARNICA_QUERY_INTERFACE(MediaDirectXDisplay)

MediaDirectXDisplay::MediaDirectXDisplay() : ComponentObject(kDescriptor) {}

// Members go in reverse order: the state block, the cache's shaders (without the close line),
// then the context with the device.
MediaDirectXDisplay::~MediaDirectXDisplay() = default;

// The cache stays until destruction: surfaces still alive point at it.
void MediaDirectXDisplay::ReleaseDisposableResources() {
  created_ = false;
  stateBlock_.Reset();
  context_.Close();
}

HRESULT MediaDirectXDisplay::GetObject(REFGUID, REFIID iid, void** ppv) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(ppv, VLOC, "ppv");
    *ppv = nullptr;
    if (!created_) ThrowError(E_FAIL, VLOC, "Not created: see Create()");
    ThrowIfDisposed("GetObject", VLOC);
    if (varnica::SameGuid(iid, IID_IMediaDirectXGraphics3) || varnica::SameGuid(iid, IID_IMediaDirectXGraphics2))
      return CreateSurface(iid, ppv);
    if (varnica::SameGuid(iid, MediaDisplaySphericalMetricId)) return ObtainMediaDisplaySphericalMetric(iid, ppv);
    return E_UNSUPPORTED;
  });
}

HRESULT MediaDirectXDisplay::GetValueSet(IValueSet** valueSet) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(valueSet, VLOC, "valueSet");
    ThrowIfDisposed("GetValueSet", VLOC);
    ThrowError(E_NOTIMPL, VLOC, "GetValueSet");
  });
}

HRESULT MediaDirectXDisplay::Create0(IValueSet* settings) {
  return GuardedCall([&] {
    CheckPointer(settings, VLOC, "pSettings");
    if (created_) ThrowError(E_FAIL, VLOC, "Already created");
    ThrowIfDisposed("Create0", VLOC);
    HWND window = nullptr;
    CheckHr(vmdx::GetValue(settings, CHwndProperty, CHwndProperty, &window), VLOC, "CHwndProperty required");
    if (!IsWindow(window)) ThrowError(E_INVALIDARG, VLOC, "CHwndProperty with invalid hwnd");
    deviceSettings_.deviceWindow = window;
    deviceSettings_.multiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    created_ = true;
    return S_OK;
  });
}

HRESULT MediaDirectXDisplay::CreateSurface(REFIID iid, void** ppv) {
  PrepareDXDevice();
  ComPtr<IMediaDirectXGraphics> surface;
  CheckHr(CreateClassObject(CLSID_MediaDirectXGraphics, IID_IMediaDirectXGraphics,
                            reinterpret_cast<void**>(surface.GetAddressOf())),
          VLOC, "CreateClassObject CLSID_MediaDirectXGraphics");
  CheckHr(surface->Create0(&context_, &cache_), VLOC, "Create0");
  CheckHr(surface->QueryInterface(iid, ppv), VLOC, "query");
  return S_OK;
}

void MediaDirectXDisplay::CloseDevice() {
  cache_.Close();
  context_.Close();
}

void MediaDirectXDisplay::PrepareDXDevice() {
  RECT client{};
  if (!GetClientRect(deviceSettings_.deviceWindow, &client)) ThrowError(E_INVALIDARG, VLOC, "GetClientRect");
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;

  if (context_.device && (width != deviceSettings_.width || height != deviceSettings_.height)) {
    LogPrint(LOG_TRACE, VLOC, "DXDevice have to recreated\n");
    CloseDevice();
  }
  if (context_.device) {
    // Without a state block (its capture failed after the device was made) there is nothing to
    // restore the device with: make it again.
    const HRESULT applied = stateBlock_ ? stateBlock_->Apply() : E_POINTER;
    if (FAILED(applied)) {
      LogPrint(LOG_WARN, VLOC, "DXDevice Apply failed - recreate device\n");
      CloseDevice();
    }
  }
  if (!context_.device) {
    LogPrint(LOG_TRACE, VLOC, "DXDevice create %dx%d\n", width, height);
    deviceSettings_.width = width;
    deviceSettings_.height = height;
    stateBlock_.Reset();
    CheckHr(context_.InitializeOffscreenDevice(deviceSettings_), VLOC, "InitializeOffscreenDevice");
    IDirect3DDevice9Ex* device = context_.device.Get();
    if (!device) ThrowError(E_POINTER, VLOC, "InitializeOffscreenDevice");
    // Samples outside the picture read the border colour (the display program relies on it).
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
    CheckHr(device->CreateStateBlock(D3DSBT_ALL, &stateBlock_), VLOC, "CreateStateBlock");
  }
  CheckHr(context_.device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0, 0, 0, 0), 1.0f, 0), VLOC, "Clear");
}

HRESULT MediaDirectXDisplay::ObtainMediaDisplaySphericalMetric(REFIID iid, void** ppv) {
  ISingletonRegistry* singletons = _GetSingletonObject();
  if (!singletons) ThrowError(E_POINTER, VLOC, "ObtainMediaDisplaySphericalMetric");
  if (singletons->HasObject(MediaDisplaySphericalMetricId) != S_OK) {
    // Failures here are not reported: the registry read below decides.
    GUID classId{};
    if (SUCCEEDED(ResolveClassId(singletons, SphericalMetricCategoryId, &classId))) {
      ComPtr<IUnknown> service;
      if (SUCCEEDED(CreateClassObject(classId, MediaDisplaySphericalMetricId,
                                      reinterpret_cast<void**>(service.GetAddressOf()))))
        singletons->RegisterObject(MediaDisplaySphericalMetricId, service.Get());
    }
  }
  ComPtr<IUnknown> metric;
  CheckHr(singletons->GetObject(MediaDisplaySphericalMetricId, MediaDisplaySphericalMetricId,
                                reinterpret_cast<void**>(metric.GetAddressOf())),
          VLOC, "ObtainMediaDisplaySphericalMetric");
  if (!metric) ThrowError(E_POINTER, VLOC, "ObtainMediaDisplaySphericalMetric");
  CheckHr(metric->QueryInterface(iid, ppv), VLOC, "query");
  return S_OK;
}
