#include "Error.h"

#include <cstdarg>
#include <cstdio>
#include <new>

void ThrowError(HRESULT code, const SourceLocation& location, const char* text) {
  IException* e = NewException(code, &location, text ? text : "");
  if (!e) throw std::bad_alloc();
  throw e;
}

void ThrowErrorF(HRESULT code, const SourceLocation& location, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  ThrowError(code, location, text);
}
