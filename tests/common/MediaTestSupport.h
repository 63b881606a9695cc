// Helpers of the media stand-in tests: a read lock with the frame's record, decoder requests.
#pragma once
#include <wrl/client.h>

#include "TestSupport.h"

namespace mediatest {

// Locks a frame with flags and reads its CPU memory record; unlocks when it goes.
class LockedRecord {
 public:
  LockedRecord(IUnknown* frame, uint32_t flags = 0x11);
  ~LockedRecord();
  HRESULT lockResult = E_FAIL;
  HRESULT readResult = E_FAIL;
  CpuVidFrameMemory record{};
  const uint8_t* Pixel(int plane, int x, int bytesPerPixel, int y) const {
    return record.planes[plane].data + y * record.planes[plane].pitch + x * bytesPerPixel;
  }

 private:
  Microsoft::WRL::ComPtr<ILockObject> lock_;
};

Microsoft::WRL::ComPtr<IVideoDecoder> OpenDecoder(const char* source);

// A request for frame number of format (and size when width > 0).
Microsoft::WRL::ComPtr<IValueSet> Request(const GUID& format, int64_t frame, int32_t width = 0, int32_t height = 0);

// The frame the request describes, as the general frame identity; fails the test when refused.
Microsoft::WRL::ComPtr<IVideoFrame> Fetch(IVideoDecoder* decoder, const GUID& format, int64_t frame,
                                          int32_t width = 0, int32_t height = 0);

}  // namespace mediatest
