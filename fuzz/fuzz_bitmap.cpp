// Bitmap decoding: the bytes of a PNG or JPEG file, as a bitmap map reads them from a scene's
// image file or from the image a saved scene carries.
#include <cstdint>
#include <vector>

#include "host/texmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::BitmapTex map;
  std::string error;
  if (!map.SetImage("fuzz.img", std::vector<std::uint8_t>(data, data + size), error)) return 0;
  // Sampling reads every corner of the decoded pixels.
  volatile float sum = 0;
  for (float u : {0.f, 0.37f, 0.999f})
    for (float v : {0.f, 0.5f, 0.999f}) sum = sum + map.Sample(u, v).r;
  return 0;
}
