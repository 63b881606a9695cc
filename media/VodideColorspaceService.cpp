#include "VarnicaFrameAccess.h"
#include "VodideColorspaceService.h"

#include "Diagnostics.h"
#include "Error.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "src/VodideColorspaceService";

// The class registered under a category: the first class id its enumerator gives.
HRESULT ResolveClassId(const GUID& category, GUID* classId) {
  ComPtr<IClsidRegistry> registry;
  if (FAILED(_GetSingletonObject()->GetObject(ClassRegistryServiceId, IID_IClsidRegistry,
                                              reinterpret_cast<void**>(registry.GetAddressOf()))) ||
      !registry || registry->HasCategory(category) != S_OK) {
    return E_FAIL;
  }
  ComPtr<IEnumeratorGUID> classes;
  HRESULT hr = registry->GetClasses(category, IID_IEnumeratorGUID, reinterpret_cast<void**>(classes.GetAddressOf()));
  if (FAILED(hr)) return hr;
  hr = classes->MoveNext();
  if (FAILED(hr)) return hr;
  return classes->GetCurrentGUID(classId);
}

}  // namespace

// Busy-waits for the holder's lock word; creation is short and rare.
class CColorspaceService::SpinLock {
 public:
  explicit SpinLock(std::atomic<int32_t>& word) : word_(word) {
    int32_t expected = 0;
    while (!word_.compare_exchange_weak(expected, 1, std::memory_order_acquire)) expected = 0;
  }
  ~SpinLock() { word_.store(0, std::memory_order_release); }
  SpinLock(const SpinLock&) = delete;
  SpinLock& operator=(const SpinLock&) = delete;

 private:
  std::atomic<int32_t>& word_;
};

void CColorspaceService::CreateServiceLocked() {
  if (service_) return;
  GUID classId{};
  if (FAILED(ResolveClassId(MediaColorspaceServiceCategory, &classId))) classId = MediaColorspaceServiceCategory;
  ComPtr<IMediaColorspaceService> service;
  const HRESULT hr = _GetSingletonObject()->GetObject(classId, IID_IMediaColorspaceService,
                                                      reinterpret_cast<void**>(service.GetAddressOf()));
  if (FAILED(hr) || !service) {
    if (LogEnabled(LOG_ERROR)) LogPrint(LOG_ERROR, VLOC, "Could not create MediaColorspaceService\n");
    ThrowError(FAILED(hr) ? hr : E_POINTER, VLOC, "CreateService");
  }
  ComPtr<IValueSet> settings;
  CheckHr(service->GetObject(GUID{}, IID_IValueSet, reinterpret_cast<void**>(settings.GetAddressOf())), VLOC,
          "Service->GetObject(,IID_IValueSet,)");
  if (!settings) ThrowError(E_POINTER, VLOC, "Service->GetObject(,IID_IValueSet,)");
  service_ = service;
  settings_ = settings;
}

void CColorspaceService::CreateService() {
  SpinLock hold(lock_);
  CreateServiceLocked();
}

void CColorspaceService::SetColorspace(const GUID& colorspace) {
  SpinLock hold(lock_);
  CreateServiceLocked();
  CheckHr(vmdx::SetValue(settings_, ColorspaceSettingKey, GuidValueType, colorspace), VLOC,
          "SetColorspace");
}

HRESULT CColorspaceService::ReadColorspace(IValueSet* settings, GUID* colorspace) {
  if (settings == nullptr || colorspace == nullptr) return E_POINTER;
  GUID value{};
  const HRESULT hr = vmdx::GetValue(settings, ColorspaceSettingKey, GuidValueType, &value);
  if (FAILED(hr)) return hr;
  *colorspace = value;
  return S_OK;
}

void CColorspaceService::RgbToYuv(const float rgb[3], float yuv[3]) {
  if (!service_) CreateService();
  CheckHr(service_->RgbToYuv(settings_.Get(), rgb, yuv, 1), VLOC, "RgbToYuv");
}

void CColorspaceService::YuvToRgb(const float* yuv, float* rgb, int32_t count) {
  if (!service_) CreateService();
  CheckHr(service_->YuvToRgb(settings_.Get(), yuv, rgb, count), VLOC, "YuvToRgb");
}
