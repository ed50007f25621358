#pragma once
// The small vector maths shared by generation, the simulation and the renderer, on the host
// and on CUDA devices: three packed floats and the operations on them.
#include <cmath>

#include "kernels/hd.h"

namespace crn {

// Three 32-bit floats: the point, vector and linear-colour type of generation.
struct V3 {
  float x = 0, y = 0, z = 0;
  CRN_HD constexpr V3() = default;
  CRN_HD constexpr V3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  CRN_HD V3 operator+(const V3& b) const { return {x + b.x, y + b.y, z + b.z}; }
  CRN_HD V3 operator-(const V3& b) const { return {x - b.x, y - b.y, z - b.z}; }
  CRN_HD V3 operator-() const { return {-x, -y, -z}; }
  CRN_HD V3 operator*(float s) const { return {x * s, y * s, z * s}; }
  CRN_HD V3 operator/(float s) const { return {x / s, y / s, z / s}; }
  CRN_HD V3& operator+=(const V3& b) { x += b.x; y += b.y; z += b.z; return *this; }
  CRN_HD V3& operator-=(const V3& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
  CRN_HD V3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  CRN_HD bool operator==(const V3& b) const { return x == b.x && y == b.y && z == b.z; }
  CRN_HD bool operator!=(const V3& b) const { return !(*this == b); }
};
static_assert(sizeof(V3) == 12, "V3 is three packed floats");

CRN_HD inline V3 operator*(float s, const V3& v) { return v * s; }
CRN_HD inline V3 Mul(const V3& a, const V3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
CRN_HD inline float Dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
CRN_HD inline V3 Cross(const V3& a, const V3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
CRN_HD inline float LengthSq(const V3& v) { return Dot(v, v); }
CRN_HD inline float Length(const V3& v) { return sqrtf(Dot(v, v)); }
// Unit vector, or fallback when the length is not above minLen.
CRN_HD inline V3 UnitOr(const V3& v, const V3& fallback, float minLen = 1e-20f) {
  const float l = Length(v);
  return l > minLen ? v / l : fallback;
}
CRN_HD inline V3 Lerp(const V3& a, const V3& b, float t) { return a + (b - a) * t; }

CRN_HD inline float Clamp01(float t) { return t < 0.f ? 0.f : (t > 1.f ? 1.f : t); }
// Hermite smoothing of t already clamped to [0, 1].
CRN_HD inline float Smooth(float t) { return t * t * (3.f - 2.f * t); }

}  // namespace crn
