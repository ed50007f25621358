#pragma once
// Expanding guides into strands: clumps, sub-clumps, strays, curl, kink, frizz, stack,
// burn, widths, splines and face lengths; colours by the colour stage.
#include "hair/gen_types.h"

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

// FurNoise3(x, y, z) along x for a fixed y and z, bit-identical to FurNoise3: the lattice
// hashes over y and z and their fades are computed once, and the eight corner values of the
// last x cell are kept, since a strand samples a line at rising x and stays in one cell for
// several points.
class FurNoiseLine {
 public:
  FurNoiseLine(float y, float z) {
    const float fy = floorf(y), fz = floorf(z);
    const std::uint32_t j = std::uint32_t(std::int32_t(fy)), k = std::uint32_t(std::int32_t(fz));
    const std::uint32_t k0 = Mix32(k * 83492791u), k1 = Mix32((k + 1u) * 83492791u);
    h_[0] = Mix32(k0 ^ (j * 19349663u));
    h_[1] = Mix32(k0 ^ ((j + 1u) * 19349663u));
    h_[2] = Mix32(k1 ^ (j * 19349663u));
    h_[3] = Mix32(k1 ^ ((j + 1u) * 19349663u));
    v_ = Fade(y - fy);
    w_ = Fade(z - fz);
  }

  float operator()(float x) {
    const float fx = floorf(x);
    const std::int32_t i = std::int32_t(fx);
    if (!filled_ || i != cell_) Fill(i);
    const float u = Fade(x - fx);
    const float x00 = Lerp1(c_[0], c_[1], u);
    const float x10 = Lerp1(c_[2], c_[3], u);
    const float x01 = Lerp1(c_[4], c_[5], u);
    const float x11 = Lerp1(c_[6], c_[7], u);
    const float y0 = Lerp1(x00, x10, v_), y1 = Lerp1(x01, x11, v_);
    return Lerp1(y0, y1, w_);
  }

 private:
  static float Fade(float t) { return t * t * t * (t * (t * 6.f - 15.f) + 10.f); }
  static float Lerp1(float a, float b, float t) { return a + (b - a) * t; }
  static float Corner(std::uint32_t h) { return float(Mix32(h) & 0xFFFFFFu) * (1.0f / 8388608.0f) - 1.0f; }

  void Fill(std::int32_t i) {
    const std::uint32_t i0 = std::uint32_t(i) * 73856093u, i1 = (std::uint32_t(i) + 1u) * 73856093u;
    for (int m = 0; m < 4; ++m) {
      c_[2 * m] = Corner(h_[m] ^ i0);
      c_[2 * m + 1] = Corner(h_[m] ^ i1);
    }
    cell_ = i;
    filled_ = true;
  }

  std::uint32_t h_[4];  // hashes of (j, k), (j + 1, k), (j, k + 1), (j + 1, k + 1)
  float v_, w_;         // fades along y and z
  float c_[8] = {};     // corner values of cell_, x pairs in the order of h_
  std::int32_t cell_ = 0;
  bool filled_ = false;
};

}  // namespace crn
