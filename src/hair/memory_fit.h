#pragma once
// How many strands of P points fit in a share of this machine's free memory.
#include <cstdint>

namespace crn {

struct MemoryFitResult {
  std::uint64_t hostBytes = 0;  // available physical memory
  std::uint64_t gpuBytes = 0;   // free GPU memory, 0 without a CUDA device
  std::uint64_t strands = 0;    // strands that fit; 0 when nothing is known
};

// The budget rule on given byte counts: 28 bytes per point plus 64 per strand on the host,
// 80 bytes per point on the GPU, budget percent clamped to 10-95.
std::uint64_t FitStrands(std::uint64_t hostBytes, std::uint64_t gpuBytes, int pointsPerStrand,
                         double budgetPercent);

// The same with this machine's available memory.
MemoryFitResult MemoryFit(int pointsPerStrand, double budgetPercent);

// Available physical memory in bytes (MemAvailable of /proc/meminfo), 0 when unknown.
std::uint64_t AvailablePhysicalMemory();

}  // namespace crn
