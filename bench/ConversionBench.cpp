// Each conversion kernel next to its nearest peer (libyuv, swscale, memcpy) on a 1920x1080 frame,
// single thread, and the band split on two threads against one. Ends with one line per pair:
// "ratio <kernel> vs <peer>: <our median time / peer median time>".
#include <benchmark/benchmark.h>
#include <libyuv.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "ConvertionCopyIdenticalFrameCpu.h"
#include "ConvertionCopyPackFrameCpu.h"
#include "ConvertionCopyRGBFrameCpu.h"
#include "ConvertionCopyRGBYUVFrameCpu.h"
#include "ConvertionCopyYUVFrameCpu.h"
#include "CpuFeatures.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// One tightly packed plane of random bytes.
struct Plane {
  Plane(int width, int height, int bytesPerPixel) : pitch(width * bytesPerPixel), bytes(size_t(pitch) * height) {
    uint32_t x = 12345;
    for (auto& b : bytes) {
      x = x * 1103515245u + 12345u;
      b = static_cast<uint8_t>(x >> 16);
    }
  }
  int pitch;
  std::vector<uint8_t> bytes;
  uint8_t* data() { return bytes.data(); }
};

CpuVidFrameMemory Record(const GUID& format, int width, int height, Plane& p0, Plane* p1 = nullptr) {
  CpuVidFrameMemory r{};
  r.format = format;
  r.width = width;
  r.height = height;
  r.planes[0] = {p0.data(), p0.pitch};
  if (p1 != nullptr) r.planes[1] = {p1->data(), p1->pitch};
  return r;
}

// Our kernel on a full frame.
void Ours(benchmark::State& state, ConvertionCopyKernel kernel, const GUID& from, int fromBytes, const GUID& to,
          int toBytes) {
  Plane s(kWidth, kHeight, fromBytes), t(kWidth, kHeight, toBytes);
  const CpuVidFrameMemory source = Record(from, kWidth, kHeight, s), target = Record(to, kWidth, kHeight, t);
  for (auto _ : state) {
    kernel(source, target);
    benchmark::ClobberMemory();
  }
}

void OursSemiPlanar(benchmark::State& state) {
  Plane s(kWidth, kHeight, 2), y(kWidth, kHeight, 1), uv(kWidth, kHeight, 1);
  const CpuVidFrameMemory source = Record(MediaFormat_YUV422Packed8, kWidth, kHeight, s);
  const CpuVidFrameMemory target = Record(MediaFormat_YUV422SemiPlanar8, kWidth, kHeight, y, &uv);
  for (auto _ : state) {
    Yuv422ToSemiPlanar_8(source, target);
    benchmark::ClobberMemory();
  }
}

// A libyuv packed-to-packed call: f(src, srcStride, dst, dstStride, width, height).
template <class F>
void Libyuv(benchmark::State& state, F f, int fromBytes, int toBytes) {
  Plane s(kWidth, kHeight, fromBytes), t(kWidth, kHeight, toBytes);
  for (auto _ : state) {
    f(s.data(), s.pitch, t.data(), t.pitch, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
}

void Swscale(benchmark::State& state, AVPixelFormat from, int fromBytes, AVPixelFormat to, int toBytes) {
  Plane s(kWidth, kHeight, fromBytes), t(kWidth, kHeight, toBytes);
  SwsContext* context = sws_getContext(kWidth, kHeight, from, kWidth, kHeight, to, SWS_POINT, nullptr, nullptr, nullptr);
  const uint8_t* src[4] = {s.data()};
  const int srcStride[4] = {s.pitch};
  uint8_t* dst[4] = {t.data()};
  const int dstStride[4] = {t.pitch};
  for (auto _ : state) {
    sws_scale(context, src, srcStride, 0, kHeight, dst, dstStride);
    benchmark::ClobberMemory();
  }
  sws_freeContext(context);
}

void LibyuvI444ToRgb24(benchmark::State& state) {
  Plane y(kWidth, kHeight, 1), u(kWidth, kHeight, 1), v(kWidth, kHeight, 1), t(kWidth, kHeight, 3);
  for (auto _ : state) {
    libyuv::I444ToRGB24(y.data(), y.pitch, u.data(), u.pitch, v.data(), v.pitch, t.data(), t.pitch, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
}

void LibyuvYuy2ToNv12(benchmark::State& state) {
  Plane s(kWidth, kHeight, 2), y(kWidth, kHeight, 1), uv(kWidth, kHeight / 2, 1);
  for (auto _ : state) {
    libyuv::YUY2ToNV12(s.data(), s.pitch, y.data(), y.pitch, uv.data(), uv.pitch, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
}

// A plain copy of a frame of `bytesPerPixel` bytes per pixel: the floor of any kernel that reads
// and writes that many bytes.
void Memcpy(benchmark::State& state, int bytesPerPixel) {
  Plane s(kWidth, kHeight, bytesPerPixel), t(kWidth, kHeight, bytesPerPixel);
  for (auto _ : state) {
    std::memcpy(t.data(), s.data(), s.bytes.size());
    benchmark::ClobberMemory();
  }
}

// The copy of a 3840x2160 frame in bands on a two-thread pool, or on the calling thread.
void Bands4K(benchmark::State& state, int threads) {
  const int w = 3840, h = 2160;
  Plane s(w, h, 2), t(w, h, 3);
  const CpuVidFrameMemory source = Record(MediaFormat_YUV422Packed8, w, h, s);
  const CpuVidFrameMemory target = Record(MediaFormat_RGB8, w, h, t);
  std::unique_ptr<CpuThreadPool> pool = threads > 1 ? CreateCpuThreadPool(threads) : nullptr;
  mediahost::SetProcessorCountForTesting(threads > 1 ? threads : 0);
  const GUID normal{};
  for (auto _ : state) {
    CopyCpuVidFrameMemory(&source, &target, normal, pool.get());
    benchmark::ClobberMemory();
  }
  mediahost::SetProcessorCountForTesting(0);
}

// Keeps the median real time of every benchmark while printing as usual.
class MedianCollector : public benchmark::ConsoleReporter {
 public:
  MedianCollector() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
      } else if (run.run_type == Run::RT_Iteration && medians.count(run.run_name.function_name) == 0) {
        single[run.run_name.function_name] = run.GetAdjustedRealTime();  // without repetitions
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double TimeOf(const std::string& name) const {
    auto m = medians.find(name);
    if (m != medians.end()) return m->second;
    auto s = single.find(name);
    return s != single.end() ? s->second : 0.0;
  }
  std::map<std::string, double> medians, single;
};

struct Pair {
  const char* ours;
  const char* peer;
  const char* label;
};

const Pair kPairs[] = {
    {"Yuv422ToRgb_8", "libyuv_YUY2ToARGB", "Yuv422ToRgb_8 vs YUY2ToARGB"},
    {"Yuv422ToRgb_8", "swscale_yuyv422_to_bgr24", "Yuv422ToRgb_8 vs swscale yuyv422->bgr24"},
    {"RgbToYuv422_8", "libyuv_ARGBToYUY2", "RgbToYuv422_8 vs ARGBToYUY2"},
    {"RgbToYuv422_8", "swscale_bgr24_to_yuyv422", "RgbToYuv422_8 vs swscale bgr24->yuyv422"},
    {"Yuv444ToRgb_8", "libyuv_I444ToRGB24", "Yuv444ToRgb_8 vs I444ToRGB24"},
    {"Expand3To4_8", "libyuv_RGB24ToARGB", "Expand3To4_8 vs RGB24ToARGB"},
    {"Rgba8ToRgb8", "libyuv_ARGBToRGB24", "Rgba8ToRgb8 vs ARGBToRGB24"},
    {"Reverse8", "libyuv_ARGBToBGRA", "Reverse8 vs ARGBToBGRA"},
    {"Rgb8ToMono", "libyuv_RGB24ToJ400", "Rgb8ToMono vs RGB24ToJ400"},
    {"Rgba16ToRgba8", "libyuv_AR64ToARGB", "Rgba16ToRgba8 vs AR64ToARGB"},
    {"Rgba8ToRgba16", "libyuv_ARGBToAR64", "Rgba8ToRgba16 vs ARGBToAR64"},
    {"Yuv422ToSemiPlanar_8", "libyuv_YUY2ToNV12", "Yuv422ToSemiPlanar_8 vs YUY2ToNV12"},
    {"Yuv422ToSemiPlanar_8", "memcpy_2_bytes_per_pixel", "Yuv422ToSemiPlanar_8 vs memcpy of the same bytes"},
    {"IdenticalCopy", "memcpy", "IdenticalCopy vs memcpy"},
    {"Bands4K_Yuv422ToRgb_8_2threads", "Bands4K_Yuv422ToRgb_8_1thread",
     "Yuv422ToRgb_8 3840x2160 bands on 2 threads vs 1 thread"},
};

void RegisterAll() {
  using benchmark::RegisterBenchmark;
  RegisterBenchmark("Yuv422ToRgb_8", Ours, Yuv422ToRgb_8, MediaFormat_YUV422Packed8, 2, MediaFormat_RGB8, 3);
  RegisterBenchmark("libyuv_YUY2ToARGB", Libyuv<decltype(&libyuv::YUY2ToARGB)>, &libyuv::YUY2ToARGB, 2, 4);
  RegisterBenchmark("swscale_yuyv422_to_bgr24", Swscale, AV_PIX_FMT_YUYV422, 2, AV_PIX_FMT_BGR24, 3);
  RegisterBenchmark("RgbToYuv422_8", Ours, RgbToYuv422_8, MediaFormat_RGB8, 3, MediaFormat_YUV422Packed8, 2);
  RegisterBenchmark("libyuv_ARGBToYUY2", Libyuv<decltype(&libyuv::ARGBToYUY2)>, &libyuv::ARGBToYUY2, 4, 2);
  RegisterBenchmark("swscale_bgr24_to_yuyv422", Swscale, AV_PIX_FMT_BGR24, 3, AV_PIX_FMT_YUYV422, 2);
  RegisterBenchmark("Yuv444ToRgb_8", Ours, Yuv444ToRgb_8, MediaFormat_YUV444_8, 3, MediaFormat_RGB8, 3);
  RegisterBenchmark("libyuv_I444ToRGB24", LibyuvI444ToRgb24);
  RegisterBenchmark("Expand3To4_8", Ours, Expand3To4_8, MediaFormat_RGB8, 3, MediaFormat_RGBA8, 4);
  RegisterBenchmark("libyuv_RGB24ToARGB", Libyuv<decltype(&libyuv::RGB24ToARGB)>, &libyuv::RGB24ToARGB, 3, 4);
  RegisterBenchmark("Rgba8ToRgb8", Ours, Rgba8ToRgb8, MediaFormat_RGBA8, 4, MediaFormat_RGB8, 3);
  RegisterBenchmark("libyuv_ARGBToRGB24", Libyuv<decltype(&libyuv::ARGBToRGB24)>, &libyuv::ARGBToRGB24, 4, 3);
  RegisterBenchmark("Reverse8", Ours, Reverse8, MediaFormat_RGBA8, 4, MediaFormat_ARGB8, 4);
  RegisterBenchmark("libyuv_ARGBToBGRA", Libyuv<decltype(&libyuv::ARGBToBGRA)>, &libyuv::ARGBToBGRA, 4, 4);
  RegisterBenchmark("Rgb8ToMono", Ours, Rgb8ToMono, MediaFormat_RGB8, 3, MediaFormat_Mono8, 1);
  RegisterBenchmark("libyuv_RGB24ToJ400", Libyuv<decltype(&libyuv::RGB24ToJ400)>, &libyuv::RGB24ToJ400, 3, 1);
  RegisterBenchmark("Rgba16ToRgba8", Ours, Rgba16ToRgba8, MediaFormat_RGBA16, 8, MediaFormat_RGBA8, 4);
  RegisterBenchmark("libyuv_AR64ToARGB", [](benchmark::State& state) {
    Plane s(kWidth, kHeight, 8), t(kWidth, kHeight, 4);
    for (auto _ : state) {
      libyuv::AR64ToARGB(reinterpret_cast<const uint16_t*>(s.data()), kWidth * 4, t.data(), t.pitch, kWidth, kHeight);
      benchmark::ClobberMemory();
    }
  });
  RegisterBenchmark("Rgba8ToRgba16", Ours, Rgba8ToRgba16, MediaFormat_RGBA8, 4, MediaFormat_RGBA16, 8);
  RegisterBenchmark("libyuv_ARGBToAR64", [](benchmark::State& state) {
    Plane s(kWidth, kHeight, 4), t(kWidth, kHeight, 8);
    for (auto _ : state) {
      libyuv::ARGBToAR64(s.data(), s.pitch, reinterpret_cast<uint16_t*>(t.data()), kWidth * 4, kWidth, kHeight);
      benchmark::ClobberMemory();
    }
  });
  RegisterBenchmark("Yuv422ToSemiPlanar_8", OursSemiPlanar);
  RegisterBenchmark("libyuv_YUY2ToNV12", LibyuvYuy2ToNv12);
  RegisterBenchmark("IdenticalCopy", Ours, IdenticalCopy, MediaFormat_RGBA8, 4, MediaFormat_RGBA8, 4);
  RegisterBenchmark("memcpy", Memcpy, 4);
  RegisterBenchmark("memcpy_2_bytes_per_pixel", Memcpy, 2);
  RegisterBenchmark("Bands4K_Yuv422ToRgb_8_2threads", Bands4K, 2)->UseRealTime();
  RegisterBenchmark("Bands4K_Yuv422ToRgb_8_1thread", Bands4K, 1)->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // VMDX_CPU_MASK limits the vector levels (1 SSE2, 2 SSSE3, 4 SSE4.1, 8 AVX2; 0 scalar only).
  if (const char* mask = std::getenv("VMDX_CPU_MASK")) cpufeatures::SetMaskForTesting(std::strtoul(mask, nullptr, 0));
  std::printf("vector levels used: 0x%x of 0x%x detected\n", cpufeatures::Usable(), cpufeatures::Detected());
  RegisterAll();
  MedianCollector reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  for (const Pair& pair : kPairs) {
    const double ours = reporter.TimeOf(pair.ours), peer = reporter.TimeOf(pair.peer);
    if (ours > 0 && peer > 0) std::printf("ratio %s: %.2f\n", pair.label, ours / peer);
  }
  benchmark::Shutdown();
  return 0;
}
