#pragma once
// Shapes: objects made of 3D curves (splines). A shape has no surface and cannot become a
// triangle mesh.
#include <vector>

#include "host/object.h"

namespace host {

class ShapeObject : public Object {
 public:
  SClass_ID SuperClassID() const override { return SHAPE_CLASS_ID; }
  bool CanConvertToType(const Class_ID&) const override { return false; }
  virtual int NumberOfCurves() const = 0;
  // The point at param (0 = start, 1 = end; clamped) along curve `curve` at t, in object
  // space. param runs uniformly over the curve's segments (by parameter, not by length).
  virtual Point3 InterpCurve3D(TimeValue t, int curve, float param) const = 0;
};

// One knot of a spline: its position and, for Bezier splines, the handles that shape the
// segments entering (in) and leaving (out) it.
struct SplineKnot {
  Point3 p, in, out;
  bool operator==(const SplineKnot&) const = default;
};

// A polyline (straight segments between knots) or a cubic Bezier spline: the segment from
// knot a to knot b has the control points a.p, a.out, b.in, b.p. A closed spline has one more
// segment, from the last knot back to the first.
struct Spline3D {
  enum Kind : int { Polyline = 0, Bezier = 1 };
  Kind kind = Polyline;
  bool closed = false;
  std::vector<SplineKnot> knots;

  int Segments() const;
  // The point at param in [0, 1] (clamped): segment floor(param * Segments()), then the
  // fraction within it. A spline with one knot is that point; one without knots, the origin.
  Point3 Interp(float param) const;
  bool operator==(const Spline3D&) const = default;
};

// The host's editable spline shape: any number of splines.
class SplineShape : public ShapeObject {
 public:
  Class_ID ClassID() const override { return splineShapeClassID; }
  std::string GetObjectName() const override { return "Editable Spline"; }
  int NumberOfCurves() const override { return int(splines.size()); }
  Point3 InterpCurve3D(TimeValue, int curve, float param) const override;
  ReferenceTarget* Clone(RemapDir&) override {
    auto* copy = new SplineShape();
    copy->splines = splines;
    return copy;
  }
  void RescaleWorldUnits(float f) override {
    if (TestAFlag(A_WORK1)) return;
    SetAFlag(A_WORK1);
    for (Spline3D& sp : splines)
      for (SplineKnot& k : sp.knots) {
        k.p *= f;
        k.in *= f;
        k.out *= f;
      }
  }

  std::vector<Spline3D> splines;
};

}  // namespace host
