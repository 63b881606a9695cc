// IValueSet of the module's objects: the class's static property table, answered first, and
// for the frame a general-purpose host set from the framework for every other key.
#pragma once
#include <atomic>
#include <cassert>
#include <cstring>

#include "ObjectBase.h"

class CValueSetController;

// Accepts a read or write request when type and size are the row's and data is not null.
using PropertyCheck = HRESULT (*)(const GUID& rowType, uint32_t rowSize, const GUID* type, const void* data,
                                  VSIZE size);
HRESULT StandardPropertyCheck(const GUID& rowType, uint32_t rowSize, const GUID* type, const void* data,
                              VSIZE size);

using PropertyGetter = HRESULT (*)(CValueSetController* owner, void* data);
using PropertySetter = HRESULT (*)(CValueSetController* owner, const void* data);

// A class's property table, in columns (the key column is what enumerators walk).
struct PropertyTable {
  uint32_t count;
  const GUID* const* keys;
  const GUID* const* types;
  const uint32_t* sizes;
  const PropertyCheck* getChecks;
  const PropertyCheck* setChecks;  // null for tables that are read-only through the value set
  const PropertyGetter* getters;
  const PropertySetter* setters;   // null for read-only tables
  // Row of key, searching from the last row; -1 when absent.
  int Find(const GUID& key) const;
};

// Storage for a table of N rows, filled once by the class.
template <uint32_t N>
struct PropertyTableColumns {
  const GUID* keys[N] = {};
  const GUID* types[N] = {};
  uint32_t sizes[N] = {};
  PropertyCheck getChecks[N] = {};
  PropertyCheck setChecks[N] = {};
  PropertyGetter getters[N] = {};
  PropertySetter setters[N] = {};
  PropertyTable Table(bool writable) const {
    return {N, keys, types, sizes, getChecks, writable ? setChecks : nullptr, getters, writable ? setters : nullptr};
  }
};

namespace property_rows {

template <class>
struct Member;
template <class O, class T>
struct Member<T O::*> {
  using Owner = O;
  using Value = T;
};
template <class>
struct Reader;
template <class O, class T>
struct Reader<HRESULT (O::*)(T*)> {
  using Owner = O;
  using Value = T;
};
template <class O, class T>
struct Reader<HRESULT (O::*)(T*) const> : Reader<HRESULT (O::*)(T*)> {};
template <class>
struct Writer;
template <class O, class T>
struct Writer<HRESULT (O::*)(const T&)> {
  using Owner = O;
  using Value = T;
};

template <auto M>
HRESULT GetField(CValueSetController* owner, void* data) {
  using R = Member<decltype(M)>;
  const auto* self = static_cast<const typename R::Owner*>(owner);
  std::memcpy(data, &(self->*M), sizeof(typename R::Value));
  return S_OK;
}
// Stores the field, then runs AfterSet (a method returning HRESULT) when there is one.
template <auto M, auto AfterSet>
HRESULT SetField(CValueSetController* owner, const void* data) {
  using R = Member<decltype(M)>;
  auto* self = static_cast<typename R::Owner*>(owner);
  std::memcpy(&(self->*M), data, sizeof(typename R::Value));
  if constexpr (AfterSet != nullptr) return (self->*AfterSet)();
  return S_OK;
}
template <auto Get>
HRESULT CallReader(CValueSetController* owner, void* data) {
  using R = Reader<decltype(Get)>;
  return (static_cast<typename R::Owner*>(owner)->*Get)(static_cast<typename R::Value*>(data));
}
template <auto Set>
HRESULT CallWriter(CValueSetController* owner, const void* data) {
  using R = Writer<decltype(Set)>;
  typename R::Value value;
  std::memcpy(&value, data, sizeof value);
  return (static_cast<typename R::Owner*>(owner)->*Set)(value);
}

}  // namespace property_rows

// Builds a class's table from member pointers: each row's size is the size of its C++ type, so
// a class adds a property by adding a row.
//   Field<&C::field_>(key, type)                 read and written as the field
//   Field<&C::field_, &C::Apply>(key, type)      the same, then Apply() runs after each write
//   Read<&C::ReadX>(key, type)                   read by HRESULT ReadX(T* out) (read-only)
//   ReadWrite<&C::ReadX, &C::WriteX>(key, type)  written by HRESULT WriteX(const T&)
template <uint32_t N>
class PropertyTableBuilder {
 public:
  template <auto M, auto AfterSet = nullptr>
  PropertyTableBuilder& Field(const GUID& key, const GUID& type) {
    return Row(key, type, sizeof(typename property_rows::Member<decltype(M)>::Value), &property_rows::GetField<M>,
               &property_rows::SetField<M, AfterSet>);
  }
  template <auto Get>
  PropertyTableBuilder& Read(const GUID& key, const GUID& type) {
    return Row(key, type, sizeof(typename property_rows::Reader<decltype(Get)>::Value),
               &property_rows::CallReader<Get>, nullptr);
  }
  template <auto Get, auto Set>
  PropertyTableBuilder& ReadWrite(const GUID& key, const GUID& type) {
    static_assert(sizeof(typename property_rows::Reader<decltype(Get)>::Value) ==
                  sizeof(typename property_rows::Writer<decltype(Set)>::Value));
    return Row(key, type, sizeof(typename property_rows::Reader<decltype(Get)>::Value),
               &property_rows::CallReader<Get>, &property_rows::CallWriter<Set>);
  }
  // The finished table; writable tables refuse nothing their rows can write.
  PropertyTable Table(bool writable) const {
    assert(next_ == N);
    return columns_.Table(writable);
  }

 private:
  PropertyTableBuilder& Row(const GUID& key, const GUID& type, size_t size, PropertyGetter get, PropertySetter set) {
    assert(next_ < N);
    columns_.keys[next_] = &key;
    columns_.types[next_] = &type;
    columns_.sizes[next_] = static_cast<uint32_t>(size);
    columns_.getChecks[next_] = &StandardPropertyCheck;
    columns_.setChecks[next_] = &StandardPropertyCheck;
    columns_.getters[next_] = get;
    columns_.setters[next_] = set;
    ++next_;
    return *this;
  }

  PropertyTableColumns<N> columns_;
  uint32_t next_ = 0;
};

class CValueSetController : public IValueSet {
 public:
  // How a class's value set treats writes and keys outside its table.
  enum class Policy {
    ReadOnlyTableWithHostSet,  // the frame: table keys refuse writes, other keys go to the host set
    WritableTableOnly,         // the drawing surface: table rows are written through their setters
  };

  HRESULT STDMETHODCALLTYPE GetEnumerator(REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetCount() override;
  HRESULT STDMETHODCALLTYPE Clear() override;
  HRESULT STDMETHODCALLTYPE IsReadOnly() override;
  HRESULT STDMETHODCALLTYPE AddGUID(REFGUID key, REFGUID value) override;
  HRESULT STDMETHODCALLTYPE Remove(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE HasValue(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE Reserved() override;
  HRESULT STDMETHODCALLTYPE GetValue(REFGUID key, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE SetValue(REFGUID key, IValue* value) override;
  HRESULT STDMETHODCALLTYPE GetValues(const GUID* keys, int32_t count, IValue** values) override;
  HRESULT STDMETHODCALLTYPE GetKeys(GUID* keys, int32_t capacity) override;
  HRESULT STDMETHODCALLTYPE GetValueIdentifier(REFGUID key, GUID* identifier) override;
  HRESULT STDMETHODCALLTYPE GetValueData(REFGUID key, const GUID* type, void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE SetValueData(REFGUID key, const GUID* type, const void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE GetValueType(REFGUID key, GUID* type, VSIZE* size) override;
  HRESULT STDMETHODCALLTYPE GetPropertySize(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE GetPropertyType(REFGUID key, GUID* type, VSIZE* size) override;
  HRESULT STDMETHODCALLTYPE GetPropertyData(REFGUID key, const GUID* type, void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE SetPropertyData(REFGUID key, const GUID* type, const void* data, VSIZE size) override;

  uint32_t ChangeCount() const { return changeCount_.load(); }
  IValueSet* HostSet() const { return hostSet_; }

 protected:
  CValueSetController(const PropertyTable* table, Policy policy);
  virtual ~CValueSetController();

  // Makes the host set (the frame does so at creation).
  HRESULT CreateHostSet();
  // Drops the host set (each pointer cleared before its Release).
  void ReleaseHostSet();
  // The owning object's disposal state.
  virtual bool ValueOwnerDisposedOrDisposing() const = 0;

 private:
  bool RefusesWrites() const { return false; }  // both classes accept writes
  HRESULT GetPropertyDataImpl(REFGUID key, const GUID* type, void* data, VSIZE size);
  HRESULT SetPropertyDataImpl(REFGUID key, const GUID* type, const void* data, VSIZE size);
  HRESULT GetValueDataImpl(REFGUID key, const GUID* type, void* data, VSIZE size);
  HRESULT SetValueDataImpl(REFGUID key, const GUID* type, const void* data, VSIZE size);
  HRESULT GetValueTypeImpl(REFGUID key, GUID* type, VSIZE* size);
  HRESULT SetValueBackend(REFGUID key, IValue* value);

  std::atomic<uint32_t> changeCount_{0};
  IValueSet* hostSet_ = nullptr;
  const PropertyTable* table_;
  uint32_t entryCount_;
  Policy policy_;
};
