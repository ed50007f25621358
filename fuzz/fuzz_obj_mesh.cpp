// OBJ import: the text of a mesh file named by a scene.
#include <cstdint>
#include <string>

#include "host/mesh.h"
#include "scene/mesh_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::Mesh mesh;
  std::string error;
  crn::scene::LoadObjText(std::string(reinterpret_cast<const char*>(data), size), "fuzz.obj", mesh,
                          error);
  return 0;
}
