#pragma once
// The render benchmarks' scene: a ball of radius 10 with `strands` hair strands (10 segments,
// length 3) on a floor, a camera framing it and a key light, rendered through the renderer
// class.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/interface.h"
#include "render/hair_renderer.h"
#include "scene/scene_file.h"

namespace bench {

// Loads the scene into the host; false (with a message on stderr) when it does not load.
inline bool LoadRenderScene(int strands) {
  char json[4096];
  std::snprintf(json, sizeof json, R"({"units": "cm", "background": [0.25, 0.27, 0.3], "nodes": [
    {"name": "floor", "mesh": {"primitive": "plane", "width": 80, "length": 80}, "transform": {"position": [0, 0, -13]},
     "material": {"diffuse": [0.5, 0.5, 0.5]}},
    {"name": "ball", "mesh": {"primitive": "sphere", "radius": 10, "segments": 48}},
    {"name": "fur", "object": "Crinel", "params": {"surface": "ball", "count": %d, "length": 3, "segments": 10,
     "clumpAmount": 0.3, "rootColor": [0.35, 0.2, 0.1], "tipColor": [0.7, 0.5, 0.3]},
     "material": {"class": "CrinelMaterial", "params": {"melanin": 0.4}}},
    {"name": "cam", "camera": {"fov": 40}, "transform": {"position": [0, -55, 18], "lookAt": [0, 0, -2]}},
    {"name": "key", "light": {"type": "directional", "intensity": 1.2},
     "transform": {"position": [30, -30, 40], "lookAt": [0, 0, 0]}},
    {"name": "fill", "light": {"type": "directional", "intensity": 0.4, "color": [0.7, 0.8, 1], "shadows": false},
     "transform": {"position": [-40, -10, 10], "lookAt": [0, 0, 0]}}]})",
                strands);
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "crinel_bench_render.json";
  std::ofstream(path) << json;
  const auto r = crn::scene::LoadAnyScene(path.string(), *host::GetCOREInterface());
  std::filesystem::remove(path);
  if (!r.ok) std::fprintf(stderr, "%s\n", r.error.c_str());
  return r.ok;
}

// Renders the loaded scene through its camera at width x height with `passes` passes.
inline bool RenderScene(crn::RenderDevice device, int width, int height, int passes, host::Bitmap& bitmap,
                        std::string& error) {
  host::Interface& ip = *host::GetCOREInterface();
  crn::ResetRenderSettings();
  crn::RenderSettings& s = crn::GetRenderSettings();
  s.passes = passes;
  s.saveLayers = 0;
  crn::HairRenderer renderer;
  renderer.SetDevice(device);
  host::RendParams rp;
  rp.width = width;
  rp.height = height;
  renderer.Open(nullptr, ip.GetINodeByName("cam"), nullptr, rp, nullptr);
  host::FrameRendParams frp;
  const bool ok = renderer.Render(0, &bitmap, frp, nullptr, nullptr, nullptr) == 1;
  if (!ok && renderer.Context()) error = renderer.Context()->Error();
  return ok;
}

}  // namespace bench
