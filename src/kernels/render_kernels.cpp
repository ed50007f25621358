#include "kernels/render_kernels.h"

#include <algorithm>

#include "kernels/denoise_pixel.h"
#include "kernels/gpu_runtime.h"
#include "kernels/pass_tiles.h"
#include "kernels/path_trace.h"

namespace hrt {

std::uint64_t PassTileRange(std::size_t begin, std::size_t end, const DevScene& scene,
                            const Camera& cam, int width, int height, int pass,
                            const PassBuffers& buffers, const WideScene* wide) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return PassTilesAvx2(begin, end, scene, cam, width, height, pass, buffers, wide);
#endif
  return PassTiles(begin, end, scene, cam, width, height, pass, buffers, wide);
}

void DenoisePrepRange(std::size_t begin, std::size_t end, const F4* beauty, const F4* normalDepth,
                      const F4* albedoCoverage, float invPasses, F4* colour, F4* guideNormalDepth,
                      F4* guideAlbedo) {
  for (std::size_t i = begin; i < end; ++i)
    DenoisePrepPixel(beauty[i], normalDepth[i], albedoCoverage[i], invPasses, colour[i],
                     guideNormalDepth[i], guideAlbedo[i]);
}

void DenoisePassRange(std::size_t begin, std::size_t end, int width, int height, int step,
                      const F4* in, const F4* guideNormalDepth, const F4* guideAlbedo, F4* out) {
  for (std::size_t i = begin; i < end; ++i)
    out[i] = DenoisePassPixel(int(i % std::size_t(width)), int(i / std::size_t(width)), width,
                              height, step, in, guideNormalDepth, guideAlbedo);
}

void DenoiseFinishRange(std::size_t begin, std::size_t end, F4* colour, const F4* guideAlbedo) {
  for (std::size_t i = begin; i < end; ++i) colour[i] = DenoiseFinishPixel(colour[i], guideAlbedo[i]);
}

#if !defined(CRINEL_WITH_CUDA)
// Without CUDA the launchers only report that there is no device.
bool PassOnGpu(const DevScene&, const Camera&, int, int, int, const PassBuffers&,
               unsigned long long*, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
bool DenoisePrepOnGpu(int, int, const F4*, const F4*, const F4*, float, F4*, F4*, F4*,
                      std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
bool DenoisePassOnGpu(int, int, int, const F4*, const F4*, const F4*, F4*, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
bool DenoiseFinishOnGpu(int, int, F4*, const F4*, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
#endif

}  // namespace hrt
