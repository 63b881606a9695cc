#include "VodideDirectX9Font.h"

#include <d3dx9core.h>

#include <atomic>

#include "Diagnostics.h"
#include "Error.h"

namespace {

constexpr char kSourceFile[] = "src/VodideDirectX9Font";

typedef HRESULT(WINAPI* D3DXCreateFontWFn)(IDirect3DDevice9* device, INT height, UINT width, UINT weight,
                                           UINT mipLevels, BOOL italic, DWORD charSet, DWORD outputPrecision,
                                           DWORD quality, DWORD pitchAndFamily, const WCHAR* faceName,
                                           ID3DXFont** font);

constexpr DWORD kDrawFormat = DT_NOCLIP | DT_SINGLELINE;                  // 0x120
constexpr DWORD kMeasureFormat = DT_CALCRECT | DT_NOCLIP | DT_SINGLELINE;  // 0x520

// d3dx9_43.dll stays loaded once a font was made; the process keeps it until exit.
constinit std::atomic<D3DXCreateFontWFn> g_createFont{nullptr};

D3DXCreateFontWFn CreateFontEntry() {
  if (D3DXCreateFontWFn entry = g_createFont.load(std::memory_order_acquire)) return entry;
  HMODULE library = LoadLibraryA("d3dx9_43.dll");
  if (library == nullptr) ThrowError(HRESULT_FROM_WIN32(GetLastError()), VLOC, "D3DXCreateFont");
  FARPROC proc = GetProcAddress(library, "D3DXCreateFontW");
  if (proc == nullptr) ThrowError(E_NOTIMPL, VLOC, "D3DXCreateFont");
  auto entry = reinterpret_cast<D3DXCreateFontWFn>(reinterpret_cast<void*>(proc));
  g_createFont.store(entry, std::memory_order_release);
  return entry;
}

}  // namespace

DX9Font::~DX9Font() {
  if (ID3DXFont* font = font_) {
    font_ = nullptr;
    font->Release();
  }
}

HRESULT DX9Font::CreateFont(const DX9Context& context, int32_t height, uint32_t width, uint32_t weight,
                            uint32_t mipLevels, BOOL italic, DWORD charSet, DWORD outputPrecision, DWORD quality,
                            DWORD pitchAndFamily, const wchar_t* faceName) {
  return GuardedCall([&]() -> HRESULT {
    if (!context.device) ThrowError(E_POINTER, VLOC, "Device3D");
    if (font_ != nullptr) return S_OK;
    ID3DXFont* font = nullptr;
    CheckHr(CreateFontEntry()(context.device.Get(), height, width, weight, mipLevels, italic, charSet,
                              outputPrecision, quality, pitchAndFamily, faceName, &font),
            VLOC, "D3DXCreateFont");
    if (font == nullptr) ThrowError(E_POINTER, VLOC, "D3DXCreateFont");
    font_ = font;
    device_ = context.device.Get();
    deviceId_ = context.deviceId;
    return S_OK;
  });
}

HRESULT DX9Font::DrawTextW(int32_t x, int32_t y, const wchar_t* text, int32_t count, D3DCOLOR color) {
  return GuardedCall([&]() -> HRESULT {
    if (font_ == nullptr) ThrowError(E_POINTER, VLOC, "Font");
    CheckPointer(text, VLOC, "pText");
    RECT place{x, y, x + 1, y + 1};
    if (font_->DrawTextW(nullptr, text, count, &place, kDrawFormat, color) == 0) ThrowError(E_FAIL, VLOC, "DrawTextW");
    return S_OK;
  });
}

HRESULT DX9Font::DrawTextA(int32_t x, int32_t y, const char* text, int32_t count, D3DCOLOR color) {
  return GuardedCall([&]() -> HRESULT {
    if (font_ == nullptr) ThrowError(E_POINTER, VLOC, "Font");
    CheckPointer(text, VLOC, "pText");
    RECT place{x, y, x + 1, y + 1};
    if (font_->DrawTextA(nullptr, text, count, &place, kDrawFormat, color) == 0) ThrowError(E_FAIL, VLOC, "DrawTextA");
    return S_OK;
  });
}

HRESULT DX9Font::MeasureTextW(int32_t size[2], const wchar_t* text, int32_t count) {
  return GuardedCall([&]() -> HRESULT {
    if (font_ == nullptr) ThrowError(E_POINTER, VLOC, "Font");
    CheckPointer(text, VLOC, "pText");
    CheckPointer(size, VLOC, "pSz");
    RECT box{};
    if (font_->DrawTextW(nullptr, text, count, &box, kMeasureFormat, 0xFFFFFFFF) == 0) {
      ThrowError(E_FAIL, VLOC, "DrawTextW");
    }
    size[0] = box.right - box.left;
    size[1] = box.bottom - box.top;
    return S_OK;
  });
}

HRESULT DX9Font::MeasureTextA(int32_t size[2], const char* text, int32_t count) {
  return GuardedCall([&]() -> HRESULT {
    if (font_ == nullptr) ThrowError(E_POINTER, VLOC, "Font");
    CheckPointer(text, VLOC, "pText");
    CheckPointer(size, VLOC, "pSz");
    RECT box{};
    if (font_->DrawTextA(nullptr, text, count, &box, kMeasureFormat, 0xFFFFFFFF) == 0) {
      ThrowError(E_FAIL, VLOC, "DrawTextA");
    }
    size[0] = box.right - box.left;
    size[1] = box.bottom - box.top;
    return S_OK;
  });
}
