#include "LeakCheck.h"

#include <windows.h>

#include <psapi.h>  // after windows.h, whose types it uses
#include <algorithm>
#include <cstdio>

namespace vmdxtool {

double PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters))
    return 0;
  // Windows reports the process's private commit in both fields; Wine 8 leaves PrivateUsage at 0
  // and keeps the figure in PagefileUsage.
  return static_cast<double>(std::max(counters.PrivateUsage, counters.PagefileUsage));
}

void LeakCheck::FrameDone(int64_t framesDone) {
  if (!enabled_) return;
  // Runs shorter than the mark are measured from their first frame.
  if (framesDone == kMarkFrame || framesDone == 1) {
    markFrame_ = framesDone;
    markBytes_ = PrivateBytes();
  }
}

void LeakCheck::RunDone() {
  if (enabled_) endBytes_ = PrivateBytes();
}

bool LeakCheck::Report(int openObjects, unsigned long deviceLastRelease, std::string* line) const {
  constexpr double kMB = 1024.0 * 1024.0;
  const double growth = endBytes_ - markBytes_;
  const bool measured = markFrame_ >= 0;
  const bool passed = measured && growth <= kAllowedGrowthBytes && openObjects == 0 && deviceLastRelease == 0;
  char text[320];
  if (measured)
    std::snprintf(text, sizeof text,
                  "leak check: private bytes %.1f MB after frame %lld, %.1f MB after the last (%+.2f MB, at most "
                  "%+.0f); open objects %d; device's last release %lu: %s",
                  markBytes_ / kMB, static_cast<long long>(markFrame_), endBytes_ / kMB, growth / kMB,
                  kAllowedGrowthBytes / kMB, openObjects, deviceLastRelease, passed ? "passed" : "FAILED");
  else
    std::snprintf(text, sizeof text, "leak check: no frame was shown, nothing measured: FAILED");
  *line = text;
  return passed;
}

}  // namespace vmdxtool
