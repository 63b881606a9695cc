// The copy: lookup in the table, modes, failure texts, and band splitting on a pool.
#include <gtest/gtest.h>

#include <atomic>

#include "ConversionReference.h"
#include "ConversionTestSupport.h"
#include "ConvertionCopyIdenticalFrameCpu.h"
#include "ConvertionCopyPackFrameCpu.h"
#include "ConvertionCopyRGBYUVFrameCpu.h"
#include "ConvertionCopyYUVFrameCpu.h"

using reference::TestFrame;

namespace {

constexpr uint8_t kSentinel = 0x5A;
constexpr GUID kNormal{};

class ConvertionCopy : public testing::Test {
 protected:
#ifndef _WIN32
  // Band splitting depends on the processor count; pretend to have many.
  void SetUp() override { mediahost::SetProcessorCountForTesting(16); }
  void TearDown() override { mediahost::SetProcessorCountForTesting(0); }
#endif
};

// Every pair of the table, and equal formats through the wildcard row.
TEST_F(ConvertionCopy, EveryTablePairIsFoundAndConverted) {
  std::vector<ConvertionCopyEntry> pairs(ConvertionCopyTable, ConvertionCopyTable + 65);
  for (const GUID* format : {&MediaFormat_RGBA8, &MediaFormat_YUV422SemiPlanar8, &MediaFormat_Mono8})
    pairs.push_back({format, format, 0, IdenticalCopy, 0});
  for (size_t i = 0; i < pairs.size(); ++i) {
    const ConvertionCopyEntry& row = pairs[i];
    TestFrame source(*row.source, 17, 5, 3, 0);
    source.FillRandom(static_cast<uint32_t>(i));
    TestFrame actual(*row.target, 17, 5, 3, kSentinel), expected(*row.target, 17, 5, 3, kSentinel);

    ConvertionCopyKernel kernel = nullptr;
    int32_t bands = -1;
    ASSERT_EQ(FindConvertionCopy(&kernel, &bands, &source.record, &actual.record, kNormal), S_OK) << "row " << i;
    EXPECT_EQ(kernel, row.kernel) << "row " << i;
    EXPECT_EQ(bands, row.bandCount) << "row " << i;

    ASSERT_EQ(CopyCpuVidFrameMemory(&source.record, &actual.record, kNormal, nullptr), S_OK) << "row " << i;
    reference::Convert(row.kernel, source.record, expected.record);
    EXPECT_TRUE(actual.SameBytes(expected)) << "row " << i << ": " << reference::FirstDifference(actual, expected);
  }
}

TEST_F(ConvertionCopy, DirectModePrefersRepackingAndNeverBands) {
  struct Case {
    const GUID* from;
    const GUID* to;
    ConvertionCopyKernel kernel;
    int32_t bands;
  };
  const Case cases[] = {
      {&MediaFormat_RGB8, &MediaFormat_RGBA8, Expand3To4_8, 1},
      {&MediaFormat_RGBA8, &MediaFormat_RGBA8, IdenticalCopy, 1},
      {&MediaFormat_RGBA8, &MediaFormat_RGBX8, SameLayoutCopy, 1},
      // No repacking row: the second pass takes any row, with that row's band count.
      {&MediaFormat_YUV422Packed8, &MediaFormat_RGB8, Yuv422ToRgb_8, 8},
  };
  for (const Case& c : cases) {
    TestFrame source(*c.from, 64, 64, 0, 1), target(*c.to, 64, 64, 0, 0);
    ConvertionCopyKernel kernel = nullptr;
    int32_t bands = -1;
    ASSERT_EQ(FindConvertionCopy(&kernel, &bands, &source.record, &target.record, ConvertionMode_Direct), S_OK);
    EXPECT_EQ(kernel, c.kernel);
    EXPECT_EQ(bands, c.bands);
  }
  CountingPool pool(2);
  TestFrame source(MediaFormat_RGB8, 64, 1080, 0, 1), target(MediaFormat_RGBA8, 64, 1080, 0, 0);
  ASSERT_EQ(CopyCpuVidFrameMemory(&source.record, &target.record, ConvertionMode_Direct, &pool), S_OK);
  EXPECT_EQ(pool.jobs, 0);
  EXPECT_EQ(target.planes[0][3], 0xFF);
}

// Refusals: the code FindConvertionCopy gives (it also clears the kernel), the copy's failure
// text naming both records, not one target byte written and no band handed to the pool (equal
// formats of different sizes included).
TEST_F(ConvertionCopy, RefusalsNameTheRecordsAndWriteNothing) {
  const GUID unknownMode{0x199652DB, 0x2DD6, 0x4A31, {0xA6, 0x59, 0xCE, 0xCE, 0x3E, 0x55, 0x34, 0x4A}};
  TestFrame rgb(MediaFormat_RGB8, 1920, 1080, 0, 1), rgba(MediaFormat_RGBA8, 8, 2, 0, 1);
  TestFrame yuv(MediaFormat_YUV422Packed8, 1280, 720, 0, kSentinel), target(MediaFormat_RGBA8, 8, 2, 0, kSentinel);
  TestFrame tall(MediaFormat_RGBA8, 16, 600, 0, 1), shorter(MediaFormat_RGBA8, 16, 500, 0, kSentinel);
  const struct {
    CpuVidFrameMemory* source;
    TestFrame* target;
    GUID mode;
    HRESULT code;
    const char* text;
  } cases[] = {
      {&rgb.record, &yuv, kNormal, E_VALUE_NOT_FOUND, "[1920x1080] RGB8 --> [1280x720] YUV422Packed8"},
      {&tall.record, &shorter, kNormal, E_VALUE_NOT_FOUND, "[16x600] RGBA8 --> [16x500] RGBA8"},
      {&rgba.record, &target, unknownMode, E_INVALIDARG, "[8x2] RGBA8 --> [8x2] RGBA8"},
      {nullptr, &target, kNormal, E_POINTER, "pSrc"},
      {&rgba.record, nullptr, kNormal, E_POINTER, "pTar"},
  };
  CountingPool pool(2);
  for (const auto& c : cases) {
    const TestFrame untouched = c.target ? *c.target : target;
    CpuVidFrameMemory* const t = c.target ? &c.target->record : nullptr;
    if (c.source && t) {
      ConvertionCopyKernel kernel = IdenticalCopy;
      int32_t bands = -1;
      EXPECT_EQ(FindConvertionCopy(&kernel, &bands, c.source, t, c.mode), c.code) << c.text;
      EXPECT_EQ(kernel, nullptr);
    }
    const CaughtFailure failure = CatchFailure([&] { CopyCpuVidFrameMemory(c.source, t, c.mode, &pool); });
    EXPECT_TRUE(failure.raised);
    EXPECT_EQ(pool.jobs, 0) << c.text;
    EXPECT_EQ(failure.code, c.code) << c.text;
    EXPECT_EQ(failure.text, c.text);
    if (c.target) {
      EXPECT_TRUE(c.target->SameBytes(untouched)) << c.text;
    }
  }
}

TEST(ConvertionBandPlan, FollowsBandCountAndProcessors) {
  const ConvertionBands eight = PlanConvertionBands(1080, 8, 16);
  EXPECT_EQ(eight.bandHeight, 144);
  EXPECT_EQ(eight.bands, 8);
  const ConvertionBands perRows = PlanConvertionBands(1080, 0, 16);
  EXPECT_EQ(perRows.bandHeight, 272);
  EXPECT_EQ(perRows.bands, 4);
  const ConvertionBands twoCores = PlanConvertionBands(1080, 8, 2);
  EXPECT_EQ(twoCores.bandHeight, 544);
  EXPECT_EQ(twoCores.bands, 2);
  const ConvertionBands small = PlanConvertionBands(17, 4, 16);  // 5 rows a band, rounded up to 16
  EXPECT_EQ(small.bandHeight, 16);
  EXPECT_EQ(small.bands, 2);
  EXPECT_EQ(PlanConvertionBands(100, -3, 16).bands, 1);
}

// Rows with band counts 1, 2, 4, 8 and 0 (one band per 256 rows), multi-plane formats among them.
TEST_F(ConvertionCopy, BandsGiveTheSameBytesAsOneRun) {
  const int rows[] = {27, 16, 2, 10, 18, 7, 65};
  CountingPool pool(4);
  for (int i : rows) {
    const ConvertionCopyEntry& row = ConvertionCopyTable[i];
    const GUID& target = row.source == nullptr ? MediaFormat_YUVA422Packed8 : *row.target;
    const GUID& sourceFormat = row.source == nullptr ? MediaFormat_YUVA422Packed8 : *row.source;
    for (int32_t height : {1, 17, 100, 1080}) {
      TestFrame source(sourceFormat, 37, height, 4, 0);
      source.FillRandom(static_cast<uint32_t>(height));
      TestFrame banded(target, 37, height, 4, kSentinel), single(target, 37, height, 4, kSentinel);
      ASSERT_EQ(CopyCpuVidFrameMemory(&source.record, &single.record, kNormal, nullptr), S_OK);
      pool.jobs = 0;
      ASSERT_EQ(CopyCpuVidFrameMemory(&source.record, &banded.record, kNormal, &pool), S_OK);
      EXPECT_TRUE(banded.SameBytes(single))
          << "row " << i << " height " << height << ": " << reference::FirstDifference(banded, single);
      const int processors = mediahost::ProcessorCount();
      if (row.bandCount == 1 || processors < 2) {
        EXPECT_EQ(pool.jobs, 0) << "row " << i;
      } else {
        EXPECT_EQ(pool.jobs, 1) << "row " << i;
        EXPECT_EQ(pool.lastWorkers, PlanConvertionBands(height, row.bandCount, processors).bands) << "row " << i;
        EXPECT_EQ(pool.lastName, "CopyCpuVidFrameMemory");
      }
    }
  }
}

TEST_F(ConvertionCopy, BandFailureIsRaisedAsTheCopysFailure) {
  if (mediahost::ProcessorCount() < 2) GTEST_SKIP() << "one processor: the copy never bands";
  CountingPool pool(2);
  TestFrame source(MediaFormat_YUV422Packed8, 64, 300, 0, 1), target(MediaFormat_RGB8, 64, 300, 0, kSentinel);
  const TestFrame untouched = target;
  CpuVidFrameMemory s = source.record;
  s.planes[0].pitch = 64;  // below the 128-byte row
  const CaughtFailure failure = CatchFailure([&] { CopyCpuVidFrameMemory(&s, &target.record, kNormal, &pool); });
  EXPECT_EQ(pool.jobs, 1);
  EXPECT_EQ(failure.code, E_INVALIDARG);
  EXPECT_EQ(failure.text, "CopyCpuVidFrameMemory");
  EXPECT_TRUE(target.SameBytes(untouched));
}

TEST(CpuThreadPool, RunsEveryWorkerAndReturnsTheFirstFailure) {
  std::unique_ptr<CpuThreadPool> pool = CreateCpuThreadPool(3);
  struct Count {
    std::atomic<int> calls{0};
  } count;
  auto counting = [](void* c) -> HRESULT {
    static_cast<Count*>(c)->calls.fetch_add(1);
    return S_OK;
  };
  EXPECT_EQ(pool->RunJob("count", 10, counting, &count), S_OK);
  EXPECT_EQ(count.calls.load(), 10);
  auto failing = [](void* c) -> HRESULT {
    return static_cast<Count*>(c)->calls.fetch_add(1) == 12 ? E_OUTOFMEMORY : S_OK;
  };
  EXPECT_EQ(pool->RunJob("fail", 5, failing, &count), E_OUTOFMEMORY);
  EXPECT_EQ(count.calls.load(), 15);
}

}  // namespace
