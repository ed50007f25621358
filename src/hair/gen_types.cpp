#include "hair/gen_types.h"

#include <algorithm>
#include <cmath>

namespace crn {

namespace {

// The root's UV from its triangle's corner UVW, wrapped to [0, 1).
bool RootUV(const std::vector<V3>* uvw, int tri, float u, float v, float& s, float& t) {
  if (!uvw || tri < 0 || std::size_t(tri) * 3 + 2 >= uvw->size()) return false;
  const V3& a = (*uvw)[std::size_t(tri) * 3];
  const V3& b = (*uvw)[std::size_t(tri) * 3 + 1];
  const V3& c = (*uvw)[std::size_t(tri) * 3 + 2];
  const float w = 1.f - u - v;
  s = w * a.x + u * b.x + v * c.x;
  t = w * a.y + u * b.y + v * c.y;
  s -= std::floor(s);
  t -= std::floor(t);
  if (!(s >= 0.f && s < 1.f)) s = 0.f;  // NaN or rounding up to 1
  if (!(t >= 0.f && t < 1.f)) t = 0.f;
  return true;
}

}  // namespace

float ScalarMapSampler::Sample(int tri, float u, float v) const {
  float s, t;
  if (!grid_ || !RootUV(uvw_, tri, u, v, s, t)) return 1.f;
  constexpr int N = MapGrid::kSize;
  // Cell centres sit at (j + 0.5) / N.
  const float x = s * N - 0.5f, y = t * N - 0.5f;
  const float fx = std::floor(x), fy = std::floor(y);
  const float ax = x - fx, ay = y - fy;
  const int j0 = (int(fx) % N + N) % N, i0 = (int(fy) % N + N) % N;
  const int j1 = (j0 + 1) % N, i1 = (i0 + 1) % N;
  const float* c = grid_->cells.data();
  const int ch = grid_->channels;
  auto at = [&](int i, int j) { return c[(std::size_t(i) * N + j) * ch]; };
  const float top = at(i0, j0) + (at(i0, j1) - at(i0, j0)) * ax;
  const float bot = at(i1, j0) + (at(i1, j1) - at(i1, j0)) * ax;
  return top + (bot - top) * ay;
}

V3 ColourMapSampler::Sample(int tri, float u, float v) const {
  float s, t;
  if (!grid_ || !RootUV(uvw_, tri, u, v, s, t)) return {0.5f, 0.5f, 0.5f};
  constexpr int N = MapGrid::kSize;
  const int j = std::min(int(s * N), N - 1), i = std::min(int(t * N), N - 1);
  const float* c = grid_->cells.data() + (std::size_t(i) * N + j) * grid_->channels;
  return grid_->channels >= 3 ? V3(c[0], c[1], c[2]) : V3(c[0], c[0], c[0]);
}

void StrandSet::Clear() {
  points.clear();
  widths.clear();
  rootColour.clear();
  tipColour.clear();
  strandId.clear();
  rootNormal.clear();
  clumpIndex.clear();
  triIndex.clear();
  wet.clear();
  glow.clear();
  hiColour.clear();
  hiStart.clear();
  hiSoft.clear();
}

}  // namespace crn
