#pragma once
// Expanding guides into strands: clumps, sub-clumps, strays, curl, kink, frizz, stack,
// burn, widths, splines and face lengths; colours by the colour stage.
#include "hair/gen_types.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace crn {

// Points of every strand for these settings (at most 256).
int PointsPerStrand(const GenSettings& s);

// Width at fraction t for root width a and tip width b by s.widthProfile.
float WidthProfile(const GenSettings& s, float a, float b, float t);

// Strands a build of this fraction of R roots makes: ceil(R * min(fraction, 1)), none for a
// fraction that is not positive.
std::size_t StrandCountFor(std::size_t roots, double fraction);

// Builds strands for the first ceil(R * min(fraction, 1)) roots into out, in parallel.
// guidePoints may differ from guides.guidePoints (simulated guides).
void BuildStrands(const GuideSet& guides, const std::vector<RootSample>& roots,
                  const std::vector<V3>& guidePoints, const GenSettings& settings,
                  const BuildInputs& in, double fraction, StrandSet& out);

// FurNoise3 along three lines of x, read together as the kink, frizz and burn offsets read
// them: the line through (y0, z0) at x, through (y1, z1) at x + 31.7 and through (y2, z2)
// at x - 11.9, bit-identical to FurNoise3. The lattice hashes over y and z and their fades
// are computed once, and the corner values of each line's last x cell are kept, since a
// strand samples at rising x and stays in one cell for several points. The three lines
// are the lanes of SSE vectors taking FurNoise3's float operations, with floor formed
// exactly (also -0 for -0) where x is small enough; elsewhere FurNoise3 itself answers.
class FurNoiseLines3 {
 public:
  FurNoiseLines3(float y0, float z0, float y1, float z1, float y2, float z2)
      : y_{y0, y1, y2}, z_{z0, z1, z2} {
    for (int l = 0; l < 3; ++l) {
      const float fy = floorf(y_[l]), fz = floorf(z_[l]);
      const std::uint32_t j = std::uint32_t(LatticeIndex(fy)), k = std::uint32_t(LatticeIndex(fz));
      const std::uint32_t k0 = Mix32(k * 83492791u), k1 = Mix32((k + 1u) * 83492791u);
      h_[l][0] = Mix32(k0 ^ (j * 19349663u));
      h_[l][1] = Mix32(k0 ^ ((j + 1u) * 19349663u));
      h_[l][2] = Mix32(k1 ^ (j * 19349663u));
      h_[l][3] = Mix32(k1 ^ ((j + 1u) * 19349663u));
      v_[l] = Fade(y_[l] - fy);
      w_[l] = Fade(z_[l] - fz);
    }
    v_[3] = v_[2];
    w_[3] = w_[2];
  }

  V3 operator()(float x) {
    const float x1 = x + 31.7f, x2 = x - 11.9f;
#if defined(__SSE2__)
    constexpr float kExact = 8388608.f;  // 2^23: below it truncation and conversion are exact
    const __m128 xs = _mm_setr_ps(x, x1, x2, x2);
    const __m128 sign = _mm_set1_ps(-0.f);
    if (_mm_movemask_ps(_mm_cmplt_ps(_mm_andnot_ps(sign, xs), _mm_set1_ps(kExact))) == 0xF) {
      const __m128i trunc = _mm_cvttps_epi32(xs);
      const __m128 truncF = _mm_cvtepi32_ps(trunc);
      const __m128 above = _mm_cmpgt_ps(truncF, xs);  // negative non-integers: one less
      const __m128 fx = _mm_or_ps(_mm_sub_ps(truncF, _mm_and_ps(above, _mm_set1_ps(1.f))), _mm_and_ps(xs, sign));
      const __m128i cell = _mm_add_epi32(trunc, _mm_castps_si128(above));
      const int same = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(cell, cell_)));
      if ((same & 7) != 7 || !filled_) {
        alignas(16) std::int32_t c[4], was[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(c), cell);
        _mm_store_si128(reinterpret_cast<__m128i*>(was), cell_);
        for (int l = 0; l < 3; ++l)
          if (!filled_ || !(same >> l & 1)) Fill(l, c[l], filled_ && was[l] + 1 == c[l]);
        cell_ = cell;
        filled_ = true;
      }

      const __m128 t = _mm_sub_ps(xs, fx);
      const __m128 u = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(t, t), t),
                                  _mm_add_ps(_mm_mul_ps(t, _mm_sub_ps(_mm_mul_ps(t, _mm_set1_ps(6.f)), _mm_set1_ps(15.f))),
                                             _mm_set1_ps(10.f)));
      const auto lerp = [](__m128 a, __m128 b, __m128 k) { return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), k)); };
      // Per lane, the four (y, z) corners blended along x at once, then turned so that each
      // vector holds one corner of all lanes for the blends along y and z.
      const auto alongX = [&](int l, __m128 k) { return lerp(_mm_load_ps(c_[l]), _mm_load_ps(c_[l] + 4), k); };
      __m128 x0 = alongX(0, _mm_shuffle_ps(u, u, 0x00)), x1 = alongX(1, _mm_shuffle_ps(u, u, 0x55));
      __m128 x2 = alongX(2, _mm_shuffle_ps(u, u, 0xAA)), x3 = x2;
      _MM_TRANSPOSE4_PS(x0, x1, x2, x3);  // now x00, x10, x01, x11 of every lane
      const __m128 v = _mm_load_ps(v_), w = _mm_load_ps(w_);
      alignas(16) float r[4];
      _mm_store_ps(r, lerp(lerp(x0, x1, v), lerp(x2, x3, v), w));
      return V3(r[0], r[1], r[2]);
    }
#endif
    return V3(FurNoise3(x, y_[0], z_[0]), FurNoise3(x1, y_[1], z_[1]), FurNoise3(x2, y_[2], z_[2]));
  }

 private:
  static float Fade(float t) { return t * t * t * (t * (t * 6.f - 15.f) + 10.f); }

#if defined(__SSE2__)
  // Corner values of cell i of lane l: c_[l][m] and c_[l][4 + m] at x = i and i + 1 for
  // the (y, z) corner m, in the order of h_[l]. Stepping up one cell, the values at x = i
  // are those the lane had at its x + 1. Written as whole vectors, so that the vector
  // reads that follow are served from the stores.
  void Fill(int l, std::int32_t i, bool stepUp) {
    // FurNoise3's corner values of the four hashes at once. SSE2 has no 32-bit multiply:
    // it is formed from 32 x 32 -> 64 multiplies of the even and of the odd lanes.
    const auto mul = [](__m128i a, std::uint32_t k) {
      const __m128i kk = _mm_set1_epi32(std::int32_t(k));
      const __m128i even = _mm_mul_epu32(a, kk), odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), kk);
      return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    };
    const __m128i h = _mm_load_si128(reinterpret_cast<const __m128i*>(h_[l]));
    const auto corner = [&](std::uint32_t at) {
      __m128i x = _mm_xor_si128(h, _mm_set1_epi32(std::int32_t(at * 73856093u)));
      x = _mm_xor_si128(x, _mm_srli_epi32(x, 16));
      x = mul(x, 0x7FEB352Du);
      x = _mm_xor_si128(x, _mm_srli_epi32(x, 15));
      x = mul(x, 0x846CA68Bu);
      x = _mm_xor_si128(x, _mm_srli_epi32(x, 16));
      const __m128 f = _mm_cvtepi32_ps(_mm_and_si128(x, _mm_set1_epi32(0xFFFFFF)));
      return _mm_sub_ps(_mm_mul_ps(f, _mm_set1_ps(1.0f / 8388608.0f)), _mm_set1_ps(1.0f));
    };
    _mm_store_ps(c_[l], stepUp ? _mm_load_ps(c_[l] + 4) : corner(std::uint32_t(i)));
    _mm_store_ps(c_[l] + 4, corner(std::uint32_t(i) + 1u));
  }
#endif

  float y_[3], z_[3];
  alignas(16) std::uint32_t h_[3][4] = {};  // per lane, the hashes of its four (y, z) corners
  alignas(16) float v_[4] = {}, w_[4] = {};
  alignas(16) float c_[3][8] = {};
#if defined(__SSE2__)
  __m128i cell_ = _mm_setzero_si128();  // the cell of each lane's corner values
#endif
  bool filled_ = false;
};

}  // namespace crn
