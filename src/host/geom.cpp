#include "host/geom.h"

#include <algorithm>

namespace host {

void Matrix3::IdentityMatrix() {
  rows_[0] = {1, 0, 0};
  rows_[1] = {0, 1, 0};
  rows_[2] = {0, 0, 1};
  rows_[3] = {0, 0, 0};
}

bool Matrix3::IsIdentity() const { return *this == Matrix3(); }

Point3 Matrix3::PointTransform(const Point3& p) const {
  return rows_[0] * p.x + rows_[1] * p.y + rows_[2] * p.z + rows_[3];
}

Point3 Matrix3::VectorTransform(const Point3& v) const {
  return rows_[0] * v.x + rows_[1] * v.y + rows_[2] * v.z;
}

Matrix3 operator*(const Matrix3& a, const Matrix3& b) {
  Matrix3 r;
  for (int i = 0; i < 3; ++i) r.SetRow(i, b.VectorTransform(a.GetRow(i)));
  r.SetTrans(b.PointTransform(a.GetTrans()));
  return r;
}

Matrix3 Inverse(const Matrix3& m) {
  const Point3 a = m.GetRow(0), b = m.GetRow(1), c = m.GetRow(2);
  const float det = DotProd(a, CrossProd(b, c));
  Matrix3 r;
  if (det == 0) return r;
  const float inv = 1.0f / det;
  // Rows of the inverse of a row-vector 3x3 matrix.
  const Point3 bc = CrossProd(b, c), ca = CrossProd(c, a), ab = CrossProd(a, b);
  r.SetRow(0, Point3(bc.x, ca.x, ab.x) * inv);
  r.SetRow(1, Point3(bc.y, ca.y, ab.y) * inv);
  r.SetRow(2, Point3(bc.z, ca.z, ab.z) * inv);
  r.SetTrans(-r.VectorTransform(m.GetTrans()));
  return r;
}

Matrix3 ScaleMatrix(const Point3& s) {
  Matrix3 m;
  m.SetRow(0, {s.x, 0, 0});
  m.SetRow(1, {0, s.y, 0});
  m.SetRow(2, {0, 0, s.z});
  return m;
}

Matrix3 TransMatrix(const Point3& t) {
  Matrix3 m;
  m.SetTrans(t);
  return m;
}

Matrix3 RotateXMatrix(float a) {
  const float c = std::cos(a), s = std::sin(a);
  Matrix3 m;
  m.SetRow(1, {0, c, s});
  m.SetRow(2, {0, -s, c});
  return m;
}

Matrix3 RotateYMatrix(float a) {
  const float c = std::cos(a), s = std::sin(a);
  Matrix3 m;
  m.SetRow(0, {c, 0, -s});
  m.SetRow(2, {s, 0, c});
  return m;
}

Matrix3 RotateZMatrix(float a) {
  const float c = std::cos(a), s = std::sin(a);
  Matrix3 m;
  m.SetRow(0, {c, s, 0});
  m.SetRow(1, {-s, c, 0});
  return m;
}

Box3& Box3::operator+=(const Point3& p) {
  pmin = {std::min(pmin.x, p.x), std::min(pmin.y, p.y), std::min(pmin.z, p.z)};
  pmax = {std::max(pmax.x, p.x), std::max(pmax.y, p.y), std::max(pmax.z, p.z)};
  return *this;
}

Box3& Box3::operator+=(const Box3& b) {
  if (!b.IsEmpty()) {
    *this += b.pmin;
    *this += b.pmax;
  }
  return *this;
}

}  // namespace host
