// The host of the native build: its own failure type, the platform-neutral layout table, and
// standard error for log lines.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <thread>

#include "MediaFormatLayouts.h"
#include "MediaHost.h"

namespace mediahost {
namespace {
std::mutex gReportMutex;
MediaFailure gLastReported{};
int gReportedCount = 0;
std::atomic<int> gProcessorOverride{0};
uint32_t gPrintLevel = LOG_ERROR | LOG_WARN;
}  // namespace

void RaiseFailure(HRESULT code, const varnica::SourceLocation& location, const char* text) {
  MediaFailure failure{code, location, {}};
  std::snprintf(failure.text, sizeof(failure.text), "%s", text != nullptr ? text : "");
  throw failure;
}

HRESULT ReportCaughtFailure() noexcept {
  MediaFailure failure{E_FAIL, {"(unknown)", 0}, "unknown exception"};
  try {
    throw;
  } catch (const MediaFailure& caught) {
    failure = caught;
  } catch (...) {
  }
  std::lock_guard<std::mutex> lock(gReportMutex);
  gLastReported = failure;
  ++gReportedCount;
  return failure.code;
}

MediaFailure LastReportedFailure() {
  std::lock_guard<std::mutex> lock(gReportMutex);
  return gLastReported;
}

int ReportedFailureCount() {
  std::lock_guard<std::mutex> lock(gReportMutex);
  return gReportedCount;
}

int32_t PlaneLayout(const GUID& format, int32_t width, int32_t height, int32_t capacity, int32_t* bitsPerPixel,
                    int32_t* rows) {
  return vmedia::FormatPlaneLayout(format, width, height, capacity, nullptr, nullptr, nullptr, bitsPerPixel, rows);
}

const char* FormatName(const GUID& format) {
  const char* name = vmedia::FormatName(format);
  return name != nullptr ? name : "(unknown format)";
}

int ProcessorCount() {
  if (const int forced = gProcessorOverride.load()) return forced;
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? static_cast<int>(count) : 1;
}

void SetProcessorCountForTesting(int count) { gProcessorOverride.store(count); }

uint32_t PrintLevel() { return gPrintLevel; }

void Log(uint32_t level, const varnica::SourceLocation& location, const char* format, ...) {
  if (level != LOG_ALWAYS && (gPrintLevel & level) == 0) return;
  std::fprintf(stderr, "%s(%d): ", location.file, location.line);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

}  // namespace mediahost
