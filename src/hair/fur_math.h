#pragma once
// The hashes and noises of generation. Every random decision of generation is
// one of these functions of a stable id and a fixed salt, so results never depend on the
// order or the thread that computes them. All integer arithmetic wraps at 32 bits; the
// functions compile for the host and for CUDA devices alike.
#include <cmath>
#include <cstdint>

#include "kernels/hash32.h"
#include "kernels/vec3.h"

namespace crn {

// Low 24 bits as a float in [0, 1).
CRN_HD inline float Unit24(std::uint32_t h) { return float(h & 0xFFFFFFu) * (1.0f / 16777216.0f); }

CRN_HD inline float StrandRand(std::uint32_t id, std::uint32_t salt) {
  return Unit24(Mix32((id * 0x9E3779B9u) ^ salt));
}

CRN_HD inline std::uint32_t CellKey(std::int32_t i, std::int32_t j, std::int32_t k) {
  return (std::uint32_t(i) * 73856093u) ^ (std::uint32_t(j) * 19349663u) ^
         (std::uint32_t(k) * 83492791u);
}

// The clump grid's 64-bit cell key.
inline std::uint64_t CellKey64(std::int64_t i, std::int64_t j, std::int64_t k) {
  return (std::uint64_t(i) * 73856093ull) ^ (std::uint64_t(j) * 19349663ull) ^
         (std::uint64_t(k) * 83492791ull);
}

// A floored coordinate as a lattice index. Values outside the int32 range and NaN give
// INT32_MIN, the value x86's conversion produces there, so far-away lattices keep their
// results without the undefined conversion.
CRN_HD inline std::int32_t LatticeIndex(float floored) {
  return floored >= -2147483648.f && floored < 2147483648.f ? std::int32_t(floored) : INT32_MIN;
}

// Value noise in [-1, 1): hashed lattice values blended with the quintic fade.
CRN_HD inline float FurNoise3(float x, float y, float z) {
  const float fx = floorf(x), fy = floorf(y), fz = floorf(z);
  const std::int32_t i = LatticeIndex(fx), j = LatticeIndex(fy), k = LatticeIndex(fz);
  const float tx = x - fx, ty = y - fy, tz = z - fz;
  auto fade = [](float t) { return t * t * t * (t * (t * 6.f - 15.f) + 10.f); };
  auto corner = [](std::int32_t a, std::int32_t b, std::int32_t c) {
    return float(LatticeHash(a, b, c) & 0xFFFFFFu) * (1.0f / 8388608.0f) - 1.0f;
  };
  const float u = fade(tx), v = fade(ty), w = fade(tz);
  auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
  const float x00 = lerp(corner(i, j, k), corner(i + 1, j, k), u);
  const float x10 = lerp(corner(i, j + 1, k), corner(i + 1, j + 1, k), u);
  const float x01 = lerp(corner(i, j, k + 1), corner(i + 1, j, k + 1), u);
  const float x11 = lerp(corner(i, j + 1, k + 1), corner(i + 1, j + 1, k + 1), u);
  const float y0 = lerp(x00, x10, v), y1 = lerp(x01, x11, v);
  return lerp(y0, y1, w);
}

// The feature point of lattice cell (ci, cj, ck) of the cellular noise.
CRN_HD inline V3 CellFeaturePoint(std::int32_t ci, std::int32_t cj, std::int32_t ck) {
  const std::uint32_t h = LatticeHash(ci, cj, ck);
  return V3(float(ci) + float(h & 0x3FFu) / 1024.f, float(cj) + float((h >> 10) & 0x3FFu) / 1024.f,
            float(ck) + float((h >> 20) & 0x3FFu) / 1024.f);
}

struct CellDistances {
  float f1, f2;  // nearest and second-nearest feature point distances
};

// Cellular noise: one hashed feature point per unit cell, searched over the 27 cells around p.
CRN_HD inline CellDistances CellNoise3(const V3& p) {
  const std::int32_t bi = LatticeIndex(floorf(p.x)), bj = LatticeIndex(floorf(p.y)),
                     bk = LatticeIndex(floorf(p.z));
  float f1 = 1e30f, f2 = 1e30f;
  for (int di = -1; di <= 1; ++di)
    for (int dj = -1; dj <= 1; ++dj)
      for (int dk = -1; dk <= 1; ++dk) {
        const float d = Length(p - CellFeaturePoint(bi + di, bj + dj, bk + dk));
        if (d < f1) {
          f2 = f1;
          f1 = d;
        } else if (d < f2) {
          f2 = d;
        }
      }
  return {f1, f2};
}

// Linear colour to a display-encoded 0xFFRRGGBB word (gamma 1/2.2).
CRN_HD inline std::uint32_t PackColour(float r, float g, float b) {
  auto enc = [](float c) {
    const float v = powf(Clamp01(c), 0.45454544f) * 255.f + 0.5f;
    return v >= 0.f ? std::uint32_t(v) : 0u;  // NaN gives 0, as x86's conversion does
  };
  return 0xFF000000u | (enc(r) << 16) | (enc(g) << 8) | enc(b);
}
CRN_HD inline std::uint32_t PackColour(const V3& c) { return PackColour(c.x, c.y, c.z); }

// A packed word back to its display-encoded channels / 255 (no linearisation).
CRN_HD inline V3 UnpackColour(std::uint32_t w) {
  return {float((w >> 16) & 0xFFu) / 255.f, float((w >> 8) & 0xFFu) / 255.f,
          float(w & 0xFFu) / 255.f};
}

}  // namespace crn
