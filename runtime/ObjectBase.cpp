#include "ObjectBase.h"

#include <cstring>
#include <string>

#include "Diagnostics.h"
#include "Heaps.h"
#include "NameLock.h"

namespace {
constexpr char kSourceFile[] = "src/ObjectBase";
}

HRESULT STDMETHODCALLTYPE InnerUnknown::QueryInterface(REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!varnica::SameGuid(iid, IID_IUnknown)) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IUnknown*>(this);
  return S_OK;
}

ULONG STDMETHODCALLTYPE InnerUnknown::AddRef() { return root->refCount_.fetch_add(1) + 1; }

ULONG STDMETHODCALLTYPE InnerUnknown::Release() {
  uint32_t count = root->refCount_.load();
  do {
    if (count == 0) {
      // One release too many (a host's double release). Said where a debugger sees it; the count
      // stays 0 instead of wrapping, and the object is not destroyed from under its creator.
      DebugOutputF("Varnica: Release of an object without references (%p)\n", static_cast<void*>(root));
      return ~ULONG{0};
    }
  } while (!root->refCount_.compare_exchange_weak(count, count - 1));
  return count - 1;
}

ObjectRoot::ObjectRoot(const GUID& reportId) : controllingUnknown_(&inner_) {
  inner_.root = this;
  ModuleAddObject(&inner_, reportId);
}

ObjectRoot::~ObjectRoot() {
  ModuleRemoveObject(&inner_);
  refCount_.store(0x8FFF0000u);
}

void* ObjectRoot::operator new(size_t size) noexcept { return ObjectHeapAlloc(size); }

void ObjectRoot::operator delete(void* block) noexcept { ObjectHeapFree(block); }

HRESULT ObjectRoot::QueryInterfaceFromTable(const InterfaceEntry* table, size_t count, REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IUnknown* found = nullptr;
  if (varnica::SameGuid(iid, IID_IUnknown)) {
    found = this;
  } else {
    for (size_t i = 0; i < count && found == nullptr; ++i)
      if (varnica::SameGuid(*table[i].iid, iid)) found = table[i].cast(this);
  }
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  *ppv = found;
  return S_OK;
}

HRESULT CopyTextOut(const char* text, size_t length, char* buffer, int32_t size) {
  if (buffer == nullptr) return static_cast<HRESULT>(length);
  if (size < 0 || static_cast<size_t>(size) < length) return E_INVALIDARG;
  if (length > 0) std::memcpy(buffer, text, length);
  if (static_cast<size_t>(size) > length) buffer[length] = '\0';
  return static_cast<HRESULT>(length);
}

ComponentObject::ComponentObject(const ClassDescriptor& descriptor)
    : ObjectRoot(*descriptor.clsid), descriptor_(descriptor) {}

ComponentObject::~ComponentObject() {
  NameLockGuard hold;
  std::string().swap(name_);
}

HRESULT STDMETHODCALLTYPE ComponentObject::GetClassID(GUID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = *descriptor_.clsid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ComponentObject::GetClassName(char* buffer, int32_t size) {
  return CopyTextOut(descriptor_.name, std::strlen(descriptor_.name), buffer, size);
}

HRESULT STDMETHODCALLTYPE ComponentObject::SetName(const char* name) {
  try {
    NameLockGuard hold;
    name_.assign(name ? name : "");
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDMETHODCALLTYPE ComponentObject::GetName(char* buffer, int32_t size) {
  NameLockGuard hold;
  if (buffer == nullptr) return static_cast<HRESULT>(name_.size());
  if (size < 0 || static_cast<size_t>(size) < name_.size()) {
    if (size >= 1) buffer[0] = '\0';
    return E_INVALIDARG;
  }
  return CopyTextOut(name_.data(), name_.size(), buffer, size);
}

HRESULT STDMETHODCALLTYPE ComponentObject::Dispose() {
  const HRESULT refusal = RefuseDispose();
  if (refusal != S_OK) return refusal;
  disposing_ = 1;
  ReleaseDisposableResources();
  disposed_ = 1;
  disposing_ = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ComponentObject::IsDisposed() { return disposed_ ? S_OK : S_FALSE; }

void ComponentObject::ThrowIfDisposed(const char* operation, const SourceLocation& location) const {
  if (!DisposedOrDisposing()) return;
  ThrowErrorF(E_DISPOSED, location, "%s: %s is disposed", operation, descriptor_.name);
}
