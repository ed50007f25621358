#include "render/render_bridge.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>

#include "hair/fur_math.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/module_version.h"
#include "host/platform.h"
#include "host/system_log.h"
#include "material/hair_mtl.h"
#include "plugin/diag_log.h"
#include "plugin/worker_pool.h"

namespace crn {

using namespace host;

namespace {

constexpr float kCollapseMagnitude = 1e7f;
constexpr int kLogBins = 50;

// Everything a delivered frame owns, freed by ReleaseHairFrame.
struct FrameHandle {
  StrandSet set;
  StrandArray<V3> positions;
  std::vector<V3> normals;
  std::vector<float> emission;
  ChildParams children{};
  hrt::HairShadeParams material{};
};
static_assert(sizeof(V3) == 3 * sizeof(float), "positions are handed out as floats");

HairObject* HairOf(INode* node) {
  if (!node) return nullptr;
  Object* obj = node->GetObjectRef();
  if (!obj || obj->ClassID() != kHairObjectClassID) return nullptr;
  return static_cast<HairObject*>(obj);
}

std::string LogPathFrom(const char* variable) {
  std::string path;
  if (!GetEnvironmentVariable(variable, &path)) return {};
  return path;
}

// The per-bin statistics of the delivered strands, for the bridge log.
void WriteFrameLog(const std::string& path, TimeValue t, const StrandSet& s, std::size_t full) {
  const std::size_t n = s.StrandCount(), p = std::size_t(std::max(s.pointsPerStrand, 0));
  char line[256];
  std::snprintf(line, sizeof line, "frame t=%d n=%zu full=%zu pts=%zu\n", t, n, full, p);
  std::string text = line;
  for (int k = 0; k < kLogBins; ++k) {
    const std::size_t first = std::size_t(k) * n / kLogBins, last = std::size_t(k + 1) * n / kLogBins;
    double zero = 0, height = 0, len = 0;
    for (std::size_t i = first; i < last && p > 0; ++i) {
      if (s.widths[i * p] <= 0) zero += 1;
      const V3 d = s.points[i * p + p - 1] - s.points[i * p];
      const V3 nrm = i < s.rootNormal.size() ? s.rootNormal[i] : V3();
      height += double(Dot(d, nrm));
      len += double(Length(d));
    }
    const double count = last - first > 1 ? double(last - first) : 1.0;
    std::snprintf(line, sizeof line, "  bin %2d: zeroW %6.2f%%  height %.3f  len %.3f\n", k,
                  100.0 * zero / count, height / count, len / count);
    text += line;
  }
  AppendLog(path, text);
}

// Darkens the byte channels of a packed colour; alpha stays.
std::uint32_t Darken(std::uint32_t c, float factor) {
  std::uint32_t out = c & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const float v = float((c >> shift) & 0xFFu) * factor;
    out |= (std::uint32_t(v) & 0xFFu) << shift;
  }
  return out;
}

// The render share of one hair object in strand segments: renderPercent/100 x count x segments.
double SegmentShare(HairObject& obj, TimeValue t) {
  if (!obj.pblock2) return 0;
  return obj.pblock2->GetFloat(hp::renderPercent, t) / 100.0 * double(obj.pblock2->GetInt(hp::count, t)) *
         double(obj.pblock2->GetInt(hp::segments, t));
}

double SceneSegmentShare(TimeValue t) {
  double sum = 0;
  for (const auto& node : GetCOREInterface()->Nodes())
    if (!node->IsHidden() && node->Renderable())
      if (HairObject* obj = HairOf(node.get())) sum += SegmentShare(*obj, t);
  return sum;
}

}  // namespace

void GlowEmission(const StrandSet& s, std::vector<float>& out) {
  const std::size_t n = s.StrandCount(), p = std::size_t(s.pointsPerStrand);
  out.assign(3 * n * p, 0.f);
  for (std::size_t i = 0; i < n; ++i) {
    const float g = s.glow[i];
    if (!(g > 0)) continue;
    for (std::size_t j = 0; j < p; ++j) {
      const float f = p < 2 ? 1.f : float(j) / float(p - 1);
      const float e = 14.f * g * f * f * f;
      float* o = &out[3 * (i * p + j)];
      o[0] = e;
      o[1] = 0.35f * e;
      o[2] = 0.06f * e;
    }
  }
}

namespace {

// Gives every per-strand and per-point array its full length, so an engine never reads past
// a short array (missing widths are 0, missing colours white).
bool CompleteArrays(StrandSet& s) {
  const std::size_t n = s.StrandCount(), p = std::size_t(std::max(s.pointsPerStrand, 0));
  if (p == 0 || s.points.size() < n * p) return false;
  s.points.resize(n * p);
  s.widths.resize(n * p, 0.f);
  s.rootColour.resize(n, 0xFFFFFFFFu);
  s.tipColour.resize(n, 0xFFFFFFFFu);
  return true;
}

std::int32_t GetFrame(INode* node, TimeValue t, std::int32_t mode, CrnHairFrame* frame) {
  HairObject* obj = HairOf(node);
  if (!obj || !frame) return 0;
  auto h = std::make_unique<FrameHandle>();
  StrandSet& s = h->set;
  const bool render = mode != 0;
  int renderMult = 1;
  {
    std::lock_guard lock(obj->EvalLock());
    if (render) {
      const double percent = obj->pblock2 ? obj->pblock2->GetFloat(hp::renderPercent, t) : 100.0;
      renderMult = obj->pblock2 ? obj->pblock2->GetInt(hp::renderMult, t) : 1;
      obj->BuildRenderStrands(t, percent / 100.0, s);
    } else {
      s = obj->BuildViewportStrands(t);
    }
  }
  const std::size_t full = s.StrandCount();
  // The frame counts strands in 32 bits.
  if (full == 0 || full > std::size_t(INT32_MAX) || !CompleteArrays(s)) return 0;

  SanitiseStrands(s);
  if (const std::string log = LogPathFrom("CRINEL_BRIDGE_LOG"); !log.empty()) WriteFrameLog(log, t, s, full);

  if (render && renderMult <= 1 && s.pointsPerStrand >= 2) {
    const double all = SceneSegmentShare(t), mine = SegmentShare(*obj, t);
    const double share = all > 0 && mine > 0 ? std::min(1.0, mine / all) : 1.0;
    const std::string report = FitToGpuMemory(s, share, FreeGpuBytes(), node->GetName());
    if (!report.empty()) {
      LogSystemEntry(SYSLOG_WARN, "Crinel", report);
      if (const std::string log = LogPathFrom("CRINEL_GPU_LOG"); !log.empty()) AppendLog(log, report + "\n");
    }
  }
  const std::size_t n = s.StrandCount(), p = std::size_t(s.pointsPerStrand);

  FindHairParams(node->GetMtl(), t, h->material);

  DarkenWetStrands(s);
  const bool wet = s.wet.size() == n;
  if (s.glow.size() == n && std::any_of(s.glow.begin(), s.glow.end(), [](float g) { return g > 0; }))
    GlowEmission(s, h->emission);

  const bool hiSplit = s.hiColour.size() == n && s.hiStart.size() == n && s.hiSoft.size() == n;
  const bool deliverHighlights = hiSplit && EngineNewEnough();
  if (!deliverHighlights) FoldHighlightsIntoTips(s);

  h->normals.resize(n);
  for (std::size_t i = 0; i < n; ++i) h->normals[i] = i < s.rootNormal.size() ? s.rootNormal[i] : V3();

  ChildParams& c = h->children;
  c.childCount = render ? std::clamp(renderMult, 1, 200) : 1;
  c.wideShare = 0.35f;
  c.narrowCount = 3.0f;
  c.lengthJitter = 0.25f;
  c.tipSpread = 0.12f;
  c.childSeed = 1;
  if (c.childCount > 1) {
    const float d = EstimateRootSpacing(s);
    c.spacingWide = 0.7f * d;
    c.spacingNarrow = 0.15f * d;
    c.childSeed = kChildSeed;
  }

  // The frame's positions take the set's points over rather than copying them: a render frame
  // can hold hundreds of megabytes.
  h->positions = std::move(s.points);

  *frame = CrnHairFrame{};
  frame->pointsPerStrand = std::int32_t(p);
  frame->strandCount = std::int32_t(n);
  frame->positions = reinterpret_cast<const float*>(h->positions.data());
  frame->widths = s.widths.data();
  frame->rootColours = s.rootColour.data();
  frame->tipColours = s.tipColour.data();
  frame->wetness = wet ? s.wet.data() : nullptr;
  frame->material = &h->material;
  frame->materialSize = std::int32_t(sizeof(hrt::HairShadeParams));
  frame->thinned = n < full ? 1 : 0;
  frame->emission = h->emission.empty() ? nullptr : h->emission.data();
  frame->normals = reinterpret_cast<const float*>(h->normals.data());
  frame->children = &h->children;
  frame->childrenSize = std::int32_t(sizeof(ChildParams));
  if (deliverHighlights) {
    frame->hiColours = s.hiColour.data();
    frame->hiStarts = s.hiStart.data();
    frame->hiSofts = s.hiSoft.data();
  }
  frame->handle = h.release();
  return 1;
}

std::atomic<int> g_engineNew{-1};  // -1: not asked yet

}  // namespace

std::size_t SanitiseStrands(StrandSet& s) {
  const std::size_t n = s.StrandCount(), p = std::size_t(std::max(s.pointsPerStrand, 0));
  std::size_t collapsed = 0;
  auto bad = [](float v) { return std::isnan(v) || std::fabs(v) > kCollapseMagnitude; };
  for (std::size_t i = 0; i < n && (i + 1) * p <= s.points.size(); ++i) {
    V3* pts = &s.points[i * p];
    const bool any = std::any_of(pts, pts + p, [&](const V3& v) { return bad(v.x) || bad(v.y) || bad(v.z); });
    if (!any) continue;
    // A root with a NaN in any coordinate would hand the NaN on: such strands go to the origin.
    const bool nanRoot = std::isnan(pts[0].x) || std::isnan(pts[0].y) || std::isnan(pts[0].z);
    const V3 root = nanRoot ? V3() : pts[0];
    std::fill(pts, pts + p, root);
    for (std::size_t j = 0; j < p && i * p + j < s.widths.size(); ++j) s.widths[i * p + j] = 0.f;
    ++collapsed;
  }
  return collapsed;
}

void DarkenWetStrands(StrandSet& s) {
  const std::size_t n = s.StrandCount();
  if (s.wet.size() != n) return;
  for (std::size_t i = 0; i < n; ++i) {
    const float w = std::min(s.wet[i], 1.f);
    if (!(w > 0)) continue;
    const float factor = 1.f - 0.5f * w;
    if (i < s.rootColour.size()) s.rootColour[i] = Darken(s.rootColour[i], factor);
    if (i < s.tipColour.size()) s.tipColour[i] = Darken(s.tipColour[i], factor);
    if (i < s.hiColour.size()) s.hiColour[i] = Darken(s.hiColour[i], factor);
  }
}

void FoldHighlightsIntoTips(StrandSet& s) {
  const std::size_t n = s.StrandCount();
  if (s.hiColour.size() != n || s.hiStart.size() != n) return;
  for (std::size_t i = 0; i < n && i < s.tipColour.size(); ++i)
    if (s.hiStart[i] <= 1.f) s.tipColour[i] = s.hiColour[i];
}

float EstimateRootSpacing(const StrandSet& s) {
  const std::size_t x = s.StrandCount(), p = std::size_t(std::max(s.pointsPerStrand, 0));
  if (x == 0 || p == 0) return 0.f;
  const std::size_t y = std::min<std::size_t>(x, 256), z = std::min<std::size_t>(x, 20000);
  const std::size_t strideY = x / y, strideZ = x / z;
  // The samples' nearest squared distances in parallel, summed in sample order (the same
  // result on any number of threads).
  std::vector<double> nearest(y, 1e30);
  ParallelFor(y, [&](std::uint64_t b, std::uint64_t e) {
    for (std::size_t k = b; k < e; ++k) {
      const std::size_t i = k * strideY;
      const V3 root = s.points[i * p];
      double best = 1e30;
      for (std::size_t m = 0; m < z; ++m) {
        const std::size_t j = m * strideZ;
        if (j == i) continue;
        const V3 d = s.points[j * p] - root;
        best = std::min(best, double(Dot(d, d)));
      }
      nearest[k] = best;
    }
  }, 8);
  double sum = 0;
  std::size_t found = 0;
  for (double best : nearest)
    if (best < 1e29) {
      sum += std::sqrt(best);
      ++found;
    }
  if (found == 0) return 0.f;
  return float(std::sqrt(double(z) / double(x)) * 2.0 * (sum / double(found)));
}

std::int32_t BridgeIsHairNode(INode* node, TimeValue) { return HairOf(node) ? 1 : 0; }

std::int32_t BridgeGetHairFrame(INode* node, TimeValue t, std::int32_t mode, CrnHairFrame* frame) {
  try {
    return GetFrame(node, t, mode, frame);
  } catch (...) {
    return 0;  // nothing may cross into the engine; the handle was freed on the way out
  }
}

void BridgeReleaseHairFrame(void* handle) { delete static_cast<FrameHandle*>(handle); }

bool EngineReadsHighlights(int major, int minor, int build) {
  return major >= 2 || (major == 1 && minor > 8) || (major == 1 && minor == 8 && build > 28);
}

bool EngineNewEnough() {
  int known = g_engineNew.load();
  if (known < 0) {
    FileVersion v{};
    known = GetLoadedModuleVersion(kEngineModuleName, v) && EngineReadsHighlights(v[0], v[1], v[2]) ? 1 : 0;
    g_engineNew.store(known);
  }
  return known == 1;
}

void ResetEngineVersion() { g_engineNew.store(-1); }

const CrnBridge* BridgeRecord() {
  static const CrnBridge bridge{kBridgeVersion, 0, &BridgeIsHairNode, &BridgeGetHairFrame,
                                &BridgeReleaseHairFrame, nullptr};
  return &bridge;
}

}  // namespace crn
