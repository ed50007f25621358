// The render-engine bridge's fit of a frame to the free GPU memory: the share of the memory
// this object may use, which strands stay, and how much wider they get.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "hair/fur_math.h"
#include "hair/memory_fit.h"
#include "host/platform.h"
#include "kernels/gpu_runtime.h"
#include "render/render_bridge.h"

namespace crn {

namespace {

// Bytes the engine needs per strand segment.
constexpr double kBytesPerSegment = 4.0 * 220.0;
constexpr double kMemoryShare = 0.75;
constexpr double kMinKeep = 0.02;
constexpr double kGiB = 1073741824.0;

template <class Array>
void KeepPerStrand(Array& v, std::size_t n, const std::vector<std::uint8_t>& keep) {
  if (v.size() != n) return;
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (keep[i]) v[out++] = v[i];
  v.resize(out);
}

template <class Array>
void KeepPerPoint(Array& v, std::size_t n, std::size_t p, const std::vector<std::uint8_t>& keep) {
  if (v.size() != n * p) return;
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (keep[i]) {
      std::copy(v.begin() + std::ptrdiff_t(i * p), v.begin() + std::ptrdiff_t((i + 1) * p),
                v.begin() + std::ptrdiff_t(out * p));
      ++out;
    }
  v.resize(out * p);
}

}  // namespace

GpuMemory FreeGpuBytes() {
  GpuMemory m;
  if (gpu::DeviceCount() > 0) {
    m.freeBytes = double(gpu::FreeDeviceMemory());
    m.name = gpu::DeviceName();
    if (m.name.empty()) m.name = "CUDA device 0";
  } else {
    m.freeBytes = double(AvailablePhysicalMemory());
    m.name = "CPU (no CUDA card)";
  }
  std::string mb;
  if (host::GetEnvironmentVariable("CRINEL_GPU_MB", &mb) && !mb.empty() && mb.size() <= 62)
    m.freeBytes = std::atof(mb.c_str()) * 1048576.0;
  return m;
}

std::string FitToGpuMemory(StrandSet& s, double share, const GpuMemory& memory, const std::string& nodeName) {
  const std::size_t n = s.StrandCount(), p = std::size_t(std::max(s.pointsPerStrand, 0));
  if (p < 2 || n < 1 || !(memory.freeBytes > 0)) return {};
  const double budget = kMemoryShare * memory.freeBytes * share;
  const double need = double(p - 1) * double(n) * kBytesPerSegment;
  if (budget >= need) return {};
  const double keepFraction = std::max(budget / need, kMinKeep);
  const float widen = float(1.0 / std::sqrt(keepFraction));

  std::vector<std::uint8_t> keep(n);
  for (std::size_t i = 0; i < n; ++i)
    keep[i] = double(StrandRand(s.strandId[i], kBridgeKeepSalt)) < keepFraction ? 1 : 0;
  KeepPerPoint(s.points, n, p, keep);
  KeepPerPoint(s.widths, n, p, keep);
  KeepPerStrand(s.rootColour, n, keep);
  KeepPerStrand(s.tipColour, n, keep);
  KeepPerStrand(s.rootNormal, n, keep);
  KeepPerStrand(s.clumpIndex, n, keep);
  KeepPerStrand(s.triIndex, n, keep);
  KeepPerStrand(s.wet, n, keep);
  KeepPerStrand(s.glow, n, keep);
  KeepPerStrand(s.hiColour, n, keep);
  KeepPerStrand(s.hiStart, n, keep);
  KeepPerStrand(s.hiSoft, n, keep);
  KeepPerStrand(s.strandId, n, keep);  // last: StrandCount() is its size
  for (float& w : s.widths) w *= widen;

  char text[1024];
  std::snprintf(text, sizeof text,
                "Crinel: %s has %zu strands, about %.1f GB on %s, which has %.1f GB free - rendering "
                "%zu of them, %.2fx wider. For every strand: set Render multiplier above 1 "
                "(render-time children use far less memory) or lower Segments.",
                nodeName.c_str(), n, need / kGiB, memory.name.c_str(), memory.freeBytes / kGiB,
                s.StrandCount(), double(widen));
  return text;
}

}  // namespace crn
