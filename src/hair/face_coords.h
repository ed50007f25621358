#pragma once
// Face coordinates around the face helper, shared by root placement, strand shape and
// colour: side, up and forward in units of the face size.
#include <cmath>

#include "hair/gen_types.h"

namespace crn {

struct FaceAxes {
  V3 D, S, U;  // forward, side, up
};

inline FaceAxes MakeFaceAxes(const GenSettings& s) {
  FaceAxes a;
  a.D = UnitOr(s.faceDir, V3(0, 0, 1));
  const V3 side(-a.D.y, a.D.x, 0);
  a.S = Length(side) < 1e-3f ? V3(0, 1, 0) : side / Length(side);
  a.U = Cross(a.D, a.S);
  return a;
}

// q = (side, up, forward) of p relative to the face helper.
inline V3 FaceCoords(const GenSettings& s, const FaceAxes& a, const V3& p) {
  const V3 d = (p - s.facePos) / std::fmax(s.faceSize, 1e-6f);
  return {Dot(d, a.S), Dot(d, a.U), Dot(d, a.D)};
}
inline V3 FaceCoords(const GenSettings& s, const V3& p) { return FaceCoords(s, MakeFaceAxes(s), p); }

inline float FaceRadial(const V3& q) { return std::sqrt(q.x * q.x + q.y * q.y); }
inline bool InsideFace(const V3& q) { return q.z > -1.2f && FaceRadial(q) < 1.1f; }

// Weight of the ruff, a collar behind and below the face (0 unless ruffLength > 1.001).
inline float RuffWeight(const GenSettings& s, const V3& q) {
  if (!(s.ruffLength > 1.001f)) return 0.f;
  const float ax = std::fabs(q.x);
  const float a = Smooth(Clamp01((ax - 0.6f) / -0.4f)) * Smooth(Clamp01((q.y + 0.1f) / -0.45f));
  const float b = Smooth(Clamp01((ax - 0.35f) / 0.4f)) * Smooth(Clamp01((q.y - 0.45f) / -0.55f));
  const float rho = FaceRadial(q);
  const float h = std::sqrt((q.z + 0.4f) * (q.z + 0.4f) + rho * rho);
  return Smooth(Clamp01((q.y + 1.f) / 0.4f)) * Smooth(Clamp01((h - 1.15f) / -0.35f)) *
         std::fmin(std::fmax(a, b), 1.f);
}

}  // namespace crn
