#pragma once
// The path-tracing pass hrt::kPass and the three denoiser stages, each as a CPU twin over a
// range (tiles or pixels, which callers parallelise) and as a GPU launcher; both evaluate
// kernels/path_trace.h and kernels/denoise_pixel.h.
//
// Agreement: the twins and the kernels run the same arithmetic with the same rounding
// (README "Floating point between CPU and GPU"); the library functions of the shading model
// (exp, log, asin, atan2, sin, cos, pow, sinh) differ by a few ulps between the device and
// the C library, so rendered values agree within a small relative tolerance and a path may
// now and then take another branch.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernels/f4.h"
#include "kernels/rt_records.h"
#include "kernels/wide_bvh.h"

namespace hrt {

// Image tiles of the CPU twin: kTileSize x kTileSize pixels, row-major over the image.
constexpr int kTileSize = 16;
inline int TileCount(int width, int height) {
  return ((width + kTileSize - 1) / kTileSize) * ((height + kTileSize - 1) / kTileSize);
}

// The accumulation buffers of an image; layers (13 x pixels) may be null.
struct PassBuffers {
  F4* beauty;
  F4* normalDepth;
  F4* albedoCoverage;
  F4* layers;
};

// CPU twin of one pass over tiles [begin, end); returns the number of rays traced. wide is the
// scene's wide segment BVH view (kernels/wide_bvh.h), or null to walk the binary tree.
std::uint64_t PassTileRange(std::size_t begin, std::size_t end, const DevScene& scene,
                            const Camera& cam, int width, int height, int pass,
                            const PassBuffers& buffers, const WideScene* wide = nullptr);

// CPU twins of the denoiser over pixels [begin, end) of a width x height image.
void DenoisePrepRange(std::size_t begin, std::size_t end, const F4* beauty, const F4* normalDepth,
                      const F4* albedoCoverage, float invPasses, F4* colour, F4* guideNormalDepth,
                      F4* guideAlbedo);
void DenoisePassRange(std::size_t begin, std::size_t end, int width, int height, int step,
                      const F4* in, const F4* guideNormalDepth, const F4* guideAlbedo, F4* out);
void DenoiseFinishRange(std::size_t begin, std::size_t end, F4* colour, const F4* guideAlbedo);

// GPU launchers over device pointers on the default stream: each returns once its launch is
// queued and reports launch errors through error ("No CUDA device." without a device). The
// pass adds the rays it traces to *rayCount (a device counter; may be null).
bool PassOnGpu(const DevScene& scene, const Camera& cam, int width, int height, int pass,
               const PassBuffers& buffers, unsigned long long* rayCount, std::string& error);
bool DenoisePrepOnGpu(int width, int height, const F4* beauty, const F4* normalDepth,
                      const F4* albedoCoverage, float invPasses, F4* colour, F4* guideNormalDepth,
                      F4* guideAlbedo, std::string& error);
bool DenoisePassOnGpu(int width, int height, int step, const F4* in, const F4* guideNormalDepth,
                      const F4* guideAlbedo, F4* out, std::string& error);
bool DenoiseFinishOnGpu(int width, int height, F4* colour, const F4* guideAlbedo, std::string& error);

}  // namespace hrt
