// What every command that takes a clip's frames through the GPU sets up, in this order: COM for
// the thread (the PNG writer needs it), the framework's lines kept for one-line failures, the
// module loaded as a class library, the media module's decoder opened on the source and its facts
// read, the output folder, an offscreen device. A step that fails prints its one line through the
// command's CommandLine and returns false; the command then exits 1.
#pragma once
#include <wrl/client.h>
#include <cstdint>
#include <string>

#include "CommandLine.h"
#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"
#include "Y4mWriter.h"

namespace vmdxtool {

// The decoder's answer for a frame past the end of a stream (standard input).
constexpr HRESULT kEndOfStream = HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);

// What the decoder tells about its source.
struct ClipFacts {
  std::string name;  // the source as given, "standard input" for -
  GUID format{};
  VarnicaFrameSize size{};
  Y4mStreamFacts stream;  // rate, pixel aspect ratio, interlacing and range, as a Y4M stream of it has them
  bool videoRange = false;
  int32_t frameCount = -1;  // -1 for a stream, whose length shows only at its end
  bool builtin = false;     // one of the decoder's built-in clips

  // The frames a command takes when asked for asked (-1: none asked): one second of a built-in
  // clip, all of a file, never more than a file has; -1 for "until the stream ends".
  int64_t FramesToTake(int64_t asked) const;
  // Whether a fetch's failure is the end of a stream, which ends a command's frames normally.
  bool Ended(HRESULT hr) const { return hr == kEndOfStream && frameCount < 0; }
};

// COM on the calling thread for the scope's life.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

class ClipSession : private ComScope {  // COM first in, last out
 public:
  explicit ClipSession(const CommandLine& cli);
  ClipSession(const ClipSession&) = delete;
  ClipSession& operator=(const ClipSession&) = delete;

  // Loads the module and opens the decoder on source (a file, - or a built-in clip).
  bool Open(const std::string& source);
  bool MakeOutputFolder(const std::string& folder);
  bool MakeDevice();
  // Prints "<what> failed (0x...): <deepest cause>" (detail, when given, is the cause) as the
  // command's failure; returns kExitFailure.
  int Fail(const std::string& what, HRESULT hr, const std::string& detail = std::string()) const;
  // Releases the device with everything the session holds on it; the answer of its last Release.
  ULONG ReleaseDevice();
  // The module's count of open objects (its export); -1 when the module is not loaded.
  int OpenModuleObjects() const;

  const CommandLine& cli;
  FrameworkMessages messages;
  Microsoft::WRL::ComPtr<IVideoDecoder> decoder;
  ClipFacts facts;
  DX9Context context;
  CDX9ResourceCache cache;
};

// A progress bar on standard error while frames go by, when standard error is a console.
class Progress {
 public:
  explicit Progress(int64_t total);  // -1: unknown
  ~Progress() { End(); }
  void FrameDone(int64_t done);
  // Ends the bar's line, so that what follows starts on a line of its own.
  void End();

 private:
  int64_t total_;
  bool console_;
  bool shown_ = false;
};

// "<stage>  N frames/s  (M ms per frame)" on standard error.
void PrintRate(const char* stage, int64_t frames, double seconds);

}  // namespace vmdxtool
