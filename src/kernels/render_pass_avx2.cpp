// The CPU twin's pass for processors with AVX2. The build compiles this file alone with -mavx2
// (on x86-64); render_kernels.cpp calls it only where the processor has AVX2. Everything it
// calls is inlined into it (flatten), so this unit leaves no out-of-line AVX2 copy of a shared
// inline function that a baseline unit could end up calling.
#include "kernels/pass_tiles.h"

#if defined(__x86_64__) && defined(__AVX2__)
namespace hrt {

__attribute__((flatten)) std::uint64_t PassTilesAvx2(std::size_t begin, std::size_t end, const DevScene& scene,
                                                     const Camera& cam, int width, int height, int pass,
                                                     const PassBuffers& buffers, const WideScene* wide) {
  return PassTiles(begin, end, scene, cam, width, height, pass, buffers, wide);
}

}  // namespace hrt
#endif
