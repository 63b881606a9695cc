#include "CpuFeatures.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define CPUFEATURES_X86 1
#endif

namespace cpufeatures {
namespace {

// Bit 31 marks a finished detection, so 0 can mean "not yet" without a second variable.
constexpr uint32_t kDone = 1u << 31;
std::atomic<uint32_t> gDetected{0};
std::atomic<uint32_t> gMask{~0u};

#ifdef CPUFEATURES_X86
// The YMM state must be enabled by the operating system, not only present in the processor.
bool OsSavesYmm() {
  uint32_t eax = 0, edx = 0;
  __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
  return (eax & 0x6) == 0x6;
}
#endif

uint32_t Probe() {
  uint32_t found = 0;
#ifdef CPUFEATURES_X86
  unsigned a, b, c, d;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return 0;
  if (d & bit_SSE2) found |= kSSE2;
  if ((found & kSSE2) && (c & bit_SSSE3)) found |= kSSSE3;
  if ((found & kSSSE3) && (c & bit_SSE4_1)) found |= kSSE41;
  const bool avx = (c & bit_OSXSAVE) && (c & bit_AVX) && OsSavesYmm();
  if (avx && (found & kSSE41) && __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0 && (b & bit_AVX2)) found |= kAVX2;
#endif
  return found;
}

}  // namespace

void Initialize() {
  if ((gDetected.load(std::memory_order_acquire) & kDone) == 0) {
    // Two threads may probe at once; both store the same answer.
    gDetected.store(Probe() | kDone, std::memory_order_release);
  }
}

uint32_t Detected() {
  uint32_t detected = gDetected.load(std::memory_order_acquire);
  if ((detected & kDone) == 0) {
    Initialize();
    detected = gDetected.load(std::memory_order_acquire);
  }
  return detected & ~kDone;
}

uint32_t Usable() { return Detected() & gMask.load(std::memory_order_relaxed); }

void SetMaskForTesting(uint32_t mask) { gMask.store(mask, std::memory_order_relaxed); }

}  // namespace cpufeatures
