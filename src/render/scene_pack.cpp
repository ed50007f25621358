#include "render/scene_pack.h"

#include <algorithm>

#include "render/bvh_build.h"

namespace crn {

namespace {

void GrowBox(PrimBox& box, const V3& lo, const V3& hi) {
  box.lo = V3(std::min(box.lo.x, lo.x), std::min(box.lo.y, lo.y), std::min(box.lo.z, lo.z));
  box.hi = V3(std::max(box.hi.x, hi.x), std::max(box.hi.y, hi.y), std::max(box.hi.z, hi.z));
}

constexpr PrimBox kEmptyBox{V3(1e30f, 1e30f, 1e30f), V3(-1e30f, -1e30f, -1e30f)};

void PackTriangles(const GatheredScene& g, PackedScene& out, PrimBox& all) {
  const std::size_t n = g.TriangleCount();
  if (n == 0) return;
  std::vector<PrimBox> boxes(n);
  std::vector<V3> centroids(n);
  for (std::size_t i = 0; i < n; ++i) {
    const V3 &a = g.triPositions[3 * i], &b = g.triPositions[3 * i + 1], &c = g.triPositions[3 * i + 2];
    boxes[i].lo = V3(std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}), std::min({a.z, b.z, c.z}));
    boxes[i].hi = V3(std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y}), std::max({a.z, b.z, c.z}));
    centroids[i] = (a + b + c) / 3.f;
    GrowBox(all, boxes[i].lo, boxes[i].hi);
  }
  Bvh bvh;
  BuildBvh(boxes, centroids, bvh);
  out.triNodes = std::move(bvh.nodes);
  const bool normals = g.triNormals.size() == g.triPositions.size();
  const bool colours = g.triColours.size() == n, ids = g.triObjectIds.size() == n;
  out.tris.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t i = bvh.order[k];
    hrt::TriRec& t = out.tris[k];
    t.p0 = g.triPositions[3 * i];
    t.p1 = g.triPositions[3 * i + 1];
    t.p2 = g.triPositions[3 * i + 2];
    if (normals) {
      t.n0 = g.triNormals[3 * i];
      t.n1 = g.triNormals[3 * i + 1];
      t.n2 = g.triNormals[3 * i + 2];
    } else {
      t.n0 = t.n1 = t.n2 = UnitOr(Cross(t.p1 - t.p0, t.p2 - t.p0), V3(0, 0, 1));
    }
    t.colour = colours ? g.triColours[i] : kDefaultTriangleColour;
    t.objectId = ids ? g.triObjectIds[i] : kDefaultObjectId;
  }
}

// Where the segments of one hair instance start in the global segment numbering.
struct InstanceSpan {
  std::size_t firstSeg, strands, points;  // points per strand (> 1)
};

void PackSegments(const GatheredScene& g, PackedScene& out, PrimBox& all) {
  std::vector<InstanceSpan> spans;
  std::size_t total = 0;
  for (const HairInstance& h : g.hair) {
    const std::size_t p = std::size_t(std::max(h.strands.pointsPerStrand, 0));
    const std::size_t strands = p > 1 ? std::min(h.strands.StrandCount(), h.strands.points.size() / p) : 0;
    spans.push_back({total, strands, p});
    total += strands * (p > 1 ? p - 1 : 0);
  }
  if (total == 0) return;
  auto radius = [](const StrandSet& s, std::size_t point) {
    return point < s.widths.size() ? 0.5f * s.widths[point] : 0.f;
  };
  {
    std::vector<PrimBox> boxes(total);
    std::vector<V3> centroids(total);
    for (std::size_t h = 0; h < g.hair.size(); ++h) {
      const StrandSet& s = g.hair[h].strands;
      const InstanceSpan& span = spans[h];
      for (std::size_t j = 0; j < span.strands; ++j)
        for (std::size_t k = 1; k < span.points; ++k) {
          const std::size_t a = j * span.points + k - 1, b = a + 1;
          const std::size_t i = span.firstSeg + j * (span.points - 1) + k - 1;
          const float r = std::max(radius(s, a), radius(s, b));
          const V3 &pa = s.points[a], &pb = s.points[b];
          PrimBox& box = boxes[i];
          box.lo = V3(std::min(pa.x, pb.x) - r, std::min(pa.y, pb.y) - r, std::min(pa.z, pb.z) - r);
          box.hi = V3(std::max(pa.x, pb.x) + r, std::max(pa.y, pb.y) + r, std::max(pa.z, pb.z) + r);
          centroids[i] = (box.lo + box.hi) * 0.5f;
          GrowBox(all, box.lo, box.hi);
        }
    }
    Bvh bvh;
    BuildBvh(boxes, centroids, bvh);
    out.segNodes = std::move(bvh.nodes);
    // The records go straight into BVH order; the boxes are freed first to keep the peak low.
    std::vector<PrimBox>().swap(boxes);
    std::vector<V3>().swap(centroids);
    out.segs.resize(total);
    for (std::size_t k = 0; k < total; ++k) {
      const std::size_t i = bvh.order[k];
      // The last instance starting at or before i (an instance without segments starts
      // where the next one does, so it is never the last such).
      const auto after = std::upper_bound(spans.begin(), spans.end(), i,
                                          [](std::size_t x, const InstanceSpan& sp) { return x < sp.firstSeg; });
      const std::size_t h = std::size_t(after - spans.begin()) - 1;
      const InstanceSpan& span = spans[h];
      const StrandSet& s = g.hair[h].strands;
      const std::size_t local = i - span.firstSeg;
      const std::size_t j = local / (span.points - 1), seg = local % (span.points - 1) + 1;
      const std::size_t a = j * span.points + seg - 1, b = a + 1;
      hrt::SegRec& r = out.segs[k];
      r = hrt::SegRec{};
      r.p0 = s.points[a];
      r.r0 = radius(s, a);
      r.p1 = s.points[b];
      r.r1 = radius(s, b);
      r.rootColour = j < s.rootColour.size() ? s.rootColour[j] : 0xFFFFFFFFu;
      r.tipColour = j < s.tipColour.size() ? s.tipColour[j] : 0xFFFFFFFFu;
      r.v0 = float(seg - 1) / float(span.points - 1);
      r.v1 = float(seg) / float(span.points - 1);
      r.material = std::int32_t(h);
      r.strand = std::int32_t(j);
      r.wetness = s.wet.size() == s.StrandCount() ? s.wet[j] : 0.f;
    }
  }
}

}  // namespace

void PackScene(const GatheredScene& g, PackedScene& out) {
  out = PackedScene{};
  PrimBox all = kEmptyBox;
  PackTriangles(g, out, all);
  for (const HairInstance& h : g.hair) out.materials.push_back(h.material);
  if (out.materials.empty()) out.materials.push_back(hrt::FallbackHairParams());
  PackSegments(g, out, all);
  out.lights = g.lights;
  out.environment = g.environment;
  out.background = g.background;
  out.envIntensity = g.envIntensity;
  const V3 ext = all.hi - all.lo;
  const float largest = all.lo.x > all.hi.x ? 1.f : std::max({ext.x, ext.y, ext.z});
  out.epsilon = std::max(2e-6f * largest, 1e-6f);
}

hrt::DevScene HostSceneRecord(const PackedScene& p) {
  hrt::DevScene d{};
  if (!p.segs.empty()) {
    d.segNodes = p.segNodes.data();
    d.segs = p.segs.data();
    d.segNodeCount = p.segNodes.size();
  }
  if (!p.tris.empty()) {
    d.triNodes = p.triNodes.data();
    d.tris = p.tris.data();
    d.triNodeCount = p.triNodes.size();
  }
  d.materials = p.materials.data();
  d.materialCount = p.materials.size();
  d.lights = p.lights.empty() ? nullptr : p.lights.data();
  d.lightCount = std::int32_t(p.lights.size());
  d.environment = p.environment;
  d.background = p.background;
  d.envIntensity = p.envIntensity;
  d.epsilon = p.epsilon;
  return d;
}

}  // namespace crn
