// The frame form of the copy, on frame objects written here: which locks it takes, what it reads,
// and that every path out gives the locks back.
#include <gtest/gtest.h>

#include <cstring>

#include "ConversionReference.h"
#include "ConversionTestSupport.h"
#include "ConvertionCopyPackFrameCpu.h"
#include "FakeCpuFrame.h"
#include "VarnicaFrameAccess.h"
#include "VarnicaMedia.h"

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

// Every failure names its step, and both frames get their locks back.
TEST(ConvertionCopyFrames, FailuresNameTheStepAndGiveTheLocksBack) {
  TestFrame sourceMemory(MediaFormat_RGB8, 8, 2, 0, 1), targetMemory(MediaFormat_RGBA8, 8, 2, 0, 0x11);
  TestFrame mono(MediaFormat_Mono8, 8, 2, 0, 0x11);
  const TestFrame untouched = targetMemory;
  const struct {
    int spoil;  // 0 no source, 1 no target, 2 source refuses its lock, 3 target refuses, 4 target has no record,
                // 5 a pair the table lacks
    HRESULT code;
    const char* text;
  } cases[] = {{0, E_POINTER, "pSrc"},
               {1, E_POINTER, "pTar"},
               {2, E_ACCESSDENIED, "SrcFrameLock"},
               {3, E_ACCESSDENIED, "TarFrameLock"},
               {4, E_VALUE_NOT_FOUND, "ReadFrom"},
               {5, E_VALUE_NOT_FOUND, "[8x2] Mono8 --> [8x2] RGBA8"}};
  for (const auto& c : cases) {
    auto source = FakeCpuFrame::Over(c.spoil == 5 ? mono.record : sourceMemory.record);
    auto target = FakeCpuFrame::Over(targetMemory.record);
    if (c.spoil == 2) source->refuseLock = E_ACCESSDENIED;
    if (c.spoil == 3) target->refuseLock = E_ACCESSDENIED;
    if (c.spoil == 4) target->Withdraw();
    const CaughtFailure failure = CatchFailure([&] {
      CopyCpuVidFrameMemory(c.spoil == 0 ? nullptr : source->Unknown(), c.spoil == 1 ? nullptr : target->Unknown(),
                            kNormal, nullptr);
    });
    EXPECT_EQ(failure.code, c.code) << c.text;
    EXPECT_EQ(failure.text, c.text);
    if (c.spoil == 3) {
      EXPECT_EQ(source->locks, 1) << "the source is locked first";
    }
    EXPECT_TRUE(source->Balanced()) << c.text;
    EXPECT_TRUE(target->Balanced()) << c.text;
  }
  EXPECT_TRUE(targetMemory.SameBytes(untouched));
}

}  // namespace
