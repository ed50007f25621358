// JSON scenes: the text of a scene file, loaded as `crinel info` loads it (as a file of the
// scratch folder, so the meshes, sequences and images it names come from there), then listed,
// saved and reloaded.
#include <cstdint>
#include <string>

#include "fuzz_common.h"
#include "scene/scene_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::Interface& ip = fuzz::Session();
  const auto r = crn::scene::LoadJsonSceneText(
      std::string(reinterpret_cast<const char*>(data), size), fuzz::Scratch() + "fuzz.json", ip);
  if (r.ok) fuzz::ExerciseLoadedScene(ip, "fuzz.json");
  ip.ResetScene();
  return 0;
}
