// CommonMediaVideoCpuFrame: own and shared memory, the lock rules, its value set.
#include <atomic>

#include "MediaTestSupport.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;
using mediatest::LockedRecord;

namespace {

ComPtr<ICommonMediaVideoCpuFrame> NewFrame() {
  auto frame = NewObject<ICommonMediaVideoCpuFrame>(CLSID_CommonMediaVideoCpuFrame, IID_ICommonMediaVideoCpuFrame);
  return frame;
}

// An owner of shared memory whose references can be counted.
class CountedOwner final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (!IsEqualGUID(iid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  std::atomic<ULONG> refs{1};
};

TEST(CpuFrame, OwnMemoryFollowsThePlaneLayoutWithAlignedPitches) {
  auto frame = NewFrame();
  ASSERT_HR(S_OK, frame->Create1(&MediaFormat_YUV422SemiPlanar8, 1921, 37));
  LockedRecord locked(frame.Get());
  ASSERT_HR(S_OK, locked.readResult);
  const CpuVidFrameMemory& r = locked.record;
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422SemiPlanar8, r.format));
  EXPECT_EQ(1921, r.width);
  EXPECT_EQ(37, r.height);
  for (int i = 0; i < 2; ++i) {
    ASSERT_NE(nullptr, r.planes[i].data);
    EXPECT_EQ(0, r.planes[i].pitch % 16);
    EXPECT_GE(r.planes[i].pitch, 1922);  // paired plane 0: whole pairs
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(r.planes[i].data) % 16);
  }
  EXPECT_GE(r.planes[1].data, r.planes[0].data + 37 * r.planes[0].pitch);  // planes do not overlap
  EXPECT_EQ(nullptr, r.planes[2].data);
  EXPECT_EQ(0, r.planes[2].pitch);

  const auto size = ValueOf<VarnicaFrameSize>(frame.Get(), FrameSizeProperty, FrameSizeValueType);
  EXPECT_EQ(1921, size.width);
  EXPECT_EQ(37, size.height);
}

TEST(CpuFrame, RefusedCreatesChangeNothing) {
  ObserverCapture capture;
  auto frame = NewFrame();
  EXPECT_HR(E_UNSUPPORTED, frame->Create1(&IID_IValue, 64, 64));  // not a media format
  EXPECT_HR(E_INVALIDARG, frame->Create1(&MediaFormat_RGBA8, 0, 64));
  EXPECT_HR(E_FAIL, frame->Create0());  // nothing to make it from
  EXPECT_TRUE(capture.Contains("Create0: neither shared memory nor FrameFormat and FrameSizeProperty"));
  ComPtr<ILockObject> lock;
  ASSERT_HR(S_OK, frame.As(&lock));
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, lock->LockObject(vmdx::kLockRead), "Frame not created yet");

  ASSERT_HR(S_OK, frame->Create1(&MediaFormat_RGBA8, 8, 8));
  EXPECT_HR_LOGGED(capture, E_FAIL, frame->Create1(&MediaFormat_RGBA8, 8, 8), "Frame already created");
}

TEST(CpuFrame, Create0MakesOwnMemoryFromTheValueSet) {
  auto frame = NewFrame();
  ComPtr<IValueSet> values;
  ASSERT_HR(S_OK, frame.As(&values));
  const VarnicaFrameSize size{33, 7};
  ASSERT_HR(S_OK, vmdx::SetValue(values, FrameFormat, GuidValueType, MediaFormat_YUV422Packed10));
  ASSERT_HR(S_OK, vmdx::SetValue(values, FrameSizeProperty, FrameSizeValueType, size));
  ASSERT_HR(S_OK, frame->Create0());
  LockedRecord locked(frame.Get());
  ASSERT_HR(S_OK, locked.readResult);
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422Packed10, locked.record.format));
  EXPECT_EQ(33, locked.record.width);
  EXPECT_GE(locked.record.planes[0].pitch, 17 * 8);
}

TEST(CpuFrame, SharedMemoryKeepsItsOwnerAliveUntilTheFrameGoes) {
  CountedOwner owner;
  alignas(16) static uint8_t pixels[4 * 16 * 3];
  CpuVidFrameMemory record{MediaFormat_RGBA8Alt, 16, 3, {{pixels, 64}}};
  {
    auto frame = NewFrame();
    ASSERT_HR(S_OK, frame->SetEnabledLockAccess(vmdx::kLockRead));
    ASSERT_HR(S_OK, frame->ShareVideoFrameCpuMemory(&owner, 0, &record));
    ASSERT_HR(S_OK, frame->Create0());
    EXPECT_EQ(2u, owner.refs.load());
    LockedRecord locked(frame.Get());
    ASSERT_HR(S_OK, locked.readResult);
    EXPECT_EQ(0, std::memcmp(&record, &locked.record, sizeof record));
    ComPtr<IVideoFrame> general;
    EXPECT_HR(S_OK, frame.As(&general));  // answers the general frame identity
  }
  EXPECT_EQ(1u, owner.refs.load());
}

TEST(CpuFrame, RefusedSharingKeepsNoOwner) {
  ObserverCapture capture;
  CountedOwner owner;
  alignas(16) static uint8_t pixels[64];
  auto frame = NewFrame();
  const CpuVidFrameMemory unknownFormat{IID_IValue, 4, 4, {{pixels, 16}}};
  EXPECT_HR(E_UNSUPPORTED, frame->ShareVideoFrameCpuMemory(&owner, 0, &unknownFormat));
  const CpuVidFrameMemory shortPitch{MediaFormat_RGBA8, 4, 4, {{pixels, 8}}};
  EXPECT_HR(E_INVALIDARG, frame->ShareVideoFrameCpuMemory(&owner, 0, &shortPitch));
  const CpuVidFrameMemory noPixels{MediaFormat_RGBA8, 4, 4, {}};
  EXPECT_HR(E_POINTER, frame->ShareVideoFrameCpuMemory(&owner, 0, &noPixels));
  EXPECT_HR(E_POINTER, frame->ShareVideoFrameCpuMemory(&owner, 0, nullptr));
  EXPECT_EQ(1u, owner.refs.load());
  EXPECT_HR(E_FAIL, frame->Create0());
}

// The lock rules of a GPU frame, on a CPU frame.
TEST(CpuFrame, FirstLockFixesTheAccessOfLaterLocks) {
  ObserverCapture capture;
  auto frame = NewFrame();
  ASSERT_HR(S_OK, frame->Create1(&MediaFormat_Mono8, 4, 4));
  ComPtr<ILockObject> lock;
  ComPtr<IValueSet> values;
  ASSERT_HR(S_OK, frame.As(&lock));
  ASSERT_HR(S_OK, frame.As(&values));
  CpuVidFrameMemory record{};
  EXPECT_HR(E_ACCESSDENIED,
            vmdx::GetValue(values, CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, &record));
  EXPECT_TRUE(capture.Contains("CVideoFrameCpuMemoryProperty only available if the frame locked"));

  ASSERT_HR(S_OK, frame->SetEnabledLockAccess(vmdx::kLockRead));
  EXPECT_HR(E_ACCESSDENIED, lock->LockObject(0));                 // neither read nor write
  EXPECT_HR(E_ACCESSDENIED, lock->LockObject(LockAccess_Write));  // not enabled
  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockRead));
  ASSERT_HR(S_OK, lock->LockObject(LockAccess_Read));
  EXPECT_HR(E_ACCESSDENIED, frame->SetEnabledLockAccess(vmdx::kLockAccessDefault));
  capture.Clear();
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, lock->LockObject(LockAccess_Write), "Lock()");
  EXPECT_HR(S_OK, vmdx::GetValue(values, CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, &record));
  EXPECT_HR(E_INVALIDARG, values->GetValueData(CVideoFrameCpuMemoryProperty, &GuidValueType, &record, sizeof record));

  // Locked: properties and Dispose refused, nothing changed.
  const VarnicaTimecode timecode{5, 25, 1, 0, 0};
  EXPECT_HR(E_ACCESSDENIED, vmdx::SetValue(values, TimecodeProperty, TimecodeValueType, timecode));
  EXPECT_HR(S_FALSE, values->HasValue(TimecodeProperty));
  ComPtr<IDisposable> disposable;
  ASSERT_HR(S_OK, frame.As(&disposable));
  EXPECT_HR(E_ACCESSDENIED, disposable->Dispose());
  EXPECT_HR(S_FALSE, disposable->IsDisposed());

  ASSERT_HR(S_OK, lock->UnlockObject());
  ASSERT_HR(S_OK, lock->UnlockObject());
  EXPECT_HR(S_OK, lock->UnlockObject());  // at count 0 stays at 0
  EXPECT_HR(E_ACCESSDENIED,
            vmdx::GetValue(values, CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, &record));
  // Unlocked, a write-only frame may be locked for writing.
  ASSERT_HR(S_OK, frame->SetEnabledLockAccess(vmdx::kLockWrite));
  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockWrite));
  EXPECT_HR(E_ACCESSDENIED, lock->LockObject(LockAccess_Read | LockAccess_WriteClass));
  ASSERT_HR(S_OK, lock->UnlockObject());

  ASSERT_HR(S_OK, disposable->Dispose());
  capture.Clear();
  EXPECT_HR_LOGGED(capture, E_DISPOSED, lock->LockObject(LockAccess_Write),
                   "LockObject: CommonMediaVideoCpuFrame is disposed");
}

TEST(CpuFrame, PropertiesAreTypedAndFormatAndSizeStayWithTheMemory) {
  ObserverCapture capture;
  auto frame = NewFrame();
  ComPtr<IValueSet> values;
  ASSERT_HR(S_OK, frame.As(&values));
  ASSERT_HR(S_OK, frame->Create1(&MediaFormat_RGB8, 10, 10));

  const VarnicaTimecode timecode{42, 30000, 1001, 0, 0};
  ASSERT_HR(S_OK, vmdx::SetValue(values, TimecodeProperty, TimecodeValueType, timecode));
  VarnicaTimecode readBack{};
  ASSERT_HR(S_OK, values->GetPropertyData(TimecodeProperty, &TimecodeValueType, &readBack, sizeof readBack));
  EXPECT_EQ(0, std::memcmp(&timecode, &readBack, sizeof readBack));
  EXPECT_HR(E_INVALIDARG, values->SetValueData(TimecodeProperty, &TimecodeValueType, &timecode, 16));
  EXPECT_HR(E_INVALIDARG, values->SetValueData(VideoInterlaceProperty, &Int32ValueType, &timecode, 2));

  const int16_t top = VideoInterlace_TopFieldFirst;
  ASSERT_HR(S_OK, vmdx::SetValue(values, VideoInterlaceProperty, VideoInterlaceProperty, top));
  EXPECT_EQ(top, ValueOf<int16_t>(values.Get(), VideoInterlaceProperty, VideoInterlaceProperty));
  EXPECT_EQ(1, ValueOf<VarnicaPixelAspectRatio>(values.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType)
                   .numerator);  // square unless told otherwise
  EXPECT_EQ(88, values->GetPropertySize(CVideoFrameCpuMemoryProperty));

  EXPECT_HR(E_ACCESSDENIED, vmdx::SetValue(values, FrameFormat, GuidValueType, MediaFormat_RGBA8));
  EXPECT_HR(E_ACCESSDENIED, values->Remove(FrameSizeProperty));
  EXPECT_HR(S_OK, values->Clear());
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGB8, ValueOf<GUID>(values.Get(), FrameFormat, GuidValueType)));
  EXPECT_HR(S_FALSE, values->HasValue(TimecodeProperty));
}

}  // namespace
