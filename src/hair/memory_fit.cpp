#include "hair/memory_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kernels/gpu_runtime.h"

namespace crn {

std::uint64_t FitStrands(std::uint64_t hostBytes, std::uint64_t gpuBytes, int pointsPerStrand,
                         double budgetPercent) {
  const double f = std::min(std::max(budgetPercent, 10.0), 95.0) / 100.0;
  const double p = std::max(pointsPerStrand, 2);
  double fit = double(hostBytes) * f / (28.0 * p + 64.0);
  if (gpuBytes > 0) fit = std::min(fit, double(gpuBytes) * f / (80.0 * p));
  return std::uint64_t(std::floor(std::max(fit, 0.0)));
}

std::uint64_t AvailablePhysicalMemory() {
  std::FILE* f = std::fopen("/proc/meminfo", "r");
  if (!f) return 0;
  char line[256];
  std::uint64_t kb = 0;
  bool found = false;
  while (std::fgets(line, sizeof line, f)) {
    unsigned long long v;
    if (std::sscanf(line, "MemAvailable: %llu kB", &v) == 1) {
      kb = v;
      found = true;
      break;
    }
  }
  std::fclose(f);
  return found ? kb * 1024ull : 0;
}

MemoryFitResult MemoryFit(int pointsPerStrand, double budgetPercent) {
  MemoryFitResult r;
  r.hostBytes = AvailablePhysicalMemory();
  r.gpuBytes = gpu::FreeDeviceMemory();
  r.strands = FitStrands(r.hostBytes, r.gpuBytes, pointsPerStrand, budgetPercent);
  return r;
}

}  // namespace crn
