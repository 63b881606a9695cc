#include "CValueSetController.h"

#include <cstring>
#include <vector>

#include "CEnumeratorStaticGUID.h"
#include "Diagnostics.h"
#include "VodideCValueDataBuffer.h"

namespace {

constexpr char kSourceFile[] = "src/CValueSetController";
constexpr VSIZE kStackBlock = 1024;

// A data block on the stack up to 1024 bytes, on the heap beyond.
class TransferBlock {
 public:
  explicit TransferBlock(VSIZE size) {
    if (size > kStackBlock) heap_.resize(static_cast<size_t>(size));
  }
  void* Data() { return heap_.empty() ? static_cast<void*>(stack_) : heap_.data(); }

 private:
  alignas(16) uint8_t stack_[kStackBlock];
  std::vector<uint8_t> heap_;
};

// Releases a held interface on every way out.
template <class T>
struct Held {
  T* p = nullptr;
  ~Held() {
    if (p) p->Release();
  }
};

}  // namespace

HRESULT StandardPropertyCheck(const GUID& rowType, uint32_t rowSize, const GUID* type, const void* data,
                              VSIZE size) {
  if (type == nullptr || data == nullptr || !varnica::SameGuid(*type, rowType) || size != VSIZE{rowSize})
    return E_INVALIDARG;
  return S_OK;
}

int PropertyTable::Find(const GUID& key) const {
  for (int row = static_cast<int>(count) - 1; row >= 0; --row)
    if (keys[row] != nullptr && varnica::SameGuid(*keys[row], key)) return row;
  return -1;
}

CValueSetController::CValueSetController(const PropertyTable* table, Policy policy)
    : table_(table), entryCount_(table ? table->count : 0), policy_(policy) {}

CValueSetController::~CValueSetController() { ReleaseHostSet(); }

HRESULT CValueSetController::CreateHostSet() {
  return CreateClassObject(CLSID_ValueSet, IID_IValueSet, reinterpret_cast<void**>(&hostSet_));
}

void CValueSetController::ReleaseHostSet() {
  if (IValueSet* host = hostSet_) {
    hostSet_ = nullptr;
    host->Release();
  }
}

HRESULT CValueSetController::GetEnumerator(REFIID iid, void** ppv) {
  return GuardedCall([&] {
    if (table_ == nullptr) return E_UNSUPPORTED;
    const HRESULT hr = CEnumeratorStaticGUID::Create(iid, ppv, static_cast<IValueSet*>(this), table_->keys,
                                                     static_cast<int32_t>(entryCount_));
    return CheckHr(hr, VLOC, "Control_GetEnumerator");
  });
}

HRESULT CValueSetController::GetCount() {
  HRESULT count = static_cast<HRESULT>(entryCount_);
  if (hostSet_ != nullptr) {
    const HRESULT hostCount = hostSet_->GetCount();
    if (hostCount < 0) return hostCount;
    count += hostCount;
  }
  return count;
}

HRESULT CValueSetController::Clear() {
  return GuardedCall([&] {
    if (RefusesWrites()) ThrowError(E_ACCESSDENIED, VLOC, "Read-only");
    const HRESULT hr = policy_ == Policy::ReadOnlyTableWithHostSet ? E_NOTIMPL : E_FAIL;
    return CheckHr(hr, VLOC, "Control_Clear");
  });
}

HRESULT CValueSetController::IsReadOnly() { return RefusesWrites() ? S_OK : S_FALSE; }

HRESULT CValueSetController::AddGUID(REFGUID, REFGUID) {
  return GuardedCall([&]() -> HRESULT { ThrowError(E_NOTIMPL, VLOC, "AddGUID not supported"); });
}

HRESULT CValueSetController::Remove(REFGUID) {
  return GuardedCall([&] {
    if (RefusesWrites()) ThrowError(E_ACCESSDENIED, VLOC, "Read-only");
    const HRESULT hr = policy_ == Policy::ReadOnlyTableWithHostSet ? E_ACCESSDENIED : E_FAIL;
    return CheckHr(hr, VLOC, "Control_Remove");
  });
}

HRESULT CValueSetController::HasValue(REFGUID key) {
  if (table_ != nullptr && table_->Find(key) >= 0) return S_OK;
  return hostSet_ ? hostSet_->HasValue(key) : S_FALSE;
}

HRESULT CValueSetController::Reserved() { return E_NOTIMPL; }

HRESULT CValueSetController::GetValues(const GUID*, int32_t, IValue**) {
  return GuardedCall([&]() -> HRESULT { ThrowError(E_NOTIMPL, VLOC, "GetValues not supported"); });
}

HRESULT CValueSetController::GetKeys(GUID*, int32_t) {
  return GuardedCall([&]() -> HRESULT { ThrowError(E_NOTIMPL, VLOC, "GetKeys not supported"); });
}

HRESULT CValueSetController::GetValueIdentifier(REFGUID, GUID*) {
  return GuardedCall([&]() -> HRESULT { ThrowError(E_NOTIMPL, VLOC, "GetValueIdentifier"); });
}

HRESULT CValueSetController::GetPropertySize(REFGUID key) {
  const int row = table_ ? table_->Find(key) : -1;
  return row < 0 ? E_VALUE_NOT_FOUND : static_cast<HRESULT>(table_->sizes[row]);
}

HRESULT CValueSetController::GetPropertyType(REFGUID key, GUID* type, VSIZE* size) {
  const int row = table_ ? table_->Find(key) : -1;
  if (row < 0) return E_VALUE_NOT_FOUND;
  if (type != nullptr) *type = *table_->types[row];
  if (size != nullptr) *size = table_->sizes[row];
  return S_OK;
}

HRESULT CValueSetController::GetPropertyData(REFGUID key, const GUID* type, void* data, VSIZE size) {
  return GuardedCall([&] { return GetPropertyDataImpl(key, type, data, size); });
}

HRESULT CValueSetController::SetPropertyData(REFGUID key, const GUID* type, const void* data, VSIZE size) {
  return GuardedCall([&] { return SetPropertyDataImpl(key, type, data, size); });
}

HRESULT CValueSetController::GetPropertyDataImpl(REFGUID key, const GUID* type, void* data, VSIZE size) {
  if (ValueOwnerDisposedOrDisposing()) ThrowError(E_DISPOSED, VLOC, "Value_GetData");
  const int row = table_ ? table_->Find(key) : -1;
  if (row < 0) return E_VALUE_NOT_FOUND;
  const HRESULT accepted = table_->getChecks[row](*table_->types[row], table_->sizes[row], type, data, size);
  if (FAILED(accepted)) ThrowError(accepted, VLOC, "Get Property data-value with wrong arguments");
  std::memset(data, 0, static_cast<size_t>(size));
  return table_->getters[row](this, data);
}

HRESULT CValueSetController::SetPropertyDataImpl(REFGUID key, const GUID* type, const void* data, VSIZE size) {
  if (ValueOwnerDisposedOrDisposing()) ThrowError(E_DISPOSED, VLOC, "Value_SetData");
  const int row = table_ ? table_->Find(key) : -1;
  if (row < 0) return E_VALUE_NOT_FOUND;
  // A table without setters is read-only through the value set.
  if (table_->setChecks == nullptr || table_->setters == nullptr) return E_ACCESSDENIED;
  const HRESULT accepted = table_->setChecks[row](*table_->types[row], table_->sizes[row], type, data, size);
  if (FAILED(accepted)) ThrowError(accepted, VLOC, "Set Property data-value with wrong arguments");
  if (table_->setters[row] == nullptr) return E_ACCESSDENIED;  // a read-only row of a writable table
  return table_->setters[row](this, data);
}

HRESULT CValueSetController::GetValueData(REFGUID key, const GUID* type, void* data, VSIZE size) {
  return GuardedCall([&] { return GetValueDataImpl(key, type, data, size); });
}

HRESULT CValueSetController::GetValueDataImpl(REFGUID key, const GUID* type, void* data, VSIZE size) {
  if (table_ != nullptr) {
    const HRESULT hr = data == nullptr ? GetPropertySize(key) : GetPropertyDataImpl(key, type, data, size);
    if (hr != E_VALUE_NOT_FOUND) return hr;
  }
  return hostSet_ ? hostSet_->GetValueData(key, type, data, size) : E_VALUE_NOT_FOUND;
}

HRESULT CValueSetController::SetValueData(REFGUID key, const GUID* type, const void* data, VSIZE size) {
  return GuardedCall([&] {
    if (RefusesWrites()) ThrowError(E_ACCESSDENIED, VLOC, "Read-only");
    const HRESULT hr = CheckHr(SetValueDataImpl(key, type, data, size), VLOC, "Control_SetValueData");
    changeCount_.fetch_add(1);
    return hr;
  });
}

HRESULT CValueSetController::SetValueDataImpl(REFGUID key, const GUID* type, const void* data, VSIZE size) {
  if (policy_ == Policy::ReadOnlyTableWithHostSet) {
    if (table_ != nullptr && table_->Find(key) >= 0) return E_ACCESSDENIED;
    return hostSet_ ? hostSet_->SetValueData(key, type, data, size) : E_FAIL;
  }
  return table_ ? SetPropertyDataImpl(key, type, data, size) : E_FAIL;
}

HRESULT CValueSetController::GetValueType(REFGUID key, GUID* type, VSIZE* size) {
  const HRESULT fromTable = GetPropertyType(key, type, size);
  if (SUCCEEDED(fromTable)) return fromTable;
  return hostSet_ ? hostSet_->GetValueType(key, type, size) : fromTable;
}

HRESULT CValueSetController::GetValue(REFGUID key, REFIID iid, void** ppv) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(ppv, VLOC, "ppv");
    *ppv = nullptr;
    if (varnica::SameGuid(iid, IID_IValueSetRefused)) return E_NOINTERFACE;

    HRESULT hr;
    const int row = table_ ? table_->Find(key) : -1;
    if (row >= 0) {
      const VSIZE size = table_->sizes[row];
      const GUID* type = table_->types[row];
      TransferBlock block(size);
      hr = GetPropertyData(key, type, block.Data(), size);
      if (SUCCEEDED(hr)) {
        Held<IValue> value;
        hr = CreateClassObject(CLSID_Value, IID_IValue, reinterpret_cast<void**>(&value.p));
        if (SUCCEEDED(hr)) hr = value.p->SetValue(type, block.Data(), size);
        if (SUCCEEDED(hr)) hr = value.p->QueryInterface(iid, ppv);
      }
    } else {
      hr = hostSet_ ? hostSet_->GetValue(key, iid, ppv) : E_VALUE_NOT_FOUND;
    }
    if (hr != E_NOTIMPL) {
      if (FAILED(hr) && hr != E_VALUE_NOT_FOUND)
        ThrowErrorF(hr, VLOC, "GetValue key:%s", GuidToText(key).c_str());
      return hr;
    }

    // The source cannot hand out a value object: copy the data into a new one.
    CValueDataBuffer buffer;
    CheckHr(GetValueType(key, &buffer.type, &buffer.size), VLOC, "Control_GetValueData");
    const VSIZE size = buffer.size;
    buffer.size = 0;
    CheckHr(buffer.Allocate(size), VLOC, "Control_GetValueData");
    if (size > 0) CheckHr(GetValueData(key, &buffer.type, buffer.data, size), VLOC, "Control_GetValueData");
    Held<IValue> value;
    CheckHr(CreateClassObject(CLSID_Value, IID_IValue, reinterpret_cast<void**>(&value.p)), VLOC, "CreateValue");
    if (value.p == nullptr) ThrowError(E_POINTER, VLOC, "WriteTo");
    const bool empty = varnica::IsNullGuid(buffer.type);
    CheckHr(value.p->SetValue(&buffer.type, empty ? nullptr : buffer.data, empty ? 0 : size), VLOC, "WriteTo");
    CheckHr(value.p->QueryInterface(iid, ppv), VLOC, "QueryInterface");
    return S_OK;
  });
}

HRESULT CValueSetController::SetValueBackend(REFGUID key, IValue* value) {
  if (policy_ == Policy::ReadOnlyTableWithHostSet) {
    if (table_ != nullptr && table_->Find(key) >= 0) return E_ACCESSDENIED;
    return hostSet_ ? hostSet_->SetValue(key, value) : E_FAIL;
  }
  if (table_ == nullptr) return E_FAIL;
  CheckPointer(value, VLOC, "pv");
  // The key stands in for the type: through SetValue only rows typed by their own key are written.
  Held<IValue> typed;
  HRESULT hr = value->QueryInterface(IID_IValue, reinterpret_cast<void**>(&typed.p));
  if (FAILED(hr)) return hr;
  const HRESULT size = typed.p->GetValue(&key, nullptr, 0);
  if (FAILED(size)) return size;
  TransferBlock block(size);
  hr = typed.p->GetValue(&key, block.Data(), size);
  if (FAILED(hr)) return hr;
  return SetPropertyData(key, &key, block.Data(), size);
}

HRESULT CValueSetController::SetValue(REFGUID key, IValue* value) {
  return GuardedCall([&]() -> HRESULT {
    if (RefusesWrites()) ThrowError(E_ACCESSDENIED, VLOC, "Read-only");
    const HRESULT hr = SetValueBackend(key, value);
    if (hr != E_NOTIMPL) {
      CheckHr(hr, VLOC, "SetValue");
      changeCount_.fetch_add(1);
      return S_OK;
    }
    if (value == nullptr) ThrowError(E_NOTIMPL, VLOC, "SetValue");

    // The target cannot take the value object: read its data and store that.
    CValueDataBuffer buffer;
    const HRESULT read = GuardedCall([&] {
      Held<IValue> typed;
      CheckHr(value->QueryInterface(IID_IValue, reinterpret_cast<void**>(&typed.p)), VLOC, "QueryInterface");
      if (typed.p == nullptr) ThrowError(E_POINTER, VLOC, "pv");
      GUID type{};
      VSIZE size = 0;
      CheckHr(typed.p->GetType(&type, &size), VLOC, "GetType");
      CheckHr(buffer.Allocate(size), VLOC, "AllocBuffer");
      buffer.type = type;
      if (size != 0) CheckHr(typed.p->GetValue(&type, buffer.data, size), VLOC, "GetValue");
      return S_OK;
    });
    CheckHr(read, VLOC, "ReadFrom");
    return SetValueData(key, &buffer.type, buffer.data, buffer.size);
  });
}
