// Collects what OutputDebugStringA hands to a debugger while alive: the function raises
// DBG_PRINTEXCEPTION_C with the text, which a vectored handler sees before the function's own
// handler swallows it. Lines the module writes where no observer may be involved (heap failures)
// are asserted this way.
#pragma once
#include <string>
#include <vector>

#include <windows.h>

namespace vmdxtest {

class DebugOutputCapture {
 public:
  DebugOutputCapture() {
    active_ = this;
    handler_ = AddVectoredExceptionHandler(1, &Handler);
  }
  ~DebugOutputCapture() {
    RemoveVectoredExceptionHandler(handler_);
    active_ = nullptr;
  }
  DebugOutputCapture(const DebugOutputCapture&) = delete;
  DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

  const std::vector<std::string>& Lines() const { return lines_; }
  bool Saw(const std::string& text) const {
    for (const std::string& line : lines_)
      if (line == text) return true;
    return false;
  }
  bool SawPrefix(const std::string& prefix) const {
    for (const std::string& line : lines_)
      if (line.rfind(prefix, 0) == 0) return true;
    return false;
  }

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    if (active_ && r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2) {
      const auto length = static_cast<size_t>(r->ExceptionInformation[0]);
      const char* text = reinterpret_cast<const char*>(r->ExceptionInformation[1]);
      active_->lines_.emplace_back(text, length > 0 ? length - 1 : 0);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static inline DebugOutputCapture* active_ = nullptr;
  PVOID handler_;
  std::vector<std::string> lines_;
};

}  // namespace vmdxtest
