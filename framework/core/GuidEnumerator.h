// IEnumeratorGUID over a snapshot of GUIDs (value-set keys, class ids of a category).
#pragma once
#include <vector>
#include "FrameworkObject.h"

namespace vcore {

class GuidEnumerator final : public vfw::FrameworkObject<IEnumeratorGUID> {
 public:
  // A new enumerator over elements, handed out as iid (an unsupported iid frees it again).
  static HRESULT Create(std::vector<GUID> elements, REFIID iid, void** ppv);

  // Walk: Reset, then MoveNext before each element. MoveNext answers S_OK while it lands on
  // an element, S_FALSE when it moves past the last, E_FAIL once it is past.
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE MoveNext() override;
  HRESULT STDMETHODCALLTYPE GetCurrentGUID(GUID* guid) override;

 private:
  explicit GuidEnumerator(std::vector<GUID> elements);
  bool ServesMain(REFIID iid) const override { return varnica::SameGuid(iid, IID_IEnumeratorGUID); }

  std::mutex lock_;
  const std::vector<GUID> elements_;
  int32_t current_ = -1;
};

}  // namespace vcore
