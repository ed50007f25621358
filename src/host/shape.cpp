#include "host/shape.h"

#include <cmath>

namespace host {

int Spline3D::Segments() const {
  const int n = int(knots.size());
  if (n < 2) return 0;
  return closed ? n : n - 1;
}

Point3 Spline3D::Interp(float param) const {
  if (knots.empty()) return Point3();
  const int segs = Segments();
  if (segs == 0) return knots.front().p;
  if (!(param > 0.f)) param = 0.f;  // NaN takes the start
  if (param > 1.f) param = 1.f;
  const float s = param * float(segs);
  int seg = int(s);
  if (seg >= segs) seg = segs - 1;
  const float f = s - float(seg);
  const SplineKnot& a = knots[seg];
  const SplineKnot& b = knots[(seg + 1) % knots.size()];
  if (kind == Polyline) return a.p + (b.p - a.p) * f;
  const float g = 1.f - f;
  return a.p * (g * g * g) + a.out * (3.f * g * g * f) + b.in * (3.f * g * f * f) +
         b.p * (f * f * f);
}

Point3 SplineShape::InterpCurve3D(TimeValue, int curve, float param) const {
  if (curve < 0 || curve >= int(splines.size())) return Point3();
  return splines[curve].Interp(param);
}

}  // namespace host
