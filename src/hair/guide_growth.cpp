#include "hair/guide_growth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "hair/face_coords.h"
#include "plugin/worker_pool.h"

namespace crn {

namespace {

struct GrowInputs {
  const GuideSet& g;
  const GenSettings& s;
  const std::vector<V3>* edits;  // null when the edits do not match the guides
  FaceAxes axes;
  int segments;
  float combCos, combSin;
  const float* profile;  // (i / segments)^(3 stiffness + 1) for i = 0 .. segments
};

// Start direction, segment length and gravity weight of vertex k.
void StartOf(const GrowInputs& in, std::size_t k, const V3& x, const V3& n, const V3& t,
             V3& dir, float& h, float& grav) {
  const GenSettings& s = in.s;
  V3 tc = t;
  if (in.g.combAngles.size() == in.g.vertices.size()) {
    const float a = in.g.combAngles[k];
    tc = t * std::cos(a) + Cross(n, t) * std::sin(a);
  }
  const V3 comb = tc * in.combCos + Cross(n, tc) * in.combSin;
  dir = UnitOr(n * s.lift + comb * (1.f - s.lift), V3(0, 0, 1));
  if (s.dirRandom > 0) {
    const float b = 0.618f * float(k);
    const V3 noise(FurNoise3(b, 3.1f, 7.7f), FurNoise3(b + 31.7f, 10.4f, 20.8f),
                   FurNoise3(b - 11.9f, 50.3f, 11.4f));
    dir = UnitOr(dir + noise * s.dirRandom, V3(0, 0, 1));
  }
  h = s.length / float(in.segments);
  if (in.g.lengthFactors.size() == in.g.vertices.size()) h *= in.g.lengthFactors[k];
  grav = std::fabs(s.gravity);

  if (!s.whiskerGuides && !s.browGuides) return;
  const FaceAxes& a = in.axes;
  const float side = Dot(x - s.facePos, a.S) >= 0 ? 1.f : -1.f;
  if (s.whiskerGuides) {
    // Whiskers fan out sideways from the pads, tilted by their height relative to the nose.
    const V3 q = FaceCoords(s, a, x);
    const float nu = FurNoise3(0.37f * float(k), 1.7f, 9.1f);
    const float yNose = s.HasNoseTip() ? s.noseTipY : -0.4f;
    const float tilt =
        0.22f * std::clamp(6.f * (q.y - yNose) + 0.6f, -1.f, 1.f) - 0.16f + 0.08f * nu;
    dir = UnitOr(a.S * (0.9f * side) + a.U * tilt - a.D * (0.12f + 0.1f * nu), V3(0, 0, 1));
    grav = std::clamp(grav, 0.22f, 0.6f);
    const float behind = s.HasNoseTip() ? std::max(s.noseTipZ - q.z, 0.f) : 0.3f;
    h *= std::clamp(2.2f * behind + 0.55f, 0.55f, 1.45f);
  } else {
    const float nu = FurNoise3(0.41f * float(k), 5.3f, 2.2f);
    dir = UnitOr(a.U * 0.62f + a.S * (0.5f * side) - a.D * (0.38f + 0.1f * nu), V3(0, 0, 1));
    grav = 0.15f;
  }
}

void GrowOne(const GrowInputs& in, std::size_t k, V3* out) {
  const GuideSet& g = in.g;
  const V3 x = g.vertices[k];
  const V3 n = k < g.normals.size() ? g.normals[k] : V3(0, 0, 1);
  const V3 t = k < g.tangents.size() ? g.tangents[k] : V3(1, 0, 0);
  V3 s;
  float h, grav;
  StartOf(in, k, x, n, t, s, h, grav);
  const V3 down = in.s.gravity >= 0 ? -in.s.up : in.s.up;

  // The bend grows towards the tip: stiff guides stay straight longer.
  V3 p = x;
  out[0] = x;
  for (int i = 1; i <= in.segments; ++i) {
    const float b = Clamp01(in.profile[i] * grav);
    const V3 d = UnitOr(s + (down - s) * b, s);
    p += d * h;
    out[i] = p;
  }
  if (!in.edits) return;
  // Groom offsets are stored in the vertex frame so they follow the surface.
  const V3 bt = Cross(n, t);
  const V3* e = in.edits->data() + k * std::size_t(in.segments + 1);
  for (int i = 1; i <= in.segments; ++i) out[i] += t * e[i].x + bt * e[i].y + n * e[i].z;
}

}  // namespace

void GrowGuides(GuideSet& g, const std::vector<V3>& groomEdits) {
  const GenSettings& s = g.settings;
  const int segments = std::max(s.segments, 2);
  const int pointCount = segments + 1;
  const std::size_t nv = g.vertices.size();
  g.guidePointCount = pointCount;
  g.guidePoints.resize(nv * std::size_t(pointCount));
  if (nv == 0) return;

  constexpr float kDeg = std::numbers::pi_v<float> / 180.f;
  const float comb = s.combAngle * kDeg;
  // The bend profile is the same for every guide; only its weight differs.
  std::vector<float> profile(static_cast<std::size_t>(pointCount));
  const float expo = 3.f * s.stiffness + 1.f;
  for (int i = 0; i < pointCount; ++i) profile[i] = std::pow(float(i) / float(segments), expo);
  const GrowInputs in{g,
                      s,
                      groomEdits.size() == nv * std::size_t(pointCount) ? &groomEdits : nullptr,
                      MakeFaceAxes(s),
                      segments,
                      std::cos(comb),
                      std::sin(comb),
                      profile.data()};
  V3* points = g.guidePoints.data();
  ParallelFor(
      nv,
      [&](std::uint64_t b, std::uint64_t e) {
        for (std::uint64_t k = b; k < e; ++k) GrowOne(in, k, points + k * pointCount);
      },
      256);
}

}  // namespace crn
