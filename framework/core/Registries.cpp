#include "Registries.h"

#include "GuidEnumerator.h"

namespace vcore {
namespace {
constexpr char kSourceFile[] = "framework/core/Registries";
}

SingletonRegistry& SingletonRegistry::Instance() {
  static SingletonRegistry* const instance = new SingletonRegistry();
  return *instance;
}

SingletonRegistry::SingletonRegistry() : FrameworkObject(GUID{}, "SingletonRegistry", false) {
  Microsoft::WRL::ComPtr<ClassRegistry> classes = vfw::Adopt(new ClassRegistry());
  objects_[ClassRegistryServiceId] = static_cast<IClsidRegistry*>(classes.Get());
}

HRESULT SingletonRegistry::GetObject(REFGUID key, REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  Microsoft::WRL::ComPtr<IUnknown> object;
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = objects_.find(key);
    if (it == objects_.end()) return E_VALUE_NOT_FOUND;
    object = it->second;
  }
  return object->QueryInterface(iid, ppv);
}

HRESULT SingletonRegistry::UnregisterObject(REFGUID key) {
  Microsoft::WRL::ComPtr<IUnknown> gone;  // released outside the lock
  std::lock_guard<std::mutex> hold(lock_);
  auto it = objects_.find(key);
  if (it == objects_.end()) return E_VALUE_NOT_FOUND;
  gone = std::move(it->second);
  objects_.erase(it);
  return S_OK;
}

HRESULT SingletonRegistry::RegisterObject(REFGUID key, IUnknown* object) {
  if (object == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(lock_);
  if (objects_.count(key)) return E_ACCESSDENIED;
  objects_[key] = object;
  return S_OK;
}

HRESULT SingletonRegistry::GetCount() {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<HRESULT>(objects_.size());
}

HRESULT SingletonRegistry::Clear() {
  std::map<GUID, Microsoft::WRL::ComPtr<IUnknown>, GuidLess> gone;
  std::lock_guard<std::mutex> hold(lock_);
  gone.swap(objects_);
  return S_OK;
}

HRESULT SingletonRegistry::HasObject(REFGUID key) {
  std::lock_guard<std::mutex> hold(lock_);
  return objects_.count(key) ? S_OK : S_FALSE;
}

HRESULT ClassRegistry::Unregister(REFGUID category, REFGUID group, REFCLSID classId) {
  std::lock_guard<std::mutex> hold(lock_);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (varnica::SameGuid(it->category, category) && varnica::SameGuid(it->group, group) &&
        varnica::SameGuid(it->classId, classId)) {
      entries_.erase(it);
      return S_OK;
    }
  }
  return E_VALUE_NOT_FOUND;
}

HRESULT ClassRegistry::Register(const GUID* category, const GUID* group, const GUID* classId) {
  if (category == nullptr || group == nullptr || classId == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(lock_);
  for (const Entry& e : entries_) {
    // Registering the same triple again is harmless.
    if (varnica::SameGuid(e.category, *category) && varnica::SameGuid(e.group, *group) &&
        varnica::SameGuid(e.classId, *classId))
      return S_OK;
  }
  entries_.push_back({*category, *group, *classId});
  return S_OK;
}

HRESULT ClassRegistry::HasClass(REFCLSID classId) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const Entry& e : entries_)
    if (varnica::SameGuid(e.classId, classId)) return S_OK;
  return S_FALSE;
}

HRESULT ClassRegistry::GetCategoryOf(REFCLSID classId, GUID* category) {
  if (category == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(lock_);
  for (const Entry& e : entries_) {
    if (varnica::SameGuid(e.classId, classId)) {
      *category = e.category;
      return S_OK;
    }
  }
  return E_VALUE_NOT_FOUND;
}

HRESULT ClassRegistry::HasCategory(REFGUID category) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const Entry& e : entries_)
    if (varnica::SameGuid(e.category, category)) return S_OK;
  return S_FALSE;
}

HRESULT ClassRegistry::HasGroup(REFGUID group) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const Entry& e : entries_)
    if (varnica::SameGuid(e.group, group)) return S_OK;
  return S_FALSE;
}

HRESULT ClassRegistry::GetClassCount(REFGUID category) {
  std::lock_guard<std::mutex> hold(lock_);
  HRESULT n = 0;
  for (const Entry& e : entries_)
    if (varnica::SameGuid(e.category, category)) ++n;
  return n;
}

HRESULT ClassRegistry::GetGroups(REFGUID category, REFIID iid, void** ppv) {
  return vfw::Guarded([&] {
    std::vector<GUID> groups;
    {
      std::lock_guard<std::mutex> hold(lock_);
      for (const Entry& e : entries_) {
        if (!varnica::SameGuid(e.category, category)) continue;
        bool seen = false;
        for (const GUID& g : groups) seen = seen || varnica::SameGuid(g, e.group);
        if (!seen) groups.push_back(e.group);
      }
    }
    return GuidEnumerator::Create(std::move(groups), iid, ppv);
  });
}

HRESULT ClassRegistry::GetClasses(REFGUID category, REFIID iid, void** ppv) {
  return vfw::Guarded([&] {
    std::vector<GUID> classes;
    {
      std::lock_guard<std::mutex> hold(lock_);
      for (const Entry& e : entries_)
        if (varnica::SameGuid(e.category, category)) classes.push_back(e.classId);
    }
    return GuidEnumerator::Create(std::move(classes), iid, ppv);
  });
}

}  // namespace vcore

ISingletonRegistry* _GetSingletonObject() { return &vcore::SingletonRegistry::Instance(); }
