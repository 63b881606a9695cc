// Shared helpers of the test programs: the loaded module, observer capture, result printing.
#pragma once
#include <gtest/gtest.h>
#include <wrl/client.h>
#include <string>
#include <vector>
#include "VarnicaMedia.h"

namespace vmdxtest {

// Loads TamrelVarnicaMediaDirectX.dll as a class library once per process (through the core
// stand-in) and returns its module handle.
HMODULE ModuleHandle();

// The seven exports of the module, looked up once.
struct ModuleExports {
  HRESULT(WINAPI* DllGetClassObject)(REFCLSID, REFIID, void**);
  HRESULT(WINAPI* DllCanUnloadNow)();
  HRESULT(WINAPI* DLLGetOpenObjectCount)();
  HRESULT(WINAPI* DLLGetClassCount)();
  HRESULT(WINAPI* DLLGetClassObjectID)(uint32_t, uint32_t, GUID*);
  HRESULT(WINAPI* DLLGetClassObjectInfo)(uint32_t, char*, int32_t);
  HRESULT(WINAPI* DLLRegisterBootstrap)(IUnknown*);
};
const ModuleExports& Exports();
int OpenObjects();

// Captures the observer's lines while alive.
class ObserverCapture {
 public:
  ObserverCapture();
  ~ObserverCapture();
  std::string Text() const;
  bool Contains(const std::string& fragment) const { return Text().find(fragment) != std::string::npos; }
  int Count(const std::string& fragment) const;
  void Clear();
};

// Sets the observer's print level for a scope and restores it afterwards.
class PrintLevelScope {
 public:
  explicit PrintLevelScope(uint32_t level);
  ~PrintLevelScope();

 private:
  uint32_t previous_;
};

std::string HrText(HRESULT hr);

// A new object of a registered class, through the core; making it must succeed.
template <class T>
Microsoft::WRL::ComPtr<T> NewObject(REFCLSID clsid, REFIID iid) {
  Microsoft::WRL::ComPtr<T> object;
  EXPECT_EQ(HrText(S_OK), HrText(CreateClassObject(clsid, iid, &object))) << VarnicaNameOf(&clsid, 0, 0);
  return object;
}

// Drops the last reference to p's object: nothing else may hold it.
template <class T>
void ExpectLastRelease(Microsoft::WRL::ComPtr<T>& p) {
  if (T* last = p.Detach()) {
    EXPECT_EQ(0u, last->Release()) << "something still holds the object";
  }
}

// Disposes object through its IDisposable.
HRESULT Dispose(IUnknown* object);

// The value set of object: the object itself when it is one, else through IVarnicaObject.
Microsoft::WRL::ComPtr<IValueSet> ValuesOf(IUnknown* object);
// The value of key, typed as type, in object's value set; reading it must succeed.
template <class T>
T ValueOf(IUnknown* object, REFGUID key, const GUID& type) {
  T value{};
  const Microsoft::WRL::ComPtr<IValueSet> values = ValuesOf(object);
  EXPECT_EQ(HrText(S_OK), HrText(values ? values->GetValueData(key, &type, &value, sizeof(T)) : E_POINTER))
      << VarnicaNameOf(&key, 0, 0);
  return value;
}

}  // namespace vmdxtest

// EXPECT_HR(expected, call) prints codes in hexadecimal.
#define EXPECT_HR(expected, expr) EXPECT_EQ(::vmdxtest::HrText(expected), ::vmdxtest::HrText(expr))
#define ASSERT_HR(expected, expr) ASSERT_EQ(::vmdxtest::HrText(expected), ::vmdxtest::HrText(expr))
// EXPECT_HR, and the observer (capture, an ObserverCapture) must have been given text by then.
#define EXPECT_HR_LOGGED(capture, expected, expr, text)        \
  do {                                                         \
    EXPECT_HR(expected, expr);                                 \
    EXPECT_TRUE((capture).Contains(text)) << (capture).Text(); \
  } while (0)
