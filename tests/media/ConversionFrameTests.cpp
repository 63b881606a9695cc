// The frame form of the copy, on frame objects written here: which locks it takes, what it reads,
// and that every path out gives the locks back.
#include <gtest/gtest.h>

#include <cstring>

#include "ConversionReference.h"
#include "ConversionTestSupport.h"
#include "ConvertionCopyPackFrameCpu.h"
#include "VarnicaMedia.h"

using reference::TestFrame;

namespace {

// Answers only the CPU memory record; everything else is not there.
class RecordValueSet final : public IValueSet {
 public:
  explicit RecordValueSet(const CpuVidFrameMemory& record) : record_(record) {}
  HRESULT readResult = S_OK;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE GetValueData(REFGUID key, const GUID* type, void* data, VSIZE size) override {
    if (FAILED(readResult)) return readResult;
    if (!varnica::SameGuid(key, CVideoFrameCpuMemoryProperty) || type == nullptr ||
        !varnica::SameGuid(*type, CVideoFrameCpuMemoryProperty) || size != 88)
      return E_INVALIDARG;
    std::memcpy(data, &record_, sizeof(record_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetEnumerator(REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCount() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsReadOnly() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddGUID(REFGUID, REFGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Remove(REFGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HasValue(REFGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValue(REFGUID, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetValue(REFGUID, IValue*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValues(const GUID*, int32_t, IValue**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetKeys(GUID*, int32_t) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValueIdentifier(REFGUID, GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetValueData(REFGUID, const GUID*, const void*, VSIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValueType(REFGUID, GUID*, VSIZE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPropertySize(REFGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPropertyType(REFGUID, GUID*, VSIZE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPropertyData(REFGUID, const GUID*, void*, VSIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPropertyData(REFGUID, const GUID*, const void*, VSIZE) override { return E_NOTIMPL; }
  int refs() const { return refs_; }

 private:
  CpuVidFrameMemory record_;
  int refs_ = 0;
};

// A lockable frame over a test frame's memory; records the locks it is given.
class FakeFrame final : public ILockObject, public IVarnicaObject {
 public:
  explicit FakeFrame(const CpuVidFrameMemory& record) : values(record) {}
  RecordValueSet values;
  HRESULT lockResult = S_OK;
  uint32_t lockFlags = 0;
  int locks = 0;
  int unlocks = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (varnica::SameGuid(iid, IID_ILockObject)) {
      *ppv = static_cast<ILockObject*>(this);
    } else if (varnica::SameGuid(iid, IID_IVarnicaObject) || varnica::SameGuid(iid, IID_IUnknown)) {
      *ppv = static_cast<IVarnicaObject*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    ++refs_;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE LockObject(uint32_t flags) override {
    if (FAILED(lockResult)) return lockResult;
    lockFlags = flags;
    ++locks;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UnlockObject() override {
    ++unlocks;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override {
    values.AddRef();
    *valueSet = &values;
    return S_OK;
  }
  IUnknown* unknown() { return static_cast<IVarnicaObject*>(this); }
  // Every reference handed out came back.
  bool Balanced() const { return refs_ == 0 && values.refs() == 0 && locks == unlocks; }

 private:
  int refs_ = 0;
};

constexpr GUID kNormal{};

TEST(ConvertionCopyFrames, LocksReadsConvertsAndUnlocks) {
  TestFrame sourceMemory(MediaFormat_RGB8, 21, 6, 3, 0), targetMemory(MediaFormat_RGBA8, 21, 6, 3, 0x11),
      expected(MediaFormat_RGBA8, 21, 6, 3, 0x11);
  sourceMemory.FillRandom(4);
  reference::Convert(Expand3To4_8, sourceMemory.record, expected.record);
  FakeFrame source(sourceMemory.record), target(targetMemory.record);
  CountingPool pool(2);
  ASSERT_EQ(CopyCpuVidFrameMemory(source.unknown(), target.unknown(), kNormal, &pool), S_OK);
  EXPECT_TRUE(targetMemory.SameBytes(expected));
  EXPECT_EQ(source.lockFlags, 0x11u);
  EXPECT_EQ(target.lockFlags, 0x2u);
  EXPECT_EQ(source.locks, 1);
  EXPECT_TRUE(source.Balanced());
  EXPECT_TRUE(target.Balanced());
}

TEST(ConvertionCopyFrames, FailuresNameTheStepAndGiveTheLocksBack) {
  TestFrame sourceMemory(MediaFormat_RGB8, 8, 2, 0, 1), targetMemory(MediaFormat_RGBA8, 8, 2, 0, 0x11);
  const TestFrame untouched = targetMemory;
  {
    FakeFrame target(targetMemory.record);
    const CaughtFailure failure = CatchFailure([&] { CopyCpuVidFrameMemory(nullptr, target.unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.code, E_POINTER);
    EXPECT_EQ(failure.text, "pSrc");
  }
  {
    FakeFrame source(sourceMemory.record);
    EXPECT_EQ(CatchFailure([&] { CopyCpuVidFrameMemory(source.unknown(), nullptr, kNormal, nullptr); }).text, "pTar");
  }
  {
    FakeFrame source(sourceMemory.record), target(targetMemory.record);
    source.lockResult = E_ACCESSDENIED;
    const CaughtFailure failure =
        CatchFailure([&] { CopyCpuVidFrameMemory(source.unknown(), target.unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.code, E_ACCESSDENIED);
    EXPECT_EQ(failure.text, "SrcFrameLock");
    EXPECT_TRUE(source.Balanced());
    EXPECT_TRUE(target.Balanced());
  }
  {
    FakeFrame source(sourceMemory.record), target(targetMemory.record);
    target.lockResult = E_ACCESSDENIED;
    const CaughtFailure failure =
        CatchFailure([&] { CopyCpuVidFrameMemory(source.unknown(), target.unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.text, "TarFrameLock");
    EXPECT_EQ(source.locks, 1);
    EXPECT_TRUE(source.Balanced());
    EXPECT_TRUE(target.Balanced());
  }
  {
    FakeFrame source(sourceMemory.record), target(targetMemory.record);
    target.values.readResult = E_VALUE_NOT_FOUND;
    const CaughtFailure failure =
        CatchFailure([&] { CopyCpuVidFrameMemory(source.unknown(), target.unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.code, E_VALUE_NOT_FOUND);
    EXPECT_EQ(failure.text, "ReadFrom");
    EXPECT_TRUE(source.Balanced());
    EXPECT_TRUE(target.Balanced());
  }
  {
    // A pair the table lacks: the record form's text, and both locks given back.
    TestFrame mono(MediaFormat_Mono8, 8, 2, 0, 0x11);
    FakeFrame source(mono.record), target(targetMemory.record);
    const CaughtFailure failure =
        CatchFailure([&] { CopyCpuVidFrameMemory(source.unknown(), target.unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.code, E_VALUE_NOT_FOUND);
    EXPECT_EQ(failure.text, "[8x2] Mono8 --> [8x2] RGBA8");
    EXPECT_TRUE(source.Balanced());
    EXPECT_TRUE(target.Balanced());
  }
  EXPECT_TRUE(targetMemory.SameBytes(untouched));
}

}  // namespace
