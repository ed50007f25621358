// Saved scenes: the bytes of a scene written by `save`, loaded as `crinel info` loads them,
// then listed, saved and reloaded.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::Interface& ip = fuzz::Session();
  std::string error;
  std::vector<std::string> warnings;
  if (crn::scene::LoadSceneBytes(std::vector<std::uint8_t>(data, data + size), "fuzz.crn", ip,
                                 error, &warnings))
    fuzz::ExerciseLoadedScene(ip, "fuzz.crn");
  ip.ResetScene();
  return 0;
}
