// The object base of the framework modules' own objects: one atomic reference count (the
// creator holds the first reference), QueryInterface in one fixed shape, and the side
// interfaces IClassInfo, IObjectName and, for classes that opt in, IDisposable.
// Header-only so the media module builds its objects on the same base.
#pragma once
#include <wrl/client.h>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <wrl/client.h>
#include "FrameworkError.h"

namespace vfw {

// Holds a new object with the reference its creator was given. mingw's ComPtr::Attach takes a
// reference of its own, so an object attached with it would never be destroyed.
template <class T>
Microsoft::WRL::ComPtr<T> Adopt(T* created) {
  Microsoft::WRL::ComPtr<T> held;
  *held.GetAddressOf() = created;
  return held;
}

// Text out-parameters: a null buffer returns the length; a buffer shorter than the text is
// E_INVALIDARG; a terminator is added only when the buffer is longer than the text.
inline HRESULT CopyTextOut(const char* text, char* buffer, int32_t size) {
  const size_t length = std::strlen(text);
  if (buffer == nullptr) return static_cast<HRESULT>(length);
  if (size < 0 || static_cast<size_t>(size) < length) return E_INVALIDARG;
  std::memcpy(buffer, text, length);
  if (static_cast<size_t>(size) > length) buffer[length] = '\0';
  return S_OK;
}

// Main is the object's main interface; ServesMain names its identities besides IUnknown.
template <class Main>
class FrameworkObject : public Main, public IClassInfo, public IObjectName, public IDisposable {
 public:
  FrameworkObject(const GUID& clsid, const char* className, bool disposable)
      : clsid_(clsid), className_(className), disposable_(disposable) {}
  FrameworkObject(const FrameworkObject&) = delete;
  FrameworkObject& operator=(const FrameworkObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    void* found = nullptr;
    if (varnica::SameGuid(iid, IID_IUnknown) || ServesMain(iid)) {
      found = static_cast<Main*>(this);
    } else if (varnica::SameGuid(iid, IID_IClassInfo)) {
      found = static_cast<IClassInfo*>(this);
    } else if (varnica::SameGuid(iid, IID_IObjectName)) {
      found = static_cast<IObjectName*>(this);
    } else if (disposable_ && varnica::SameGuid(iid, IID_IDisposable)) {
      found = static_cast<IDisposable*>(this);
    }
    if (found == nullptr) return E_NOINTERFACE;
    AddRef();
    *ppv = found;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  // IClassInfo
  HRESULT STDMETHODCALLTYPE GetClassID(GUID* clsid) override {
    if (clsid == nullptr) return E_POINTER;
    *clsid = clsid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClassName(char* buffer, int32_t size) override {
    return CopyTextOut(className_, buffer, size);
  }

  // IObjectName
  HRESULT STDMETHODCALLTYPE SetName(const char* name) override {
    return Guarded([&] {
      std::lock_guard<std::mutex> hold(nameLock_);
      name_ = name ? name : "";
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetName(char* buffer, int32_t size) override {
    return Guarded([&] {
      std::lock_guard<std::mutex> hold(nameLock_);
      return CopyTextOut(name_.c_str(), buffer, size);
    });
  }

  // IDisposable: heavy parts go at once, the object itself at its last release.
  HRESULT STDMETHODCALLTYPE Dispose() override {
    if (disposed_.exchange(true)) return S_OK;
    OnDispose();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsDisposed() override { return disposed_.load() ? S_OK : S_FALSE; }

  const char* ClassName() const { return className_; }

 protected:
  virtual ~FrameworkObject() = default;
  // Identities of the main interface besides IUnknown.
  virtual bool ServesMain(REFIID iid) const = 0;
  virtual void OnDispose() {}

  // Raises E_DISPOSED "<operation>: <class> is disposed" once the object is disposed.
  void CheckNotDisposed(const SourceLocation& location, const char* operation) const {
    if (!disposed_.load()) return;
    const std::string text = std::string(operation) + ": " + className_ + " is disposed";
    Raise(E_DISPOSED, location, text.c_str());
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::atomic<bool> disposed_{false};
  const GUID clsid_;
  const char* const className_;
  const bool disposable_;
  std::mutex nameLock_;
  std::string name_;
};

}  // namespace vfw
