// The global log observer: filters by its print level and writes each line once to standard
// error (unless the host turned that off) and to the debugger output; a hook keeps the lines in
// memory as well.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include "VarnicaCore.h"

namespace vcore {

class Observer final : public IObserver {
 public:
  // Lives as long as the module: other modules may still log while they detach.
  static Observer& Instance();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
  // Counted, but never freed: the module holds the first reference for its whole life.
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override { return refs_.fetch_sub(1) - 1; }

  uint32_t STDMETHODCALLTYPE GetPrintLevel() override;
  HRESULT STDMETHODCALLTYPE SetPrintLevel(uint32_t mask, uint32_t changeMask) override;
  void STDMETHODCALLTYPE Print(uint32_t level, const SourceLocation* location, const char* format,
                               va_list args) override;

  // One "[EXCEPTION] 0x80070057 file(line): message" line, whatever the print level.
  void ReportException(HRESULT code, const SourceLocation* location, const char* message);

  uint32_t* LevelWord() { return &level_; }

  void SetCapture(bool enable);
  void SetEcho(bool enable);
  int32_t CopyCaptured(char* buffer, int32_t size);
  void ClearCaptured();

 private:
  Observer() = default;
  void Emit(const std::string& line);

  std::atomic<ULONG> refs_{1};
  alignas(4) uint32_t level_ = LOG_WARN | LOG_ERROR;
  std::mutex lock_;
  bool capturing_ = false;
  bool echo_ = true;
  std::string captured_;
};

// printf-style line from inside the core module.
void Log(uint32_t level, const SourceLocation& location, const char* format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace vcore
