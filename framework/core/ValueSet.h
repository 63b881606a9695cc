// The general-purpose value set (CLSID_ValueSet): typed values under GUID keys, no property
// table. Objects of other modules keep the values they do not know themselves in one.
#pragma once
#include <map>
#include "Value.h"

namespace vcore {

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

class ValueSet final : public vfw::FrameworkObject<IValueSet> {
 public:
  ValueSet() : FrameworkObject(CLSID_ValueSet, "ValueSet", false) {}

  HRESULT STDMETHODCALLTYPE GetEnumerator(REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetCount() override;
  HRESULT STDMETHODCALLTYPE Clear() override;
  HRESULT STDMETHODCALLTYPE IsReadOnly() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE AddGUID(REFGUID key, REFGUID value) override;
  HRESULT STDMETHODCALLTYPE Remove(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE HasValue(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE Reserved() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValue(REFGUID key, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE SetValue(REFGUID key, IValue* value) override;
  HRESULT STDMETHODCALLTYPE GetValues(const GUID*, int32_t, IValue**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetKeys(GUID* keys, int32_t capacity) override;
  HRESULT STDMETHODCALLTYPE GetValueIdentifier(REFGUID, GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValueData(REFGUID key, const GUID* type, void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE SetValueData(REFGUID key, const GUID* type, const void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE GetValueType(REFGUID key, GUID* type, VSIZE* size) override;
  // A general set has no property table.
  HRESULT STDMETHODCALLTYPE GetPropertySize(REFGUID) override { return E_VALUE_NOT_FOUND; }
  HRESULT STDMETHODCALLTYPE GetPropertyType(REFGUID, GUID*, VSIZE*) override { return E_VALUE_NOT_FOUND; }
  HRESULT STDMETHODCALLTYPE GetPropertyData(REFGUID, const GUID*, void*, VSIZE) override {
    return E_VALUE_NOT_FOUND;
  }
  HRESULT STDMETHODCALLTYPE SetPropertyData(REFGUID, const GUID*, const void*, VSIZE) override {
    return E_VALUE_NOT_FOUND;
  }

 private:
  bool ServesMain(REFIID iid) const override { return varnica::SameGuid(iid, IID_IValueSet); }

  std::mutex lock_;
  std::map<GUID, TypedData, GuidLess> values_;
};

HRESULT CreateValueSet(REFIID iid, void** ppv);

}  // namespace vcore
