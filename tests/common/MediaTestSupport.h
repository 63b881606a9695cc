// Helpers of the media stand-in tests: a read lock with the frame's record, frames as rows of
// bytes, decoder requests.
#pragma once
#include <wrl/client.h>
#include <vector>

#include "PixelReference.h"
#include "TestSupport.h"
#include "VarnicaFrameAccess.h"

namespace mediatest {

// A frame held open in a test: the frame-memory guard, the results of its two steps, and pixel
// addressing.
class LockedRecord {
 public:
  explicit LockedRecord(IUnknown* frame, uint32_t access = vmdx::kLockRead) {
    lockResult = lock_.Lock(frame, access);
    if (SUCCEEDED(lockResult)) readResult = lock_.ReadMemory();
    record = lock_.memory();
  }
  HRESULT lockResult = E_FAIL;
  HRESULT readResult = E_FAIL;
  CpuVidFrameMemory record{};
  const uint8_t* Pixel(int plane, int x, int bytesPerPixel, int y) const {
    return lock_.row(plane, y) + x * bytesPerPixel;
  }

 private:
  vmdx::FrameMemoryLock lock_;
};

// A frame's pixels: every row of every plane cut to the format's row bytes, planes one after the
// other.
using Rows = std::vector<std::vector<uint8_t>>;
Rows RecordRows(const CpuVidFrameMemory& record);
// The rows of frame, read through a read lock (which must succeed); format (may be null) gets
// the frame's format.
Rows FrameRows(IUnknown* frame, GUID* format = nullptr);
// A frame of 4-byte pixels (0xAARRGGBB for RGBA8) read through a read lock.
vmdxtest::Picture FramePicture(IUnknown* frame);

Microsoft::WRL::ComPtr<IVideoDecoder> OpenDecoder(const char* source);

// A request for frame number of format (and size when width > 0).
Microsoft::WRL::ComPtr<IValueSet> Request(const GUID& format, int64_t frame, int32_t width = 0, int32_t height = 0);

// The frame the request describes, as the general frame identity; fails the test when refused.
Microsoft::WRL::ComPtr<IVideoFrame> Fetch(IVideoDecoder* decoder, const GUID& format, int64_t frame, int32_t width = 0,
                                          int32_t height = 0);

// Frame number of the built-in clip name at width x height, as RGBA8 pixels.
vmdxtest::Picture ClipPicture(const char* name, int64_t frame, int32_t width, int32_t height);

}  // namespace mediatest
