// The strand line item: viewport strands and guides as coloured line lists in object space.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "groom/hair_display.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/inode.h"
#include "plugin/worker_pool.h"

namespace crn {

using namespace host;

namespace {

std::uint32_t Channel(std::uint32_t word, int shift) { return (word >> shift) & 0xFFu; }

std::uint32_t RoundChannel(float c) {
  return std::uint32_t(std::clamp(c, 0.f, 255.f) + 0.5f);
}

Point3 ToObject(const V3& p, const Matrix3& inv) {
  return inv.PointTransform(Point3(p.x, p.y, p.z));
}

// Strands per batch, so a batch holds at most kMaxBatchVertices vertices.
std::size_t StrandsPerBatch(std::size_t segmentsPerStrand) {
  const std::size_t b = kMaxBatchVertices / (2 * segmentsPerStrand);
  return b < 2 ? 1 : b;
}

}  // namespace

std::uint32_t HueColour(std::uint32_t seed) {
  const std::uint32_t u = Mix32((seed * 0x9E3779B9u) ^ 0x5C45D53Eu);
  const float h = Unit24(u) * 6.f;
  const int i = std::min(int(std::floor(h)), 5);
  const float f = h - float(i);
  float r, g, b;
  switch (i) {
    case 0: r = 1; g = f; b = 0; break;
    case 1: r = 1 - f; g = 1; b = 0; break;
    case 2: r = 0; g = 1; b = f; break;
    case 3: r = 0; g = 1 - f; b = 1; break;
    case 4: r = f; g = 0; b = 1; break;
    default: r = 1; g = 0; b = 1 - f; break;
  }
  auto ch = [](float c) { return std::uint32_t(c * 195.f + 60.f); };
  return 0xFF000000u | (ch(r) << 16) | (ch(g) << 8) | ch(b);
}

std::uint32_t StrandFalseColour(const StrandSet& set, std::size_t s, int colourMode) {
  const std::size_t n = set.StrandCount();
  std::uint32_t x;
  if (colourMode == 1 && set.clumpIndex.size() == n && set.clumpIndex[s] >= 0)
    x = std::uint32_t(set.clumpIndex[s]) * 0x9E3779B1u;
  else
    x = set.strandId[s] * 0x85EBCA77u;
  return HueColour(x);
}

std::uint32_t StrandLineColour(const StrandSet& set, std::size_t s, float t) {
  const std::size_t n = set.StrandCount();
  const std::uint32_t root = set.rootColour[s], tip = set.tipColour[s];
  const bool highlight =
      set.hiColour.size() == n && set.hiStart.size() == n && set.hiSoft.size() == n;
  float m = 0;
  if (highlight) {
    const float lo = set.hiStart[s] - set.hiSoft[s] / 2, hi = set.hiStart[s] + set.hiSoft[s] / 2;
    if (lo >= hi) {
      m = t < lo ? 0.f : 1.f;
    } else {
      const float x = Clamp01((t - lo) / (hi - lo));
      m = x * x * (3 - 2 * x);
    }
  }
  std::uint32_t out = 0xFF000000u;
  for (int shift : {16, 8, 0}) {
    const float r = float(Channel(root, shift)), p = float(Channel(tip, shift));
    float c = r * (1 - t) + p * t;
    if (highlight) {
      const float h = float(Channel(set.hiColour[s], shift));
      const float target = h + (std::max(h, p) - h) * t;
      c = c + (target - c) * m;
    }
    out |= RoundChannel(c) << shift;
  }
  return out;
}

void HairLineItem::CloseBatch(VertexBufferHandle positions, VertexBufferHandle colours,
                              std::size_t count) {
  if (count == 0) return;
  batches_.push_back({std::move(positions), std::move(colours), count});
  vertexCount_ += count;
}

void HairLineItem::Realize(DrawContext& dc) {
  if (!object_ || !object_->pblock2) return;
  HairObject& obj = *object_;
  std::lock_guard lock(obj.EvalLock());
  const TimeValue t = dc.GetTime();
  const StrandSet& set = obj.BuildViewportStrands(t);
  const Matrix3 M = node_ ? node_->GetObjectTM(t) : Matrix3();
  const bool showGuides = obj.pblock2->GetInt(hp::vpGuides, t) != 0;
  const int colourMode = obj.pblock2->GetInt(hp::vpColorMode, t);
  if (builtVersion_ == obj.DisplayVersion() && M == nodeTM_ && showGuides == showGuides_ &&
      colourMode == colourMode_ && !batches_.empty())
    return;

  builtVersion_ = obj.DisplayVersion();
  nodeTM_ = M;
  showGuides_ = showGuides;
  colourMode_ = colourMode;
  ++builds_;
  const Matrix3 inv = Inverse(M);
  batches_.clear();
  vertexCount_ = 0;
  material_.Initialize();

  if (showGuides) {
    const GuideSet& g = obj.EvaluateGuides(t);
    const std::size_t P = std::size_t(std::max(g.guidePointCount, 0));
    const std::size_t n = P > 1 ? std::min(g.VertexCount(), g.guidePoints.size() / P) : 0;
    // Guides share the strands' batch cap.
    const std::size_t per = P > 1 ? StrandsPerBatch(P - 1) : 1;
    for (std::size_t first = 0; first < n; first += per) {
      const std::size_t count = std::min(per, n - first);
      const std::size_t verts = 2 * count * (P - 1);
      VertexBufferHandle pos, col;
      pos.Initialize(sizeof(Point3), verts);
      col.Initialize(sizeof(std::uint32_t), verts);
      auto* xyz = static_cast<Point3*>(pos.Lock());
      auto* rgb = static_cast<std::uint32_t*>(col.Lock());
      std::size_t v = 0;
      for (std::size_t i = first; i < first + count; ++i)
        for (std::size_t k = 1; k < P; ++k) {
          xyz[v] = ToObject(g.guidePoints[i * P + k - 1], inv);
          xyz[v + 1] = ToObject(g.guidePoints[i * P + k], inv);
          rgb[v] = rgb[v + 1] = kGuideLineColour;
          v += 2;
        }
      pos.Unlock();
      col.Unlock();
      CloseBatch(std::move(pos), std::move(col), verts);
    }
  }

  const std::size_t P = std::size_t(std::max(set.pointsPerStrand, 0));
  std::size_t n = set.StrandCount();
  if (P < 2 || set.points.size() < n * P) n = 0;
  if (colourMode == 0 && (set.rootColour.size() < n || set.tipColour.size() < n)) n = 0;
  if (n == 0) return;
  const std::size_t segs = P - 1;
  const std::size_t per = StrandsPerBatch(segs);
  for (std::size_t first = 0; first < n; first += per) {
    const std::size_t count = std::min(per, n - first);
    const std::size_t verts = 2 * count * segs;
    VertexBufferHandle pos, col;
    pos.Initialize(sizeof(Point3), verts);
    col.Initialize(sizeof(std::uint32_t), verts);
    Point3* xyz = static_cast<Point3*>(pos.Lock());
    std::uint32_t* rgb = static_cast<std::uint32_t*>(col.Lock());
    ParallelFor(
        count,
        [&](std::uint64_t b, std::uint64_t e) {
          for (std::size_t s = first + b; s < first + e; ++s) {
            const V3* q = &set.points[s * P];
            const std::uint32_t flat = colourMode == 0 ? 0 : StrandFalseColour(set, s, colourMode);
            for (std::size_t k = 1; k < P; ++k) {
              const std::size_t v = 2 * ((s - first) * segs + k - 1);
              xyz[v] = ToObject(q[k - 1], inv);
              xyz[v + 1] = ToObject(q[k], inv);
              if (colourMode == 0) {
                rgb[v] = StrandLineColour(set, s, float(k - 1) / float(segs));
                rgb[v + 1] = StrandLineColour(set, s, float(k) / float(segs));
              } else {
                rgb[v] = rgb[v + 1] = flat;
              }
            }
          }
        },
        4096);
    pos.Unlock();
    col.Unlock();
    CloseBatch(std::move(pos), std::move(col), verts);
  }
}

void HairLineItem::Display(DrawContext& dc) {
  if (batches_.empty()) return;
  material_.Activate(dc);
  for (int pass = 0; pass < material_.GetPassCount(dc); ++pass) {
    material_.ActivatePass(dc, pass);
    for (const Batch& b : batches_) {
      dc.SetStreamSource(VertexColorMaterialHandle::kPositionStream, b.positions);
      dc.SetStreamSource(VertexColorMaterialHandle::kColourStream, b.colours);
      dc.DrawPrimitive(PrimitiveLineList, 0, b.vertexCount / 2);
    }
  }
  material_.Terminate(dc);
}

}  // namespace crn
