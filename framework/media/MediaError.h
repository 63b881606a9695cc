// Failures of the media stand-in's platform-neutral parts (the Y4M reader, the decoder's request
// handling): a result code and a text naming what is wrong and where. The decoder raises them as
// framework exceptions; the native tests and fuzzers catch them as they are.
#pragma once
#include <string>

#include "VarnicaPlatform.h"

namespace vmedia {

struct MediaError {
  HRESULT code;
  std::string text;
};

// Win32 error codes as results, spelled out so the native build needs no Windows header.
inline constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);  // ERROR_FILE_NOT_FOUND
inline constexpr HRESULT kEndOfFile = static_cast<HRESULT>(0x80070026);     // ERROR_HANDLE_EOF
inline constexpr HRESULT kEndOfStream = static_cast<HRESULT>(0x80070103);   // ERROR_NO_MORE_ITEMS

}  // namespace vmedia
