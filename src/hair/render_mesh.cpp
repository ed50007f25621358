// The render mesh handed to host renderers: camera-facing or surface-lying ribbons, or
// three-sided tubes, one ring of vertices per strand point.
#include <cmath>
#include <numbers>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair/strand_colour.h"
#include "host/inode.h"
#include "plugin/worker_pool.h"

namespace crn {

using namespace host;

namespace {

Point3 ToP(const V3& v) { return {v.x, v.y, v.z}; }
V3 ToV(const Point3& p) { return {p.x, p.y, p.z}; }

V3 UnitOrX(const V3& v) {
  const float l = Length(v);
  return l > 1e-12f ? v / l : V3(1, 0, 0);
}

}  // namespace

Mesh* HairObject::GetRenderMesh(TimeValue t, INode* node, View& view, bool& needDelete) {
  needDelete = true;
  auto* mesh = new Mesh();
  const double fraction = double(pblock2->GetFloat(hp::renderPercent, t)) / 100.0;
  const int mode = pblock2->GetInt(hp::ribbonMode, t);
  std::lock_guard lock(evalLock_);
  const StrandSet& set = BuildRenderStrands(t, fraction);
  const std::size_t n = set.StrandCount();
  const int P = set.pointsPerStrand;
  if (n < 1 || P <= 1) return mesh;

  const Matrix3 M = node ? Inverse(node->GetObjectTM(t)) : Matrix3();
  const V3 camera = ToV(Inverse(view.worldToView).GetTrans());
  const int S = mode == 2 ? 3 : 2;
  const std::size_t V = std::size_t(S) * P;
  const std::size_t F = std::size_t(mode == 2 ? 6 : 2) * (P - 1);
  mesh->verts.resize(n * V);
  mesh->faces.resize(n * F);
  mesh->Map(1);  // creates both channels before references to them are taken
  MapChannel& colours = mesh->Map(0);
  MapChannel& uvw = mesh->Map(1);
  colours.tverts.resize(n * V);
  uvw.tverts.resize(n * V);
  colours.tvFaces.resize(n * F);
  uvw.tvFaces.resize(n * F);

  constexpr float kTwoPi = 2.f * std::numbers::pi_v<float>;
  ParallelFor(n, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t s = begin; s < end; ++s) {
      const V3* p = &set.points[s * P];
      const float* w = &set.widths[s * P];
      const V3 rootN = set.rootNormal[s];
      const std::size_t v0 = s * V;
      for (int j = 0; j < P; ++j) {
        const float tt = float(j) / float(P - 1);
        const float h = w[j] * 0.5f;
        const V3 T = UnitOr(p[std::min(j + 1, P - 1)] - p[std::max(j - 1, 0)], V3(0, 0, 1), 0.f);
        const V3 c = StrandColourAt(set, s, tt);
        const Point3 col(c.x, c.y, c.z);
        if (S == 2) {
          const V3 side = UnitOrX(mode == 1 ? Cross(T, rootN) : Cross(T, camera - p[j]));
          const std::size_t a = v0 + 2 * j;
          mesh->verts[a] = M.PointTransform(ToP(p[j] - side * h));
          mesh->verts[a + 1] = M.PointTransform(ToP(p[j] + side * h));
          uvw.tverts[a] = Point3(0, tt, 0);
          uvw.tverts[a + 1] = Point3(1, tt, 0);
          colours.tverts[a] = colours.tverts[a + 1] = col;
        } else {
          V3 a = Cross(T, rootN);
          if (LengthSq(a) < 1e-12f) a = Cross(T, V3(0, 0, 1));
          a = UnitOrX(a);
          const V3 b = Cross(T, a);
          for (int k = 0; k < 3; ++k) {
            const float ang = kTwoPi * float(k) / 3.f;
            const std::size_t idx = v0 + 3 * j + k;
            mesh->verts[idx] =
                M.PointTransform(ToP(p[j] + (b * std::sin(ang) + a * std::cos(ang)) * h));
            uvw.tverts[idx] = Point3(float(k) / 3.f, tt, 0);
            colours.tverts[idx] = col;
          }
        }
      }
      // Quads between consecutive rings, split along an invisible diagonal.
      std::size_t f = s * F;
      auto quad = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        for (const std::array<std::uint32_t, 3>& tri :
             {std::array<std::uint32_t, 3>{a, b, c}, std::array<std::uint32_t, 3>{c, d, a}}) {
          Face& face = mesh->faces[f];
          face.v = tri;
          face.setEdgeVisFlags(true, true, false);
          colours.tvFaces[f] = tri;
          uvw.tvFaces[f] = tri;
          ++f;
        }
      };
      for (int j = 0; j + 1 < P; ++j) {
        const auto r0 = std::uint32_t(v0 + std::size_t(S) * j);
        const auto r1 = std::uint32_t(v0 + std::size_t(S) * (j + 1));
        if (S == 2) {
          quad(r0, r0 + 1, r1 + 1, r1);
        } else {
          for (std::uint32_t k = 0; k < 3; ++k) {
            const std::uint32_t k1 = (k + 1) % 3;
            quad(r0 + k, r0 + k1, r1 + k1, r1 + k);
          }
        }
      }
    }
  }, 2048);
  return mesh;
}

}  // namespace crn
