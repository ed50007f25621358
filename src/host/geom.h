#pragma once
// Host geometry: points, colours, affine matrices and boxes.
#include <cmath>

namespace host {

struct Point3 {
  float x = 0, y = 0, z = 0;
  constexpr Point3() = default;
  constexpr Point3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  Point3 operator+(const Point3& b) const { return {x + b.x, y + b.y, z + b.z}; }
  Point3 operator-(const Point3& b) const { return {x - b.x, y - b.y, z - b.z}; }
  Point3 operator-() const { return {-x, -y, -z}; }
  Point3 operator*(float s) const { return {x * s, y * s, z * s}; }
  Point3 operator/(float s) const { return {x / s, y / s, z / s}; }
  Point3& operator+=(const Point3& b) { x += b.x; y += b.y; z += b.z; return *this; }
  Point3& operator-=(const Point3& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
  Point3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  bool operator==(const Point3&) const = default;
};

inline Point3 operator*(float s, const Point3& p) { return p * s; }
inline float DotProd(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Point3 CrossProd(const Point3& a, const Point3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(const Point3& p) { return std::sqrt(DotProd(p, p)); }
inline Point3 Normalize(const Point3& p) {
  float l = Length(p);
  return l > 0 ? p / l : Point3();
}

// Linear RGB colour, components nominally 0..1.
struct Color {
  float r = 0, g = 0, b = 0;
  constexpr Color() = default;
  constexpr Color(float r_, float g_, float b_) : r(r_), g(g_), b(b_) {}
  bool operator==(const Color&) const = default;
};

// Affine transform stored as four rows (three axes and the translation); points are row
// vectors multiplied on the left, as in the host: p' = p * M.
class Matrix3 {
 public:
  Matrix3() { IdentityMatrix(); }
  void IdentityMatrix();
  Point3 GetRow(int i) const { return rows_[i]; }
  void SetRow(int i, const Point3& r) { rows_[i] = r; }
  Point3 GetTrans() const { return rows_[3]; }
  void SetTrans(const Point3& p) { rows_[3] = p; }
  bool IsIdentity() const;
  Point3 PointTransform(const Point3& p) const;
  Point3 VectorTransform(const Point3& v) const;
  // a * b applies a first, then b.
  friend Matrix3 operator*(const Matrix3& a, const Matrix3& b);
  bool operator==(const Matrix3&) const = default;

 private:
  Point3 rows_[4];
};

inline Point3 operator*(const Point3& p, const Matrix3& m) { return m.PointTransform(p); }
Matrix3 Inverse(const Matrix3& m);
Matrix3 ScaleMatrix(const Point3& s);
Matrix3 TransMatrix(const Point3& t);
// Right-handed rotations about the world axes (counter-clockwise seen from the positive axis).
Matrix3 RotateXMatrix(float radians);
Matrix3 RotateYMatrix(float radians);
Matrix3 RotateZMatrix(float radians);

class Box3 {
 public:
  Point3 pmin{1e30f, 1e30f, 1e30f}, pmax{-1e30f, -1e30f, -1e30f};
  void Init() { *this = Box3(); }
  bool IsEmpty() const { return pmin.x > pmax.x || pmin.y > pmax.y || pmin.z > pmax.z; }
  Box3& operator+=(const Point3& p);
  Box3& operator+=(const Box3& b);
  Point3 Min() const { return pmin; }
  Point3 Max() const { return pmax; }
  Point3 Center() const { return (pmin + pmax) * 0.5f; }
  Point3 Width() const { return IsEmpty() ? Point3() : pmax - pmin; }
};

}  // namespace host
