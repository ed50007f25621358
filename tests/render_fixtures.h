#pragma once
// Small scenes for the renderer's tests: hand-made triangles, hair segments and lights packed
// with their BVHs, gathered scenes of straight strands, and cameras.
#include <vector>

#include "render/bvh_build.h"
#include "render/render_context.h"
#include "render/scene_gather.h"
#include "render/scene_pack.h"

namespace fixtures {

using crn::V3;

// A packed scene built from records in any order (the BVHs reorder them).
inline crn::PackedScene PackRecords(std::vector<hrt::TriRec> tris, std::vector<hrt::SegRec> segs,
                                    std::vector<hrt::LightRec> lights,
                                    std::vector<hrt::HairShadeParams> materials = {hrt::FallbackHairParams()}) {
  crn::PackedScene p;
  auto build = [](const std::vector<crn::PrimBox>& boxes, crn::Bvh& bvh) {
    std::vector<V3> c;
    for (const crn::PrimBox& b : boxes) c.push_back((b.lo + b.hi) * 0.5f);
    crn::BuildBvh(boxes, c, bvh, 1);
  };
  std::vector<crn::PrimBox> boxes;
  for (const hrt::TriRec& t : tris)
    boxes.push_back({V3(std::min({t.p0.x, t.p1.x, t.p2.x}), std::min({t.p0.y, t.p1.y, t.p2.y}),
                        std::min({t.p0.z, t.p1.z, t.p2.z})),
                     V3(std::max({t.p0.x, t.p1.x, t.p2.x}), std::max({t.p0.y, t.p1.y, t.p2.y}),
                        std::max({t.p0.z, t.p1.z, t.p2.z}))});
  crn::Bvh bvh;
  build(boxes, bvh);
  p.triNodes = bvh.nodes;
  for (std::uint32_t i : bvh.order) p.tris.push_back(tris[i]);
  boxes.clear();
  for (const hrt::SegRec& s : segs) {
    const float r = std::max(s.r0, s.r1);
    boxes.push_back({V3(std::min(s.p0.x, s.p1.x) - r, std::min(s.p0.y, s.p1.y) - r, std::min(s.p0.z, s.p1.z) - r),
                     V3(std::max(s.p0.x, s.p1.x) + r, std::max(s.p0.y, s.p1.y) + r, std::max(s.p0.z, s.p1.z) + r)});
  }
  build(boxes, bvh);
  p.segNodes = bvh.nodes;
  for (std::uint32_t i : bvh.order) p.segs.push_back(segs[i]);
  p.lights = std::move(lights);
  p.materials = std::move(materials);
  p.epsilon = 1e-4f;
  return p;
}

inline hrt::SegRec Segment(const V3& a, const V3& b, float radius, float v0 = 0, float v1 = 1,
                           std::uint32_t colour = 0xFF808080u, int strand = 0) {
  hrt::SegRec s{};
  s.p0 = a;
  s.p1 = b;
  s.r0 = s.r1 = radius;
  s.rootColour = s.tipColour = colour;
  s.v0 = v0;
  s.v1 = v1;
  s.strand = strand;
  return s;
}

// A square facing +Z at height z, two triangles.
inline std::vector<hrt::TriRec> Square(float half, float z, const V3& colour, int objectId = 1000) {
  auto tri = [&](const V3& a, const V3& b, const V3& c) {
    hrt::TriRec t{};
    t.p0 = a, t.p1 = b, t.p2 = c;
    t.n0 = t.n1 = t.n2 = V3(0, 0, 1);
    t.colour = colour;
    t.objectId = objectId;
    return t;
  };
  const V3 a(-half, -half, z), b(half, -half, z), c(half, half, z), d(-half, half, z);
  return {tri(a, b, c), tri(a, c, d)};
}

inline hrt::LightRec Directional(const V3& travel, const V3& colour, bool shadows = true) {
  hrt::LightRec l{};
  l.type = hrt::kDirectionalLight;
  l.direction = crn::UnitOr(travel, V3(0, 0, -1));
  l.colour = colour;
  l.castShadows = shadows;
  return l;
}

// A camera above the origin looking down -Z with Y up; ortho > 0 makes it orthographic.
inline hrt::Camera LookDown(float height, float fov, float ortho = 0) {
  return crn::MakeCamera(V3(1, 0, 0), V3(0, 1, 0), V3(0, 0, 1), V3(0, 0, height), fov, ortho);
}

// A hair instance of straight strands along +Z from the given roots.
inline crn::HairInstance StraightStrands(const std::vector<V3>& roots, int points, float length,
                                         float width, std::uint32_t root = 0xFF402010u,
                                         std::uint32_t tip = 0xFFC08040u) {
  crn::HairInstance h;
  h.material = hrt::FallbackHairParams();
  h.strands.pointsPerStrand = points;
  for (std::size_t s = 0; s < roots.size(); ++s) {
    for (int k = 0; k < points; ++k) {
      const float t = points > 1 ? float(k) / float(points - 1) : 0.f;
      h.strands.points.push_back(roots[s] + V3(0, 0, length * t));
      h.strands.widths.push_back(width);
    }
    h.strands.rootColour.push_back(root);
    h.strands.tipColour.push_back(tip);
    h.strands.strandId.push_back(std::uint32_t(s));
    h.strands.triIndex.push_back(0);
  }
  return h;
}

}  // namespace fixtures
