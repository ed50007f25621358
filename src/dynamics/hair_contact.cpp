#include "dynamics/hair_contact.h"

#include <algorithm>
#include <cmath>

#include "dynamics/cell_hash.h"
#include "dynamics/sim_params.h"
#include "hair/hair_params.h"

namespace crn {

float HairRadius(const GenSettings& s, float hairThick, const std::vector<V3>& positions, int P) {
  float r0 = 0.5f * s.length / float(std::max(s.segments, 1));
  const std::size_t N = P > 0 ? positions.size() / std::size_t(P) : 0;
  if (N > 8) {
    V3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (std::size_t g = 0; g < N; ++g) {
      const V3& p = positions[g * std::size_t(P) + std::size_t(P - 1)];
      lo = V3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
      hi = V3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    const V3 d = hi - lo;
    const double A = 2.0 * (double(d.x) * d.y + double(d.y) * d.z + double(d.z) * d.x) / double(N);
    r0 = std::max(r0, float(0.6 * std::sqrt(std::max(A, 0.0))));
  }
  return std::max(1e-4f, hairThick * r0);
}

void AddHairHairPush(const SimState& own, const void* surface, const std::vector<V3>& positions,
                     int P, int frame, float frameTime, std::vector<V3>& E) {
  std::vector<V3> points;
  std::vector<float> radii;
  float g = 0;
  for (auto& [id, h] : SimRegistry::Get().All()) {
    if (h == &own || !h->owner) continue;
    host::IParamBlock2* pb = ParamsOf(*h->owner);
    if (!pb || static_cast<const void*>(pb->GetINode(hp::surface)) == surface) continue;
    const std::vector<V3>* src = nullptr;
    int hp = 0;
    if (h->liveSolver && !h->liveSolver->x.empty()) {
      src = &h->liveSolver->x;
      hp = h->liveSolver->P;
    } else if (auto it = h->frames.find(frame); it != h->frames.end()) {
      src = &it->second;
      hp = h->pointsPerGuide;
    }
    if (!src || hp <= 1) continue;
    for (std::size_t j = 0; j < src->size(); ++j) {
      if (j % std::size_t(hp) == 0) continue;
      points.push_back((*src)[j]);
      radii.push_back(h->hairRadius);
    }
    g = std::max(g, h->hairRadius);
  }
  if (points.empty() || P < 1) return;
  const float cell = std::max(1e-4f, g + own.hairRadius);
  CellBuckets buckets;
  buckets.Build(points, cell);
  const float inv = 1.f / std::max(frameTime * frameTime, 1e-4f);
  for (std::size_t i = 0; i < positions.size() && i < E.size(); ++i) {
    if (i % std::size_t(P) == 0) continue;
    const V3& p = positions[i];
    const CellCoord c = CellOf(p, cell);
    V3 push(0, 0, 0);
    for (int dz = -1; dz <= 1; ++dz)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          for (std::int32_t j : buckets.Items(CellKey64(c.x + dx, c.y + dy, c.z + dz))) {
            const V3 d = p - points[std::size_t(j)];
            const float d2 = LengthSq(d);
            const float R = own.hairRadius + radii[std::size_t(j)];
            if (d2 < R * R && d2 >= 1e-12f) {
              const float delta = std::sqrt(d2);
              push += d * ((R - delta) / delta);
            }
          }
    E[i] += push * inv;
  }
}

}  // namespace crn
