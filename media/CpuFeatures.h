// Processor features the conversion kernels can use. Detected once (at module load in the DLL,
// on first use otherwise); the kernels read them every time they choose their row functions, so
// tests can narrow them to force the plain scalar rows or any one vector level.
#pragma once
#include <cstdint>

namespace cpufeatures {

enum : uint32_t {
  kSSE2 = 1u << 0,
  kSSSE3 = 1u << 1,
  kSSE41 = 1u << 2,
  kAVX2 = 1u << 3,  // with the operating system saving the 256-bit registers
};

// Runs the detection if it has not run yet. Safe from any thread.
void Initialize();

// The detected features, before any test mask.
uint32_t Detected();

// Detected features left by the mask: what the kernels may use.
uint32_t Usable();

// Keeps only the features in mask (0: scalar rows only; ~0u: everything detected again).
void SetMaskForTesting(uint32_t mask);

}  // namespace cpufeatures
