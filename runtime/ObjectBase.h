// The object model of the module's classes: one heap block per object serving several
// interfaces, a lifetime part (ObjectRoot) with its own inner IUnknown, table-driven
// QueryInterface, and the side interfaces every class serves (IClassInfo, IObjectName,
// IDisposable).
#pragma once
#include <atomic>
#include <cstddef>
#include <string>

#include "Error.h"
#include "VarnicaCore.h"

class ObjectRoot;

// Reports objects to the class server (no-ops when there is none).
void ModuleAddObject(void* identity, const GUID& clsid);
void ModuleRemoveObject(void* identity);

// The IUnknown under which an object is reported to the class server. It owns the count
// but never destroys anything.
struct InnerUnknown final : IUnknown {
  ObjectRoot* root = nullptr;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
};

// Lifetime part of every object. Slot order: QueryInterface, AddRef, Release, destructor.
class ObjectRoot : public IUnknown {
 public:
  virtual ~ObjectRoot();

  // Object blocks come from the module's private object heap; a failed allocation yields
  // null (the creation function turns it into E_OUTOFMEMORY).
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* block) noexcept;

  IUnknown* ControllingUnknown() const { return controllingUnknown_; }
  uint32_t RefCount() const { return refCount_.load(); }

 protected:
  // Reports the object to the class server under reportId.
  explicit ObjectRoot(const GUID& reportId);

  using CastFn = IUnknown* (*)(ObjectRoot*);
  struct InterfaceEntry {
    const GUID* iid;
    CastFn cast;
  };
  // IID_IUnknown gives the root; otherwise the first table entry with the identity.
  HRESULT QueryInterfaceFromTable(const InterfaceEntry* table, size_t count, REFIID iid, void** ppv);
  ULONG AddRefImpl() { return controllingUnknown_->AddRef(); }
  ULONG ReleaseImpl() {
    ULONG n = controllingUnknown_->Release();
    if (n == 0) delete this;
    return n;
  }

 private:
  friend struct InnerUnknown;
  IUnknown* controllingUnknown_;
  std::atomic<uint32_t> refCount_{0};
  InnerUnknown inner_;
};

// Interface entry casting the most derived class T to interface I.
template <class T, class I>
IUnknown* CastTo(ObjectRoot* root) {
  return static_cast<I*>(static_cast<T*>(root));
}

// The three IUnknown operations of a most-derived class; VARNICA_QUERY_INTERFACE(Class) in
// its .cpp file defines QueryInterface over the class's kInterfaces table.
#define VARNICA_IUNKNOWN_IMPLEMENTATION                                      \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override; \
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }         \
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

#define VARNICA_QUERY_INTERFACE(Class)                                                          \
  HRESULT STDMETHODCALLTYPE Class::QueryInterface(REFIID iid, void** ppv) {                     \
    return QueryInterfaceFromTable(kInterfaces, sizeof(kInterfaces) / sizeof(kInterfaces[0]), iid, \
                                   ppv);                                                        \
  }

struct ClassDescriptor {
  const GUID* clsid;
  const char* name;
};

// Side interfaces and disposal state of the module's three classes.
class ComponentObject : public IClassInfo, public IObjectName, public IDisposable, public ObjectRoot {
 public:
  // IClassInfo
  HRESULT STDMETHODCALLTYPE GetClassID(GUID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetClassName(char* buffer, int32_t size) override;
  // IObjectName
  HRESULT STDMETHODCALLTYPE SetName(const char* name) override;
  HRESULT STDMETHODCALLTYPE GetName(char* buffer, int32_t size) override;
  // IDisposable
  HRESULT STDMETHODCALLTYPE Dispose() override;
  HRESULT STDMETHODCALLTYPE IsDisposed() override;

  bool DisposedOrDisposing() const { return disposed_ || disposing_; }
  // Raises E_DISPOSED "<operation>: <class name> is disposed" when disposed or disposing.
  void ThrowIfDisposed(const char* operation, const SourceLocation& location) const;
  const ClassDescriptor& Descriptor() const { return descriptor_; }

 protected:
  explicit ComponentObject(const ClassDescriptor& descriptor);
  ~ComponentObject() override;

  // Class-specific steps of creation that can fail (the object is then destroyed).
  virtual HRESULT FinalConstruct() { return S_OK; }
  // A class may refuse Dispose (returns the refusal code, S_OK to go on).
  virtual HRESULT RefuseDispose() { return S_OK; }
  // Releases the class's held resources (each pointer cleared before its Release).
  virtual void ReleaseDisposableResources() {}

  template <class T>
  friend HRESULT CreateComponentObject(IUnknown* outer, ObjectRoot** out);

 private:
  const ClassDescriptor& descriptor_;
  std::string name_;
  uint8_t disposed_ = 0;
  uint8_t disposing_ = 0;
};

// The creation function of a class (its ClassRegistration's create): the new object has
// reference count 0; the class server takes and drops the first reference.
template <class T>
HRESULT CreateComponentObject(IUnknown* /*outer*/, ObjectRoot** out) {
  T* object = new T();
  if (!object) {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  if (FAILED(static_cast<ComponentObject*>(object)->FinalConstruct())) {
    delete static_cast<ObjectRoot*>(object);
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  *out = object;
  return S_OK;
}

// Text out-parameter rule: null buffer -> length; size below the length -> E_INVALIDARG;
// otherwise copy, with a terminator only when the buffer is longer than the text.
HRESULT CopyTextOut(const char* text, size_t length, char* buffer, int32_t size);
