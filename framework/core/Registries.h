// The singleton registry (_GetSingletonObject) and the class registry it holds under
// ClassRegistryServiceId.
#pragma once
#include <map>
#include <vector>
#include <wrl/client.h>
#include "ValueSet.h"

namespace vcore {

class SingletonRegistry final : public vfw::FrameworkObject<ISingletonRegistry> {
 public:
  // Lives as long as the module; holds the class registry from the start.
  static SingletonRegistry& Instance();

  HRESULT STDMETHODCALLTYPE GetObject(REFGUID key, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE UnregisterObject(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE RegisterObject(REFGUID key, IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE GetCount() override;
  HRESULT STDMETHODCALLTYPE Clear() override;
  HRESULT STDMETHODCALLTYPE HasObject(REFGUID key) override;

 private:
  SingletonRegistry();
  bool ServesMain(REFIID iid) const override { return varnica::SameGuid(iid, IID_ISingletonRegistry); }

  std::mutex lock_;
  std::map<GUID, Microsoft::WRL::ComPtr<IUnknown>, GuidLess> objects_;
};

class ClassRegistry final : public vfw::FrameworkObject<IClsidRegistry> {
 public:
  ClassRegistry() : FrameworkObject(GUID{}, "ClassRegistry", false) {}

  HRESULT STDMETHODCALLTYPE Unregister(REFGUID category, REFGUID group, REFCLSID classId) override;
  HRESULT STDMETHODCALLTYPE Register(const GUID* category, const GUID* group, const GUID* classId) override;
  HRESULT STDMETHODCALLTYPE HasClass(REFCLSID classId) override;
  HRESULT STDMETHODCALLTYPE GetCategoryOf(REFCLSID classId, GUID* category) override;
  HRESULT STDMETHODCALLTYPE HasCategory(REFGUID category) override;
  HRESULT STDMETHODCALLTYPE HasGroup(REFGUID group) override;
  HRESULT STDMETHODCALLTYPE GetClassCount(REFGUID category) override;
  HRESULT STDMETHODCALLTYPE GetGroups(REFGUID category, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetClasses(REFGUID category, REFIID iid, void** ppv) override;

 private:
  bool ServesMain(REFIID iid) const override { return varnica::SameGuid(iid, IID_IClsidRegistry); }

  struct Entry {
    GUID category, group, classId;
  };
  std::mutex lock_;
  std::vector<Entry> entries_;  // in registration order
};

}  // namespace vcore
