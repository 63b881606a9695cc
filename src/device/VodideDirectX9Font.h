// DX9Font: a D3DX font made on a context's device, for drawing and measuring one line of text.
// d3dx9_43.dll is loaded when the first font is made.
#pragma once
#include <wrl/client.h>

#include "VodideDX9Context.h"

struct ID3DXFont;

class DX9Font {
 public:
  DX9Font() = default;
  DX9Font(const DX9Font&) = delete;
  DX9Font& operator=(const DX9Font&) = delete;
  ~DX9Font();

  // Makes the font on the context's device; a holder that has a font keeps it (returns 0).
  HRESULT CreateFont(const DX9Context& context, int32_t height, uint32_t width, uint32_t weight, uint32_t mipLevels,
                     BOOL italic, DWORD charSet, DWORD outputPrecision, DWORD quality, DWORD pitchAndFamily,
                     const wchar_t* faceName);
  // Draws one unclipped line whose top-left corner is at (x, y).
  HRESULT DrawTextW(int32_t x, int32_t y, const wchar_t* text, int32_t count, D3DCOLOR color);
  HRESULT DrawTextA(int32_t x, int32_t y, const char* text, int32_t count, D3DCOLOR color);
  // size[0] = width, size[1] = height of the line.
  HRESULT MeasureTextW(int32_t size[2], const wchar_t* text, int32_t count);
  HRESULT MeasureTextA(int32_t size[2], const char* text, int32_t count);

  ID3DXFont* Font() const { return font_; }
  IDirect3DDevice9Ex* Device() const { return device_; }
  const GUID& DeviceId() const { return deviceId_; }

 private:
  ID3DXFont* font_ = nullptr;             // owning
  IDirect3DDevice9Ex* device_ = nullptr;  // the device it was made on, not owned
  GUID deviceId_{};
};
