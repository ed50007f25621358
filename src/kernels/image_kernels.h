#pragma once
// The image output kernels: averaging the beauty accumulation (kAverage) and turning an RGBA
// float image into display words (kToBGRA). Each has a CPU twin over a pixel range, which
// callers parallelise, and a GPU launcher; both evaluate kernels/image_pixel.h.
//
// Agreement: the averages are bit-identical on both sides for every result that is not NaN;
// the display words may differ by one step in a colour byte (the device's powf differs from
// the C library's by a few ulps), never in alpha.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernels/f4.h"
#include "kernels/gpu_runtime.h"

namespace hrt {

// CPU twins: pixels [begin, end) of the arrays.
void AverageRange(std::size_t begin, std::size_t end, const F4* sums, F4* out);
void ToBGRARange(std::size_t begin, std::size_t end, const F4* image, float exposure,
                 std::uint32_t* out);

// GPU launchers over the first `pixels` elements, 256 threads per block on the default
// stream. They return once the launch is queued; a later download waits for the kernel and
// reports its faults. Fail with the error text when a buffer holds fewer than `pixels`
// elements, the launch fails, or there is no device.
bool AverageOnGpu(const crn::gpu::DeviceBuffer<F4>& sums, crn::gpu::DeviceBuffer<F4>& out,
                  std::size_t pixels, std::string& error);
bool ToBGRAOnGpu(const crn::gpu::DeviceBuffer<F4>& image, float exposure,
                 crn::gpu::DeviceBuffer<std::uint32_t>& out, std::size_t pixels, std::string& error);

}  // namespace hrt
