// Enumerator over a constant array of GUID pointers (a property table's key column). Holds a
// reference on the value set the array belongs to.
#pragma once
#include "ObjectBase.h"

class CEnumeratorStaticGUID final : public IEnumerator, public IEnumeratorGUID, public ObjectRoot {
 public:
  // Raises on bad arguments or no memory; otherwise QueryInterface's result.
  static HRESULT Create(REFIID iid, void** ppv, IUnknown* owner, const GUID* const* elements, int32_t count);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

  // Both interfaces share the walk.
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE MoveNext() override;
  HRESULT STDMETHODCALLTYPE GetCurrent(REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetCurrentGUID(GUID* guid) override;

 private:
  CEnumeratorStaticGUID();
  ~CEnumeratorStaticGUID() override;

  IUnknown* owner_ = nullptr;
  const GUID* const* elements_ = nullptr;
  int32_t count_ = 0;
  int32_t current_ = -1;
};
