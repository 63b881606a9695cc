// The offscreen device block of `vmdx info`: what device this machine gives the module.
#pragma once
#include <cstdio>
#include <string>

#include <windows.h>
#include <d3d9.h>

// Makes an offscreen device with the default settings and writes its adapter and capability
// block to out. Returns the device creation's status (the block says why on failure).
HRESULT PrintOffscreenDeviceInfo(FILE* out);

// The block's text for a device's adapter and capabilities (also the context's trace line).
std::string OffscreenDeviceBlock(const D3DADAPTER_IDENTIFIER9& identifier, const D3DCAPS9& caps);
