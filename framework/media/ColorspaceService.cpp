// The media module's colour-space service: single colours between RGB and YUV with U and V
// centred on 0 (full range: Y in 0..1, U and V in -0.5..0.5), BT.601 or BT.709 as selected by
// ColorspaceSettingKey in the settings passed with each call (BT.601 when none is set).
// Registered at load as a class, under its category, and as a singleton instance.
#include <wrl/client.h>

#include "FrameworkObject.h"
#include "VarnicaMedia.h"

using Microsoft::WRL::ComPtr;

namespace {

// The media module's group in the class registry.
constexpr GUID kMediaModuleClassGroup = {0x3F0C8E51, 0x6B2D, 0x4C7A, {0x9E, 0x14, 0x5A, 0xD2, 0x7B, 0x08, 0xC3, 0x61}};

// Luma weights of red and blue; green's is what is left.
struct LumaWeights {
  float kr, kb;
};

HRESULT WeightsOf(IValueSet* settings, LumaWeights* weights) {
  GUID colorspace = Colorspace_BT601;
  if (settings != nullptr && settings->HasValue(ColorspaceSettingKey) == S_OK) {
    const HRESULT hr = settings->GetValueData(ColorspaceSettingKey, &GuidValueType, &colorspace, sizeof colorspace);
    if (FAILED(hr)) return hr;
  }
  if (varnica::SameGuid(colorspace, Colorspace_BT601)) {
    *weights = {0.299f, 0.114f};
  } else if (varnica::SameGuid(colorspace, Colorspace_BT709)) {
    *weights = {0.2126f, 0.0722f};
  } else {
    return E_UNSUPPORTED;
  }
  return S_OK;
}

class ColorspaceService final : public vfw::FrameworkObject<IMediaColorspaceService> {
 public:
  ColorspaceService() : FrameworkObject(CLSID_MediaColorspaceService, "MediaColorspaceService", false) {}

  // Every request for IValueSet gives a fresh settings set, so each user selects its own
  // colour space on the one shared service.
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID, REFIID iid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!varnica::SameGuid(iid, IID_IValueSet)) return E_UNSUPPORTED;
    return CreateClassObject(CLSID_ValueSet, IID_IValueSet, ppv);
  }
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override {
    if (valueSet == nullptr) return E_POINTER;
    *valueSet = nullptr;
    std::lock_guard<std::mutex> hold(lock_);
    if (!valueSet_) {
      const HRESULT hr =
          CreateClassObject(CLSID_ValueSet, IID_IValueSet, reinterpret_cast<void**>(valueSet_.GetAddressOf()));
      if (FAILED(hr)) return hr;
    }
    *valueSet = ComPtr<IValueSet>(valueSet_).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDefaultColorspace(GUID* colorspace) override {
    if (colorspace == nullptr) return E_POINTER;
    *colorspace = Colorspace_BT601;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsColorspaceSupported(REFGUID colorspace) override {
    return varnica::SameGuid(colorspace, Colorspace_BT601) || varnica::SameGuid(colorspace, Colorspace_BT709)
               ? S_OK
               : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE RgbToYuv(IValueSet* settings, const float* rgb, float* yuv, int32_t count) override {
    if (rgb == nullptr || yuv == nullptr) return E_POINTER;
    if (count < 0) return E_INVALIDARG;
    LumaWeights w{};
    const HRESULT hr = WeightsOf(settings, &w);
    if (FAILED(hr)) return hr;
    for (int32_t i = 0; i < count; ++i) {
      const float r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
      const float y = w.kr * r + (1.0f - w.kr - w.kb) * g + w.kb * b;
      yuv[3 * i] = y;
      yuv[3 * i + 1] = (b - y) / (2.0f * (1.0f - w.kb));
      yuv[3 * i + 2] = (r - y) / (2.0f * (1.0f - w.kr));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE YuvToRgb(IValueSet* settings, const float* yuv, float* rgb, int32_t count) override {
    if (rgb == nullptr || yuv == nullptr) return E_POINTER;
    if (count < 0) return E_INVALIDARG;
    LumaWeights w{};
    const HRESULT hr = WeightsOf(settings, &w);
    if (FAILED(hr)) return hr;
    const float kg = 1.0f - w.kr - w.kb;
    for (int32_t i = 0; i < count; ++i) {
      const float y = yuv[3 * i], u = yuv[3 * i + 1], v = yuv[3 * i + 2];
      const float r = y + 2.0f * (1.0f - w.kr) * v;
      const float b = y + 2.0f * (1.0f - w.kb) * u;
      rgb[3 * i] = r;
      rgb[3 * i + 1] = (y - w.kr * r - w.kb * b) / kg;
      rgb[3 * i + 2] = b;
    }
    return S_OK;
  }

 private:
  bool ServesMain(REFIID iid) const override {
    return varnica::SameGuid(iid, IID_IMediaColorspaceService) || varnica::SameGuid(iid, IID_IVarnicaObject);
  }

  std::mutex lock_;
  ComPtr<IValueSet> valueSet_;
};

HRESULT CreateColorspaceService(REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  ColorspaceService* service = new (std::nothrow) ColorspaceService();
  if (service == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = service->QueryInterface(iid, ppv);
  service->Release();
  return hr;
}

ComPtr<IClsidRegistry> ClassRegistry() {
  ComPtr<IClsidRegistry> registry;
  _GetSingletonObject()->GetObject(ClassRegistryServiceId, IID_IClsidRegistry,
                                   reinterpret_cast<void**>(registry.GetAddressOf()));
  return registry;
}

// Makes the service reachable the three ways users find it when the media module loads, and
// takes the instance back when it unloads (its code goes with the module).
struct ServiceRegistration {
  ServiceRegistration() {
    VarnicaRegisterClassFactory(&CLSID_MediaColorspaceService, CreateColorspaceService, "MediaColorspaceService");
    if (ComPtr<IClsidRegistry> registry = ClassRegistry()) {
      registry->Register(&MediaColorspaceServiceCategory, &kMediaModuleClassGroup, &CLSID_MediaColorspaceService);
    }
    ComPtr<IUnknown> instance;
    if (SUCCEEDED(CreateColorspaceService(IID_IUnknown, reinterpret_cast<void**>(instance.GetAddressOf())))) {
      _GetSingletonObject()->RegisterObject(CLSID_MediaColorspaceService, instance.Get());
    }
  }
  ~ServiceRegistration() {
    _GetSingletonObject()->UnregisterObject(CLSID_MediaColorspaceService);
    if (ComPtr<IClsidRegistry> registry = ClassRegistry()) {
      registry->Unregister(MediaColorspaceServiceCategory, kMediaModuleClassGroup, CLSID_MediaColorspaceService);
    }
  }
};
ServiceRegistration g_registration;

}  // namespace
