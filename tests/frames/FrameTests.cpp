// Frames made over a host's textures and surfaces: formats, sizes, the create rules; locking
// them and reaching their pixels from the CPU.
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

// A fresh frame and its value set for every test.
struct Frame : DeviceFixture {
  void SetUp() override {
    DeviceFixture::SetUp();
    if (IsSkipped()) return;
    frame = NewFrame();
    ASSERT_HR(S_OK, frame->GetValueSet(&values));
    ASSERT_HR(S_OK, frame.As(&lock));
  }
  void TearDown() override {
    lock.Reset();
    values.Reset();
    frame.Reset();
    DeviceFixture::TearDown();
  }
  static ComPtr<IMediaDirectX9VideoFrame> NewFrame() {
    return NewObject<IMediaDirectX9VideoFrame>(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame);
  }
  GUID Format() { return ValueOf<GUID>(values.Get(), FrameFormat, GuidValueType); }
  VarnicaFrameSize Size() { return ValueOf<VarnicaFrameSize>(values.Get(), FrameSizeProperty, FrameSizeValueType); }
  HRESULT ReadMemory(CpuVidFrameMemory* memory) {
    return vmdx::GetValue(values, CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, memory);
  }
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ComPtr<IValueSet> values;
  ComPtr<ILockObject> lock;
};

TEST_F(Frame, WithoutFormatTheSurfaceFormatDecides) {
  auto texture = CreateTexture(320, 180, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  const VarnicaTimecode timecode{12, 25, 1, 0, 0};
  ASSERT_HR(S_OK, frame->CreateTex1(nullptr, texture.Get(), 0, nullptr, nullptr, &timecode, nullptr, nullptr,
                                    vmdx::kLockRead));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8Alt, Format()));
  EXPECT_EQ(320, Size().width);
  EXPECT_EQ(180, Size().height);
  EXPECT_EQ(12, ValueOf<VarnicaTimecode>(values.Get(), TimecodeProperty, TimecodeValueType).frame);
  EXPECT_TRUE(IsEqualGUID(FramePacking_Default, ValueOf<GUID>(values.Get(), FramePackingProperty, GuidValueType)));

  ComPtr<IDirect3DTexture9> held;
  ASSERT_HR(S_OK, frame->GetTexture(&held));
  EXPECT_EQ(texture.Get(), held.Get());
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, frame->GetSurface(&surface));
  EXPECT_EQ(Level(texture.Get()).Get(), surface.Get());

  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_FAIL, CreateOver(frame.Get(), texture.Get(), nullptr), "Frame already created");
  const GUID packingAfter = FramePacking_Default;
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, frame->SetFramePacking(&packingAfter),
                   "SetFramePacking: not allowed if the object is already created");
}

// Semi-planar 4:2:2 stacks its planes in one A8 surface: the frame is half as high, and its
// second plane follows the first.
TEST_F(Frame, StackedPlanesGiveTheRealHeightAndFollowEachOther) {
  auto texture = CreateTexture(64, 2 * 40, D3DFMT_A8, D3DUSAGE_DYNAMIC);
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), &MediaFormat_YUV422SemiPlanar8));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422SemiPlanar8, Format()));
  EXPECT_EQ(64, Size().width);
  EXPECT_EQ(40, Size().height);
  ASSERT_HR(S_OK, lock->LockObject(LockAccess_Read));
  CpuVidFrameMemory memory{};
  ASSERT_HR(S_OK, ReadMemory(&memory));
  EXPECT_EQ(40, memory.height);
  EXPECT_EQ(memory.planes[0].data + 40 * memory.planes[0].pitch, memory.planes[1].data);
  EXPECT_EQ(memory.planes[0].pitch, memory.planes[1].pitch);
  EXPECT_EQ(nullptr, memory.planes[2].data);
  ASSERT_HR(S_OK, lock->UnlockObject());
}

TEST_F(Frame, FormatsMustBeTheirOwnNativeFormatOnTheirSurfaceFormat) {
  auto a8 = CreateTexture(64, 64, D3DFMT_A8, D3DUSAGE_DYNAMIC);
  ObserverCapture capture;
  EXPECT_HR(E_INVALIDARG, CreateOver(frame.Get(), a8.Get(), &MediaFormat_YUV422Packed8));
  EXPECT_TRUE(capture.Contains("Input-Format YUV422Packed8 != Native-DxFormat YUV422SemiPlanar8")) << capture.Text();
  EXPECT_HR(E_INVALIDARG, CreateOver(frame.Get(), a8.Get(), &MediaFormat_RGBA8));
  EXPECT_TRUE(capture.Contains("Input-Format RGBA8: Surface-Format 28 != DxFormat 21")) << capture.Text();
  const GUID unknown = {0xBAD, 0, 0, {0}};
  EXPECT_HR(E_VALUE_NOT_FOUND, CreateOver(frame.Get(), a8.Get(), &unknown));
  EXPECT_TRUE(capture.Contains("GetDirectXFormatFromMedia( ")) << capture.Text();

  // Refused creates leave the frame fresh: a correct one still succeeds.
  ComPtr<IDirect3DTexture9> none;
  EXPECT_HR(S_FALSE, frame->GetTexture(&none));
  EXPECT_HR(S_OK, CreateOver(frame.Get(), a8.Get(), &MediaFormat_Mono8));
}

TEST_F(Frame, ArgumentAndStateChecksComeInOrder) {
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_POINTER, CreateOver(frame.Get(), nullptr, nullptr, 0), "pTex");
  EXPECT_HR_LOGGED(capture, E_POINTER, frame->CreateSurf2(nullptr, nullptr, 0), "settings");
  ASSERT_HR(S_OK, Dispose(frame.Get()));
  auto texture = CreateTexture(16, 16, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  EXPECT_HR_LOGGED(capture, E_DISPOSED, CreateOver(frame.Get(), texture.Get(), nullptr, 0),
                   "CreateTex1: MediaDirectX9VideoFrame is disposed");
  EXPECT_HR(E_DISPOSED,
            frame->CreateSurf1(nullptr, Level(texture.Get()).Get(), nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(2, capture.Count("CreateTex1: MediaDirectX9VideoFrame is disposed"));
}

TEST_F(Frame, SettingsCarryFormatAndProperties) {
  auto settings = NewObject<IValueSet>(CLSID_ValueSet, IID_IValueSet);
  auto texture = CreateTexture(32, 16, D3DFMT_A16B16G16R16, D3DUSAGE_DYNAMIC);
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_VALUE_NOT_FOUND, frame->CreateTex2(texture.Get(), 0, settings.Get(), vmdx::kLockRead),
                   "GetDirectXNativeMediaFormatFrom");

  // YUV444_16 is held as YUVA444_16 on the GPU.
  ASSERT_HR(S_OK, vmdx::SetValue(settings, FrameFormat, GuidValueType, MediaFormat_YUV444_16));
  const VarnicaPixelAspectRatio ratio{16, 11};
  ASSERT_HR(S_OK, vmdx::SetValue(settings, PixelAspectRatioProperty, PixelAspectRatioValueType, ratio));
  const int16_t interlace = VideoInterlace_TopFieldFirst;
  ASSERT_HR(S_OK, vmdx::SetValue(settings, VideoInterlaceProperty, VideoInterlaceProperty, interlace));
  ASSERT_HR(S_OK, frame->CreateTex2(texture.Get(), 0, settings.Get(), vmdx::kLockRead));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUVA444_16, Format()));
  const auto readRatio =
      ValueOf<VarnicaPixelAspectRatio>(values.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType);
  EXPECT_EQ(16, readRatio.numerator);
  EXPECT_EQ(11, readRatio.denominator);
  EXPECT_EQ(VideoInterlace_TopFieldFirst,
            ValueOf<int16_t>(values.Get(), VideoInterlaceProperty, VideoInterlaceProperty));
}

TEST_F(Frame, SurfaceFramesHaveNoTexture) {
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, context_.device->CreateOffscreenPlainSurface(40, 30, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface,
                                                               nullptr));
  ASSERT_HR(S_OK,
            frame->CreateSurf1(nullptr, surface.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, vmdx::kLockRead));
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR(S_FALSE, frame->GetTexture(&texture));
  EXPECT_EQ(nullptr, texture.Get());
  EXPECT_EQ(40, Size().width);
}

TEST_F(Frame, DisposeReleasesTheTexture) {
  auto texture = CreateTexture(16, 16, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  texture->AddRef();
  const ULONG before = texture->Release();
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr));
  texture->AddRef();
  EXPECT_GT(texture->Release(), before);
  ASSERT_HR(S_OK, Dispose(frame.Get()));
  texture->AddRef();
  EXPECT_EQ(before, texture->Release()) << "the frame's references are gone";
}

TEST_F(Frame, RenderTargetIsReadThroughAStagingCopyMadeOnce) {
  auto texture = CreateTexture(48, 20, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  Fill(texture.Get(), D3DCOLOR_ARGB(0xFF, 0x10, 0x80, 0xF0));
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr));

  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockRead));
  CpuVidFrameMemory memory{};
  ASSERT_HR(S_OK, ReadMemory(&memory));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8Alt, memory.format));
  EXPECT_EQ(48, memory.width);
  EXPECT_EQ(20, memory.height);
  ASSERT_NE(nullptr, memory.planes[0].data);
  EXPECT_GE(memory.planes[0].pitch, 48 * 4);
  EXPECT_EQ(nullptr, memory.planes[1].data);
  const uint8_t* last = memory.planes[0].data + 19 * memory.planes[0].pitch + 47 * 4;
  EXPECT_EQ((std::vector<uint8_t>{0xF0, 0x80, 0x10, 0xFF}), std::vector<uint8_t>(last, last + 4)) << "B, G, R, A";
  CpuVidFrameMemory again{};
  ASSERT_HR(S_OK, ReadMemory(&again));
  EXPECT_EQ(0, std::memcmp(&memory, &again, sizeof memory)) << "one mapping per lock period";
  ASSERT_HR(S_OK, lock->UnlockObject());

  // The copy is kept: drawing after the first mapping does not show through the frame.
  Fill(texture.Get(), D3DCOLOR_ARGB(0xFF, 0, 0, 0));
  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockRead));
  ASSERT_HR(S_OK, ReadMemory(&memory));
  EXPECT_EQ(0xF0, memory.planes[0].data[0]);
  ASSERT_HR(S_OK, lock->UnlockObject());
}

// A frame written through a write lock, then read back through a second frame over the texture.
TEST_F(Frame, WriteLocksReachDynamicTextures) {
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

TEST_F(Frame, LockingRules) {
  auto texture = CreateTexture(8, 8, D3DFMT_A8R8G8B8, D3DUSAGE_DYNAMIC);
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
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, ReadMemory(&memory), "ObtainVidFrameMem");
  ASSERT_HR(S_OK, lock->UnlockObject());
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, ReadMemory(&memory),
                   "CVideoFrameCpuMemoryProperty only available if the frame locked");
}

TEST_F(Frame, LockedFrameRefusesSettersAndDispose) {
  auto texture = CreateTexture(8, 8, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr));
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

TEST_F(Frame, ReadersOnSeveralThreadsShareOneMapping) {
  auto texture = CreateTexture(256, 64, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  Fill(texture.Get(), D3DCOLOR_ARGB(0x80, 1, 2, 3));
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr));
  constexpr int kThreads = 6;
  std::vector<CpuVidFrameMemory> seen(kThreads);
  std::vector<HRESULT> results(kThreads, E_FAIL);
  ASSERT_HR(S_OK, lock->LockObject(vmdx::kLockRead));  // keeps the mapping alive across the readers
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      HRESULT hr = lock->LockObject(vmdx::kLockRead);
      if (SUCCEEDED(hr)) hr = ReadMemory(&seen[i]);
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
