// Particle files in the PRT format, as a particle system fed by a file sequence reads them.
#include <cstdint>
#include <string>

#include "scene/prt_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::ParticleFrame frame;
  std::string error;
  if (!crn::scene::ReadPrtBytes(data, size, frame, error)) return 0;
  // Touch every particle read.
  volatile float sum = 0;
  for (const auto& p : frame.positions) sum = sum + p.x + p.y + p.z;
  for (const auto& v : frame.velocities) sum = sum + v.x;
  return 0;
}
