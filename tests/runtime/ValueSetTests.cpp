// Value sets of the frame (read-only table plus host set) and of the drawing surface
// (writable table, nothing else).
#include <cstring>
#include <wrl/client.h>

#include "VarnicaFrameAccess.h"
#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXGraphics.h"
#include "TestSupport.h"

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
  VarnicaPixelAspectRatio ratio{7, 7};
  ASSERT_HR(S_OK, vmdx::GetValue(set, PixelAspectRatioProperty, PixelAspectRatioValueType, &ratio));
  EXPECT_EQ(1, ratio.numerator);
  EXPECT_EQ(1, ratio.denominator);
  GUID packing{};
  ASSERT_HR(S_OK, vmdx::GetValue(set, FramePackingProperty, GuidValueType, &packing));
  EXPECT_TRUE(IsEqualGUID(FramePacking_Default, packing));
  int16_t interlace = 5;
  ASSERT_HR(S_OK, vmdx::GetValue(set, VideoInterlaceProperty, VideoInterlaceProperty, &interlace));
  EXPECT_EQ(0, interlace);
  VarnicaFrameSize size{9, 9};
  ASSERT_HR(S_OK, vmdx::GetValue(set, FrameSizeProperty, FrameSizeValueType, &size));
  EXPECT_EQ(0, size.width);
  EXPECT_EQ(0, size.height);

  ObserverCapture capture;
  VarnicaTimecode timecode{};
  EXPECT_HR(E_FAIL, vmdx::GetValue(set, TimecodeProperty, TimecodeValueType, &timecode));
  EXPECT_TRUE(capture.Contains("TimeCode not defined")) << capture.Text();
  CpuVidFrameMemory memory{};
  EXPECT_HR(E_ACCESSDENIED,
            vmdx::GetValue(set, CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, &memory));
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
  VarnicaPixelAspectRatio ratio{};
  ASSERT_HR(S_OK, vmdx::GetValue(set, PixelAspectRatioProperty, PixelAspectRatioValueType, &ratio));
  EXPECT_EQ(1, ratio.numerator);
  const VarnicaPixelAspectRatio wide{16, 15};
  ASSERT_HR(S_OK, frame->SetPixelAspectRatio(&wide));
  ASSERT_HR(S_OK, vmdx::GetValue(set, PixelAspectRatioProperty, PixelAspectRatioValueType, &ratio));
  EXPECT_EQ(16, ratio.numerator);
  EXPECT_EQ(15, ratio.denominator);
}

TEST_F(FrameValues, WrongArgumentsAreRefusedAndLeaveTheBufferAlone) {
  ObserverCapture capture;
  uint8_t buffer[17];
  std::memset(buffer, 0xCD, sizeof buffer);
  EXPECT_HR(E_INVALIDARG, set->GetPropertyData(FramePackingProperty, &GuidValueType, buffer, 17));
  EXPECT_TRUE(capture.Contains("Get Property data-value with wrong arguments")) << capture.Text();
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
  EXPECT_HR(E_ACCESSDENIED, vmdx::SetValue(set, FrameFormat, GuidValueType, format));
  EXPECT_TRUE(capture.Contains("Control_SetValueData")) << capture.Text();
  EXPECT_HR(E_ACCESSDENIED, set->SetPropertyData(FrameFormat, &GuidValueType, &format, 16));

  EXPECT_EQ(8, set->GetCount());
  EXPECT_HR(S_FALSE, set->HasValue(kOtherKey));
  const float gain = 0.5f;
  ASSERT_HR(S_OK, vmdx::SetValue(set, kOtherKey, FloatValueType, gain));
  EXPECT_HR(S_OK, set->HasValue(kOtherKey));
  EXPECT_EQ(9, set->GetCount());
  float read = 0;
  ASSERT_HR(S_OK, vmdx::GetValue(set, kOtherKey, FloatValueType, &read));
  EXPECT_EQ(gain, read);
  GUID type{};
  VSIZE size = 0;
  ASSERT_HR(S_OK, set->GetValueType(kOtherKey, &type, &size));
  EXPECT_TRUE(IsEqualGUID(FloatValueType, type));

  EXPECT_HR(E_NOTIMPL, set->Clear());
  EXPECT_HR(E_ACCESSDENIED, set->Remove(kOtherKey));
  EXPECT_TRUE(capture.Contains("Control_Clear"));
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
  VarnicaTimecode read{};
  ASSERT_HR(S_OK, vmdx::GetValue(set, kOtherKey, TimecodeValueType, &read));
  EXPECT_EQ(77, read.frame);

  ComPtr<IValue> copy;
  ASSERT_HR(S_OK, set->GetValue(kOtherKey, IID_IValue, &copy));
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_HR(E_NOINTERFACE, set->GetValue(kOtherKey, IID_IValueSetRefused, &refused));
  const GUID missing = {0xDEAD, 0, 0, {0}};
  ComPtr<IValue> none;
  EXPECT_HR(E_VALUE_NOT_FOUND, set->GetValue(missing, IID_IValue, &none));

  ObserverCapture capture;
  EXPECT_HR(E_FAIL, set->GetValue(FrameRateProperty, IID_IValue, &none));
  EXPECT_TRUE(capture.Contains("GetValue key:EB64E703-24AB-45F0-B087-E8C957A1292D")) << capture.Text();
}

TEST_F(FrameValues, UnsupportedOperationsSayWhy) {
  ObserverCapture capture;
  EXPECT_HR(E_NOTIMPL, set->AddGUID(kOtherKey, kOtherKey));
  EXPECT_HR(E_NOTIMPL, set->GetValues(nullptr, 0, nullptr));
  EXPECT_HR(E_NOTIMPL, set->GetKeys(nullptr, 0));
  EXPECT_HR(E_NOTIMPL, set->GetValueIdentifier(kOtherKey, nullptr));
  EXPECT_HR(E_NOTIMPL, set->Reserved());
  for (const char* text : {"AddGUID not supported", "GetValues not supported", "GetKeys not supported",
                           "GetValueIdentifier"})
    EXPECT_TRUE(capture.Contains(text)) << text;
}

TEST_F(FrameValues, DisposedFrameRefusesPropertyReads) {
  ComPtr<IDisposable> disposable;
  ASSERT_HR(S_OK, frame.As(&disposable));
  ASSERT_HR(S_OK, disposable->Dispose());
  ObserverCapture capture;
  GUID packing{};
  EXPECT_HR(E_DISPOSED, set->GetPropertyData(FramePackingProperty, &GuidValueType, &packing, 16));
  EXPECT_TRUE(capture.Contains("Value_GetData")) << capture.Text();
}

struct GraphicsValues : ::testing::Test {
  void SetUp() override {
    ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDirectXGraphics, IID_IMediaDirectXGraphics, &graphics));
    ASSERT_HR(S_OK, graphics->GetValueSet(&set));
  }
  ComPtr<IMediaDirectXGraphics> graphics;
  ComPtr<IValueSet> set;
};

TEST_F(GraphicsValues, DefaultsAndRoundTrips) {
  float ipd = 0;
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsIpdProperty, FloatValueType, &ipd));
  EXPECT_FLOAT_EQ(0.07f, ipd);
  float matrix[9] = {};
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsViewMatrixProperty, FloatMatrix3x3ValueType, &matrix));
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_EQ(0, std::memcmp(identity, matrix, sizeof matrix));
  GUID matte{};
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsAlphaMatteProperty, GuidValueType, &matte));
  EXPECT_TRUE(IsEqualGUID(AlphaMatteBlend, matte));

  const float size[2] = {1920, 1080};
  ASSERT_HR(S_OK, vmdx::SetValue(set, GraphicsViewSizeProperty, GraphicsViewSizeProperty, size));
  float read[2] = {};
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsViewSizeProperty, GraphicsViewSizeProperty, &read));
  EXPECT_EQ(1920.0f, read[0]);
  EXPECT_EQ(1080.0f, read[1]);
  const uint16_t options = 3;
  ASSERT_HR(S_OK, set->SetPropertyData(GraphicsUploadOptionsProperty, &GraphicsUploadOptionsProperty, &options, 2));
  EXPECT_EQ(10, set->GetCount());
}

TEST_F(GraphicsValues, AngularRangeBelowOneRadianMeansTheFullSphere) {
  const float narrow[2] = {0.5f, 2.0f};
  ASSERT_HR(S_OK, vmdx::SetValue(set, GraphicsAngularRangeProperty, GraphicsAngularRangeProperty, narrow));
  float read[2] = {};
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsAngularRangeProperty, GraphicsAngularRangeProperty, &read));
  EXPECT_EQ(6.2831855f, read[0]);
  EXPECT_EQ(3.1415927f, read[1]);
  const float half[2] = {3.0f, 1.5f};
  ASSERT_HR(S_OK, vmdx::SetValue(set, GraphicsAngularRangeProperty, GraphicsAngularRangeProperty, half));
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsAngularRangeProperty, GraphicsAngularRangeProperty, &read));
  EXPECT_EQ(3.0f, read[0]);
  EXPECT_EQ(1.5f, read[1]);
}

TEST_F(GraphicsValues, KeysOutsideTheTableCannotBeReadOrWritten) {
  ObserverCapture capture;
  const float gain = 1;
  EXPECT_HR(E_VALUE_NOT_FOUND, vmdx::SetValue(set, kOtherKey, FloatValueType, gain));
  EXPECT_TRUE(capture.Contains("Control_SetValueData")) << capture.Text();
  float read = 0;
  EXPECT_HR(E_VALUE_NOT_FOUND, vmdx::GetValue(set, kOtherKey, FloatValueType, &read));
  EXPECT_HR(S_FALSE, set->HasValue(kOtherKey));
  EXPECT_HR(E_FAIL, set->Remove(GraphicsIpdProperty));
  EXPECT_TRUE(capture.Contains("Control_Remove"));
  EXPECT_HR(E_FAIL, set->Clear());
  EXPECT_TRUE(capture.Contains("Control_Clear"));
}

TEST_F(GraphicsValues, WrongSizeOnWriteChangesNothing) {
  ObserverCapture capture;
  const float ipd[2] = {0.1f, 0.2f};
  EXPECT_HR(E_INVALIDARG, set->SetValueData(GraphicsIpdProperty, &FloatValueType, ipd, 8));
  EXPECT_TRUE(capture.Contains("Set Property data-value with wrong arguments")) << capture.Text();
  float read = 0;
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsIpdProperty, FloatValueType, &read));
  EXPECT_FLOAT_EQ(0.07f, read);
}

TEST_F(GraphicsValues, ValueObjectsWriteOnlyRowsTypedByTheirOwnKey) {
  ComPtr<IValue> value;
  ASSERT_HR(S_OK, CreateClassObject(CLSID_Value, IID_IValue, &value));
  const float size[2] = {640, 480};
  ASSERT_HR(S_OK, value->SetValue(&GraphicsViewSizeProperty, size, 8));
  ASSERT_HR(S_OK, set->SetValue(GraphicsViewSizeProperty, value.Get()));
  float read[2] = {};
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsViewSizeProperty, GraphicsViewSizeProperty, &read));
  EXPECT_EQ(640.0f, read[0]);

  // The ipd row is typed as a float value, not by its key: a value object cannot reach it.
  const float ipd = 0.06f;
  ASSERT_HR(S_OK, value->SetValue(&FloatValueType, &ipd, 4));
  ObserverCapture capture;
  EXPECT_HR(E_INVALIDARG, set->SetValue(GraphicsIpdProperty, value.Get()));
  EXPECT_TRUE(capture.Contains("SetValue")) << capture.Text();
  float unchanged = 0;
  ASSERT_HR(S_OK, vmdx::GetValue(set, GraphicsIpdProperty, FloatValueType, &unchanged));
  EXPECT_FLOAT_EQ(0.07f, unchanged);

  ComPtr<IValue> out;
  ASSERT_HR(S_OK, set->GetValue(GraphicsIpdProperty, IID_IValue, &out));
  float ipdRead = 0;
  ASSERT_HR(S_OK, out->GetValue(&FloatValueType, &ipdRead, 4));
  EXPECT_FLOAT_EQ(0.07f, ipdRead);
}

}  // namespace
