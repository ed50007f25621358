#pragma once
// The CPU twin's pass over a range of image tiles, included by the baseline unit
// (render_kernels.cpp) and by the AVX2 unit (render_pass_avx2.cpp), which compile the same
// code for two instruction sets.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "kernels/path_trace.h"
#include "kernels/render_kernels.h"

namespace hrt {

inline std::uint64_t PassTiles(std::size_t begin, std::size_t end, const DevScene& scene, const Camera& cam,
                               int width, int height, int pass, const PassBuffers& buffers,
                               const WideScene* wide) {
  const int tilesX = (width + kTileSize - 1) / kTileSize;
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  std::uint64_t rays = 0;
  for (std::size_t tile = begin; tile < end; ++tile) {
    const int x0 = int(tile % std::size_t(tilesX)) * kTileSize;
    const int y0 = int(tile / std::size_t(tilesX)) * kTileSize;
    const int x1 = std::min(x0 + kTileSize, width), y1 = std::min(y0 + kTileSize, height);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const PixelSample s = TracePixel(scene, cam, x, y, width, height, pass, wide);
        rays += s.rays;
        AccumulateSample(s, std::size_t(y) * std::size_t(width) + std::size_t(x), pixels, pass,
                         buffers.beauty, buffers.normalDepth, buffers.albedoCoverage, buffers.layers);
      }
  }
  return rays;
}

#if defined(__x86_64__)
// PassTiles compiled for AVX2 (the same results); call only where the processor has AVX2.
std::uint64_t PassTilesAvx2(std::size_t begin, std::size_t end, const DevScene& scene, const Camera& cam,
                            int width, int height, int pass, const PassBuffers& buffers, const WideScene* wide);
#endif

}  // namespace hrt
