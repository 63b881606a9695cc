#include "TestSupport.h"

#include <cstdio>

namespace vmdxtest {

HMODULE ModuleHandle() {
  static HMODULE module = [] {
    HRESULT hr = VarnicaLoadClassLibrary("TamrelVarnicaMediaDirectX.dll");
    if (FAILED(hr)) {
      std::fprintf(stderr, "cannot load TamrelVarnicaMediaDirectX.dll: 0x%08lX\n", (unsigned long)hr);
      std::abort();
    }
    return GetModuleHandleA("TamrelVarnicaMediaDirectX.dll");
  }();
  return module;
}

const ModuleExports& Exports() {
  static ModuleExports e = [] {
    HMODULE m = ModuleHandle();
    ModuleExports x{};
    auto get = [m](const char* name) {
      FARPROC p = GetProcAddress(m, name);
      if (!p) {
        std::fprintf(stderr, "missing export %s\n", name);
        std::abort();
      }
      return reinterpret_cast<void*>(p);
    };
    x.DllGetClassObject = reinterpret_cast<decltype(x.DllGetClassObject)>(get("DllGetClassObject"));
    x.DllCanUnloadNow = reinterpret_cast<decltype(x.DllCanUnloadNow)>(get("DllCanUnloadNow"));
    x.DLLGetOpenObjectCount = reinterpret_cast<decltype(x.DLLGetOpenObjectCount)>(get("DLLGetOpenObjectCount"));
    x.DLLGetClassCount = reinterpret_cast<decltype(x.DLLGetClassCount)>(get("DLLGetClassCount"));
    x.DLLGetClassObjectID = reinterpret_cast<decltype(x.DLLGetClassObjectID)>(get("DLLGetClassObjectID"));
    x.DLLGetClassObjectInfo = reinterpret_cast<decltype(x.DLLGetClassObjectInfo)>(get("DLLGetClassObjectInfo"));
    x.DLLRegisterBootstrap = reinterpret_cast<decltype(x.DLLRegisterBootstrap)>(get("DLLRegisterBootstrap"));
    return x;
  }();
  return e;
}

int OpenObjects() { return static_cast<int>(Exports().DLLGetOpenObjectCount()); }

ObserverCapture::ObserverCapture() {
  VarnicaObserverClearCaptured();
  VarnicaObserverCapture(TRUE);
}

ObserverCapture::~ObserverCapture() {
  VarnicaObserverCapture(FALSE);
  VarnicaObserverClearCaptured();
}

std::string ObserverCapture::Text() const {
  int32_t n = VarnicaObserverCaptured(nullptr, 0);
  std::string s(static_cast<size_t>(n), '\0');
  VarnicaObserverCaptured(s.data(), n);
  if (!s.empty()) s.pop_back();  // terminator
  return s;
}

int ObserverCapture::Count(const std::string& fragment) const {
  std::string t = Text();
  int n = 0;
  for (size_t p = t.find(fragment); p != std::string::npos; p = t.find(fragment, p + fragment.size())) ++n;
  return n;
}

void ObserverCapture::Clear() { VarnicaObserverClearCaptured(); }

PrintLevelScope::PrintLevelScope(uint32_t level) {
  IObserver* o = nullptr;
  GetGlobalObserver(&o);
  previous_ = o ? o->GetPrintLevel() : 0;
  if (o) {
    o->SetPrintLevel(level, 0xFFFFFFFFu);
    o->Release();
  }
  UpdateGlobalObserverPrintLevel();
}

PrintLevelScope::~PrintLevelScope() {
  IObserver* o = nullptr;
  GetGlobalObserver(&o);
  if (o) {
    o->SetPrintLevel(previous_, 0xFFFFFFFFu);
    o->Release();
  }
  UpdateGlobalObserverPrintLevel();
}

HRESULT Dispose(IUnknown* object) {
  Microsoft::WRL::ComPtr<IDisposable> disposable;
  const HRESULT hr = object ? object->QueryInterface(IID_IDisposable, &disposable) : E_POINTER;
  return FAILED(hr) ? hr : disposable->Dispose();
}

Microsoft::WRL::ComPtr<IValueSet> ValuesOf(IUnknown* object) {
  Microsoft::WRL::ComPtr<IValueSet> values;
  if (object && FAILED(object->QueryInterface(IID_IValueSet, &values))) {
    Microsoft::WRL::ComPtr<IVarnicaObject> varnica;
    if (SUCCEEDED(object->QueryInterface(IID_IVarnicaObject, &varnica))) varnica->GetValueSet(&values);
  }
  return values;
}

std::string HrText(HRESULT hr) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08lX", static_cast<unsigned long>(hr));
  return b;
}

}  // namespace vmdxtest
