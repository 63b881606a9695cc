// Shared helpers of the test programs: the loaded module, observer capture, result printing.
#pragma once
#include <string>
#include <vector>
#include <gtest/gtest.h>
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

}  // namespace vmdxtest

// EXPECT_HR(expected, call) prints codes in hexadecimal.
#define EXPECT_HR(expected, expr) EXPECT_EQ(::vmdxtest::HrText(expected), ::vmdxtest::HrText(expr))
#define ASSERT_HR(expected, expr) ASSERT_EQ(::vmdxtest::HrText(expected), ::vmdxtest::HrText(expr))
