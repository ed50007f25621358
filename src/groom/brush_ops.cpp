#include "groom/brush_ops.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "plugin/worker_pool.h"

namespace crn {
namespace {

constexpr const char* kBrushNames[kBrushCount] = {
    "Comb",
    "Lift / puff",
    "Flatten",
    "Lengthen",
    "Shorten / cut",
    "Smooth",
    "Twist",
    "Erase grooming",
    "Clump (gather locks)",
    "Part",
    "Curl",
    "Straighten",
    "Frizz",
    "Density: paint more",
    "Density: paint less",
};

// Guides hold at most 65 points (64 segments); longer guides fall back to heap scratch.
constexpr int kStackPoints = 65;

const V3 kUp{0, 0, 1};

inline V3 Normalise(const V3& v) { return UnitOr(v, kUp); }

// Everything one guide's reshape reads besides its own points.
struct GuideInput {
  int kind = 0;
  float b = 0;          // effective strength
  V3 normal;            // root normal N
  V3 drag, centre;      // from the dab
  int serial = 0;
  std::size_t index = 0;
  const V3* ungroomed = nullptr;  // this guide's ungroomed points
  const V3* mean = nullptr;       // clump mean shape (kind 8 only)
};

// Puts every point back at its segment's length from before the dab, walking from the root.
void Rechain(V3* p, int P, const float* L) {
  for (int k = 1; k < P; ++k) p[k] = p[k - 1] + Normalise(p[k] - p[k - 1]) * L[k];
}

// Turns each segment towards its target direction by h, in order from the root (Lift,
// Flatten). The direction of a segment is taken from the already moved previous point.
void TurnSegments(V3* p, int P, const float* L, const V3& N, float h, bool flatten) {
  for (int k = 1; k < P; ++k) {
    const V3 v = Normalise(p[k] - p[k - 1]);
    const V3 t = flatten ? Normalise(v - N * Dot(N, v) + N * 0.02f) : N;
    p[k] = p[k - 1] + Normalise(v + (t - v) * h) * L[k];
  }
}

// Reshapes one guide of P >= 2 points by the dab's kind. L and q are scratch of P entries.
void ReshapeGuide(const GuideInput& in, V3* p, int P, float* L, V3* q) {
  const float b = in.b;
  const float h = b / 2.f;
  const V3& N = in.normal;
  const float last = float(P - 1);
  auto ramp = [last](int k) { return float(k) / last; };

  L[0] = 0.f;
  for (int k = 1; k < P; ++k) L[k] = Length(p[k] - p[k - 1]);

  switch (in.kind) {
    case kBrushComb:
      for (int k = 1; k < P; ++k) p[k] += in.drag * (ramp(k) * b);
      Rechain(p, P, L);
      break;
    case kBrushLift:
      TurnSegments(p, P, L, N, h, false);
      break;
    case kBrushFlatten:
      TurnSegments(p, P, L, N, h, true);
      break;
    case kBrushLengthen:
    case kBrushShorten: {
      const float f = in.kind == kBrushLengthen ? 1.f + 0.12f * b : 1.f - 0.12f * b;
      for (int k = 1; k < P; ++k) q[k] = Normalise(p[k] - p[k - 1]);
      for (int k = 1; k < P; ++k) p[k] = p[k - 1] + q[k] * std::max(f * L[k], 1e-4f);
      break;
    }
    case kBrushSmooth:
      std::copy(p, p + P, q);
      for (int k = 1; k < P - 1; ++k) p[k] = q[k] + ((q[k - 1] + q[k + 1]) / 2.f - q[k]) * b;
      Rechain(p, P, L);
      break;
    case kBrushTwist: {
      const float theta = 0.3f * b;
      const float c = cosf(theta), s = sinf(theta);
      for (int k = 1; k < P; ++k) {
        const V3 v = p[k] - p[0];
        p[k] = p[0] + v * c + Cross(N, v) * s + N * Dot(N, v) * (1.f - c);
      }
      break;
    }
    case kBrushErase:
      for (int k = 1; k < P; ++k) p[k] += (in.ungroomed[k] - p[k]) * h;
      break;
    case kBrushClump: {
      const float b2 = 0.6f * b;
      for (int k = 1; k < P; ++k) p[k] += (p[0] + in.mean[k] - p[k]) * ramp(k) * b2;
      Rechain(p, P, L);
      break;
    }
    case kBrushPart: {
      const V3& g = in.drag;
      const V3 s = g - N * Dot(g, N);
      if (LengthSq(s) < 1e-12f) break;  // a drag along the normal has no side
      V3 side = Normalise(Cross(N, s));
      if (Dot(p[0] - in.centre, side) < 0.f) side = -side;
      float total = 0.f;
      for (int k = 1; k < P; ++k) total += L[k];
      for (int k = 1; k < P; ++k) p[k] += side * ramp(k) * 0.15f * b * total;
      Rechain(p, P, L);
      break;
    }
    case kBrushCurl:
    case kBrushStraighten: {
      const V3 a = Normalise(p[P - 1] - p[0]);
      std::copy(p, p + P, q);
      if (in.kind == kBrushCurl) {
        const V3 ref = std::fabs(a.z) < 0.9f ? V3(0, 0, 1) : V3(1, 0, 0);
        const V3 e1 = Normalise(Cross(a, ref));
        const V3 e2 = Cross(a, e1);
        for (int k = 1; k < P; ++k) {
          const float angle = 1.3f * float(k);
          p[k] = q[k] + (e1 * cosf(angle) + e2 * sinf(angle)) * 0.5f * b * L[k] * ramp(k);
        }
      } else {
        for (int k = 1; k < P; ++k) p[k] = q[k] + (q[0] + a * Dot(q[k] - q[0], a) - q[k]) * h;
      }
      Rechain(p, P, L);
      break;
    }
    case kBrushFrizz: {
      const float s = float(in.serial % 997);
      const float x = 0.37f * float(in.index);
      for (int k = 1; k < P; ++k) {
        const float y = 0.9f * float(k);
        const V3 n(FurNoise3(x, y, s), FurNoise3(x + 31.7f, y + 7.3f, s + 13.1f),
                   FurNoise3(x - 11.9f, y + 47.2f, s + 3.7f));
        p[k] += n * ramp(k) * 0.6f * b * L[k];
      }
      Rechain(p, P, L);
      break;
    }
    default:  // density kinds and unknown kinds leave the guide as it is
      break;
  }
}

// Weighted mean shape of the guides with a positive weight, relative to each guide's root.
std::vector<V3> ClumpMean(const GuideSet& work, const std::vector<float>& weights, std::size_t n,
                          int P) {
  std::vector<V3> sum(static_cast<std::size_t>(P));
  float wsum = 0.f;
  const std::size_t m = std::min(n, weights.size());
  for (std::size_t i = 0; i < m; ++i) {
    const float w = weights[i];
    if (!(w > 0.f)) continue;
    const V3* p = work.guidePoints.data() + i * static_cast<std::size_t>(P);
    for (int k = 0; k < P; ++k) sum[k] += (p[k] - p[0]) * w;
    wsum += w;
  }
  if (wsum > 0.f)
    for (V3& v : sum) v = v / wsum;
  return sum;
}

}  // namespace

const char* BrushName(int kind) {
  return kind >= 0 && kind < kBrushCount ? kBrushNames[kind] : nullptr;
}

void EncodeEdits(const V3* points, const V3* ungroomed, int pointCount, const V3& tangent,
                 const V3& normal, V3* out) {
  if (pointCount <= 0) return;
  const V3 binormal = Cross(normal, tangent);
  out[0] = V3{};
  for (int k = 1; k < pointCount; ++k) {
    const V3 d = points[k] - ungroomed[k];
    out[k] = V3(Dot(d, tangent), Dot(d, binormal), Dot(d, normal));
  }
}

void ApplyDab(GuideSet& work, const std::vector<float>& weights, const BrushDab& dab,
              const std::vector<V3>& ungroomed, std::vector<V3>& edits) {
  const std::size_t n = work.VertexCount();
  const int P = work.guidePointCount;
  if (n == 0 || P <= 0) return;
  const std::size_t total = n * static_cast<std::size_t>(P);
  if (work.guidePoints.size() != total || ungroomed.size() != total || work.normals.size() < n ||
      work.tangents.size() < n)
    return;

  if (edits.size() != total) edits.resize(total);

  const float strengthFactor = std::min(2.f * dab.strength, 1.f);
  std::vector<V3> mean;
  if (dab.kind == kBrushClump) mean = ClumpMean(work, weights, n, P);

  V3* points = work.guidePoints.data();
  V3* editData = edits.data();
  const std::size_t weightCount = weights.size();
  const float* weightData = weights.data();

  auto range = [&](std::uint64_t begin, std::uint64_t end) {
    std::array<float, kStackPoints> lengthsStack;
    std::array<V3, kStackPoints> copyStack;
    std::vector<float> lengthsHeap;
    std::vector<V3> copyHeap;
    float* L = lengthsStack.data();
    V3* q = copyStack.data();
    if (P > kStackPoints) {
      lengthsHeap.resize(static_cast<std::size_t>(P));
      copyHeap.resize(static_cast<std::size_t>(P));
      L = lengthsHeap.data();
      q = copyHeap.data();
    }
    for (std::uint64_t i = begin; i < end; ++i) {
      const float w = i < weightCount ? weightData[i] : 0.f;
      const float b = strengthFactor * w;
      if (!(b > 0.f)) continue;
      const std::size_t base = static_cast<std::size_t>(i) * static_cast<std::size_t>(P);
      V3* p = points + base;
      if (P >= 2) {
        GuideInput in;
        in.kind = dab.kind;
        in.b = b;
        in.normal = work.normals[i];
        in.drag = dab.drag;
        in.centre = dab.centre;
        in.serial = dab.serial;
        in.index = static_cast<std::size_t>(i);
        in.ungroomed = ungroomed.data() + base;
        in.mean = mean.empty() ? nullptr : mean.data();
        ReshapeGuide(in, p, P, L, q);
      }
      EncodeEdits(p, ungroomed.data() + base, P, work.tangents[i], work.normals[i],
                  editData + base);
    }
  };
  ParallelFor(n, range, 64);
}

void PaintDensity(std::vector<float>& factors, std::size_t guideCount,
                  const std::vector<float>& weights, int sign, float strength) {
  if (factors.size() != guideCount) factors.resize(guideCount, 1.0f);
  const std::size_t m = std::min(guideCount, weights.size());
  for (std::size_t i = 0; i < m; ++i) {
    const float w = weights[i];
    if (!(w > 0.f)) continue;
    factors[i] = Clamp01(factors[i] + w * float(sign) * strength * 0.25f);
  }
}

}  // namespace crn
