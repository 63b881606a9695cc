// vmdx fields [IN] [--out DIR | --out -] [--count N]
//
// Splits each frame of a clip into its two fields on the GPU, weaves the fields back into a frame
// and checks the woven frame against its source byte for byte. Writes the top field, the bottom
// field and the woven frame of each frame as PNG files, or with --out - the woven frames as a Y4M
// stream on standard output. IN is a Y4M file, a built-in clip, or - for a Y4M stream on standard
// input. The fields are taken in the clip's order: the first field in time is field A of the weave.
#include "FieldsCommand.h"

#include <wrl/client.h>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "ClipSession.h"
#include "CommandLine.h"
#include "Diagnostics.h"
#include "Error.h"
#include "FramePictures.h"
#include "VarnicaFrameAccess.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDirectX9JoinInterlaceFields.h"
#include "VodideDirectX9SplitInterlaceFields.h"
#include "VodideGetFrame.h"
#include "Y4mWriter.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtool;

namespace {

constexpr char kSourceFile[] = "apps/vmdx/FieldsCommand";

struct Options {
  std::string source = "builtin:interlaced";
  std::string out = "vmdx-fields";
  int64_t count = -1;  // -1: every frame of a file or stream, one second of a built-in clip
};

constexpr char kUsage[] = "[IN] [--out DIR | --out -] [--count N]";
constexpr char kDetails[] =
    "Every frame split into its two fields on the GPU and woven back; each woven frame is checked\n"
    "against its source byte for byte (exit 1 when one differs). The fields are taken in the clip's\n"
    "order: the first field in time is woven first.\n"
    "  IN                  a Y4M file, - for a Y4M stream on standard input, builtin:interlaced (the\n"
    "                      default) or builtin:progressive\n"
    "  --count N           frames to take (default: all of a file or stream, 25 of a built-in clip)\n"
    "  --out DIR           folder of frame_NNNNNN_top.png, _bottom.png and _woven.png (default vmdx-fields)\n"
    "  --out -             the woven frames as a Y4M stream on standard output instead\n";

// The rows of woven's first plane that differ from source's among the first rows; the index of
// the first in *first.
int32_t CountDifferentRows(const CpuVidFrameMemory& source, const CpuVidFrameMemory& woven, int32_t rows,
                           int32_t* first) {
  int32_t different = 0;
  *first = -1;
  const size_t rowBytes = static_cast<size_t>(source.planes[0].pitch);
  for (int32_t y = 0; y < rows; ++y) {
    if (std::memcmp(source.planes[0].data + y * source.planes[0].pitch,
                    woven.planes[0].data + y * woven.planes[0].pitch, rowBytes) == 0)
      continue;
    if (different++ == 0) *first = y;
  }
  return different;
}

// A render-target texture wrapped as a frame of format, for reading it back.
HRESULT AsFrame(IDirect3DTexture9* texture, const GUID& format, ComPtr<IMediaDirectX9VideoFrame>* frame) {
  return CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &*frame, &format, texture);
}

}  // namespace

int RunFieldsCommand(int argc, char** argv) {
  Options options;
  CommandLine cli("fields", kUsage, kDetails);
  cli.Input(&options.source);
  cli.Text("--out", &options.out);
  cli.Integer("--count", &options.count, 1, INT32_MAX);
  if (const int code = cli.Parse(argc, argv); code >= 0) return code;
  const bool toStream = options.out == "-";

  ClipSession session(cli);
  if (!session.Open(options.source)) return kExitFailure;
  const ClipFacts& facts = session.facts;
  if (facts.size.height < 2) return cli.Failure(facts.name + " has frames of one row: no fields to split");
  const int64_t count = facts.FramesToTake(options.count);
  const int16_t interlace = facts.stream.interlace;
  const bool topFirst = interlace != VideoInterlace_BottomFieldFirst;
  const std::filesystem::path outDir(options.out);
  if (!toStream && !session.MakeOutputFolder(options.out)) return kExitFailure;
  if (!session.MakeDevice()) return kExitFailure;
  DX9Context& context = session.context;

  const char* order = interlace == VideoInterlace_TopFieldFirst      ? "top field first"
                      : interlace == VideoInterlace_BottomFieldFirst ? "bottom field first"
                                                                     : "progressive";
  std::string countText = count < 0 ? std::string("all") : std::to_string(count);
  if (facts.frameCount >= 0) countText += " of " + std::to_string(facts.frameCount);
  std::fprintf(stderr, "%s: %dx%d %s, %s frames -> %s\n", facts.name.c_str(), facts.size.width, facts.size.height,
               order, countText.c_str(), toStream ? "Y4M on standard output" : options.out.c_str());
  if (facts.size.height % 2)
    std::fprintf(stderr, "odd height: the last row belongs to no field and is left out of the comparison\n");

  Y4mWriter stream(stdout, facts.stream);
  int64_t exact = 0, done = 0;
  for (int64_t n = 0; count < 0 || n < count; ++n) {
    session.messages.Clear();
    const char* stage = "GetDirectXFrame";
    std::string error;
    const HRESULT hr = GuardedCall([&] {
      const VarnicaTimecode timecode{n, static_cast<int32_t>(facts.stream.rate.numerator),
                                     static_cast<int32_t>(facts.stream.rate.denominator), 0, 0};
      ComPtr<IMediaDirectX9VideoFrame> frame;
      CheckHr(GetDirectXFrame(&context, IID_IMediaDirectX9VideoFrame, &frame, session.decoder.Get(), &timecode, nullptr,
                              &facts.format, nullptr),
              VLOC, "GetDirectXFrame");
      ComPtr<IDirect3DTexture9> texture;
      CheckHr(frame->GetTexture(&texture), VLOC, "GetTexture");
      D3DSURFACE_DESC desc{};
      CheckHr(texture->GetLevelDesc(0, &desc), VLOC, "GetLevelDesc");
      CpuPicture source, woven;
      CheckHr(ReadBack(frame.Get(), &source), VLOC, "read-back of the source");
      const GUID format = source.record.format;

      // Field A of the weave is the first field in time; in the split it is the one topFirst names.
      stage = "split and weave";
      const UINT fieldHeight = desc.Height / 2;
      auto renderTarget = [&](UINT height) {
        ComPtr<IDirect3DTexture9> t;
        CheckHr(context.device->CreateTexture(desc.Width, height, 1, D3DUSAGE_RENDERTARGET, desc.Format,
                                              D3DPOOL_DEFAULT, &t, nullptr),
                VLOC, "CreateTexture");
        return t;
      };
      const ComPtr<IDirect3DTexture9> first = renderTarget(fieldHeight), second = renderTarget(fieldHeight),
                                      joined = renderTarget(desc.Height);
      const uint8_t top = topFirst ? 1 : 0;
      CheckHr(SplitInterlaceFields(context, texture.Get(), first.Get(), second.Get(), top), VLOC,
              "SplitInterlaceFields");
      CheckHr(JoinInterlaceFields(context, session.cache, first.Get(), second.Get(), joined.Get(), top), VLOC,
              "JoinInterlaceFields");

      stage = "comparison";
      ComPtr<IMediaDirectX9VideoFrame> wovenFrame, firstFrame, secondFrame;
      CheckHr(AsFrame(joined.Get(), format, &wovenFrame), VLOC, "CreateMediaDirectX9VideoFrame");
      CheckHr(ReadBack(wovenFrame.Get(), &woven), VLOC, "read-back of the woven frame");
      int32_t firstWrong = -1;
      const int32_t wrong =
          CountDifferentRows(source.record, woven.record, static_cast<int32_t>(2 * fieldHeight), &firstWrong);
      if (wrong == 0) {
        ++exact;
        std::fprintf(stderr, "frame %" PRId64 ": woven back exactly\n", n);
      } else {
        std::fprintf(stderr, "frame %" PRId64 ": woven frame differs from its source in %d rows (first: row %d)\n", n,
                     wrong, firstWrong);
      }

      if (toStream) {
        stage = "Y4M";
        CpuPicture converted;
        CpuVidFrameMemory picture{};
        CheckHr(ToStreamPicture(woven.record, &converted, &picture), VLOC, "conversion for the stream");
        return CheckHr(stream.Write(picture, &error), VLOC, "Y4mWriter");
      }
      stage = "PNG";
      CheckHr(AsFrame(topFirst ? first.Get() : second.Get(), format, &firstFrame), VLOC,
              "CreateMediaDirectX9VideoFrame");
      CheckHr(AsFrame(topFirst ? second.Get() : first.Get(), format, &secondFrame), VLOC,
              "CreateMediaDirectX9VideoFrame");
      const struct {
        IMediaDirectX9VideoFrame* frame;
        const char* suffix;
      } pictures[] = {{firstFrame.Get(), "top"}, {secondFrame.Get(), "bottom"}, {wovenFrame.Get(), "woven"}};
      for (const auto& picture : pictures) {
        char name[64];
        std::snprintf(name, sizeof name, "frame_%06" PRId64 "_%s.png", n, picture.suffix);
        const std::filesystem::path path = outDir / name;
        CheckHr(WriteFramePng(picture.frame, facts.videoRange, path, &error), VLOC, "WritePng");
        std::fprintf(stderr, "wrote %s\n", path.generic_string().c_str());
      }
      return S_OK;
    });
    if (facts.Ended(hr)) break;
    if (FAILED(hr)) return session.Fail("frame " + std::to_string(n) + ": " + stage, hr, error);
    ++done;
  }
  if (exact == done) {
    std::fprintf(stderr, "every frame woven back exactly (%" PRId64 " of %" PRId64 ")\n", exact, done);
    return kExitSuccess;
  }
  std::fprintf(stderr, "%" PRId64 " of %" PRId64 " woven frames differ from their source\n", done - exact, done);
  return kExitFailure;
}
