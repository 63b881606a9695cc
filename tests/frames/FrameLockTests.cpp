// Locking frames and reaching their pixels from the CPU.
#include <cstring>
#include <thread>
#include <vector>

#include "DeviceFixture.h"
#include "IMediaDirectX9VideoFrame.h"
#include "MediaTestSupport.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

// Creates frame over level 0 of texture, the way most tests here do: format (null: from the
// surface), no properties, the given lock access.
HRESULT CreateOver(IMediaDirectX9VideoFrame* frame, IDirect3DTexture9* texture, const GUID* format,
                   uint32_t access = vmdx::kLockRead) {
  return frame->CreateTex1(format, texture, 0, nullptr, nullptr, nullptr, nullptr, nullptr, access);
}

struct FrameLock : vmdxtest::DeviceFixture {
  ComPtr<IMediaDirectX9VideoFrame> NewFrame() {
    auto frame = NewObject<IMediaDirectX9VideoFrame>(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame);
    return frame;
  }
  static ComPtr<ILockObject> Lock(const ComPtr<IMediaDirectX9VideoFrame>& frame) {
    ComPtr<ILockObject> lock;
    EXPECT_HR(S_OK, frame.As(&lock));
    return lock;
  }
  static HRESULT ReadMemory(const ComPtr<IMediaDirectX9VideoFrame>& frame, CpuVidFrameMemory* memory) {
    return vmdx::GetValue(ValuesOf(frame.Get()), CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, memory);
  }
  void Fill(IDirect3DTexture9* texture, D3DCOLOR color) {
    ComPtr<IDirect3DSurface9> surface;
    ASSERT_HR(S_OK, texture->GetSurfaceLevel(0, &surface));
    ASSERT_HR(S_OK, context_.device->ColorFill(surface.Get(), nullptr, color));
  }
};

TEST_F(FrameLock, RenderTargetIsReadThroughAStagingCopyMadeOnce) {
  auto texture = CreateTexture(48, 20, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  Fill(texture.Get(), D3DCOLOR_ARGB(0xFF, 0x10, 0x80, 0xF0));
  auto frame = NewFrame();
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr));
  auto lock = Lock(frame);

  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockRead));
  CpuVidFrameMemory memory{};
  ASSERT_HR(S_OK, ReadMemory(frame, &memory));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8Alt, memory.format));
  EXPECT_EQ(48, memory.width);
  EXPECT_EQ(20, memory.height);
  ASSERT_NE(nullptr, memory.planes[0].data);
  EXPECT_GE(memory.planes[0].pitch, 48 * 4);
  EXPECT_EQ(nullptr, memory.planes[1].data);
  const uint8_t* last = memory.planes[0].data + 19 * memory.planes[0].pitch + 47 * 4;
  EXPECT_EQ(0xF0, last[0]);  // B, G, R, A in memory
  EXPECT_EQ(0x80, last[1]);
  EXPECT_EQ(0x10, last[2]);
  EXPECT_EQ(0xFF, last[3]);
  CpuVidFrameMemory again{};
  ASSERT_HR(S_OK, ReadMemory(frame, &again));
  EXPECT_EQ(0, std::memcmp(&memory, &again, sizeof memory)) << "one mapping per lock period";
  ASSERT_HR(S_OK, lock->UnlockObject());

  // The copy is kept: drawing after the first mapping does not show through the frame.
  Fill(texture.Get(), D3DCOLOR_ARGB(0xFF, 0, 0, 0));
  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockRead));
  ASSERT_HR(S_OK, ReadMemory(frame, &memory));
  EXPECT_EQ(0xF0, memory.planes[0].data[0]);
  ASSERT_HR(S_OK, lock->UnlockObject());
}

TEST_F(FrameLock, SecondPlaneFollowsTheFirstInTheSurface) {
  auto texture = CreateTexture(64, 2 * 40, D3DFMT_A8, D3DUSAGE_DYNAMIC);
  auto frame = NewFrame();
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), &MediaFormat_YUV422SemiPlanar8));
  auto lock = Lock(frame);
  ASSERT_HR(S_OK, lock->LockObject(LockAccess_Read));
  CpuVidFrameMemory memory{};
  ASSERT_HR(S_OK, ReadMemory(frame, &memory));
  EXPECT_EQ(40, memory.height);
  EXPECT_EQ(memory.planes[0].data + 40 * memory.planes[0].pitch, memory.planes[1].data);
  EXPECT_EQ(memory.planes[0].pitch, memory.planes[1].pitch);
  EXPECT_EQ(nullptr, memory.planes[2].data);
  ASSERT_HR(S_OK, lock->UnlockObject());
}

// A frame written through a write lock, then read back through a second frame over the texture.
TEST_F(FrameLock, WriteLocksReachDynamicTextures) {
  struct Case {
    D3DFORMAT format;
    const GUID* mediaFormat;
    std::vector<uint8_t> pixel;
  };
  const Case cases[] = {{D3DFMT_A16B16G16R16, &MediaFormat_RGBA16, {1, 0, 0, 0x80, 0xFF, 0xFF, 42, 0}},
                        // 0.25, -1, 3.5, 1
                        {D3DFMT_A32B32G32R32F,
                         &MediaFormat_RGBAFloat,
                         {0, 0, 0x80, 0x3E, 0, 0, 0x80, 0xBF, 0, 0, 0x60, 0x40, 0, 0, 0x80, 0x3F}}};
  for (const Case& c : cases) {
    auto texture = CreateTexture(8, 4, c.format, D3DUSAGE_DYNAMIC);
    auto writer = NewFrame(), reader = NewFrame();
    ASSERT_HR(S_OK, CreateOver(writer.Get(), texture.Get(), c.mediaFormat, vmdx::kLockWrite));
    {
      vmdx::FrameMemoryLock write;
      ASSERT_HR(S_OK, write.Open(writer.Get(), vmdx::kLockWrite));
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) std::memcpy(write.row(0, y) + x * c.pixel.size(), c.pixel.data(), c.pixel.size());
    }
    ASSERT_HR(S_OK, CreateOver(reader.Get(), texture.Get(), c.mediaFormat));
    const mediatest::LockedRecord read(reader.Get());
    ASSERT_HR(S_OK, read.readResult);
    EXPECT_EQ(0, std::memcmp(c.pixel.data(), read.Pixel(0, 7, int(c.pixel.size()), 3), c.pixel.size()));
  }
}

TEST_F(FrameLock, LockingRules) {
  auto texture = CreateTexture(8, 8, D3DFMT_A8R8G8B8, D3DUSAGE_DYNAMIC);
  auto frame = NewFrame();
  auto lock = Lock(frame);
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, lock->LockObject(LockAccess_Read), "Frame not created yet");
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr, vmdx::kLockAccessDefault));

  struct Step {
    enum { kLock, kUnlock } op;
    uint32_t flags;
    HRESULT expected;
  };
  // Enabled access 0x13: read, write and the read class.
  const std::vector<Step> steps = {
      {Step::kLock, 0x10, E_ACCESSDENIED},  // neither read nor write
      {Step::kLock, 0x20, E_ACCESSDENIED},  // not enabled
      {Step::kLock, 0x11, S_OK},
      {Step::kLock, 0x11, S_OK},           // readers add up
      {Step::kLock, 0x2, E_ACCESSDENIED},  // write on a read lock
      {Step::kLock, 0x1, S_OK},            // read without its class stays within it
      {Step::kUnlock, 0, S_OK},
      {Step::kUnlock, 0, S_OK},
      {Step::kUnlock, 0, S_OK},
      {Step::kUnlock, 0, S_OK},  // at count 0 nothing changes
      {Step::kLock, 0x3, S_OK},  // a new first lock fixes read and write
      {Step::kLock, 0x2, S_OK},
      {Step::kLock, 0x11, S_OK},  // no access class held yet: any enabled one may join
      {Step::kUnlock, 0, S_OK},
      {Step::kUnlock, 0, S_OK},
      {Step::kUnlock, 0, S_OK},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    const HRESULT hr = s.op == Step::kLock ? lock->LockObject(s.flags) : lock->UnlockObject();
    EXPECT_HR(s.expected, hr) << "step " << i;
  }
  EXPECT_TRUE(capture.Contains("Lock()"));

  // With the initial mask 0x13 a lock succeeds but the mapping refuses: read or write is unclear.
  ASSERT_HR(S_OK, lock->LockObject(LockAccess_Read));
  CpuVidFrameMemory memory{};
  capture.Clear();
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, ReadMemory(frame, &memory), "ObtainVidFrameMem");
  ASSERT_HR(S_OK, lock->UnlockObject());
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, ReadMemory(frame, &memory),
                   "CVideoFrameCpuMemoryProperty only available if the frame locked");
}

TEST_F(FrameLock, LockedFrameRefusesSettersAndDispose) {
  auto texture = CreateTexture(8, 8, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  auto frame = NewFrame();
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr));
  auto lock = Lock(frame);
  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockRead));
  ObserverCapture capture;
  const VarnicaTimecode timecode{5, 25, 1, 0, 0};
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, frame->SetTimecode(&timecode),
                   "SetTimecode: not allowed if the object is locked");
  const int16_t interlace = 1;
  EXPECT_HR(E_ACCESSDENIED, frame->SetVideoInterlace(&interlace));
  ComPtr<IDisposable> disposable;
  ASSERT_HR(S_OK, frame.As(&disposable));
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, disposable->Dispose(), "Frame-Dispose failed, because the frame is locked");
  EXPECT_HR(S_FALSE, disposable->IsDisposed());
  ASSERT_HR(S_OK, lock->UnlockObject());
  EXPECT_HR(S_OK, frame->SetTimecode(&timecode));
  EXPECT_HR(S_OK, disposable->Dispose());
  EXPECT_HR_LOGGED(capture, E_DISPOSED, lock->LockObject(vmdx::kLockRead),
                   "LockObject: MediaDirectX9VideoFrame is disposed");
}

TEST_F(FrameLock, ReadersOnSeveralThreadsShareOneMapping) {
  auto texture = CreateTexture(256, 64, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  Fill(texture.Get(), D3DCOLOR_ARGB(0x80, 1, 2, 3));
  auto frame = NewFrame();
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr));
  auto lock = Lock(frame);
  constexpr int kThreads = 6;
  std::vector<CpuVidFrameMemory> seen(kThreads);
  std::vector<HRESULT> results(kThreads, E_FAIL);
  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockRead));  // keeps the mapping alive across the readers
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      HRESULT hr = lock->LockObject(vmdx::kLockRead);
      if (SUCCEEDED(hr)) hr = ReadMemory(frame, &seen[i]);
      const HRESULT unlocked = lock->UnlockObject();
      results[i] = FAILED(hr) ? hr : unlocked;
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_HR(S_OK, results[i]) << "thread " << i;
    EXPECT_EQ(0, std::memcmp(&seen[0], &seen[i], sizeof seen[0])) << "thread " << i;
  }
  EXPECT_EQ(3, seen[0].planes[0].data[0]);
  ASSERT_HR(S_OK, lock->UnlockObject());
}

}  // namespace
