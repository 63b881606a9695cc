#include "ClipSession.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;

namespace vmdxtool {
namespace {

constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";
constexpr int64_t kBuiltinDefaultCount = 25;  // one second of a built-in clip

}  // namespace

int64_t ClipFacts::FramesToTake(int64_t asked) const {
  const int64_t count = asked > 0 ? asked : builtin ? kBuiltinDefaultCount : frameCount;
  return frameCount >= 0 ? std::min<int64_t>(count, frameCount) : count;
}

ClipSession::ClipSession(const CommandLine& commandLine) : cli(commandLine), messages(commandLine.verbose()) {}

bool ClipSession::Open(const std::string& source) {
  facts.name = source == "-" ? "standard input" : source;
  facts.builtin = source.rfind("builtin:", 0) == 0;
  HRESULT hr = VarnicaLoadClassLibrary(kModule);
  if (FAILED(hr)) return Fail(std::string("loading ") + kModule, hr), false;
  hr = CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder);
  if (SUCCEEDED(hr)) hr = decoder->Open(source.c_str());
  if (FAILED(hr)) return Fail("opening " + facts.name, hr), false;
  ComPtr<IValueSet> values;
  hr = decoder->GetValueSet(&values);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(values, FrameFormat, GuidValueType, &facts.format);
  if (SUCCEEDED(hr)) hr = vmdx::GetValue(values, FrameSizeProperty, FrameSizeValueType, &facts.size);
  if (FAILED(hr)) return Fail("reading the properties of " + facts.name, hr), false;
  // The rest may be missing: a stream has no frame count, the others have defaults.
  vmdx::GetValue(values, FrameCountProperty, Int32ValueType, &facts.frameCount);
  vmdx::GetValue(values, FrameRateProperty, FrameRateProperty, &facts.stream.rate);
  vmdx::GetValue(values, PixelAspectRatioProperty, PixelAspectRatioValueType, &facts.stream.aspect);
  vmdx::GetValue(values, VideoInterlaceProperty, VideoInterlaceProperty, &facts.stream.interlace);
  int32_t range = ColorRange_Full;
  vmdx::GetValue(values, ColorRangeProperty, Int32ValueType, &range);
  facts.videoRange = range == ColorRange_Video;
  facts.stream.fullRange = !facts.videoRange;
  return true;
}

bool ClipSession::MakeOutputFolder(const std::string& folder) {
  std::error_code made;
  std::filesystem::create_directories(std::filesystem::path(folder), made);
  if (made) cli.Failure("cannot create the folder " + folder + ": " + made.message());
  return !made;
}

bool ClipSession::MakeDevice() {
  const HRESULT hr = context.InitializeOffscreenDevice(OffscreenDeviceSettings{});
  if (SUCCEEDED(hr) && context.device) return true;
  Fail("making a Direct3D 9Ex device", FAILED(hr) ? hr : E_FAIL);
  return false;
}

int ClipSession::Fail(const std::string& what, HRESULT hr, const std::string& detail) const {
  return cli.Failure(detail.empty() ? Failed(what, hr, messages) : what + " failed (" + HrText(hr) + "): " + detail);
}

ULONG ClipSession::ReleaseDevice() {
  cache.Close();
  context.vertexBuffer.Reset();
  context.initialRenderTarget.Reset();
  return context.device ? context.device.Detach()->Release() : 0;
}

int ClipSession::OpenModuleObjects() const {
  using Fn = HRESULT(WINAPI*)();
  HMODULE module = GetModuleHandleA(kModule);
  auto count =
      module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, "DLLGetOpenObjectCount"))) : nullptr;
  return count ? static_cast<int>(count()) : -1;
}

Progress::Progress(int64_t total) : total_(total) {
  DWORD mode = 0;
  console_ = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void Progress::End() {
  if (shown_) std::fprintf(stderr, "\n");
  shown_ = false;
}

void Progress::FrameDone(int64_t done) {
  if (!console_) return;
  constexpr int kWidth = 40;
  if (total_ < 0) {
    std::fprintf(stderr, "\r  %" PRId64 " frames", done);
  } else {
    const int filled = total_ > 0 ? static_cast<int>(done * kWidth / total_) : kWidth;
    std::fprintf(stderr, "\r  [%.*s%.*s] %" PRId64 "/%" PRId64, filled, "########################################",
                 kWidth - filled, "----------------------------------------", done, total_);
  }
  std::fflush(stderr);
  shown_ = true;
}

void PrintRate(const char* stage, int64_t frames, double seconds) {
  if (seconds > 0 && frames > 0)
    std::fprintf(stderr, "%-20s %9.1f frames/s  (%.2f ms per frame)\n", stage, frames / seconds,
                 1000.0 * seconds / frames);
  else
    std::fprintf(stderr, "%-20s         - frames/s\n", stage);
}

}  // namespace vmdxtool
