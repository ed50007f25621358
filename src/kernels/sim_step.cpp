#include <vector>

#include "kernels/sim_step.h"
#include "kernels/sim_step_kernel.h"

namespace hsim {

void StepRange(std::uint64_t begin, std::uint64_t end, const StepArgs& a) {
  const std::size_t P = std::size_t(a.P);
  std::vector<F3> scratch(2 * P);
  std::vector<float> bend(P);
  const bool shadow = a.S && a.shadowCount == std::size_t(a.N) * P;
  for (std::uint64_t g = begin; g < end; ++g) {
    const std::size_t o = g * P;
    StepGuide(a.P, a.x + o, a.v + o, a.A + o, a.B + o, a.L + o, a.E ? a.E + o : nullptr,
              a.winds, a.grid, a.params, shadow ? a.S + o : nullptr, scratch.data(), bend.data());
  }
}

#if !defined(CRINEL_WITH_CUDA)
// Without CUDA the step only reports that there is no device.
bool StepOnGpu(GpuStepBuffers&, const StepArgs&, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
#endif

}  // namespace hsim
