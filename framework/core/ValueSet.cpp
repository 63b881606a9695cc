#include "ValueSet.h"

#include <vector>
#include "GuidEnumerator.h"

namespace vcore {
namespace {
constexpr char kSourceFile[] = "framework/core/ValueSet";
}

HRESULT ValueSet::GetEnumerator(REFIID iid, void** ppv) {
  return vfw::Guarded([&] {
    std::vector<GUID> keys;
    {
      std::lock_guard<std::mutex> hold(lock_);
      for (const auto& entry : values_) keys.push_back(entry.first);
    }
    return GuidEnumerator::Create(std::move(keys), iid, ppv);
  });
}

HRESULT ValueSet::GetCount() {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<HRESULT>(values_.size());
}

HRESULT ValueSet::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  values_.clear();
  return S_OK;
}

HRESULT ValueSet::AddGUID(REFGUID key, REFGUID value) { return SetValueData(key, &GuidValueType, &value, 16); }

HRESULT ValueSet::Remove(REFGUID key) {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.erase(key) ? S_OK : E_VALUE_NOT_FOUND;
}

HRESULT ValueSet::HasValue(REFGUID key) {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.count(key) ? S_OK : S_FALSE;
}

HRESULT ValueSet::GetValue(REFGUID key, REFIID iid, void** ppv) {
  return vfw::Guarded([&]() -> HRESULT {
    vfw::CheckPointer(ppv, FW_LOC, "ppv");
    *ppv = nullptr;
    TypedData copy;
    {
      std::lock_guard<std::mutex> hold(lock_);
      auto it = values_.find(key);
      if (it == values_.end()) return E_VALUE_NOT_FOUND;
      copy = it->second;
    }
    return NewValue(std::move(copy))->QueryInterface(iid, ppv);
  });
}

HRESULT ValueSet::SetValue(REFGUID key, IValue* value) {
  return vfw::Guarded([&]() -> HRESULT {
    vfw::CheckPointer(value, FW_LOC, "value");
    GUID type{};
    VSIZE size = 0;
    vfw::Check(value->GetType(&type, &size), FW_LOC, "GetType");
    if (size < 0 || size >= 0x7FFFFFFF) vfw::Raise(E_INVALIDARG, FW_LOC, "size");
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (size > 0) vfw::Check(value->GetValue(&type, data.data(), size), FW_LOC, "GetValue");
    TypedData typed = TypedData::From(&type, data.data(), size);
    std::lock_guard<std::mutex> hold(lock_);
    values_[key] = std::move(typed);
    return S_OK;
  });
}

HRESULT ValueSet::GetKeys(GUID* keys, int32_t capacity) {
  std::lock_guard<std::mutex> hold(lock_);
  if (keys == nullptr) return static_cast<HRESULT>(values_.size());
  if (capacity < static_cast<int32_t>(values_.size())) return E_INVALIDARG;
  for (const auto& entry : values_) *keys++ = entry.first;
  return static_cast<HRESULT>(values_.size());
}

HRESULT ValueSet::GetValueData(REFGUID key, const GUID* type, void* data, VSIZE size) {
  return vfw::Guarded([&]() -> HRESULT {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = values_.find(key);
    if (it == values_.end()) return E_VALUE_NOT_FOUND;
    return it->second.CopyTo(type, data, size);
  });
}

HRESULT ValueSet::SetValueData(REFGUID key, const GUID* type, const void* data, VSIZE size) {
  return vfw::Guarded([&] {
    TypedData typed = TypedData::From(type, data, size);
    std::lock_guard<std::mutex> hold(lock_);
    values_[key] = std::move(typed);
    return S_OK;
  });
}

HRESULT ValueSet::GetValueType(REFGUID key, GUID* type, VSIZE* size) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = values_.find(key);
  if (it == values_.end()) return E_VALUE_NOT_FOUND;
  if (type != nullptr) *type = it->second.type;
  if (size != nullptr) *size = static_cast<VSIZE>(it->second.bytes.size());
  return S_OK;
}

HRESULT CreateValueSet(REFIID iid, void** ppv) {
  return vfw::Guarded([&] {
    vfw::CheckPointer(ppv, FW_LOC, "ppv");
    *ppv = nullptr;
    Microsoft::WRL::ComPtr<ValueSet> set = vfw::Adopt(new ValueSet());
    return set->QueryInterface(iid, ppv);
  });
}

}  // namespace vcore
