#include "groom/script_ops.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "groom/brush_ops.h"
#include "groom/brush_state.h"
#include "hair/hair_object.h"
#include "host/interface.h"
#include "plugin/atomic_file.h"
#include "plugin/diag_log.h"
#include "host/platform.h"

namespace crn {

using namespace host;

HairObject* HairObjectOf(INode* node) {
  if (!node) return nullptr;
  Object* obj = node->GetObjectRef();
  if (!obj || obj->ClassID() != kHairObjectClassID) return nullptr;
  return static_cast<HairObject*>(obj);
}

namespace ops {

namespace {

TimeValue Now() { return GetCOREInterface()->GetTime(); }

// Closest point to p on triangle (a, b, c), region by region.
V3 ClosestOnTriangle(const V3& p, const V3& a, const V3& b, const V3& c) {
  const V3 ab = b - a, ac = c - a, ap = p - a;
  const float d1 = Dot(ab, ap), d2 = Dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const V3 bp = p - b;
  const float d3 = Dot(ab, bp), d4 = Dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const float vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + ab * (d1 / (d1 - d3));
  const V3 cp = p - c;
  const float d5 = Dot(ab, cp), d6 = Dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const float vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
  const float va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
    return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  const float denom = 1.f / (va + vb + vc);
  return a + ab * (vb * denom) + ac * (vc * denom);
}

// Sharp reversals (consecutive segments turning back by more than 120 degrees) and whether
// the longest segment exceeds four times the mean, for one polyline.
struct KinkStats {
  int reversals = 0;
  bool stretched = false;
};
KinkStats Kinks(const V3* p, int n) {
  KinkStats k;
  if (n < 2) return k;
  double sum = 0;
  float longest = 0;
  for (int i = 1; i < n; ++i) {
    const float l = Length(p[i] - p[i - 1]);
    sum += l;
    longest = std::max(longest, l);
    if (i >= 2) {
      const V3 a = p[i - 1] - p[i - 2], b = p[i] - p[i - 1];
      if (Dot(a, b) < -0.5f * Length(a) * Length(b)) ++k.reversals;
    }
  }
  k.stretched = longest > 4.0 * (sum / (n - 1));
  return k;
}

}  // namespace

int guideCount(INode* node) {
  HairObject* obj = HairObjectOf(node);
  if (!obj) return 0;
  return int(obj->EvaluateGuides(Now()).VertexCount());
}

V3 guidePoint(INode* node, int guide, int k, TimeValue t) {
  HairObject* obj = HairObjectOf(node);
  if (!obj) return {};
  const GuideSet& g = obj->EvaluateGuides(t);
  const int segments = g.settings.segments;
  if (guide < 0 || k < 0 || k > segments) return {};
  const std::size_t idx = std::size_t(guide) * std::size_t(segments + 1) + std::size_t(k);
  if (g.guidePoints.size() < (std::size_t(guide) + 1) * std::size_t(segments + 1)) return {};
  return g.guidePoints[idx];
}

int insideCount(INode* node, TimeValue t) {
  HairObject* obj = HairObjectOf(node);
  if (!obj) return -1;
  const GuideSet& g = obj->EvaluateGuides(t);
  const int G = g.settings.segments + 1;
  const std::size_t guides = G > 0 ? g.guidePoints.size() / std::size_t(G) : 0;
  const std::size_t tris = g.TriangleCount();
  int inside = 0;
  for (std::size_t gi = 0; gi < guides; ++gi)
    for (int i = 2; i < G; ++i) {
      const V3 p = g.guidePoints[gi * G + i];
      V3 closest, normal(0, 0, 1);
      float best = 3.4e38f;
      for (std::size_t tri = 0; tri < tris; ++tri) {
        const V3& a = g.vertices[g.triangles[3 * tri]];
        const V3& b = g.vertices[g.triangles[3 * tri + 1]];
        const V3& c = g.vertices[g.triangles[3 * tri + 2]];
        const V3 q = ClosestOnTriangle(p, a, b, c);
        const float d = LengthSq(p - q);
        if (d < best) {
          best = d;
          closest = q;
          normal = UnitOr(Cross(b - a, c - a), V3(0, 0, 1));
        }
      }
      if (Dot(p - closest, normal) < -0.01f) ++inside;
    }
  return inside;
}

int kinkCount(INode* node, TimeValue t) {
  HairObject* obj = HairObjectOf(node);
  if (!obj) return -1;
  std::lock_guard lock(obj->EvalLock());
  const StrandSet& set = obj->BuildViewportStrands(t);
  const int P = set.pointsPerStrand;
  const std::size_t n = set.StrandCount();
  int kinked = 0, strandRev = 0, strandStr = 0;
  if (P > 1) {
    for (std::size_t s = 0; s < n; ++s) {
      const KinkStats k = Kinks(&set.points[s * P], P);
      strandRev += k.reversals;
      strandStr += k.stretched;
      if (k.stretched || k.reversals > 0) ++kinked;
    }
  }
  std::string path;
  if (GetEnvironmentVariable("CRINEL_KINK_LOG", &path) && !path.empty()) {
    const GuideSet& g = obj->EvaluateGuides(t);
    const int G = g.guidePointCount;
    int guideRev = 0, guideStr = 0;
    for (std::size_t gi = 0; G > 1 && (gi + 1) * G <= g.guidePoints.size(); ++gi) {
      const KinkStats k = Kinks(&g.guidePoints[gi * G], G);
      guideRev += k.reversals;
      guideStr += k.stretched;
    }
    char line[200];
    std::snprintf(line, sizeof line, "t %d guides rev %d str %d | strands rev %d str %d (pts %zu)\n",
                  t, guideRev, guideStr, strandRev, strandStr, std::size_t(std::max(P, 0)));
    LogToNamedFile("CRINEL_KINK_LOG", line);
  }
  return kinked;
}

int renderCount(INode* node) {
  HairObject* obj = HairObjectOf(node);
  if (!obj) return -1;
  std::lock_guard lock(obj->EvalLock());
  return int(obj->BuildRenderStrands(Now(), 1.0).StrandCount());
}

int dumpStrands(INode* node, const std::string& path) {
  HairObject* obj = HairObjectOf(node);
  // Every -1 comes with its reason in the message log.
  if (!obj) {
    GetCOREInterface()->LogMessage(
        "dumpStrands: " + (node ? "node \"" + node->GetName() + "\" is not a hair object"
                                : std::string("no node given")));
    return -1;
  }
  if (path.empty()) {
    GetCOREInterface()->LogMessage("dumpStrands: no file name given");
    return -1;
  }
  std::lock_guard lock(obj->EvalLock());
  const StrandSet& set = obj->BuildRenderStrands(Now(), 1.0);
  const std::int32_t S = std::int32_t(set.StrandCount());
  const std::int32_t P = S > 0 ? set.pointsPerStrand : std::max(set.pointsPerStrand, 0);
  const std::size_t points = std::size_t(S) * std::size_t(P);

  // Written beside the target and renamed over it, so a failed dump never leaves a
  // half-written file in place of a good one. The reason of a failure goes to the message log.
  const auto write = [&](AtomicFile& f) {
    f.Write("CRNS", 4);
    f.Write(&S, 4);
    f.Write(&P, 4);
    f.Write(set.points.data(), 12 * points);
    std::vector<float> widths(points, 0.01f);
    std::copy_n(set.widths.begin(), std::min(points, set.widths.size()), widths.begin());
    f.Write(widths.data(), 4 * points);
    for (const StrandArray<std::uint32_t>* colours : {&set.rootColour, &set.tipColour}) {
      std::vector<std::uint32_t> c(std::size_t(S), 0xFF806040u);
      std::copy_n(colours->begin(), std::min(c.size(), colours->size()), c.begin());
      f.Write(c.data(), 4 * c.size());
    }
  };
  std::string error;
  if (!WriteFileAtomically(path, write, error)) {
    GetCOREInterface()->LogMessage("dumpStrands: " + error);
    return -1;
  }
  return S;
}

namespace {

// Ungroomed guides of scripted dabs, kept for the object they were made for while a scripted
// stroke runs.
struct UngroomedBuffer {
  const HairObject* obj = nullptr;
  std::vector<V3> points;
};
UngroomedBuffer& ScriptUngroomed() {
  static UngroomedBuffer buffer;
  return buffer;
}

std::uint64_t TickMs() {
  return std::uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count());
}

double HiResMs(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

}  // namespace

bool brushDab(INode* node, int mode, float strength, const V3& delta) {
  HairObject* obj = HairObjectOf(node);
  if (!obj) return false;
  const TimeValue t = Now();
  const std::uint64_t t0 = TickMs();
  const GuideSet& cached = obj->EvaluateGuides(t);
  const std::size_t n = cached.VertexCount();
  const int P = cached.guidePointCount;
  if (n == 0 || P < 1 || cached.guidePoints.size() != n * std::size_t(P)) return false;
  const std::uint64_t t1 = TickMs();
  GuideSet work = cached;
  const std::uint64_t t2 = TickMs();

  const bool active = BrushActive();
  UngroomedBuffer& ung = ScriptUngroomed();
  if (!active || ung.obj != obj || ung.points.size() != work.guidePoints.size()) {
    ung.points = obj->UngroomedGuidePoints(t);
    ung.obj = obj;
  }
  const std::uint64_t t3 = TickMs();

  std::vector<float> weights(n, 1.0f);
  const V3 root0 = work.guidePoints[0];
  if (active) {
    const float R = std::max(3.f * work.settings.length, 1e-4f);
    for (std::size_t i = 0; i < n; ++i) {
      const float d = Length(work.guidePoints[i * P] - root0);
      weights[i] = d < R ? 1.f - d / R : 0.f;
    }
  }
  BrushDab dab;
  dab.kind = mode;
  dab.strength = strength;
  dab.drag = delta;
  dab.centre = root0;
  dab.serial = 7;

  const auto h0 = std::chrono::steady_clock::now();
  std::vector<V3> edits = obj->GroomEdits();
  const auto h1 = std::chrono::steady_clock::now();
  ApplyDab(work, weights, dab, ung.points, edits);
  const auto h2 = std::chrono::steady_clock::now();
  obj->SetGroomEdits(std::move(edits));
  const std::uint64_t t4 = TickMs();
  if (active) obj->FastGroomChange(work.guidePoints);
  else obj->FullGroomChange();

  if (GetEnvironmentVariable("CRINEL_BRUSH_LOG")) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "evaluate %lu  copy %lu  procGuides %lu  dab %lu ms | editsCopy %.2f applyDab %.2f ms\n",
                  (unsigned long)(t1 - t0), (unsigned long)(t2 - t1), (unsigned long)(t3 - t2),
                  (unsigned long)(t4 - t3), HiResMs(h0, h1), HiResMs(h1, h2));
    LogIfSet("CRINEL_BRUSH_LOG", "crinel_brush.log", line);
  }
  return true;
}

bool brushStroke(INode* node, bool down) {
  SetBrushActive(down);
  if (!down)
    if (HairObject* obj = HairObjectOf(node)) obj->FullGroomChange();
  return true;
}

}  // namespace ops
}  // namespace crn
