#pragma once
// Per-pixel formulas of the image output kernels, shared by the CUDA kernels and their CPU
// twins (kernels/image_kernels.h) so each formula has one source.
#include <cmath>
#include <cstdint>

#include "kernels/f4.h"
#include "kernels/hd.h"

namespace hrt {

// Average of an accumulation pixel (rgb = sum of samples, w = sample count): colour divided by
// the count, black when the count is not positive (NaN included), alpha 1.
CRN_HD inline F4 AveragePixel(const F4& sum) {
  if (!(sum.w > 0.f)) return F4{0.f, 0.f, 0.f, 1.f};
  return F4{sum.x / sum.w, sum.y / sum.w, sum.z / sum.w, 1.f};
}

// One display byte of a linear channel x at exposure e: soft shoulder y/(1 + y/4), clamp to
// [0, 1], gamma 1/2.2 and rounding to 0..255.
CRN_HD inline std::uint32_t DisplayByte(float x, float exposure) {
  float y = x * exposure;
  // From 2 up the shoulder is above 1 and clamps to white anyway; testing first keeps
  // infinity white instead of inf/inf = NaN.
  y = y >= 2.f ? 1.f : y / (1.f + 0.25f * y);
  // Written so that NaN falls to 0 instead of reaching the integer conversion.
  y = y > 0.f ? (y < 1.f ? y : 1.f) : 0.f;
  return static_cast<std::uint32_t>(powf(y, 0.4545f) * 255.f + 0.5f);
}

// A pixel's display word: opaque BGRA in memory, 0xFF000000 | R << 16 | G << 8 | B.
CRN_HD inline std::uint32_t BGRAPixel(const F4& colour, float exposure) {
  return 0xFF000000u | DisplayByte(colour.x, exposure) << 16 | DisplayByte(colour.y, exposure) << 8 |
         DisplayByte(colour.z, exposure);
}

}  // namespace hrt
