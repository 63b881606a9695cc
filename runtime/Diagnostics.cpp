#include "Diagnostics.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kSourceFile[] = "src/Diagnostics";

// Cached pointer to the observer's print level; the same value is written by whichever
// thread comes first.
std::atomic<uint32_t*> g_printLevel{nullptr};
std::atomic<int> g_processorCount{0};

// Releases the observer on every way out.
struct ObserverRef {
  IObserver* p = nullptr;
  ObserverRef() { GetGlobalObserver(&p); }
  ~ObserverRef() {
    if (p) p->Release();
  }
};

}  // namespace

void LogPrint(uint32_t level, const SourceLocation& location, const char* format, ...) {
  va_list args;
  va_start(args, format);
  ObserverRef observer;
  if (!observer.p) {
    VDebugOutputF(format, args);
  } else if (level == LOG_ALWAYS || (observer.p->GetPrintLevel() & level) != 0) {
    observer.p->Print(level, &location, format, args);
  }
  va_end(args);
}

uint32_t GetPrintLevel() {
  uint32_t* p = g_printLevel.load(std::memory_order_acquire);
  if (!p) {
    p = GetGlobalObserverPrintLevelPtr();
    g_printLevel.store(p, std::memory_order_release);
  }
  return p ? *p : 0;
}

uint32_t SetPrintLevel(uint32_t mask) {
  uint32_t previous = 0;
  {
    ObserverRef observer;
    if (observer.p) {
      previous = observer.p->GetPrintLevel();
      observer.p->SetPrintLevel(mask, 0xF0FF);
    }
  }
  UpdateGlobalObserverPrintLevel();
  return previous;
}

void VDebugOutputF(const char* format, va_list args) {
  char stackBuffer[2000];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, copy);
  va_end(copy);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof stackBuffer) {
    OutputDebugStringA(stackBuffer);
    return;
  }
  // Longer texts take one heap block of their exact size.
  char* heapBuffer = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
  if (!heapBuffer) {
    OutputDebugStringA("VDebugOutputF: not enough mem!\n");
    return;
  }
  std::vsnprintf(heapBuffer, static_cast<size_t>(n) + 1, format, args);
  OutputDebugStringA(heapBuffer);
  std::free(heapBuffer);
}

void DebugOutputF(const char* format, ...) {
  if (!format) {
    OutputDebugStringA("\x07" "DebugOutputF invalid pointer: format == NULL\n");
    return;
  }
  va_list args;
  va_start(args, format);
  VDebugOutputF(format, args);
  va_end(args);
}

int GetProcessorCount() {
  int n = g_processorCount.load(std::memory_order_relaxed);
  if (n == 0) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    n = info.dwNumberOfProcessors < 1 ? 1 : static_cast<int>(info.dwNumberOfProcessors);
    g_processorCount.store(n, std::memory_order_relaxed);
  }
  return n;
}

double HighResolutionSeconds() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency;
}

GuidText GuidToText(const GUID& g) {
  GuidText t;
  std::snprintf(t.text, sizeof t.text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return t;
}
