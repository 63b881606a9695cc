// What the conversion library needs from the framework around it: raising failures, plane
// layouts and names of media formats, the processor count and logging. The DLL implements it
// over the module runtime and the media module's exports; the native build over its own
// exception type and the platform-neutral layout table.
#pragma once
#include <cstdint>
#include "VarnicaMediaFormats.h"

namespace mediahost {

// Raises a failure carrying code, location and text. Never returns.
[[noreturn]] void RaiseFailure(HRESULT code, const varnica::SourceLocation& location, const char* text);

// Call only inside a catch block: hands the failure being handled to the framework (the observer
// on Windows, the failure log natively) and returns its code.
HRESULT ReportCaughtFailure() noexcept;

// Plane geometry of a frame (the media module's GetFormatVideoPlaneLayout contract): the number of
// planes, less than 1 when the format has none; per plane its bits per pixel and row count.
int32_t PlaneLayout(const GUID& format, int32_t width, int32_t height, int32_t capacity,
                    int32_t* bitsPerPixel, int32_t* rows);

// Printable name of a media format; never null.
const char* FormatName(const GUID& format);

// Logical processors, at least 1.
int ProcessorCount();

// Current print level and the log call.
uint32_t PrintLevel();
void Log(uint32_t level, const varnica::SourceLocation& location, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#ifndef _WIN32
// What the native build raises.
struct MediaFailure {
  HRESULT code;
  varnica::SourceLocation location;
  char text[256];
};

// The last failure ReportCaughtFailure handed on, and how many it handed on so far (tests read them).
MediaFailure LastReportedFailure();
int ReportedFailureCount();

// Makes ProcessorCount answer `count` (0: the machine's own count again), so band splitting can be
// exercised on any machine.
void SetProcessorCountForTesting(int count);
#endif

}  // namespace mediahost

#define MEDIA_LOC (::varnica::SourceLocation{kSourceFile, __LINE__})
