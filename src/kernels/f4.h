#pragma once
// Four floats on a 16-byte boundary: the pixel record of the renderer's image buffers (rgb and
// a sample count, normal and depth, albedo and coverage), laid out like CUDA's float4 so that
// a device thread reads or writes one pixel with a single 128-bit access.
#include "kernels/hd.h"

namespace hrt {

struct alignas(16) F4 {
  float x = 0, y = 0, z = 0, w = 0;
};
static_assert(sizeof(F4) == 16, "F4 is four packed floats");
static_assert(alignof(F4) == 16, "F4 is 16-byte aligned like float4");

}  // namespace hrt
