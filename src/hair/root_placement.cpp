#include "hair/root_placement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "hair/face_coords.h"
#include "hair/flow_fields.h"
#include "hair/surface_geometry.h"
#include "plugin/worker_pool.h"

namespace crn {

namespace {

// ---------------------------------------------------------------------------------------
// Sampling

// Everything one attempt needs, fixed for the whole scatter.
struct ScatterContext {
  ScatterContext(const GuideSet& g, int seed);

  const GuideSet& rest;
  std::vector<double> cumulative;  // running triangle area
  double area = 0;
  // bucketFirst[j]: first triangle whose running area reaches j * area / buckets.
  std::vector<std::size_t> bucketFirst;
  double bucketScale = 0;  // buckets / area
  std::uint32_t key[4] = {};     // Mix32(4 seed + k)
  std::uint32_t densityKey = 0;  // Mix32(7 seed + 5)
  bool haveNormals = false;
};

ScatterContext::ScatterContext(const GuideSet& g, int seed) : rest(g) {
  const std::size_t nt = g.TriangleCount();
  cumulative.resize(nt);
  double sum = 0;
  for (std::size_t f = 0; f < nt; ++f) {
    const V3 p0 = g.vertices[g.triangles[f * 3]], p1 = g.vertices[g.triangles[f * 3 + 1]],
             p2 = g.vertices[g.triangles[f * 3 + 2]];
    const double e1x = double(p1.x) - p0.x, e1y = double(p1.y) - p0.y, e1z = double(p1.z) - p0.z;
    const double e2x = double(p2.x) - p0.x, e2y = double(p2.y) - p0.y, e2z = double(p2.z) - p0.z;
    const double cx = e1y * e2z - e1z * e2y, cy = e1z * e2x - e1x * e2z, cz = e1x * e2y - e1y * e2x;
    sum += 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz);
    cumulative[f] = sum;
  }
  area = sum;
  if (nt > 0 && sum > 0) {
    const std::size_t buckets = nt;
    const double width = sum / double(buckets);
    bucketFirst.resize(buckets + 1);
    std::size_t f = 0;
    for (std::size_t j = 0; j <= buckets; ++j) {
      const double edge = double(j) * width;
      while (f < nt && cumulative[f] < edge) ++f;
      bucketFirst[j] = f;
    }
    bucketScale = double(buckets) / sum;
  }
  const std::uint32_t s = std::uint32_t(seed);
  for (std::uint32_t k = 0; k < 4; ++k) key[k] = Mix32(4u * s + k);
  densityKey = Mix32(7u * s + 5u);
  haveNormals = g.normals.size() == g.vertices.size();
}

V3 Barycentric(const V3& a, const V3& b, const V3& c, float u, float v) {
  return a * (1.f - u - v) + b * u + c * v;
}

// Index of the first running area >= a in [lo, hi), or hi when none is. Branch-free halving.
std::size_t FirstAtLeastIn(const double* cum, std::size_t lo, std::size_t hi, double a) {
  if (lo >= hi) return hi;
  const double* base = cum + lo;
  std::size_t n = hi - lo;
  while (n > 1) {
    const std::size_t half = n / 2;
    base = base[half - 1] < a ? base + half : base;
    n -= half;
  }
  return std::size_t(base - cum) + (*base < a ? 1 : 0);
}

// The triangle of area position a: the first whose running area is >= a, the last when none
// is. The bucket table narrows the search to a few triangles; the answer is checked against
// its definition and, should rounding at a bucket edge have misled the table, searched again
// over the whole list, so the result is always exactly that of a plain binary search.
std::int32_t TriangleAt(const ScatterContext& c, double a) {
  const std::vector<double>& cum = c.cumulative;
  const std::size_t n = cum.size(), buckets = c.bucketFirst.size() - 1;
  const double x = a * c.bucketScale;
  const std::size_t j = x > 0 ? std::min(std::size_t(x), buckets - 1) : 0;
  const std::size_t lo = c.bucketFirst[j], hi = std::min(c.bucketFirst[j + 1] + 1, n);
  std::size_t r = std::min(FirstAtLeastIn(cum.data(), lo, hi, a), n - 1);
  const bool exact = (r == 0 || cum[r - 1] < a) && (cum[r] >= a || r == n - 1);
  if (!exact) r = std::min(FirstAtLeastIn(cum.data(), 0, n, a), n - 1);
  return std::int32_t(r);
}

// Attempt i: a pure function of (seed, i). False when the density test rejects it.
template <class Density>
bool Attempt(const ScatterContext& c, const Density* density, std::uint64_t i, RootSample& out) {
  const std::uint32_t G = std::uint32_t(i) * 0x9E3779B9u;
  const float r0 = Unit24(Mix32(c.key[0] ^ G)), r1 = Unit24(Mix32(c.key[1] ^ G)),
              r2 = Unit24(Mix32(c.key[2] ^ G)), r3 = Unit24(Mix32(c.key[3] ^ G));
  // r3 refines r0 below its 24 bits, so large meshes are sampled finer than 2^-24 of the area.
  const double a = (double(r3) * (1.0 / 16777216.0) + double(r0)) * c.area;
  const std::int32_t tri = TriangleAt(c, a);
  float u = r1, v = r2;
  if (u + v > 1.f) {
    u = 1.f - u;
    v = 1.f - v;
  }
  if (density && (*density)(tri, u, v) <= Unit24(Mix32(c.densityKey ^ G))) return false;

  const GuideSet& g = c.rest;
  const std::int32_t* t = &g.triangles[std::size_t(tri) * 3];
  out.tri = tri;
  out.u = u;
  out.v = v;
  out.id = std::uint32_t(i);
  out.pos = Barycentric(g.vertices[t[0]], g.vertices[t[1]], g.vertices[t[2]], u, v);
  out.normal = c.haveNormals ? UnitOr(Barycentric(g.normals[t[0]], g.normals[t[1]],
                                                  g.normals[t[2]], u, v),
                                      V3(0, 0, 1))
                             : V3(0, 0, 1);
  return true;
}

// Attempts run in order i = 0, 1, ... until target roots exist or (target + 16) * 64 attempts
// were made. Because every attempt is a pure function of i, blocks of attempts are evaluated
// in parallel and their accepted roots taken in order: the result equals the sequential loop.
// A state can be continued with a larger target; the result is then that of a fresh scatter
// with the larger target.
struct ScatterState {
  std::uint64_t next = 0;  // first attempt not yet made
  std::vector<RootSample> roots;
};

template <class Density>
void ContinueScatter(const ScatterContext& c, const Density* density, std::uint64_t target,
                     ScatterState& st) {
  if (c.cumulative.empty() || !(c.area > 0)) return;
  constexpr std::uint64_t kMaxTarget = std::numeric_limits<std::uint64_t>::max() / 64 - 16;
  const std::uint64_t limit = (std::min(target, kMaxTarget) + 16) * 64;
  constexpr std::uint64_t kMaxBlock = 1u << 18, kMinBlock = 1024;
  if (!density) {
    // Every attempt is accepted: attempt i fills its own slot directly.
    if (st.roots.size() >= target || st.next >= limit) return;
    const std::uint64_t n = std::min(target - st.roots.size(), limit - st.next);
    const std::size_t base = st.roots.size();
    const std::uint64_t first = st.next;
    st.roots.resize(base + n);
    RootSample* out = st.roots.data() + base;
    ParallelFor(
        n,
        [&](std::uint64_t b, std::uint64_t e) {
          for (std::uint64_t j = b; j < e; ++j) Attempt(c, density, first + j, out[j]);
        },
        4096);
    st.next = first + n;
    return;
  }
  std::vector<RootSample> block;
  std::vector<unsigned char> accepted;
  st.roots.reserve(std::min<std::uint64_t>(target, 1u << 24));
  while (st.next < limit && st.roots.size() < target) {
    const std::uint64_t need = target - st.roots.size();
    const std::uint64_t n =
        std::min(limit - st.next, std::clamp(need + need / 8, kMinBlock, kMaxBlock));
    if (block.size() < n) {
      block.resize(n);
      accepted.resize(n);
    }
    const std::uint64_t first = st.next;
    RootSample* out = block.data();
    unsigned char* ok = accepted.data();
    ParallelFor(
        n,
        [&](std::uint64_t b, std::uint64_t e) {
          for (std::uint64_t j = b; j < e; ++j) ok[j] = Attempt(c, density, first + j, out[j]);
        },
        4096);
    for (std::uint64_t j = 0; j < n; ++j) {
      if (!ok[j]) continue;
      st.roots.push_back(out[j]);
      if (st.roots.size() == target) {
        st.next = first + j + 1;
        return;
      }
    }
    st.next = first + n;
  }
}

// ---------------------------------------------------------------------------------------
// Density rules

float Ellipse(float a, float b) { return Smooth(Clamp01((a * a + b * b - 1.f) / -0.3f)); }

// Weight of the chosen face region (1 whisker pads, 2 brows, 3 chin) at face coordinates q.
float FaceRegionFactor(const GenSettings& s, const V3& q) {
  if (q.z < -0.9f) return 0.f;
  const float d = std::fabs(q.x);
  switch (s.faceRegion) {
    case 1:
      if (s.HasNoseTip()) {
        const float dz = s.noseTipZ - q.z, dy = s.noseTipY - q.y;
        return Smooth(Clamp01((dz - 0.5f) / -0.12f)) * Smooth(Clamp01((dz - 0.12f) / 0.08f)) *
               Smooth(Clamp01((dy + 0.08f) / 0.1f)) * Smooth(Clamp01((dy - 0.32f) / -0.1f)) *
               Smooth(Clamp01((d - 0.1f) / 0.06f));
      }
      return Ellipse((q.y + 0.4f) / 0.1f, (d - 0.16f) / 0.14f);
    case 2:
      return Ellipse((q.y - 0.3f) / 0.05f, (d - 0.28f) / 0.1f) *
             Smooth(Clamp01((q.z + 0.45f) / 0.2f)) * Smooth(Clamp01((q.z - 0.4f) / -0.2f));
    case 3:
      return Ellipse((q.y + 0.65f) / 0.08f, q.x / 0.12f) * Smooth(Clamp01((q.z + 0.1f) / 0.2f)) *
             Smooth(Clamp01((q.z - 0.9f) / -0.2f));
    default:
      return 1.f;
  }
}

// Bare nose tip, eye openings and mouth line (eye triangles are handled by the caller).
float BareFaceFactor(const GenSettings& s, const V3& q) {
  float f = 1.f;
  if (s.HasNoseTip()) {
    const float dy = q.y - s.noseTipY, dz = q.z - s.noseTipZ;
    f *= Clamp01((std::sqrt(0.8f * dy * dy + dz * dz + q.x * q.x) - 0.1f) / 0.06f);
  }
  if (q.z >= -0.45f && FaceRadial(q) <= 0.9f) {
    const float ey = (q.y - 0.14f) / 0.045f, ex = (std::fabs(q.x) - 0.3f) / 0.07f;
    const float e1 = Clamp01((ey * ey + ex * ex - 1.f) / -0.45f);
    const float my = (q.y + 0.32f) / 0.08f, mx = q.x / 0.12f;
    const float e2 = Clamp01((my * my + mx * mx - 1.f) / -0.45f);
    f *= 1.f - std::max(Smooth(e1), Smooth(Clamp01(4.f * (q.z + 0.15f))) * Smooth(e2));
  }
  return f;
}

// The product of every density factor whose input is present, as a function of (tri, u, v).
class DensityRules {
 public:
  DensityRules(const GuideSet& rest, const GenSettings& s, const DensityInputs& in)
      : rest_(rest), s_(s), axes_(MakeFaceAxes(s)) {
    const std::size_t nv = rest.vertices.size(), nt = rest.TriangleCount();
    map_ = in.densityMap;
    if (in.densityFactors && in.densityFactors->size() == nv && nv > 0)
      factors_ = in.densityFactors->data();
    if (s.faceRegion > 0) {
      const std::size_t eyes = in.eyeCentres && in.eyeRadii
                                   ? std::min(in.eyeCentres->size(), in.eyeRadii->size())
                                   : 0;
      if (s.faceRegion == 2 && eyes > 0) {
        eyeBand_ = true;
        eyeCentres_.assign(in.eyeCentres->begin(), in.eyeCentres->begin() + eyes);
        eyeRadii_.assign(in.eyeRadii->begin(), in.eyeRadii->begin() + eyes);
      } else if (s.faceOn) {
        faceRegion_ = true;
      }
    }
    if (s.bareFace && s.faceOn) {
      bareFace_ = true;
      if (in.eyeTriangles && in.eyeTriangles->size() == nt) eyeTriangles_ = in.eyeTriangles->data();
    }
    if (in.growMaterialIds && !in.growMaterialIds->empty()) {
      const std::vector<std::int64_t>& ids = *in.growMaterialIds;
      // A triangle without a known material ID is not listed.
      matAllowed_.assign(nt, 0);
      if (rest.materialIds.size() == nt)
        for (std::size_t f = 0; f < nt; ++f)
          matAllowed_[f] = std::find(ids.begin(), ids.end(), rest.materialIds[f]) != ids.end();
    }
    if (s.bareBelow > 0 && nv > 0) {
      bareBelow_ = true;
      float z0 = rest.vertices[0].z, z1 = z0;
      for (const V3& p : rest.vertices) {
        z0 = std::min(z0, p.z);
        z1 = std::max(z1, p.z);
      }
      bareLevel_ = z0 + s.bareBelow * (z1 - z0);
      bareEdge_ = 0.01f * (z1 - z0) + 1e-6f;
    }
    if (s.barePalms && nv > 0) {
      barePalms_ = true;
      if (in.thinness && in.thinness->size() == nv) {
        thinness_ = in.thinness->data();
      } else {
        ownThinness_ = ComputeFlowFields(rest, s).thinness;
        thinness_ = ownThinness_.size() == nv ? ownThinness_.data() : nullptr;
      }
      haveNormals_ = rest.normals.size() == nv;
    }
  }

  bool Any() const {
    return map_ || factors_ || eyeBand_ || faceRegion_ || bareFace_ || !matAllowed_.empty() ||
           bareBelow_ || barePalms_;
  }

  float operator()(int tri, float u, float v) const {
    const std::int32_t* t = &rest_.triangles[std::size_t(tri) * 3];
    const float w = 1.f - u - v;
    float d = 1.f;
    if (map_) d *= map_->Sample(tri, u, v);
    if (factors_) d *= w * factors_[t[0]] + u * factors_[t[1]] + v * factors_[t[2]];
    const bool needPos = eyeBand_ || faceRegion_ || bareFace_ || bareBelow_;
    const V3 p = needPos ? Barycentric(rest_.vertices[t[0]], rest_.vertices[t[1]],
                                       rest_.vertices[t[2]], u, v)
                         : V3();
    if (eyeBand_) d *= EyeBand(p);
    if (faceRegion_ || bareFace_) {
      const V3 q = FaceCoords(s_, axes_, p);
      if (faceRegion_) d *= FaceRegionFactor(s_, q);
      if (bareFace_) {
        if (eyeTriangles_ && eyeTriangles_[tri]) d *= 0.f;
        d *= BareFaceFactor(s_, q);
      }
    }
    if (!matAllowed_.empty()) d *= matAllowed_[tri] ? 1.f : 0.f;
    if (bareBelow_) d *= Clamp01((p.z - bareLevel_) / bareEdge_);
    if (barePalms_) {
      const V3 n = haveNormals_ ? UnitOr(Barycentric(rest_.normals[t[0]], rest_.normals[t[1]],
                                                     rest_.normals[t[2]], u, v),
                                         V3(0, 0, 1))
                                : V3(0, 0, 1);
      const float thin = thinness_ ? w * thinness_[t[0]] + u * thinness_[t[1]] + v * thinness_[t[2]]
                                   : 1.f;
      const float g = Clamp01((-n.z - 0.7f) / 0.2f), h = Clamp01((0.6f - thin) / 0.3f);
      d *= 1.f - g * h;
    }
    return d;
  }

 private:
  // 1 in a band around and above a detected eye (brows without a face helper).
  float EyeBand(const V3& p) const {
    for (std::size_t e = 0; e < eyeCentres_.size(); ++e) {
      const float r = eyeRadii_[e], dist = Length(p - eyeCentres_[e]);
      if (dist > 1.3f * r && dist < 2.8f * r && p.z - eyeCentres_[e].z > 0.5f * r) return 1.f;
    }
    return 0.f;
  }

  const GuideSet& rest_;
  const GenSettings& s_;
  FaceAxes axes_;
  const ScalarMapSampler* map_ = nullptr;
  const float* factors_ = nullptr;
  bool eyeBand_ = false, faceRegion_ = false, bareFace_ = false;
  std::vector<V3> eyeCentres_;
  std::vector<float> eyeRadii_;
  const char* eyeTriangles_ = nullptr;
  std::vector<unsigned char> matAllowed_;
  bool bareBelow_ = false;
  float bareLevel_ = 0, bareEdge_ = 1;
  bool barePalms_ = false, haveNormals_ = false;
  const float* thinness_ = nullptr;
  std::vector<float> ownThinness_;
};

// Fisher-Yates from the last element down: element i swaps with a uniform draw in [0, i].
void ShuffleRoots(std::vector<RootSample>& roots, int seed) {
  std::mt19937 mt(std::uint32_t(7u - std::uint32_t(seed) * 1640531535u));
  for (std::size_t i = roots.size(); i > 1; --i) {
    std::uniform_int_distribution<std::uint32_t> draw(0, std::uint32_t(i - 1));
    std::swap(roots[i - 1], roots[draw(mt)]);
  }
}

}  // namespace

std::vector<std::int64_t> ParseMaterialIds(const std::string& text) {
  std::vector<std::int64_t> ids;
  bool inRun = false;
  std::int64_t value = 0;
  for (char ch : text) {
    if (ch >= '0' && ch <= '9') {
      value = value > (std::numeric_limits<std::int64_t>::max() - 9) / 10 ? value
                                                                          : value * 10 + (ch - '0');
      inRun = true;
    } else if (inRun) {
      ids.push_back(value);
      value = 0;
      inRun = false;
    }
  }
  if (inRun) ids.push_back(value);
  return ids;
}


std::vector<RootSample> ScatterRoots(const GuideSet& rest, int seed, std::uint64_t target,
                                     const std::function<float(int, float, float)>& density) {
  ScatterState st;
  if (target == 0 || rest.Empty() || !TrianglesValid(rest)) return st.roots;
  const ScatterContext c(rest, seed);
  ContinueScatter(c, density ? &density : nullptr, target, st);
  return std::move(st.roots);
}

std::vector<RootSample> PlaceRootSamples(const GuideSet& rest, const GenSettings& s,
                                         const DensityInputs& density, std::uint64_t fit) {
  ScatterState st;
  if (s.count <= 0 || rest.Empty() || !TrianglesValid(rest)) return st.roots;
  const std::uint64_t count = std::uint64_t(s.count);
  const std::uint64_t target = fit > 0 ? std::min(count, fit) : count;

  const ScatterContext c(rest, s.seed);
  const DensityRules rules(rest, s, density);
  const DensityRules* rulesPtr = rules.Any() ? &rules : nullptr;
  ContinueScatter(c, rulesPtr, target, st);

  // A small face region rarely reaches count within the attempt limit: oversample it with
  // larger targets (a continued scatter equals a fresh one with the larger target).
  if (s.faceRegion > 0 && st.roots.size() < count) {
    double scale = 1;
    for (int retry = 0; retry < 3; ++retry) {
      const double placed = double(st.roots.size());
      if (placed >= 0.9 * double(count)) break;
      scale *= placed > 0 ? std::min(double(count) / placed, 200.0) : 200.0;
      if (scale > 20000) break;
      ContinueScatter(c, rulesPtr, std::uint64_t(std::min(double(count) * scale, 5e7)), st);
    }
  }
  if (st.roots.size() > count) {
    // Oversampled: keep a seed-stable random subset spread over the whole region.
    ShuffleRoots(st.roots, s.seed);
    st.roots.resize(count);
  }
  return std::move(st.roots);
}

}  // namespace crn
