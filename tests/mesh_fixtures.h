#pragma once
// Small meshes and surfaces shared by the generation tests.
#include <gtest/gtest.h>

#include <string>

#include "hair/gen_settings.h"
#include "hair/gen_types.h"
#include "hair/surface.h"
#include "hair/surface_geometry.h"
#include "host/mesh.h"
#include "plugin/worker_pool.h"
#include "scene/mesh_import.h"

namespace fixtures {

inline host::Mesh Primitive(const char* kind, float radius, int segments, float height = 100) {
  crn::scene::PrimitiveShape shape;
  shape.kind = kind;
  shape.radius = radius;
  shape.height = height;
  shape.segments = segments;
  host::Mesh m;
  std::string error;
  EXPECT_TRUE(crn::scene::MakePrimitive(shape, m, error)) << error;
  return m;
}

// Appends src moved by offset (faces re-indexed, no map channels).
inline void Append(host::Mesh& dst, const host::Mesh& src, const host::Point3& offset) {
  const std::uint32_t base = std::uint32_t(dst.verts.size());
  for (const host::Point3& p : src.verts) dst.verts.push_back(p + offset);
  for (host::Face f : src.faces) {
    for (auto& v : f.v) v += base;
    dst.faces.push_back(f);
  }
}

// The world-space surface of a mesh placed at the origin, with default settings.
inline crn::GuideSet Surface(const host::Mesh& m) {
  crn::GuideSet g;
  g.settings = crn::DefaultGenSettings();
  EXPECT_TRUE(crn::ExtractSurface(m, host::Matrix3(), g));
  return g;
}

// Runs f where every ParallelFor it issues runs serially (inside another pool's job).
template <class F>
void RunSerially(F&& f) {
  crn::WorkerPool pool(2);
  pool.ParallelFor(2, [&](std::uint64_t b, std::uint64_t e) {
    for (std::uint64_t i = b; i < e; ++i)
      if (i == 0) f();
  }, 1);
}

}  // namespace fixtures
