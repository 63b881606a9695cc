// The frame form of the copy, on frame objects written here: which locks it takes, what it reads,
// and that every path out gives the locks back.
#include <gtest/gtest.h>

#include <cstring>

#include "ConversionReference.h"
#include "ConversionTestSupport.h"
#include "ConvertionCopyPackFrameCpu.h"
#include "FakeCpuFrame.h"
#include "VarnicaMedia.h"
#include "VarnicaFrameAccess.h"

using reference::TestFrame;

namespace {

constexpr GUID kNormal{};

TEST(ConvertionCopyFrames, LocksReadsConvertsAndUnlocks) {
  TestFrame sourceMemory(MediaFormat_RGB8, 21, 6, 3, 0), targetMemory(MediaFormat_RGBA8, 21, 6, 3, 0x11),
      expected(MediaFormat_RGBA8, 21, 6, 3, 0x11);
  sourceMemory.FillRandom(4);
  reference::Convert(Expand3To4_8, sourceMemory.record, expected.record);
  auto source = FakeCpuFrame::Over(sourceMemory.record);
  auto target = FakeCpuFrame::Over(targetMemory.record);
  CountingPool pool(2);
  ASSERT_EQ(CopyCpuVidFrameMemory(source->Unknown(), target->Unknown(), kNormal, &pool), S_OK);
  EXPECT_TRUE(targetMemory.SameBytes(expected));
  EXPECT_EQ(source->lastLockFlags, vmdx::kLockRead);
  EXPECT_EQ(target->lastLockFlags, uint32_t{LockAccess_Write});
  EXPECT_EQ(source->locks, 1);
  EXPECT_TRUE(source->Balanced());
  EXPECT_TRUE(target->Balanced());
}

TEST(ConvertionCopyFrames, FailuresNameTheStepAndGiveTheLocksBack) {
  TestFrame sourceMemory(MediaFormat_RGB8, 8, 2, 0, 1), targetMemory(MediaFormat_RGBA8, 8, 2, 0, 0x11);
  const TestFrame untouched = targetMemory;
  {
  auto target = FakeCpuFrame::Over(targetMemory.record);
    const CaughtFailure failure = CatchFailure([&] { CopyCpuVidFrameMemory(nullptr, target->Unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.code, E_POINTER);
    EXPECT_EQ(failure.text, "pSrc");
  }
  {
    auto source = FakeCpuFrame::Over(sourceMemory.record);
    EXPECT_EQ(CatchFailure([&] { CopyCpuVidFrameMemory(source->Unknown(), nullptr, kNormal, nullptr); }).text, "pTar");
  }
  {
    auto source = FakeCpuFrame::Over(sourceMemory.record);
  auto target = FakeCpuFrame::Over(targetMemory.record);
    source->refuseLock = E_ACCESSDENIED;
    const CaughtFailure failure =
        CatchFailure([&] { CopyCpuVidFrameMemory(source->Unknown(), target->Unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.code, E_ACCESSDENIED);
    EXPECT_EQ(failure.text, "SrcFrameLock");
    EXPECT_TRUE(source->Balanced());
    EXPECT_TRUE(target->Balanced());
  }
  {
    auto source = FakeCpuFrame::Over(sourceMemory.record);
  auto target = FakeCpuFrame::Over(targetMemory.record);
    target->refuseLock = E_ACCESSDENIED;
    const CaughtFailure failure =
        CatchFailure([&] { CopyCpuVidFrameMemory(source->Unknown(), target->Unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.text, "TarFrameLock");
    EXPECT_EQ(source->locks, 1);
    EXPECT_TRUE(source->Balanced());
    EXPECT_TRUE(target->Balanced());
  }
  {
    auto source = FakeCpuFrame::Over(sourceMemory.record);
  auto target = FakeCpuFrame::Over(targetMemory.record);
    target->Withdraw();
    const CaughtFailure failure =
        CatchFailure([&] { CopyCpuVidFrameMemory(source->Unknown(), target->Unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.code, E_VALUE_NOT_FOUND);
    EXPECT_EQ(failure.text, "ReadFrom");
    EXPECT_TRUE(source->Balanced());
    EXPECT_TRUE(target->Balanced());
  }
  {
    // A pair the table lacks: the record form's text, and both locks given back.
    TestFrame mono(MediaFormat_Mono8, 8, 2, 0, 0x11);
    auto source = FakeCpuFrame::Over(mono.record);
  auto target = FakeCpuFrame::Over(targetMemory.record);
    const CaughtFailure failure =
        CatchFailure([&] { CopyCpuVidFrameMemory(source->Unknown(), target->Unknown(), kNormal, nullptr); });
    EXPECT_EQ(failure.code, E_VALUE_NOT_FOUND);
    EXPECT_EQ(failure.text, "[8x2] Mono8 --> [8x2] RGBA8");
    EXPECT_TRUE(source->Balanced());
    EXPECT_TRUE(target->Balanced());
  }
  EXPECT_TRUE(targetMemory.SameBytes(untouched));
}

}  // namespace
