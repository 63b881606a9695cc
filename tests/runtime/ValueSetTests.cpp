// Value sets of the frame (read-only table plus host set) and of the drawing surface
// (writable table, nothing else).
#include <wrl/client.h>
#include <array>
#include <cstring>

#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXGraphics.h"
#include "TestSupport.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

const GUID kOtherKey = {0xA1B2C3D4, 0x0102, 0x0304, {5, 6, 7, 8, 9, 10, 11, 12}};

struct FrameValues : ::testing::Test {
  void SetUp() override {
    openAtStart = OpenObjects();
    ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame, &frame));
    ASSERT_HR(S_OK, frame->GetValueSet(&set));
  }
  void TearDown() override {
    set.Reset();
    frame.Reset();
    EXPECT_EQ(openAtStart, OpenObjects());
  }
  int openAtStart = 0;
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ComPtr<IValueSet> set;
};

TEST_F(FrameValues, DefaultsOfAFreshFrame) {
  const auto ratio = ValueOf<VarnicaPixelAspectRatio>(set.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType);
  EXPECT_EQ(1, ratio.numerator);
  EXPECT_EQ(1, ratio.denominator);
  EXPECT_TRUE(IsEqualGUID(FramePacking_Default, ValueOf<GUID>(set.Get(), FramePackingProperty, GuidValueType)));
  EXPECT_EQ(0, ValueOf<int16_t>(set.Get(), VideoInterlaceProperty, VideoInterlaceProperty));
  const auto size = ValueOf<VarnicaFrameSize>(set.Get(), FrameSizeProperty, FrameSizeValueType);
  EXPECT_EQ(0, size.width);
  EXPECT_EQ(0, size.height);

  ObserverCapture capture;
  VarnicaTimecode timecode{};
  EXPECT_HR_LOGGED(capture, E_FAIL, vmdx::GetValue(set, TimecodeProperty, TimecodeValueType, &timecode),
                   "TimeCode not defined");
  CpuVidFrameMemory memory{};
  EXPECT_HR(E_ACCESSDENIED, vmdx::GetValue(set, CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, &memory));
  EXPECT_TRUE(capture.Contains("CVideoFrameCpuMemoryProperty only available if the frame locked"));
}

TEST_F(FrameValues, PropertiesFollowTheSetters) {
  const VarnicaTimecode timecode{1234, 25, 1, 0, 0};
  ASSERT_HR(S_OK, frame->SetTimecode(&timecode));
  VarnicaTimecode read{};
  ASSERT_HR(S_OK, vmdx::GetValue(set, TimecodeProperty, TimecodeValueType, &read));
  EXPECT_EQ(0, std::memcmp(&timecode, &read, sizeof read));
  ASSERT_HR(S_OK, frame->SetTimecode(nullptr));  // undefined again
  EXPECT_HR(E_FAIL, vmdx::GetValue(set, TimecodeProperty, TimecodeValueType, &read));

  const VarnicaPixelAspectRatio zero{0, 3};  // a zero part reads as 1:1
  ASSERT_HR(S_OK, frame->SetPixelAspectRatio(&zero));
  auto ratio = ValueOf<VarnicaPixelAspectRatio>(set.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType);
  EXPECT_EQ(1, ratio.numerator);
  const VarnicaPixelAspectRatio wide{16, 15};
  ASSERT_HR(S_OK, frame->SetPixelAspectRatio(&wide));
  ratio = ValueOf<VarnicaPixelAspectRatio>(set.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType);
  EXPECT_EQ(16, ratio.numerator);
  EXPECT_EQ(15, ratio.denominator);
}

TEST_F(FrameValues, WrongArgumentsAreRefusedAndLeaveTheBufferAlone) {
  ObserverCapture capture;
  uint8_t buffer[17];
  std::memset(buffer, 0xCD, sizeof buffer);
  EXPECT_HR_LOGGED(capture, E_INVALIDARG, set->GetPropertyData(FramePackingProperty, &GuidValueType, buffer, 17),
                   "Get Property data-value with wrong arguments");
  EXPECT_HR(E_INVALIDARG, set->GetPropertyData(FramePackingProperty, &FloatValueType, buffer, 16));
  EXPECT_HR(E_INVALIDARG, set->GetPropertyData(FramePackingProperty, nullptr, buffer, 16));
  for (uint8_t b : buffer) EXPECT_EQ(0xCD, b);
  EXPECT_HR(E_VALUE_NOT_FOUND, set->GetPropertyData(kOtherKey, &GuidValueType, buffer, 16));
}

TEST_F(FrameValues, SizesAndTypesComeFromTheTable) {
  EXPECT_EQ(88, set->GetValueData(CVideoFrameCpuMemoryProperty, &CVideoFrameCpuMemoryProperty, nullptr, 0));
  EXPECT_EQ(24, set->GetPropertySize(TimecodeProperty));
  EXPECT_HR(E_VALUE_NOT_FOUND, set->GetPropertySize(kOtherKey));
  GUID type{};
  VSIZE size = 0;
  ASSERT_HR(S_OK, set->GetValueType(FrameSizeProperty, &type, &size));
  EXPECT_TRUE(IsEqualGUID(FrameSizeValueType, type));
  EXPECT_EQ(8, size);
  ASSERT_HR(S_OK, set->GetPropertyType(VideoInterlaceProperty, nullptr, &size));
  EXPECT_EQ(2, size);
}

TEST_F(FrameValues, TableIsReadOnlyOtherKeysLandInTheHostSet) {
  const GUID format = MediaFormat_RGB8;
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, vmdx::SetValue(set, FrameFormat, GuidValueType, format),
                   "Control_SetValueData");
  EXPECT_HR(E_ACCESSDENIED, set->SetPropertyData(FrameFormat, &GuidValueType, &format, 16));

  EXPECT_EQ(8, set->GetCount());
  EXPECT_HR(S_FALSE, set->HasValue(kOtherKey));
  const float gain = 0.5f;
  ASSERT_HR(S_OK, vmdx::SetValue(set, kOtherKey, FloatValueType, gain));
  EXPECT_HR(S_OK, set->HasValue(kOtherKey));
  EXPECT_EQ(9, set->GetCount());
  EXPECT_EQ(gain, ValueOf<float>(set.Get(), kOtherKey, FloatValueType));
  GUID type{};
  VSIZE size = 0;
  ASSERT_HR(S_OK, set->GetValueType(kOtherKey, &type, &size));
  EXPECT_TRUE(IsEqualGUID(FloatValueType, type));

  EXPECT_HR(E_NOTIMPL, set->Clear());
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, set->Remove(kOtherKey), "Control_Clear");
  EXPECT_TRUE(capture.Contains("Control_Remove"));
  EXPECT_HR(S_FALSE, set->IsReadOnly());
}

TEST_F(FrameValues, ValuesAsObjectsBothWays) {
  const VarnicaTimecode timecode{77, 30, 1, 0, 0};
  ASSERT_HR(S_OK, frame->SetTimecode(&timecode));
  ComPtr<IValue> value;
  ASSERT_HR(S_OK, set->GetValue(TimecodeProperty, IID_IValue, &value));
  GUID type{};
  VSIZE size = 0;
  ASSERT_HR(S_OK, value->GetType(&type, &size));
  EXPECT_TRUE(IsEqualGUID(TimecodeValueType, type));
  EXPECT_EQ(24, size);

  // A table key cannot be written through a value object; another key goes to the host set.
  EXPECT_HR(E_ACCESSDENIED, set->SetValue(TimecodeProperty, value.Get()));
  ASSERT_HR(S_OK, set->SetValue(kOtherKey, value.Get()));
  EXPECT_EQ(77, ValueOf<VarnicaTimecode>(set.Get(), kOtherKey, TimecodeValueType).frame);

  ComPtr<IValue> copy;
  ASSERT_HR(S_OK, set->GetValue(kOtherKey, IID_IValue, &copy));
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_HR(E_NOINTERFACE, set->GetValue(kOtherKey, IID_IValueSetRefused, &refused));
  const GUID missing = {0xDEAD, 0, 0, {0}};
  ComPtr<IValue> none;
  EXPECT_HR(E_VALUE_NOT_FOUND, set->GetValue(missing, IID_IValue, &none));

  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_FAIL, set->GetValue(FrameRateProperty, IID_IValue, &none),
                   "GetValue key:EB64E703-24AB-45F0-B087-E8C957A1292D");
}

TEST_F(FrameValues, UnsupportedOperationsSayWhy) {
  ObserverCapture capture;
  EXPECT_HR(E_NOTIMPL, set->AddGUID(kOtherKey, kOtherKey));
  EXPECT_HR(E_NOTIMPL, set->GetValues(nullptr, 0, nullptr));
  EXPECT_HR(E_NOTIMPL, set->GetKeys(nullptr, 0));
  EXPECT_HR(E_NOTIMPL, set->GetValueIdentifier(kOtherKey, nullptr));
  EXPECT_HR(E_NOTIMPL, set->Reserved());
  for (const char* text :
       {"AddGUID not supported", "GetValues not supported", "GetKeys not supported", "GetValueIdentifier"})
    EXPECT_TRUE(capture.Contains(text)) << text;
}

TEST_F(FrameValues, DisposedFrameRefusesPropertyReads) {
  ASSERT_HR(S_OK, Dispose(frame.Get()));
  ObserverCapture capture;
  GUID packing{};
  EXPECT_HR_LOGGED(capture, E_DISPOSED, set->GetPropertyData(FramePackingProperty, &GuidValueType, &packing, 16),
                   "Value_GetData");
}

struct GraphicsValues : ::testing::Test {
  void SetUp() override {
    ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDirectXGraphics, IID_IMediaDirectXGraphics, &graphics));
    ASSERT_HR(S_OK, graphics->GetValueSet(&set));
  }
  ComPtr<IMediaDirectXGraphics> graphics;
  ComPtr<IValueSet> set;
};

using Pair = std::array<float, 2>;

TEST_F(GraphicsValues, DefaultsAndRoundTrips) {
  EXPECT_FLOAT_EQ(0.07f, ValueOf<float>(set.Get(), GraphicsIpdProperty, FloatValueType));
  const auto matrix = ValueOf<std::array<float, 9>>(set.Get(), GraphicsViewMatrixProperty, FloatMatrix3x3ValueType);
  EXPECT_EQ((std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}), matrix);
  EXPECT_TRUE(IsEqualGUID(AlphaMatteBlend, ValueOf<GUID>(set.Get(), GraphicsAlphaMatteProperty, GuidValueType)));

  ASSERT_HR(S_OK, vmdx::SetValue(set, GraphicsViewSizeProperty, GraphicsViewSizeProperty, Pair{1920, 1080}));
  EXPECT_EQ((Pair{1920, 1080}), ValueOf<Pair>(set.Get(), GraphicsViewSizeProperty, GraphicsViewSizeProperty));
  const uint16_t options = 3;
  ASSERT_HR(S_OK, set->SetPropertyData(GraphicsUploadOptionsProperty, &GraphicsUploadOptionsProperty, &options, 2));
  EXPECT_EQ(10, set->GetCount());
}

TEST_F(GraphicsValues, AngularRangeBelowOneRadianMeansTheFullSphere) {
  for (const auto& [written, read] :
       {std::pair{Pair{0.5f, 2.0f}, Pair{6.2831855f, 3.1415927f}}, std::pair{Pair{3.0f, 1.5f}, Pair{3.0f, 1.5f}}}) {
    ASSERT_HR(S_OK, vmdx::SetValue(set, GraphicsAngularRangeProperty, GraphicsAngularRangeProperty, written));
    EXPECT_EQ(read, ValueOf<Pair>(set.Get(), GraphicsAngularRangeProperty, GraphicsAngularRangeProperty));
  }
}

TEST_F(GraphicsValues, KeysOutsideTheTableCannotBeReadOrWritten) {
  ObserverCapture capture;
  const float gain = 1;
  EXPECT_HR_LOGGED(capture, E_VALUE_NOT_FOUND, vmdx::SetValue(set, kOtherKey, FloatValueType, gain),
                   "Control_SetValueData");
  float read = 0;
  EXPECT_HR(E_VALUE_NOT_FOUND, vmdx::GetValue(set, kOtherKey, FloatValueType, &read));
  EXPECT_HR(S_FALSE, set->HasValue(kOtherKey));
  EXPECT_HR_LOGGED(capture, E_FAIL, set->Remove(GraphicsIpdProperty), "Control_Remove");
  EXPECT_HR_LOGGED(capture, E_FAIL, set->Clear(), "Control_Clear");
}

TEST_F(GraphicsValues, WrongSizeOnWriteChangesNothing) {
  ObserverCapture capture;
  const float ipd[2] = {0.1f, 0.2f};
  EXPECT_HR_LOGGED(capture, E_INVALIDARG, set->SetValueData(GraphicsIpdProperty, &FloatValueType, ipd, 8),
                   "Set Property data-value with wrong arguments");
  EXPECT_FLOAT_EQ(0.07f, ValueOf<float>(set.Get(), GraphicsIpdProperty, FloatValueType));
}

TEST_F(GraphicsValues, ValueObjectsWriteOnlyRowsTypedByTheirOwnKey) {
  auto value = NewObject<IValue>(CLSID_Value, IID_IValue);
  const float size[2] = {640, 480};
  ASSERT_HR(S_OK, value->SetValue(&GraphicsViewSizeProperty, size, 8));
  ASSERT_HR(S_OK, set->SetValue(GraphicsViewSizeProperty, value.Get()));
  EXPECT_EQ(640.0f, (ValueOf<Pair>(set.Get(), GraphicsViewSizeProperty, GraphicsViewSizeProperty)[0]));

  // The ipd row is typed as a float value, not by its key: a value object cannot reach it.
  const float ipd = 0.06f;
  ASSERT_HR(S_OK, value->SetValue(&FloatValueType, &ipd, 4));
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_INVALIDARG, set->SetValue(GraphicsIpdProperty, value.Get()), "SetValue");
  EXPECT_FLOAT_EQ(0.07f, ValueOf<float>(set.Get(), GraphicsIpdProperty, FloatValueType));

  ComPtr<IValue> out;
  ASSERT_HR(S_OK, set->GetValue(GraphicsIpdProperty, IID_IValue, &out));
  float ipdRead = 0;
  ASSERT_HR(S_OK, out->GetValue(&FloatValueType, &ipdRead, 4));
  EXPECT_FLOAT_EQ(0.07f, ipdRead);
}

}  // namespace
