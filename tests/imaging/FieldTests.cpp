// Field split and weave on a real device: fields texel-exact against the frame's rows and woven
// back into it, for both field orders, even and odd heights and three texel sizes; batches with
// skipped entries; every refusal leaves the device's bindings alone, and a batch that fails half
// way keeps what it drew.
#include <cstring>
#include <functional>
#include <string>

#include "DeviceFixture.h"
#include "VodideDirectX9JoinInterlaceFields.h"
#include "VodideDirectX9SplitInterlaceFields.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

bool SameRow(const SurfaceBytes& a, uint32_t rowA, const SurfaceBytes& b, uint32_t rowB) {
  return a.desc.Width == b.desc.Width && a.bytesPerPixel == b.bytesPerPixel &&
         std::memcmp(a.Row(rowA), b.Row(rowB), size_t{a.desc.Width} * a.bytesPerPixel) == 0;
}

// Rows first, first + 2, ... of frame against rows 0, 1, ... of field; -1 when all match, else
// the first field row that does not.
int FirstWrongFieldRow(const SurfaceBytes& frame, uint32_t first, const SurfaceBytes& field) {
  for (uint32_t j = 0; j < field.desc.Height; ++j)
    if (!SameRow(frame, first + 2 * j, field, j)) return static_cast<int>(j);
  return -1;
}

using Fields = DeviceFixture;

TEST_F(Fields, SplitThenWeaveGivesTheFrameBack) {
  const struct {
    D3DFORMAT format;
    uint32_t w, h;
  } frames[] = {
      {D3DFMT_A8R8G8B8, 720, 576}, {D3DFMT_A8R8G8B8, 1920, 1081}, {D3DFMT_A16B16G16R16, 64, 10}, {D3DFMT_A8, 64, 11}};
  for (const auto& f : frames) {
    for (uint8_t top : {uint8_t{1}, uint8_t{0}}) {
      SCOPED_TRACE(std::to_string(f.w) + "x" + std::to_string(f.h) + " format " + std::to_string(f.format) +
                   (top ? " top first" : " bottom first"));
      const ComPtr<IDirect3DTexture9> source =
          MakeTexture(f.w, f.h, f.format, RandomBytes(size_t{f.w} * f.h * BytesPerPixel(f.format), f.w + top));
      const uint32_t fieldHeight = f.h / 2;
      const ComPtr<IDirect3DTexture9> first = MakeRenderTarget(f.w, fieldHeight, f.format);
      const ComPtr<IDirect3DTexture9> second = MakeRenderTarget(f.w, fieldHeight, f.format);
      ASSERT_HR(S_OK, SplitInterlaceFields(context_, source.Get(), first.Get(), second.Get(), top));
      const SurfaceBytes frame = Read(source.Get());
      const SurfaceBytes a = Read(first.Get()), b = Read(second.Get());
      EXPECT_EQ(-1, FirstWrongFieldRow(frame, top ? 0 : 1, a)) << "first field";
      EXPECT_EQ(-1, FirstWrongFieldRow(frame, top ? 1 : 0, b)) << "second field";

      // Woven into the even height the fields cover, and into the source's own height.
      for (const uint32_t height : {2 * fieldHeight, f.h}) {
        const ComPtr<IDirect3DTexture9> woven = MakeRenderTarget(f.w, height, f.format);
        ASSERT_HR(S_OK, JoinInterlaceFields(context_, cache_, first.Get(), second.Get(), woven.Get(), top));
        const SurfaceBytes back = Read(woven.Get());
        int wrong = -1;
        for (uint32_t y = 0; y < 2 * fieldHeight && wrong < 0; ++y)
          if (!SameRow(frame, y, back, y)) wrong = static_cast<int>(y);
        EXPECT_EQ(-1, wrong) << "woven into " << height << " rows";
        // No field carries an odd last row: it repeats the last row of the even rows' field.
        if (height % 2) {
          EXPECT_TRUE(SameRow(back, height - 1, frame, height - 3));
        }
      }
    }
  }
}

TEST_F(Fields, BatchesSkipEmptyEntriesAndTakeSingleFields) {
  const ComPtr<IDirect3DTexture9> source = MakeTexture(32, 9, D3DFMT_A8R8G8B8, RandomBytes(32 * 9 * 4, 9));
  const SurfaceBytes frame = Read(source.Get());
  const ComPtr<IDirect3DTexture9> top = MakeRenderTarget(32, 4, D3DFMT_A8R8G8B8);
  const ComPtr<IDirect3DTexture9> bottom = MakeRenderTarget(32, 4, D3DFMT_A8R8G8B8);
  IDirect3DTexture9* const sources[3] = {source.Get(), nullptr, source.Get()};
  IDirect3DTexture9* const targets[3] = {top.Get(), nullptr, bottom.Get()};
  const uint8_t flags[3] = {1, 1, 0};
  ASSERT_HR(S_OK, SplitInterlaceFields(context_, 3, sources, targets, flags));
  EXPECT_EQ(-1, FirstWrongFieldRow(frame, 0, Read(top.Get())));
  EXPECT_EQ(-1, FirstWrongFieldRow(frame, 1, Read(bottom.Get())));

  // One field alone: the one-field form, and the two-target form with a target left out.
  const ComPtr<IDirect3DTexture9> single = MakeRenderTarget(32, 4, D3DFMT_A8R8G8B8);
  ASSERT_HR(S_OK, SplitInterlaceFields(context_, source.Get(), uint8_t{0}, single.Get()));
  EXPECT_EQ(-1, FirstWrongFieldRow(frame, 1, Read(single.Get())));
  ASSERT_HR(S_OK, SplitInterlaceFields(context_, source.Get(), nullptr, single.Get(), uint8_t{0}));
  EXPECT_EQ(-1, FirstWrongFieldRow(frame, 0, Read(single.Get()))) << "the second target takes the other field";
  // A join entry with nothing in it is skipped.
  IDirect3DTexture9* const noFields[2] = {nullptr, nullptr};
  IDirect3DTexture9* const noTarget[1] = {nullptr};
  EXPECT_HR(S_OK, JoinInterlaceFields(context_, cache_, noFields, noTarget, flags));
}

TEST_F(Fields, RefusalsLeaveTheBindingsAndDrawnEntriesStay) {
  const ComPtr<IDirect3DTexture9> frame = MakeTexture(64, 1081, D3DFMT_A8R8G8B8, RandomBytes(64 * 1081 * 4, 3));
  const ComPtr<IDirect3DTexture9> field = MakeRenderTarget(64, 540, D3DFMT_A8R8G8B8);
  const ComPtr<IDirect3DTexture9> other = MakeRenderTarget(64, 540, D3DFMT_A8R8G8B8);
  const ComPtr<IDirect3DTexture9> tall = MakeRenderTarget(64, 541, D3DFMT_A8R8G8B8);
  const ComPtr<IDirect3DTexture9> target = MakeRenderTarget(64, 1080, D3DFMT_A8R8G8B8);
  IDirect3DTexture9* F = frame.Get();
  IDirect3DTexture9* T = field.Get();
  const uint8_t flag[2] = {1, 1};
  const char* kSize = "SrcTex.Width!=TarTex.Width and/or SrcTex.Height/2!=TarTex.Height";
  auto split = [&](IDirect3DTexture9* s, IDirect3DTexture9* t) {
    return [=, this] { return SplitInterlaceFields(context_, 1, &s, &t, flag); };
  };
  auto join = [&](IDirect3DTexture9* a, IDirect3DTexture9* b, IDirect3DTexture9* t) {
    return [=, this] { return JoinInterlaceFields(context_, cache_, a, b, t, 1); };
  };
  const struct {
    HRESULT code;
    const char* text;
    std::function<HRESULT()> call;
  } cases[] = {
      {E_POINTER, "pSourceFrame", [&] { return SplitInterlaceFields(context_, 1, nullptr, &T, flag); }},
      {E_POINTER, "pTargetField", [&] { return SplitInterlaceFields(context_, 1, &F, nullptr, flag); }},
      {E_POINTER, "pTopField", [&] { return SplitInterlaceFields(context_, 1, &F, &T, nullptr); }},
      {E_POINTER, "pSourceFrame[]", split(nullptr, T)},
      {E_POINTER, "pTargetField[]", split(F, nullptr)},
      {E_INVALIDARG, "Source==Target not allowed", split(F, F)},
      {E_INVALIDARG, kSize, split(F, tall.Get())},
      {E_POINTER, "pSourceField", [&] { return JoinInterlaceFields(context_, cache_, nullptr, &F, flag); }},
      {E_POINTER, "pTargetFrame",
       [&] {
         IDirect3DTexture9* fields[2] = {T, other.Get()};
         return JoinInterlaceFields(context_, cache_, fields, nullptr, flag);
       }},
      {E_POINTER, "pSourceFrame[]", join(T, nullptr, target.Get())},
      {E_POINTER, "pTargetFrame[]", join(T, other.Get(), nullptr)},
      {E_INVALIDARG, "Source==Target not allowed", join(T, target.Get(), target.Get())},
      {E_INVALIDARG, kSize, join(T, tall.Get(), target.Get())},
  };
  const DeviceBindings before = DeviceBindings::Of(context_.device.Get());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ObserverCapture capture;
    EXPECT_HR_LOGGED(capture, c.code, c.call(), c.text);
    EXPECT_TRUE(before == DeviceBindings::Of(context_.device.Get()));
  }

  // A batch whose second entry is refused inside the scene: the first stays drawn, the scene is
  // ended and the bindings are back, so the next pass on the context works.
  IDirect3DTexture9* const sources[2] = {F, F};
  IDirect3DTexture9* const targets[2] = {T, F};
  EXPECT_HR(E_INVALIDARG, SplitInterlaceFields(context_, 2, sources, targets, flag));
  EXPECT_EQ(-1, FirstWrongFieldRow(Read(frame.Get()), 0, Read(field.Get())));
  EXPECT_TRUE(before == DeviceBindings::Of(context_.device.Get()));
  EXPECT_HR(S_OK, SplitInterlaceFields(context_, F, uint8_t{0}, other.Get()));
  EXPECT_EQ(-1, FirstWrongFieldRow(Read(frame.Get()), 1, Read(other.Get())));
}

}  // namespace
