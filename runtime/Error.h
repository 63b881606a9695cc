// Failures inside operations travel as framework exceptions (IException*) and are turned
// back into result codes only at the interface boundary.
#pragma once
#include "VarnicaCore.h"

// Raises a framework exception carrying code, location and text. Never returns.
[[noreturn]] void ThrowError(HRESULT code, const SourceLocation& location, const char* text);
[[noreturn]] void ThrowErrorF(HRESULT code, const SourceLocation& location, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Raises when hr is a failure; returns hr otherwise (success codes other than S_OK pass).
inline HRESULT CheckHr(HRESULT hr, const SourceLocation& location, const char* text) {
  if (FAILED(hr)) ThrowError(hr, location, text);
  return hr;
}

// Raises E_POINTER with the argument's name when p is null.
template <class T>
inline void CheckPointer(const T* p, const SourceLocation& location, const char* name) {
  if (p == nullptr) ThrowError(E_POINTER, location, name);
}

// The interface-boundary guard: runs body, and hands any failure raised inside to the
// observer, returning its code. HandleObserverCatchedException takes over the exception.
template <class Body>
inline HRESULT GuardedCall(Body&& body) noexcept {
  try {
    return body();
  } catch (IException* e) {
    return HandleObserverCatchedException(e);
  } catch (...) {
    return HandleObserverCatchedException(nullptr);
  }
}
