// The host inside the DLL: failures become framework exceptions, layouts and names come from the
// media module's exports, logging goes to the observer.
#include <cstdarg>
#include <cstdio>

#include "Diagnostics.h"
#include "Error.h"
#include "MediaHost.h"
#include "VarnicaMedia.h"

namespace mediahost {

void RaiseFailure(HRESULT code, const varnica::SourceLocation& location, const char* text) {
  ThrowError(code, location, text);
}

HRESULT ReportCaughtFailure() noexcept {
  try {
    throw;
  } catch (IException* e) {
    return HandleObserverCatchedException(e);
  } catch (...) {
    return HandleObserverCatchedException(nullptr);
  }
}

int32_t PlaneLayout(const GUID& format, int32_t width, int32_t height, int32_t capacity, int32_t* bitsPerPixel,
                    int32_t* rows) {
  return GetFormatVideoPlaneLayout(&format, width, height, capacity, nullptr, nullptr, nullptr, bitsPerPixel, rows);
}

const char* FormatName(const GUID& format) {
  const char* name = VarnicaMediaNameOf(&format, 0, 0);
  return name != nullptr ? name : "(unknown format)";
}

int ProcessorCount() { return GetProcessorCount(); }

uint32_t PrintLevel() { return GetPrintLevel(); }

void Log(uint32_t level, const varnica::SourceLocation& location, const char* format, ...) {
  if (level != LOG_ALWAYS && (GetPrintLevel() & level) == 0) return;
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  LogPrint(level, location, "%s", text);
}

}  // namespace mediahost
