// The format converter on a real device: 4:2:2 unpacked on the GPU equals the CPU kernel, the
// packing shader's chroma arithmetic over whole frames, sizes from the table, the frame and memory
// entry points, refusals that leave the device as it was, and the converter's own device.
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "DeviceFixture.h"
#include "Diagnostics.h"
#include "Error.h"
#include "VarnicaFrameAccess.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDX9VidConvert.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

// A packed 4:2:2 frame (Y0 U Y1 V per pair) of random bytes: distinct chroma in every pair.
struct Packed422 {
  Packed422(int32_t w, int32_t h, uint32_t seed) : bytes(RandomBytes(size_t(w) * h * 2, seed)) {
    record = {MediaFormat_YUV422Packed8, w, h, {{bytes.data(), int64_t{w} * 2}}};
  }
  std::vector<uint8_t> bytes;
  CpuVidFrameMemory record{};
};

// The CPU kernel's 4:4:4 (V, U, Y, A per pixel) of a packed frame.
std::vector<uint8_t> CpuUnpack(const CpuVidFrameMemory& packed) {
  std::vector<uint8_t> out;
  for (const auto& row : CpuConverted(packed, MediaFormat_YUVA444_8)) out.insert(out.end(), row.begin(), row.end());
  return out;
}

class Convert : public DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    if (!IsSkipped()) {
      ASSERT_HRESULT_SUCCEEDED(convert_->Initialize());
    }
  }
  // The converter holds the context's quad buffer: it goes before the device.
  void TearDown() override {
    convert_.reset();
    DeviceFixture::TearDown();
  }

  // Both outputs of a conversion that must succeed.
  ComPtr<IDirect3DTexture9> FromTexture(IDirect3DTexture9* source, const GUID& from, const GUID& to, GUID* held) {
    ComPtr<IDirect3DTexture9> out;
    EXPECT_HR(S_OK, convert_->CreateTextureFromTexture(&out, held, source, from, to));
    return out;
  }

  std::optional<CDX9VidConvert> convert_{std::in_place, &context_, &cache_};
};

TEST_F(Convert, UnpackEqualsTheCpuKernelAndPackingAveragesChroma) {
  for (const auto& [w, h] : {std::pair{38, 6}, std::pair{720, 576}, std::pair{1920, 1080}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    const Packed422 packed(w, h, static_cast<uint32_t>(w + h));
    ComPtr<IDirect3DTexture9> unpacked;
    GUID held{};
    ASSERT_HR(S_OK, convert_->CreateConvertedTextureFromMem(&unpacked, &held, &packed.record, GUID{}, GUID{}, true));
    EXPECT_TRUE(IsEqualGUID(MediaFormat_YUVA444_8, held));
    const SurfaceBytes gpu = Read(unpacked.Get());
    ASSERT_EQ(D3DFMT_A8R8G8B8, gpu.desc.Format);
    ASSERT_EQ(UINT(h), gpu.desc.Height);
    const std::vector<uint8_t> cpu = CpuUnpack(packed.record);
    ASSERT_EQ(cpu.size(), gpu.bytes.size());
    EXPECT_TRUE(cpu == gpu.bytes) << "the GPU unpack differs from the CPU kernel";

    // And back: luma rows, then per pair V = mean of V over pixels 2k - 1 and 2k (pixel 0 with
    // itself: the converter clamps) and U = mean of U over the pair, here the pair's own U.
    ComPtr<IDirect3DTexture9> semi =
        FromTexture(unpacked.Get(), MediaFormat_YUVA444_8, MediaFormat_YUV422SemiPlanar8, &held);
    ASSERT_TRUE(semi);
    EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422SemiPlanar8, held));
    const SurfaceBytes back = Read(semi.Get());
    ASSERT_EQ(D3DFMT_A8, back.desc.Format);
    ASSERT_EQ(UINT(2 * h), back.desc.Height);
    int wrong = 0;
    for (int32_t y = 0; y < h && wrong < 5; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* px = cpu.data() + (size_t(y) * w + x) * 4;  // V, U, Y, A
        const uint8_t* left = x > 0 ? px - 4 : px;
        const int luma = back.Row(y)[x], chroma = back.Row(h + y)[x];
        const int sum = x % 2 ? px[1] + left[1] : px[0] + left[0];
        const bool ok = luma == px[2] && (chroma == sum / 2 || chroma == (sum + 1) / 2);
        if (!ok && ++wrong <= 5)
          ADD_FAILURE() << "pixel " << x << "," << y << ": luma " << luma << " chroma " << chroma << " for sum " << sum;
      }
    }
  }
}

TEST_F(Convert, TargetSizesFollowTheTableInFloat) {
  const struct {
    D3DFORMAT format;
    UINT w, h;
    GUID from, to;
    D3DFORMAT expectedFormat;
    UINT expectedHeight;
  } cases[] = {
      {D3DFMT_A8, 1920, 2160, MediaFormat_YUV422SemiPlanar8, MediaFormat_YUVA444_8, D3DFMT_A8R8G8B8, 1080},
      {D3DFMT_A8, 16, 2161, MediaFormat_YUV422SemiPlanar8, MediaFormat_YUVA444_8, D3DFMT_A8R8G8B8, 1081},
      {D3DFMT_A8R8G8B8, 1920, 1080, MediaFormat_YUVA444_8, MediaFormat_YUV422SemiPlanar8, D3DFMT_A8, 2160},
  };
  for (const auto& c : cases) {
    const ComPtr<IDirect3DTexture9> source =
        MakeTexture(c.w, c.h, c.format, std::vector<uint8_t>(size_t(c.w) * c.h * BytesPerPixel(c.format), 128));
    GUID held{};
    const ComPtr<IDirect3DTexture9> out = FromTexture(source.Get(), c.from, c.to, &held);
    ASSERT_TRUE(out);
    D3DSURFACE_DESC desc{};
    ASSERT_HR(S_OK, out->GetLevelDesc(0, &desc));
    EXPECT_EQ(c.expectedFormat, desc.Format);
    EXPECT_EQ(c.w, desc.Width);
    EXPECT_EQ(c.expectedHeight, desc.Height);
    EXPECT_EQ(UINT(D3DUSAGE_RENDERTARGET), desc.Usage);
  }

  // A null target, or the source's own format, hands back the source with one more reference.
  const ComPtr<IDirect3DTexture9> source = MakeTexture(4, 4, D3DFMT_A8R8G8B8, std::vector<uint8_t>(64));
  for (const GUID& target : {GUID{}, MediaFormat_YUVA444_8}) {
    GUID held{};
    ComPtr<IDirect3DTexture9> same = FromTexture(source.Get(), MediaFormat_YUVA444_8, target, &held);
    EXPECT_EQ(source.Get(), same.Get());
    EXPECT_TRUE(IsEqualGUID(MediaFormat_YUVA444_8, held));
    EXPECT_EQ(3u, source->AddRef());  // ours, same's, this one
    source->Release();
  }
}

TEST_F(Convert, FramesAndMemoryArriveUnpackedOrNative) {
  const Packed422 packed(64, 8, 5);
  const std::vector<uint8_t> cpu = CpuUnpack(packed.record);
  // The same picture as a CPU frame of the media module and as a GPU frame over a semi-planar
  // texture (uploaded with the packed format as target, i.e. into its native format).
  auto cpuFrame = NewObject<ICommonMediaVideoCpuFrame>(CLSID_CommonMediaVideoCpuFrame, IID_ICommonMediaVideoCpuFrame);
  ASSERT_HR(S_OK, cpuFrame->ShareVideoFrameCpuMemory(nullptr, 0, &packed.record));
  ASSERT_HR(S_OK, cpuFrame->Create0());
  ASSERT_HR(S_OK, cpuFrame->SetEnabledLockAccess(vmdx::kLockRead));
  GUID native{};
  ComPtr<IDirect3DTexture9> semiTexture;
  ASSERT_HR(S_OK,
            convert_->CreateConvertedTextureFromMem(&semiTexture, &native, &packed.record, GUID{}, GUID{}, false));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422SemiPlanar8, native));
  ComPtr<IMediaDirectX9VideoFrame> gpuFrame;
  ASSERT_HR(S_OK, CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &gpuFrame, &native, semiTexture.Get()));

  const struct {
    const char* what;
    IUnknown* frame;
    GUID override;
    bool unpack;
    GUID expected;
    UINT height;
  } cases[] = {
      {"CPU frame, unpack", cpuFrame.Get(), GUID{}, true, MediaFormat_YUVA444_8, 8},
      {"CPU frame as is", cpuFrame.Get(), GUID{}, false, MediaFormat_YUV422SemiPlanar8, 16},
      {"GPU frame, unpack", gpuFrame.Get(), GUID{}, true, MediaFormat_YUVA444_8, 8},
      {"GPU frame as is", gpuFrame.Get(), GUID{}, false, MediaFormat_YUV422SemiPlanar8, 16},
      // A GPU frame's texture is read as the frame's own format, whatever the override says.
      {"GPU frame, override", gpuFrame.Get(), MediaFormat_YUVA444_8, true, MediaFormat_YUVA444_8, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<IDirect3DTexture9> out;
    GUID held{};
    ASSERT_HR(S_OK, convert_->CreateConvertedTextureFromFrame(&out, &held, c.frame, c.override, GUID{}, c.unpack));
    EXPECT_TRUE(IsEqualGUID(c.expected, held)) << VarnicaMediaNameOf(&held, 0, 0);
    const SurfaceBytes bytes = Read(out.Get());
    EXPECT_EQ(c.height, bytes.desc.Height);
    if (c.unpack) {
      EXPECT_TRUE(bytes.bytes == cpu);
    } else if (c.frame == gpuFrame.Get()) {
      EXPECT_EQ(semiTexture.Get(), out.Get()) << "the frame's own texture";
    }
  }
}

TEST_F(Convert, RefusalsLeaveOutputsAndTheDeviceAlone) {
  const ComPtr<IDirect3DTexture9> yuva = MakeTexture(8, 4, D3DFMT_A8R8G8B8, std::vector<uint8_t>(128, 7));
  const Packed422 packed(8, 4, 1);
  IDirect3DTexture9* const sentinel = reinterpret_cast<IDirect3DTexture9*>(uintptr_t{0x5E17});
  const GUID unknown{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}}, yuva444 = MediaFormat_YUVA444_8;
  const DeviceBindings before = DeviceBindings::Of(context_.device.Get());
  IDirect3DTexture9* out = sentinel;
  GUID held = unknown;
  CDX9VidConvert* const c = &*convert_;
  // An unsupported pair names both formats, as the media module names them.
  const std::string pair =
      std::string(VarnicaMediaNameOf(&yuva444, 0, 0)) + " -> " + VarnicaMediaNameOf(&MediaFormat_RGBA8, 0, 0);
  const struct {
    HRESULT code;
    const char* text;
    std::function<HRESULT()> call;
  } cases[] = {
      {E_POINTER, "ppTargetTexture",
       [&] { return c->CreateTextureFromTexture(nullptr, &held, yuva.Get(), yuva444, {}); }},
      {E_POINTER, "pSourceTexture", [&] { return c->CreateTextureFromTexture(&out, &held, nullptr, yuva444, {}); }},
      {E_POINTER, "pTargetTextureFormat",
       [&] { return c->CreateTextureFromTexture(&out, nullptr, yuva.Get(), yuva444, {}); }},
      {E_UNSUPPORTED, pair.c_str(),
       [&] { return c->CreateTextureFromTexture(&out, &held, yuva.Get(), yuva444, MediaFormat_RGBA8); }},
      {E_VALUE_NOT_FOUND, "GetDirectXFormatFromMedia",
       [&] { return c->CreateTextureFromTexture(&out, &held, yuva.Get(), yuva444, unknown); }},
      {E_POINTER, "pFrame", [&] { return c->CreateConvertedTextureFromFrame(&out, &held, nullptr, {}, {}, true); }},
      {E_VALUE_NOT_FOUND, "GetDirectXNativeMediaFormatFrom",
       [&] { return c->CreateConvertedTextureFromMem(&out, &held, &packed.record, unknown, {}, true); }},
      {E_UNSUPPORTED, " -> ",
       [&] { return c->CreateConvertedTextureFromMem(&out, &held, &packed.record, {}, MediaFormat_RGBA8, false); }},
  };
  for (const auto& r : cases) {
    SCOPED_TRACE(r.text);
    ObserverCapture capture;
    out = sentinel, held = unknown;
    EXPECT_HR_LOGGED(capture, r.code, r.call(), r.text);
    EXPECT_EQ(sentinel, out);
    EXPECT_TRUE(IsEqualGUID(unknown, held));
    EXPECT_TRUE(before == DeviceBindings::Of(context_.device.Get()));
  }
  // A pass on the same context still works and leaves the bindings as they were.
  EXPECT_TRUE(FromTexture(yuva.Get(), MediaFormat_YUVA444_8, MediaFormat_YUV422SemiPlanar8, &held));
  EXPECT_TRUE(before == DeviceBindings::Of(context_.device.Get()));
}

TEST_F(Convert, OwnDeviceTracesAndGoesWithTheConverter) {
  IDirect3DDevice9Ex* device = nullptr;
  {
    CDX9VidConvert own;
    const Packed422 packed(16, 8, 3);
    ComPtr<IDirect3DTexture9> out;
    GUID held{};
    {
      vmdxtest::PrintLevelScope trace(LOG_TRACE | LOG_WARN | LOG_ERROR);
      ObserverCapture capture;
      // Without Initialize: the first conversion makes the device.
      ASSERT_HR(S_OK, own.CreateConvertedTextureFromMem(&out, &held, &packed.record, GUID{}, GUID{}, true));
      const std::string semi = VarnicaMediaNameOf(&MediaFormat_YUV422SemiPlanar8, 0, 0);
      const std::string yuva = VarnicaMediaNameOf(&MediaFormat_YUVA444_8, 0, 0);
      EXPECT_TRUE(capture.Contains("CreateTextureFromTexture\n  Src: 16x16 " + semi + "/" + semi +
                                   "  dxfmt:28\n  Tar: 16x8 " + yuva + "/" + yuva + "  dxfmt:21\n"))
          << capture.Text();
    }
    ASSERT_TRUE(own.Context().device);
    EXPECT_NE(context_.device.Get(), own.Context().device.Get());
    device = own.Context().device.Get();
    device->AddRef();
  }
  EXPECT_EQ(0u, device->Release()) << "the converter kept a reference to its device";
}

}  // namespace
