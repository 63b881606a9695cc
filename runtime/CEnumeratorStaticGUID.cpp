#include "CEnumeratorStaticGUID.h"

#include "Diagnostics.h"

namespace {
constexpr char kSourceFile[] = "src/CEnumeratorStaticGUID";

}  // namespace

CEnumeratorStaticGUID::CEnumeratorStaticGUID() : ObjectRoot(IID_IEnumerator) {}

CEnumeratorStaticGUID::~CEnumeratorStaticGUID() {
  if (IUnknown* owner = owner_) {
    owner_ = nullptr;
    owner->Release();
  }
}

HRESULT CEnumeratorStaticGUID::Create(REFIID iid, void** ppv, IUnknown* owner, const GUID* const* elements,
                                      int32_t count) {
  CheckPointer(ppv, VLOC, "ppv");
  CheckPointer(elements, VLOC, "elementArray");
  if (count < 0) ThrowError(E_INVALIDARG, VLOC, "count >= 0");
  auto* enumerator = new CEnumeratorStaticGUID();
  if (enumerator == nullptr) ThrowError(E_OUTOFMEMORY, VLOC, "new CEnumeratorStaticGUID");
  enumerator->elements_ = elements;
  enumerator->count_ = count;
  if (owner != nullptr) {
    owner->AddRef();
    enumerator->owner_ = owner;
  }
  enumerator->AddRefImpl();
  const HRESULT hr = enumerator->QueryInterface(iid, ppv);
  enumerator->ReleaseImpl();
  return hr;
}

HRESULT CEnumeratorStaticGUID::QueryInterface(REFIID iid, void** ppv) {
  static const InterfaceEntry kInterfaces[] = {
      {&IID_IEnumerator, &CastTo<CEnumeratorStaticGUID, IEnumerator>},
      {&IID_IEnumeratorGUID, &CastTo<CEnumeratorStaticGUID, IEnumeratorGUID>},
  };
  return QueryInterfaceFromTable(kInterfaces, 2, iid, ppv);
}

HRESULT CEnumeratorStaticGUID::Reset() {
  current_ = -1;
  return elements_ ? S_OK : E_POINTER;
}

HRESULT CEnumeratorStaticGUID::MoveNext() {
  if (elements_ == nullptr) return E_POINTER;
  if (current_ >= count_) return E_FAIL;
  ++current_;
  return current_ == count_ ? S_FALSE : S_OK;
}

HRESULT CEnumeratorStaticGUID::GetCurrentGUID(GUID* guid) {
  return GuardedCall([&] {
    if (current_ < 0 || current_ >= count_) ThrowError(E_FAIL, VLOC, "enumerator is invalid");
    CheckPointer(guid, VLOC, "pguid");
    *guid = *elements_[current_];
    return S_OK;
  });
}

HRESULT CEnumeratorStaticGUID::GetCurrent(REFIID iid, void** ppv) {
  return GuardedCall([&] {
    if (current_ < 0 || current_ >= count_) ThrowError(E_FAIL, VLOC, "enumerator is invalid");
    IValue* value = nullptr;
    CheckHr(CreateClassObject(CLSID_Value, IID_IValue, reinterpret_cast<void**>(&value)), VLOC, "CreateValue");
    if (value == nullptr) ThrowError(E_POINTER, VLOC, "GetValueGUID");
    HRESULT hr = value->SetValue(&GuidValueType, elements_[current_], 16);
    if (SUCCEEDED(hr)) hr = value->QueryInterface(iid, ppv);
    value->Release();
    if (FAILED(hr)) ThrowError(hr, VLOC, "GetValueGUID");
    return hr;
  });
}
