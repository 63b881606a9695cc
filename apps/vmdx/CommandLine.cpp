#include "CommandLine.h"

#include <fcntl.h>
#include <io.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace vmdxtool {

CommandLine::CommandLine(const char* command, const char* usage, const char* details)
    : command_(command), usage_(usage), details_(details) {}

void CommandLine::Flag(const char* name, bool* value) {
  *value = false;
  options_.push_back({name, std::string(), [value](const std::string&) { return *value = true; }});
}

void CommandLine::Value(const char* name, std::string valueHint, std::function<bool(const std::string&)> accept) {
  options_.push_back({name, std::move(valueHint), std::move(accept)});
}

void CommandLine::Text(const char* name, std::string* value) {
  Value(name, "a text", [value](const std::string& text) {
    *value = text;
    return !text.empty();
  });
}

void CommandLine::Integer(const char* name, int64_t* value, int64_t min, int64_t max) {
  const std::string hint = "a whole number from " + std::to_string(min) + " to " + std::to_string(max);
  Value(name, hint, [value, min, max](const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < min || v > max) return false;
    *value = v;
    return true;
  });
}

void CommandLine::Input(std::string* value) { input_ = value; }

int CommandLine::Parse(int argc, char** argv) {
  bool inputSeen = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("usage: vmdx %s %s\n%s", command_, usage_, details_);
      std::printf(
          "  --verbose           the framework's and the module's lines on standard error\n"
          "  --help              this text\n");
      return kExitSuccess;
    }
    if (arg == "--verbose") {
      verbose_ = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      const Option* option = nullptr;
      for (const Option& o : options_)
        if (o.name == arg) option = &o;
      if (option == nullptr) return UsageError("unknown option " + arg);
      if (option->hint.empty()) {
        option->accept(std::string());
        continue;
      }
      if (i + 1 >= argc) return UsageError(arg + " needs a value (" + option->hint + ")");
      const std::string value = argv[++i];
      if (!option->accept(value)) return UsageError("bad value for " + arg + ": " + value + " (" + option->hint + ")");
      continue;
    }
    if (input_ == nullptr || inputSeen) return UsageError("unexpected argument " + arg);
    *input_ = arg;
    inputSeen = true;
  }
  return -1;
}

int CommandLine::UsageError(const std::string& text) const {
  std::fprintf(stderr, "vmdx %s: %s\nusage: vmdx %s %s\n", command_, text.c_str(), command_, usage_);
  return kExitUsage;
}

int CommandLine::Failure(const std::string& text) const {
  std::fprintf(stderr, "vmdx %s: %s\n", command_, text.c_str());
  return kExitFailure;
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

FrameworkMessages::FrameworkMessages(bool verbose) {
  VarnicaObserverClearCaptured();
  VarnicaObserverCapture(TRUE);
  VarnicaObserverEcho(verbose ? TRUE : FALSE);
}

FrameworkMessages::~FrameworkMessages() {
  VarnicaObserverEcho(TRUE);
  VarnicaObserverCapture(FALSE);
  VarnicaObserverClearCaptured();
}

std::string FrameworkMessages::CauseOf(HRESULT code) const {
  const int32_t size = VarnicaObserverCaptured(nullptr, 0);
  std::string lines(static_cast<size_t>(size), '\0');
  VarnicaObserverCaptured(lines.data(), size);
  // "[EXCEPTION] 0x80070002 framework/media/Y4mReader(52): clip.y4m: cannot open the file"
  const std::string head = "[EXCEPTION] " + HrText(code) + " ";
  const size_t at = lines.find(head);
  if (at == std::string::npos) return std::string();
  const size_t end = lines.find('\n', at);
  std::string line =
      lines.substr(at + head.size(), end == std::string::npos ? std::string::npos : end - at - head.size());
  const size_t location = line.find("): ");
  return location == std::string::npos ? line : line.substr(location + 3);
}

void FrameworkMessages::Clear() { VarnicaObserverClearCaptured(); }

std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::string Failed(const std::string& what, HRESULT hr, const FrameworkMessages& messages) {
  const std::string cause = messages.CauseOf(hr);
  return what + " failed (" + HrText(hr) + ")" + (cause.empty() ? "" : ": " + cause);
}

}  // namespace vmdxtool
