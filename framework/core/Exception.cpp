// Framework exceptions: created by NewException, thrown as pointers, reported and released
// by HandleObserverCatchedException at the interface boundary.
#include <atomic>
#include <new>
#include <string>
#include "Observer.h"

namespace vcore {
namespace {

class Exception final : public IException {
 public:
  Exception(HRESULT code, const SourceLocation* location, const char* message)
      : code_(code), message_(message ? message : "") {
    if (location != nullptr) location_ = {location->file ? location->file : "", location->line};
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!varnica::SameGuid(iid, IID_IUnknown) && !varnica::SameGuid(iid, IID_IException)) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IException*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetCode() override { return code_; }
  const char* STDMETHODCALLTYPE GetMessageText() override { return message_.c_str(); }
  const SourceLocation* STDMETHODCALLTYPE GetLocation() override { return &location_; }

 private:
  ~Exception() = default;

  std::atomic<ULONG> refs_{1};
  const HRESULT code_;
  const std::string message_;
  SourceLocation location_{"", 0};
};

}  // namespace
}  // namespace vcore

IException* NewException(HRESULT code, const SourceLocation* location, const char* message) {
  try {
    return new vcore::Exception(code, location, message);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HRESULT HandleObserverCatchedException(IException* exception) {
  vcore::Observer& observer = vcore::Observer::Instance();
  if (exception == nullptr) {
    observer.ReportException(E_FAIL, nullptr, "unknown exception");
    return E_FAIL;
  }
  const HRESULT code = exception->GetCode();
  observer.ReportException(code, exception->GetLocation(), exception->GetMessageText());
  exception->Release();
  return code;
}
