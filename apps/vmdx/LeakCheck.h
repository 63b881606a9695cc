// --leak-check of the commands that run many frames: the process's private bytes after frame 100
// (after the first frame in shorter runs) and after the last frame must lie within 5 MB, and at
// the end the module must have no open object and the device's last release must return 0. The
// verdict is one line on standard error; a run outside the bounds exits 1.
#pragma once
#include <cstdint>
#include <string>

namespace vmdxtool {

class LeakCheck {
 public:
  static constexpr int64_t kMarkFrame = 100;
  static constexpr double kAllowedGrowthBytes = 5.0 * 1024 * 1024;

  explicit LeakCheck(bool enabled) : enabled_(enabled) {}
  bool enabled() const { return enabled_; }
  // After each frame, with everything of that frame released.
  void FrameDone(int64_t framesDone);
  // After the last frame, with the same things alive as at the mark (the device among them).
  void RunDone();
  // The verdict line; false when a bound is broken.
  bool Report(int openObjects, unsigned long deviceLastRelease, std::string* line) const;

 private:
  bool enabled_;
  int64_t markFrame_ = -1;
  double markBytes_ = 0;
  double endBytes_ = 0;
};

// The process's private bytes (committed memory that is its alone).
double PrivateBytes();

}  // namespace vmdxtool
