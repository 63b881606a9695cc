// The offscreen device block of `vmdx info`: what device this machine gives the module.
#pragma once
#include <cstdio>

#include <windows.h>

// Makes an offscreen device with the default settings and writes its adapter and capability
// block to out. Returns the device creation's status (the block says why on failure).
HRESULT PrintOffscreenDeviceInfo(FILE* out);
