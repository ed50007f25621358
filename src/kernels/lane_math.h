#pragma once
// The number types the simulation maths is written over. A CRN_HD template takes a number type
// R: float on the GPU (one guide per thread) and in scalar host code, or a pack of lanes on the
// CPU (kernels/lanes.h), where one call advances several guides with the same source. What
// differs between them is gathered here:
//   LaneTraits<R>::Mask   the type of a comparison (bool for float)
//   LaneTraits<R>::U32    the unsigned 32-bit type the hashes run on
//   LaneTraits<R>::Vec    the three-vector of R (crn::V3 for float, T3<R> for packs)
//   Select(m, a, b)       a where m holds, else b (a branch on a single value)
//   Floor, Sqrt, Max, Sin, Any, ToU32 (of an integral value), ToFloat (of a 24-bit value)
// Per-point conditions are written as Select so that a pack takes the branch lane by lane;
// conditions that hold for every guide alike (wind settings, the point index) stay branches.
#include <cmath>
#include <cstdint>

#include "kernels/vec3.h"

namespace hsim {

template <class R>
struct LaneTraits;

template <>
struct LaneTraits<float> {
  using Mask = bool;
  using U32 = std::uint32_t;
  using Vec = crn::V3;
  static constexpr bool kScalar = true;
};

template <class R>
using MaskOf = typename LaneTraits<R>::Mask;
template <class R>
using U32Of = typename LaneTraits<R>::U32;
template <class R>
using VecOf = typename LaneTraits<R>::Vec;
template <class R>
constexpr bool kIsScalar = LaneTraits<R>::kScalar;

CRN_HD inline float Select(bool m, float a, float b) { return m ? a : b; }
CRN_HD inline crn::V3 Select(bool m, const crn::V3& a, const crn::V3& b) { return m ? a : b; }
CRN_HD inline float Floor(float x) { return floorf(x); }
CRN_HD inline float Sqrt(float x) { return sqrtf(x); }
CRN_HD inline float Max(float a, float b) { return fmaxf(a, b); }
CRN_HD inline float Sin(float x) { return sinf(x); }
CRN_HD inline bool Any(bool m) { return m; }
CRN_HD inline bool AllEqual(std::uint32_t a, std::uint32_t b) { return a == b; }
// The 32-bit integer of an integral float (wrapping as two's complement when negative).
CRN_HD inline std::uint32_t ToU32(float integral) { return std::uint32_t(std::int32_t(integral)); }
// The float of a value below 2^24 (exact).
CRN_HD inline float ToFloat(std::uint32_t small) { return float(small); }

// Three numbers of a pack type: a point or vector per lane. The operations mirror crn::V3 so
// that the same expression gives the same value in every lane as on a single V3. A crn::V3
// converts to every lane alike.
template <class R>
struct T3 {
  R x, y, z;
  T3() = default;
  CRN_HD T3(R x_, R y_, R z_) : x(x_), y(y_), z(z_) {}
  CRN_HD T3(const crn::V3& s) : x(s.x), y(s.y), z(s.z) {}

  friend CRN_HD T3 operator+(const T3& a, const T3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
  friend CRN_HD T3 operator-(const T3& a, const T3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
  friend CRN_HD T3 operator*(const T3& a, const R& s) { return {a.x * s, a.y * s, a.z * s}; }
  friend CRN_HD T3 operator/(const T3& a, const R& s) { return {a.x / s, a.y / s, a.z / s}; }
  CRN_HD T3& operator+=(const T3& b) { return *this = *this + b; }
  CRN_HD T3& operator-=(const T3& b) { return *this = *this - b; }
  friend CRN_HD R Dot(const T3& a, const T3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
  friend CRN_HD T3 Cross(const T3& a, const T3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  }
  friend CRN_HD R LengthSq(const T3& v) { return Dot(v, v); }
  friend CRN_HD R Length(const T3& v) { return Sqrt(Dot(v, v)); }
  // Unit vector, or fallback in the lanes whose length is not above minLen.
  friend CRN_HD T3 UnitOr(const T3& v, const T3& fallback, float minLen = 1e-20f) {
    const R l = Length(v);
    return Select(l > minLen, v / l, fallback);
  }
  template <class M>
  friend CRN_HD T3 Select(const M& m, const T3& a, const T3& b) {
    return {Select(m, a.x, b.x), Select(m, a.y, b.y), Select(m, a.z, b.z)};
  }
};

}  // namespace hsim
