// Failures inside the framework modules' operations: raised as IException* and turned back
// into result codes at the interface boundary, reported to the observer there.
// Header-only so the media module uses the same rules through the core's exports.
#pragma once
#include <new>
#include "VarnicaCore.h"

// Source location of the current line; every .cpp file defines its own kSourceFile.
#define FW_LOC (::varnica::SourceLocation{kSourceFile, __LINE__})

namespace vfw {

[[noreturn]] inline void Raise(HRESULT code, const SourceLocation& location, const char* text) {
  IException* e = NewException(code, &location, text);
  if (e == nullptr) throw std::bad_alloc();
  throw e;
}

inline HRESULT Check(HRESULT hr, const SourceLocation& location, const char* text) {
  if (FAILED(hr)) Raise(hr, location, text);
  return hr;
}

template <class T>
inline void CheckPointer(const T* p, const SourceLocation& location, const char* name) {
  if (p == nullptr) Raise(E_POINTER, location, name);
}

// The boundary of every exported function and interface operation: no exception leaves it.
template <class Body>
inline HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (IException* e) {
    return HandleObserverCatchedException(e);
  } catch (const std::bad_alloc&) {
    static const SourceLocation where{"framework/Guarded", 0};
    IException* e = NewException(E_OUTOFMEMORY, &where, "out of memory");
    if (e == nullptr) return E_OUTOFMEMORY;
    return HandleObserverCatchedException(e);
  } catch (...) {
    return HandleObserverCatchedException(nullptr);
  }
}

}  // namespace vfw
