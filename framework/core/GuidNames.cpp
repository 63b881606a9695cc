#include "GuidNames.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include "FrameworkError.h"

namespace vcore {
namespace {

constexpr char kSourceFile[] = "framework/core/GuidNames";

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

// Handed-out texts stay valid for the process: strings are allocated once and never freed,
// and a renamed GUID gets a new string while the old one stays readable.
class NameTable {
 public:
  NameTable() {
#define VARNICA_NAME(id) names_[id] = #id
    VARNICA_NAME(IID_IValueSet);
    VARNICA_NAME(IID_IValue);
    VARNICA_NAME(CLSID_ValueSet);
    VARNICA_NAME(CLSID_Value);
    VARNICA_NAME(IID_IValueSetRefused);
    VARNICA_NAME(GuidValueType);
    VARNICA_NAME(FloatValueType);
    VARNICA_NAME(FloatMatrix3x3ValueType);
    VARNICA_NAME(Int32ValueType);
    VARNICA_NAME(IID_IEnumerator);
    VARNICA_NAME(IID_IEnumeratorGUID);
    VARNICA_NAME(IID_IClassInfo);
    VARNICA_NAME(IID_IObjectName);
    VARNICA_NAME(IID_IDisposable);
    VARNICA_NAME(IID_IVarnicaObject);
    VARNICA_NAME(IID_IVarnicaObjectBase);
    VARNICA_NAME(IID_IClsidRegistry);
    VARNICA_NAME(ClassRegistryServiceId);
    VARNICA_NAME(IID_IObserver);
    VARNICA_NAME(IID_IException);
    VARNICA_NAME(IID_ISingletonRegistry);
    VARNICA_NAME(IID_IUnknown);
#undef VARNICA_NAME
  }

  const char* Find(const GUID& guid) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = names_.find(guid);
    return it == names_.end() ? nullptr : it->second;
  }

  void Set(const GUID& guid, const char* name) {
    const char* copy = Intern(name);
    std::lock_guard<std::mutex> hold(lock_);
    names_[guid] = copy;
  }

  // The GUID's text, made once per GUID.
  const char* TextOf(const GUID& guid) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = texts_.find(guid);
    if (it != texts_.end()) return it->second;
    const char* copy = Intern(GuidToText(guid).c_str());
    texts_[guid] = copy;
    return copy;
  }

 private:
  static const char* Intern(const char* text) {
    const size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
  }

  std::mutex lock_;
  std::map<GUID, const char*, GuidLess> names_;
  std::map<GUID, const char*, GuidLess> texts_;
};

NameTable& Names() {
  static NameTable* const table = new NameTable();
  return *table;
}

}  // namespace

GuidText GuidToText(const GUID& g) {
  GuidText t;
  std::snprintf(t.text, sizeof t.text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return t;
}

const char* FindGuidName(const GUID& guid) { return Names().Find(guid); }

}  // namespace vcore

const char* VarnicaNameOf(const GUID* value, int32_t, int32_t) {
  if (value == nullptr) return "(null)";
  try {
    if (const char* name = vcore::Names().Find(*value)) return name;
    return vcore::Names().TextOf(*value);
  } catch (const std::bad_alloc&) {
    return "(out of memory)";
  }
}

HRESULT VarnicaGuidNameA(const GUID* guid, char* buffer, int32_t size, ...) {
  using namespace vcore;
  return vfw::Guarded([&]() -> HRESULT {
    vfw::CheckPointer(guid, FW_LOC, "guid");
    const char* name = Names().Find(*guid);
    const GuidText text = GuidToText(*guid);
    const char* shown = name ? name : text.c_str();
    if (buffer == nullptr) return static_cast<HRESULT>(std::strlen(shown));
    // Callers treat the buffer as a C string, so the terminator must fit too.
    if (size <= 0 || std::strlen(shown) >= static_cast<size_t>(size)) vfw::Raise(E_INVALIDARG, FW_LOC, "size");
    std::memcpy(buffer, shown, std::strlen(shown) + 1);
    return name ? S_OK : E_VALUE_NOT_FOUND;
  });
}

HRESULT VarnicaRegisterGuidName(const GUID* guid, const char* name) {
  using namespace vcore;
  return vfw::Guarded([&]() -> HRESULT {
    vfw::CheckPointer(guid, FW_LOC, "guid");
    vfw::CheckPointer(name, FW_LOC, "name");
    if (*name == '\0') vfw::Raise(E_INVALIDARG, FW_LOC, "name is empty");
    Names().Set(*guid, name);
    return S_OK;
  });
}
