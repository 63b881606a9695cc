// Object creation by CLSID: the core's own classes, classes other framework modules register,
// and the classes of class libraries a host loads (asked through their exports).
#include <map>
#include <string>
#include <vector>

#include "Observer.h"
#include "Registries.h"
#include "ValueSet.h"

namespace vcore {
namespace {

constexpr char kSourceFile[] = "framework/core/ClassLibraries";

using DllGetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using DLLGetClassCountFn = HRESULT(WINAPI*)();
using DLLGetClassObjectIDFn = HRESULT(WINAPI*)(uint32_t, uint32_t, GUID*);
using DLLGetClassObjectInfoFn = HRESULT(WINAPI*)(uint32_t, char*, int32_t);
using DLLRegisterBootstrapFn = HRESULT(WINAPI*)(IUnknown*);

struct ClassSource {
  VarnicaClassCreateFn create = nullptr;       // a registered factory, or
  DllGetClassObjectFn getClassObject = nullptr;  // a loaded library's export
};

// Loaded libraries stay loaded for the life of the process: objects they made may be held
// anywhere, and the loader's own clean-up at exit is the only safe point to drop them.
class ClassTable {
 public:
  static ClassTable& Instance() {
    static ClassTable* const table = new ClassTable();
    return *table;
  }

  HRESULT Add(const GUID& clsid, ClassSource source, const char* name) {
    std::lock_guard<std::mutex> hold(lock_);
    if (classes_.count(clsid)) return E_ACCESSDENIED;
    classes_[clsid] = source;
    if (name != nullptr && *name != '\0') VarnicaRegisterGuidName(&clsid, name);
    return S_OK;
  }

  bool Find(const GUID& clsid, ClassSource* source) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = classes_.find(clsid);
    if (it == classes_.end()) return false;
    *source = it->second;
    return true;
  }

  bool IsLoaded(HMODULE module) {
    std::lock_guard<std::mutex> hold(lock_);
    for (HMODULE m : libraries_)
      if (m == module) return true;
    libraries_.push_back(module);
    return false;
  }

 private:
  std::mutex lock_;
  std::map<GUID, ClassSource, GuidLess> classes_;
  std::vector<HMODULE> libraries_;
};

template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace
}  // namespace vcore

HRESULT CreateClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  using namespace vcore;
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (varnica::SameGuid(clsid, CLSID_ValueSet)) return CreateValueSet(iid, ppv);
  if (varnica::SameGuid(clsid, CLSID_Value)) return CreateValue(iid, ppv);
  ClassSource source;
  if (!ClassTable::Instance().Find(clsid, &source)) return E_NOINTERFACE;
  return source.create ? source.create(iid, ppv) : source.getClassObject(clsid, iid, ppv);
}

HRESULT VarnicaRegisterClassFactory(const GUID* clsid, VarnicaClassCreateFn create, const char* name) {
  if (clsid == nullptr || create == nullptr) return E_POINTER;
  vcore::ClassSource source;
  source.create = create;
  return vcore::ClassTable::Instance().Add(*clsid, source, name);
}

HRESULT VarnicaLoadClassLibrary(const char* path) {
  using namespace vcore;
  return vfw::Guarded([&]() -> HRESULT {
    vfw::CheckPointer(path, FW_LOC, "path");
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
      const std::string text = std::string("LoadLibrary ") + path;
      vfw::Raise(HRESULT_FROM_WIN32(GetLastError()), FW_LOC, text.c_str());
    }
    if (ClassTable::Instance().IsLoaded(module)) {
      FreeLibrary(module);  // drop the extra load count; the first load stays
      return S_FALSE;
    }
    auto getClassObject = Export<DllGetClassObjectFn>(module, "DllGetClassObject");
    auto getClassCount = Export<DLLGetClassCountFn>(module, "DLLGetClassCount");
    auto getClassId = Export<DLLGetClassObjectIDFn>(module, "DLLGetClassObjectID");
    auto getClassInfo = Export<DLLGetClassObjectInfoFn>(module, "DLLGetClassObjectInfo");
    auto registerBootstrap = Export<DLLRegisterBootstrapFn>(module, "DLLRegisterBootstrap");
    if (!getClassObject || !getClassCount || !getClassId)
      vfw::Raise(E_NOINTERFACE, FW_LOC, "not a class library");
    const HRESULT count = getClassCount();
    if (count < 0) vfw::Raise(count, FW_LOC, "DLLGetClassCount");
    std::vector<GUID> ids(static_cast<size_t>(count));
    if (count > 0) vfw::Check(getClassId(0, static_cast<uint32_t>(count), ids.data()), FW_LOC, "DLLGetClassObjectID");
    for (uint32_t i = 0; i < ids.size(); ++i) {
      char name[256] = {};
      if (getClassInfo) getClassInfo(i, name, sizeof name);
      ClassSource source;
      source.getClassObject = getClassObject;
      if (FAILED(ClassTable::Instance().Add(ids[i], source, name)))
        Log(LOG_WARN, FW_LOC, "class %s of %s is already known; the first stays\n", VarnicaNameOf(&ids[i], 0, 0),
            path);
    }
    if (registerBootstrap) {
      Microsoft::WRL::ComPtr<IClsidRegistry> registry;
      if (SUCCEEDED(_GetSingletonObject()->GetObject(ClassRegistryServiceId, IID_IClsidRegistry, &registry)))
        vfw::Check(registerBootstrap(registry.Get()), FW_LOC, "DLLRegisterBootstrap");
    }
    Log(LOG_TRACE, FW_LOC, "class library %s: %d classes\n", path, static_cast<int>(count));
    return S_OK;
  });
}
