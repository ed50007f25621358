#pragma once
// A software drawing of a viewport: what the viewport shows, rasterised into an RGBA image.
#include <cstdint>
#include <string>
#include <vector>

#include "host/interface.h"
#include "scene/viewport_items.h"

namespace crn::scene {

struct RgbaImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // RGBA, rows top to bottom
};

// Background and mesh shades of the drawing (grey levels).
constexpr std::uint8_t kViewBackground = 58;

// Grey level of a mesh face whose unit normal in view space is n: by how squarely it faces
// the viewer.
inline std::uint8_t FaceGrey(float normalZ) {
  return std::uint8_t(80 + 150 * (normalZ < 0 ? -normalZ : normalZ));
}

// Draws viewport vpt at t: the pre-scene display callbacks, the meshes of visible nodes
// (flat-shaded grey with a z-buffer, or grey wireframes when the graphics window's render
// limits hold GW_WIREFRAME), the render items of objects that have them (depth-tested
// against the meshes), then the other display callbacks. With items, the nodes' render items
// are kept there between drawings; without, they are asked of the objects afresh.
RgbaImage DrawViewport(host::Interface& ip, host::ViewExp& vpt, host::TimeValue t,
                       ViewportItemCache* items = nullptr);

}  // namespace crn::scene
