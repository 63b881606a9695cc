// Platform ground shared by the framework headers: GUID, HRESULT and the result codes.
// On Windows it comes from <windows.h>; natively (the media conversion library built on
// Linux) it is declared here with the same layout.
#pragma once
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <unknwn.h>
#else
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
typedef int32_t HRESULT;
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#endif

static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes");

// The framework's own result codes.
#define E_VALUE_NOT_FOUND ((HRESULT)0x80500001L)
#define E_UNSUPPORTED ((HRESULT)0x80500002L)
#define E_DISPOSED ((HRESULT)0x80500003L)

namespace varnica {

// 16-byte comparison, independent of any operator the platform headers define.
inline bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsNullGuid(const GUID& g) {
  static const GUID zero{};
  return SameGuid(g, zero);
}

// Place of a log line or a raised failure.
struct SourceLocation {
  const char* file;
  int32_t line;
};

}  // namespace varnica

// Log levels (bit masks of the observer's print level).
enum : uint32_t {
  LOG_ALWAYS = 0,
  LOG_TRACE = 0x01,
  LOG_TIMING = 0x04,
  LOG_WARN = 0x10,
  LOG_ERROR = 0x40,
};
