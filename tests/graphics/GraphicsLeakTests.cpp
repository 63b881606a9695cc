// A long run: 1000 pictures, each after a resize of the window, so that every one re-makes the
// display's device. Nothing may pile up: open objects back to the start, the last device's last
// release at 0, and the process's private bytes near where they settled after the first 50 and
// flat over the second half of the run.
// (Under Wine a device costs about 0.3 s to make, draw on first and release, so this takes
// minutes, not seconds.)
#include <cstdio>

#include "DisplayWindow.h"
#include "TestSupport.h"

#include <psapi.h>

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

constexpr int kCycles = 1000;
constexpr int kSettled = 50;
// Measured: on a quiet machine private bytes are flat from cycle 50 on; with the machine loaded
// (wined3d's command thread lagging) its pools keep filling, by up to about 8 MB, now and then
// as late as the second half. A leak of one small surface per cycle adds 70 MB over the run and
// 35 MB over its second half, so these bounds still catch it with room to spare.
constexpr double kAllowedGrowthSinceSettledMB = 20.0;
constexpr double kAllowedGrowthSecondHalfMB = 12.0;

struct Memory {
  double privateMB, workingSetMB;
};

// Private bytes are the commit charge, which Windows reports twice (PrivateUsage and
// PagefileUsage); Wine fills only PagefileUsage.
Memory MemoryNow() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  const SIZE_T privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
  return {privateBytes / (1024.0 * 1024.0), counters.WorkingSetSize / (1024.0 * 1024.0)};
}

using GraphicsLong = DisplayFixture;

TEST_F(GraphicsLong, ResizeAndPresentCyclesLeaveNothingBehind) {
  const SIZE sizes[] = {{160, 120}, {200, 150}, {176, 100}, {240, 180}};
  const float colour[4] = {0.2f, 0.6f, 1.0f, 1.0f};
  Memory settled{}, halfway{};
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const SIZE size = sizes[cycle % 4];
    window_->Resize(size.cx, size.cy);
    ComPtr<IMediaDirectXGraphics> surface = NextSurface(display_.Get());
    ASSERT_TRUE(surface) << "cycle " << cycle;
    ASSERT_HR(S_OK, FillQuad(surface.Get(), 10, 10, size.cx - 10.0f, size.cy - 10.0f, colour)) << "cycle " << cycle;
    if (cycle % 100 == 0) {
      const Picture picture = Capture(surface.Get());  // every hundredth also goes through capture
      ASSERT_EQ(size.cx, picture.width);
      ASSERT_EQ(0x3399FFu, picture.Rgb(size.cx / 2, size.cy / 2));
    }
    ASSERT_HR(S_OK, surface->Present()) << "cycle " << cycle;
    if (cycle + 1 == kSettled) settled = MemoryNow();
    if (cycle + 1 == kCycles / 2) halfway = MemoryNow();
    if ((cycle + 1) % 250 == 0) {
      const Memory now = MemoryNow();
      std::printf("cycle %d: private %.1f MB, working set %.1f MB\n", cycle + 1, now.privateMB, now.workingSetMB);
    }
  }
  const Memory end = MemoryNow();
  std::printf("private bytes after %d cycles %.1f MB, after %d %.1f MB, after %d %.1f MB\n", kSettled,
              settled.privateMB, kCycles / 2, halfway.privateMB, kCycles, end.privateMB);
  EXPECT_GT(settled.privateMB, 0.0) << "no private bytes reported";
  EXPECT_LT(end.privateMB - settled.privateMB, kAllowedGrowthSinceSettledMB) << "private bytes grew";
  EXPECT_LT(end.privateMB - halfway.privateMB, kAllowedGrowthSecondHalfMB) << "private bytes still growing";
  RenewDevice();  // the fixture's device is the first one; the display has long let it go
}

}  // namespace
