#include "Observer.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace vcore {
namespace {

const char* LevelLabel(uint32_t level) {
  if (level & LOG_ERROR) return "ERROR";
  if (level & LOG_WARN) return "WARN";
  if (level & LOG_TIMING) return "TIMING";
  if (level & LOG_TRACE) return "TRACE";
  return "INFO";
}

std::string FormatText(const char* format, va_list args) {
  if (format == nullptr) return std::string();
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

void AppendLocation(std::string& line, const SourceLocation* location) {
  if (location == nullptr || location->file == nullptr) return;
  line += location->file;
  line += '(';
  line += std::to_string(location->line);
  line += "): ";
}

}  // namespace

Observer& Observer::Instance() {
  static Observer* const instance = new Observer();
  return *instance;
}

HRESULT Observer::QueryInterface(REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!varnica::SameGuid(iid, IID_IUnknown) && !varnica::SameGuid(iid, IID_IObserver)) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IObserver*>(this);
  return S_OK;
}

uint32_t Observer::GetPrintLevel() { return std::atomic_ref<uint32_t>(level_).load(std::memory_order_relaxed); }

HRESULT Observer::SetPrintLevel(uint32_t mask, uint32_t changeMask) {
  std::lock_guard<std::mutex> hold(lock_);
  std::atomic_ref<uint32_t> level(level_);
  level.store((level.load() & ~changeMask) | (mask & changeMask));
  return S_OK;
}

void Observer::Print(uint32_t level, const SourceLocation* location, const char* format, va_list args) {
  if (level != LOG_ALWAYS && (level & GetPrintLevel()) == 0) return;
  try {
    std::string text = FormatText(format, args);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::string line = std::string("[") + LevelLabel(level) + "] ";
    AppendLocation(line, location);
    line += text;
    Emit(line);
  } catch (const std::bad_alloc&) {
    // Logging never fails towards its caller.
    OutputDebugStringA("[ERROR] observer: not enough memory for a log line\n");
  }
}

void Observer::ReportException(HRESULT code, const SourceLocation* location, const char* message) {
  try {
    char head[32];
    std::snprintf(head, sizeof head, "[EXCEPTION] 0x%08lX ", static_cast<unsigned long>(code));
    std::string line = head;
    AppendLocation(line, location);
    line += message ? message : "";
    Emit(line);
  } catch (const std::bad_alloc&) {
    OutputDebugStringA("[ERROR] observer: not enough memory for an exception line\n");
  }
}

void Observer::Emit(const std::string& line) {
  std::string out = line + '\n';
  std::lock_guard<std::mutex> hold(lock_);
  if (echo_) {
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
  }
  OutputDebugStringA(out.c_str());
  if (capturing_) captured_ += out;
}

void Observer::SetCapture(bool enable) {
  std::lock_guard<std::mutex> hold(lock_);
  capturing_ = enable;
}

int32_t Observer::CopyCaptured(char* buffer, int32_t size) {
  std::lock_guard<std::mutex> hold(lock_);
  const size_t needed = captured_.size() + 1;
  if (buffer != nullptr && size > 0) {
    const size_t n = std::min(captured_.size(), static_cast<size_t>(size) - 1);
    captured_.copy(buffer, n);
    buffer[n] = '\0';
  }
  return needed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(needed);
}

void Observer::SetEcho(bool enable) {
  std::lock_guard<std::mutex> hold(lock_);
  echo_ = enable;
}

void Observer::ClearCaptured() {
  std::lock_guard<std::mutex> hold(lock_);
  captured_.clear();
}

void Log(uint32_t level, const SourceLocation& location, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Observer::Instance().Print(level, &location, format, args);
  va_end(args);
}

}  // namespace vcore

HRESULT GetGlobalObserver(IObserver** observer) {
  if (observer == nullptr) return E_POINTER;
  *observer = &vcore::Observer::Instance();
  (*observer)->AddRef();
  return S_OK;
}

uint32_t* GetGlobalObserverPrintLevelPtr() { return vcore::Observer::Instance().LevelWord(); }

// Readers hold a pointer to the level word itself, so there is no cached copy to refresh.
void UpdateGlobalObserverPrintLevel() {}

void VarnicaObserverCapture(BOOL enable) { vcore::Observer::Instance().SetCapture(enable != FALSE); }

int32_t VarnicaObserverCaptured(char* buffer, int32_t size) {
  return vcore::Observer::Instance().CopyCaptured(buffer, size);
}

void VarnicaObserverClearCaptured() { vcore::Observer::Instance().ClearCaptured(); }

void VarnicaObserverEcho(BOOL enable) { vcore::Observer::Instance().SetEcho(enable != FALSE); }
