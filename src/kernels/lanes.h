#pragma once
// Packs of lanes for the CPU twins: with them the CRN_HD templates of the kernels advance
// kLanes guides per call, one guide per lane, with the same operations as a GPU thread runs
// on single floats. Every operation is the IEEE operation of each lane (no fused multiply-add,
// exact division and square root), so every lane gets the same value, to the bit, as the
// single-float code on the host.
//
// A translation unit that includes this header is compiled for one instruction set: 8 lanes
// where AVX2 is enabled, 4 (SSE2, the x86-64 baseline) otherwise. The types live in an unnamed
// namespace, so every template instantiated on them is private to its unit, and code compiled
// for AVX2 can never stand in for the baseline's at link time. Such a unit must not
// instantiate anything on plain types (float, std::vector<float>, ...) either.
#include <cmath>
#include <cstdint>

#include "kernels/lane_math.h"

namespace hsim {

namespace {

#if defined(__AVX2__)
constexpr int kLanes = 8;
#else
constexpr int kLanes = 4;
#endif

typedef float LaneVecF __attribute__((vector_size(4 * kLanes)));
typedef std::int32_t LaneVecI __attribute__((vector_size(4 * kLanes)));
typedef std::uint32_t LaneVecU __attribute__((vector_size(4 * kLanes)));

// A comparison per lane: all bits set where it holds.
struct LaneMask {
  LaneVecI v;
  friend LaneMask operator|(LaneMask a, LaneMask b) { return {a.v | b.v}; }
  friend LaneMask operator&(LaneMask a, LaneMask b) { return {a.v & b.v}; }
  friend LaneMask operator!(LaneMask a) { return {~a.v}; }
};

// Unsigned 32-bit lanes, wrapping like std::uint32_t.
struct LaneU {
  LaneVecU v;
  LaneU() = default;
  LaneU(std::uint32_t s) : v(LaneVecU{} + s) {}
  explicit LaneU(LaneVecU x) : v(x) {}
  friend LaneU operator+(LaneU a, LaneU b) { return LaneU(a.v + b.v); }
  friend LaneU operator*(LaneU a, LaneU b) { return LaneU(a.v * b.v); }
  friend LaneU operator^(LaneU a, LaneU b) { return LaneU(a.v ^ b.v); }
  friend LaneU operator&(LaneU a, LaneU b) { return LaneU(a.v & b.v); }
  friend LaneU operator>>(LaneU a, int s) { return LaneU(a.v >> s); }
  LaneU& operator^=(LaneU b) { return *this = *this ^ b; }
  LaneU& operator*=(LaneU b) { return *this = *this * b; }
};

// Float lanes. A float converts to every lane alike.
struct LaneF {
  LaneVecF v;
  LaneF() = default;
  LaneF(float s) : v(LaneVecF{} + s) {}
  explicit LaneF(LaneVecF x) : v(x) {}
  float operator[](int l) const { return v[l]; }
  void Set(int l, float s) { v[l] = s; }

  friend LaneF operator+(LaneF a, LaneF b) { return LaneF(a.v + b.v); }
  friend LaneF operator-(LaneF a, LaneF b) { return LaneF(a.v - b.v); }
  friend LaneF operator*(LaneF a, LaneF b) { return LaneF(a.v * b.v); }
  friend LaneF operator/(LaneF a, LaneF b) { return LaneF(a.v / b.v); }
  friend LaneF operator-(LaneF a) { return LaneF(-a.v); }
  LaneF& operator+=(LaneF b) { return *this = *this + b; }
  LaneF& operator-=(LaneF b) { return *this = *this - b; }
  LaneF& operator*=(LaneF b) { return *this = *this * b; }
  friend LaneMask operator<(LaneF a, LaneF b) { return {a.v < b.v}; }
  friend LaneMask operator<=(LaneF a, LaneF b) { return {a.v <= b.v}; }
  friend LaneMask operator>(LaneF a, LaneF b) { return {a.v > b.v}; }
  friend LaneMask operator>=(LaneF a, LaneF b) { return {a.v >= b.v}; }
  friend LaneMask operator==(LaneF a, LaneF b) { return {a.v == b.v}; }
  friend LaneMask operator!=(LaneF a, LaneF b) { return {a.v != b.v}; }
};

inline LaneF Select(LaneMask m, LaneF a, LaneF b) { return LaneF(m.v ? a.v : b.v); }
inline LaneU Select(LaneMask m, LaneU a, LaneU b) { return LaneU(m.v ? a.v : b.v); }

inline bool Any(LaneMask m) {
#if defined(__AVX__)
  return __builtin_ia32_movmskps256(LaneVecF(m.v)) != 0;  // the lanes' sign bits
#elif defined(__SSE2__)
  return __builtin_ia32_movmskps(LaneVecF(m.v)) != 0;
#else
  for (int l = 0; l < kLanes; ++l)
    if (m.v[l]) return true;
  return false;
#endif
}

// Whether every lane of a equals the same lane of b.
inline bool AllEqual(LaneU a, LaneU b) { return !Any(LaneMask{LaneVecI(a.v != b.v)}); }

// floorf per lane: the rounding instruction where there is one (SSE4.1, part of AVX);
// otherwise exact through the integer conversion below 2^31, where every float of 2^23 and
// more is already integral, and larger magnitudes and NaN pass through as floorf leaves them.
inline LaneF Floor(LaneF x) {
#if defined(__AVX__)
  return LaneF(__builtin_ia32_roundps256(x.v, 9));  // towards -infinity, no exceptions
#endif
  const LaneVecF t = __builtin_convertvector(__builtin_convertvector(x.v, LaneVecI), LaneVecF);
  const LaneVecF f = t > x.v ? t - 1.f : t;
  const LaneVecF mag = x.v < 0.f ? -x.v : x.v;
  return LaneF(mag < 2147483648.f ? f : x.v);
}

inline LaneF Sqrt(LaneF x) {
#if defined(__AVX__)
  return LaneF(__builtin_ia32_sqrtps256(x.v));
#elif defined(__SSE2__)
  return LaneF(__builtin_ia32_sqrtps(x.v));
#else
  LaneF r;
  for (int l = 0; l < kLanes; ++l) r.v[l] = sqrtf(x.v[l]);
  return r;
#endif
}

// fmaxf per lane: a NaN operand gives the other one.
inline LaneF Max(LaneF a, LaneF b) { return LaneF((a.v > b.v) | (b.v != b.v) ? a.v : b.v); }

inline LaneF Sin(LaneF x) {
  LaneF r;
  for (int l = 0; l < kLanes; ++l) r.v[l] = sinf(x.v[l]);
  return r;
}

// The integer of integral lanes, as the single-float code converts it (out of range: the
// x86 conversion's 0x80000000 in both).
inline LaneU ToU32(LaneF integral) {
  return LaneU(LaneVecU(__builtin_convertvector(integral.v, LaneVecI)));
}

inline LaneF ToFloat(LaneU small) { return LaneF(__builtin_convertvector(LaneVecI(small.v), LaneVecF)); }

// Two packs side by side, for the phases of the step that wait on chains of dependent
// divisions and square roots: the two chains then run interleaved. Each half computes exactly
// what it computes alone.
struct LaneMask2 {
  LaneMask a, b;
  friend LaneMask2 operator|(LaneMask2 x, LaneMask2 y) { return {x.a | y.a, x.b | y.b}; }
  friend LaneMask2 operator&(LaneMask2 x, LaneMask2 y) { return {x.a & y.a, x.b & y.b}; }
  friend LaneMask2 operator!(LaneMask2 x) { return {!x.a, !x.b}; }
};

struct LaneF2 {
  LaneF a, b;
  LaneF2() = default;
  LaneF2(float s) : a(s), b(s) {}
  LaneF2(LaneF x, LaneF y) : a(x), b(y) {}
  friend LaneF2 operator+(LaneF2 x, LaneF2 y) { return {x.a + y.a, x.b + y.b}; }
  friend LaneF2 operator-(LaneF2 x, LaneF2 y) { return {x.a - y.a, x.b - y.b}; }
  friend LaneF2 operator*(LaneF2 x, LaneF2 y) { return {x.a * y.a, x.b * y.b}; }
  friend LaneF2 operator/(LaneF2 x, LaneF2 y) { return {x.a / y.a, x.b / y.b}; }
  friend LaneF2 operator-(LaneF2 x) { return {-x.a, -x.b}; }
  LaneF2& operator+=(LaneF2 y) { return *this = *this + y; }
  LaneF2& operator-=(LaneF2 y) { return *this = *this - y; }
  LaneF2& operator*=(LaneF2 y) { return *this = *this * y; }
  friend LaneMask2 operator<(LaneF2 x, LaneF2 y) { return {x.a < y.a, x.b < y.b}; }
  friend LaneMask2 operator<=(LaneF2 x, LaneF2 y) { return {x.a <= y.a, x.b <= y.b}; }
  friend LaneMask2 operator>(LaneF2 x, LaneF2 y) { return {x.a > y.a, x.b > y.b}; }
  friend LaneMask2 operator>=(LaneF2 x, LaneF2 y) { return {x.a >= y.a, x.b >= y.b}; }
  friend LaneMask2 operator==(LaneF2 x, LaneF2 y) { return {x.a == y.a, x.b == y.b}; }
  friend LaneMask2 operator!=(LaneF2 x, LaneF2 y) { return {x.a != y.a, x.b != y.b}; }
};

inline LaneF2 Select(LaneMask2 m, LaneF2 x, LaneF2 y) { return {Select(m.a, x.a, y.a), Select(m.b, x.b, y.b)}; }
inline bool Any(LaneMask2 m) { return Any(m.a) || Any(m.b); }
inline LaneF2 Sqrt(LaneF2 x) { return {Sqrt(x.a), Sqrt(x.b)}; }
inline LaneF2 Max(LaneF2 x, LaneF2 y) { return {Max(x.a, y.a), Max(x.b, y.b)}; }

}  // namespace

template <>
struct LaneTraits<LaneF> {
  using Mask = LaneMask;
  using U32 = LaneU;
  using Vec = T3<LaneF>;
  static constexpr bool kScalar = false;
};

template <>
struct LaneTraits<LaneF2> {
  using Mask = LaneMask2;
  using U32 = void;  // no hashing on pairs
  using Vec = T3<LaneF2>;
  static constexpr bool kScalar = false;
};

}  // namespace hsim
