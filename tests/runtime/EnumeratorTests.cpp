// Enumerators over a property table's keys.
#include <wrl/client.h>

#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXGraphics.h"
#include "TestSupport.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

TEST(Enumerator, WalksTheFrameTableInOrderAndKeepsTheModuleLoaded) {
  const int openAtStart = OpenObjects();
  {
    auto frame = NewObject<IMediaDirectX9VideoFrame>(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame);
    ComPtr<IValueSet> set;
    ASSERT_HR(S_OK, frame->GetValueSet(&set));
    const float gain = 2;
    ASSERT_HR(S_OK, vmdx::SetValue(set, GUID{0x5, 0, 0, {0}}, FloatValueType, gain));  // not enumerated

    ComPtr<IEnumeratorGUID> keys;
    ASSERT_HR(S_OK, set->GetEnumerator(IID_IEnumeratorGUID, &keys));
    frame.Reset();
    set.Reset();  // the enumerator holds the set, and the frame with it
    EXPECT_EQ(openAtStart + 2, OpenObjects());
    EXPECT_HR(S_FALSE, Exports().DllCanUnloadNow());

    ObserverCapture capture;
    GUID key{};
    EXPECT_HR_LOGGED(capture, E_FAIL, keys->GetCurrentGUID(&key), "enumerator is invalid");

    const GUID expected[8] = {TimecodeProperty,       FrameFormat,
                              FrameSizeProperty,      CVideoFrameCpuMemoryProperty,
                              FrameRateProperty,      PixelAspectRatioProperty,
                              VideoInterlaceProperty, FramePackingProperty};
    for (const GUID& want : expected) {
      ASSERT_HR(S_OK, keys->MoveNext());
      ASSERT_HR(S_OK, keys->GetCurrentGUID(&key));
      EXPECT_TRUE(IsEqualGUID(want, key)) << VarnicaNameOf(&want, 0, 0);
    }
    EXPECT_HR(S_FALSE, keys->MoveNext());
    EXPECT_HR(E_FAIL, keys->MoveNext());
    EXPECT_HR(E_FAIL, keys->GetCurrentGUID(&key));

    ASSERT_HR(S_OK, keys->Reset());
    ASSERT_HR(S_OK, keys->MoveNext());
    EXPECT_HR_LOGGED(capture, E_POINTER, keys->GetCurrentGUID(nullptr), "pguid");

    ComPtr<IEnumerator> values;
    ASSERT_HR(S_OK, keys.As(&values));
    ComPtr<IValue> value;
    ASSERT_HR(S_OK, values->GetCurrent(IID_IValue, &value));
    GUID type{};
    VSIZE size = 0;
    ASSERT_HR(S_OK, value->GetType(&type, &size));
    EXPECT_TRUE(IsEqualGUID(GuidValueType, type));
    EXPECT_EQ(16, size);
    ASSERT_HR(S_OK, value->GetValue(&GuidValueType, &key, 16));
    EXPECT_TRUE(IsEqualGUID(TimecodeProperty, key));
  }
  EXPECT_EQ(openAtStart, OpenObjects());
  EXPECT_HR(S_OK, Exports().DllCanUnloadNow());
}

TEST(Enumerator, RefusedIdentityLeavesNothingBehind) {
  const int openAtStart = OpenObjects();
  auto graphics = NewObject<IMediaDirectXGraphics>(CLSID_MediaDirectXGraphics, IID_IMediaDirectXGraphics);
  ComPtr<IValueSet> set;
  ASSERT_HR(S_OK, graphics->GetValueSet(&set));
  void* p = reinterpret_cast<void*>(1);
  EXPECT_HR(E_NOINTERFACE, set->GetEnumerator(IID_IValueSet, &p));
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(openAtStart + 1, OpenObjects());

  ComPtr<IEnumeratorGUID> keys;
  ASSERT_HR(S_OK, set->GetEnumerator(IID_IEnumeratorGUID, &keys));
  int count = 0;
  while (keys->MoveNext() == S_OK) ++count;
  EXPECT_EQ(10, count);
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_POINTER, set->GetEnumerator(IID_IEnumeratorGUID, nullptr), "ppv");
}

}  // namespace
