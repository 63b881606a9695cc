#include "GuidEnumerator.h"

#include <wrl/client.h>

namespace vcore {
namespace {
constexpr char kSourceFile[] = "framework/core/GuidEnumerator";
}

GuidEnumerator::GuidEnumerator(std::vector<GUID> elements)
    : FrameworkObject(GUID{}, "GuidEnumerator", false), elements_(std::move(elements)) {}

HRESULT GuidEnumerator::Create(std::vector<GUID> elements, REFIID iid, void** ppv) {
  vfw::CheckPointer(ppv, FW_LOC, "ppv");
  *ppv = nullptr;
  Microsoft::WRL::ComPtr<GuidEnumerator> enumerator = vfw::Adopt(new GuidEnumerator(std::move(elements)));
  return enumerator->QueryInterface(iid, ppv);
}

HRESULT GuidEnumerator::Reset() {
  std::lock_guard<std::mutex> hold(lock_);
  current_ = -1;
  return S_OK;
}

HRESULT GuidEnumerator::MoveNext() {
  std::lock_guard<std::mutex> hold(lock_);
  const auto count = static_cast<int32_t>(elements_.size());
  if (current_ >= count) return E_FAIL;
  ++current_;
  return current_ == count ? S_FALSE : S_OK;
}

HRESULT GuidEnumerator::GetCurrentGUID(GUID* guid) {
  return vfw::Guarded([&] {
    std::lock_guard<std::mutex> hold(lock_);
    if (current_ < 0 || current_ >= static_cast<int32_t>(elements_.size()))
      vfw::Raise(E_FAIL, FW_LOC, "enumerator is invalid");
    vfw::CheckPointer(guid, FW_LOC, "pguid");
    *guid = elements_[static_cast<size_t>(current_)];
    return S_OK;
  });
}

}  // namespace vcore
