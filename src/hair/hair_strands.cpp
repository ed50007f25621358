// Viewport and render strand builds of the hair object.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "hair/hair_hooks.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair/memory_fit.h"
#include "hair/spline_set.h"
#include "hair/strand_build.h"
#include "host/interface.h"
#include "host/platform.h"
#include "plugin/diag_log.h"

namespace crn {

using namespace host;

namespace {

std::uint64_t MixKey(std::uint64_t h, std::uint64_t x) {
  return h ^ (x + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
}

double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// The maps, splines and samplers one strand build reads; lives for one build.
struct BuildResources {
  std::shared_ptr<const MapGrid> lengthGrid, widthGrid, colourGrid;
  std::unique_ptr<ScalarMapSampler> length, width;
  std::unique_ptr<ColourMapSampler> colour;
  SplineSet splines;
  std::span<const float> wetness;
  std::vector<float> burn, glow;
  BuildInputs inputs;
};

}  // namespace

// Samplers over the guides' corner UVW; a map on a surface without UVW acts as absent.
static void MakeScalarSamplers(const GuideSet& g, BuildResources& r,
                               std::shared_ptr<const MapGrid> lengthGrid,
                               std::shared_ptr<const MapGrid> widthGrid) {
  const bool uvs = !g.cornerUVW.empty();
  r.lengthGrid = uvs ? std::move(lengthGrid) : nullptr;
  r.widthGrid = uvs ? std::move(widthGrid) : nullptr;
  if (r.lengthGrid) r.length = std::make_unique<ScalarMapSampler>(r.lengthGrid, &g.cornerUVW);
  if (r.widthGrid) r.width = std::make_unique<ScalarMapSampler>(r.widthGrid, &g.cornerUVW);
  r.inputs.lengthSampler = r.length.get();
  r.inputs.widthSampler = r.width.get();
}

static void MakeColourSampler(const GuideSet& g, BuildResources& r,
                              std::shared_ptr<const MapGrid> colourGrid) {
  r.colourGrid = g.cornerUVW.empty() ? nullptr : std::move(colourGrid);
  if (r.colourGrid) r.colour = std::make_unique<ColourMapSampler>(r.colourGrid, &g.cornerUVW);
  r.inputs.colourSampler = r.colour.get();
}

// The per-build inputs shared by viewport and render builds. Wetness, burn and glow come
// from the water and fire effects (r.wetness, r.burn, r.glow).
static void FillInputs(BuildResources& r, std::span<const V3> eyeCentres,
                       std::span<const float> eyeRadii, bool brushActive, const V3& coatColour) {
  BuildInputs& in = r.inputs;
  in.wetness = r.wetness;
  in.burn = r.burn;
  in.glow = r.glow;
  in.splines = &r.splines;
  in.eyeCentres = eyeCentres;
  in.eyeRadii = eyeRadii;
  in.brushActive = brushActive;
  in.coatColour = coatColour;
}

// Guide spline nodes of the block at t, resampled to P points.
static SplineSet SplinesAt(IParamBlock2& pb, TimeValue t, int P) {
  std::vector<INode*> nodes;
  for (int i = 0; i < pb.Count(hp::guideSplines); ++i)
    if (INode* n = pb.GetINode(hp::guideSplines, t, i)) nodes.push_back(n);
  return nodes.empty() ? SplineSet() : BuildSplineSet(nodes, t, P);
}

// The guides' settings with the bounds of the rest surface the roots were placed on.
GenSettings HairObject::BuildSettings(const GuideSet& g) const {
  GenSettings s = g.settings;
  s.bboxMin = restMin_;
  s.bboxMax = restMax_;
  return s;
}

const StrandSet& HairObject::BuildViewportStrands(TimeValue t) {
  std::lock_guard lock(evalLock_);
  const auto t0 = std::chrono::steady_clock::now();
  const GuideSet& g = EvaluateGuides(t);
  const std::vector<RootSample>& roots = PlaceRoots(t);
  const bool brushing = GetHairHooks().brushActive && GetHairHooks().brushActive();

  const double R = double(roots.size());
  double phi = 0;
  if (R > 0) {
    phi = std::min(double(pblock2->GetInt(hp::vpMax, t)) / R,
                   double(pblock2->GetFloat(hp::vpPercent, t)) / 100.0);
    if (brushing) phi = std::min(phi, 30000.0 / R);
  }
  BuildResources res;
  EffectInputs(t, g, res.wetness, res.burn, res.glow);
  std::uint64_t bits;
  std::memcpy(&bits, &phi, 8);
  std::uint64_t key = MixKey(0x5EEDull, bits);
  if (!res.burn.empty()) key = MixKey(key, std::uint64_t(std::uint32_t(t)) * 0x9E3779B1ull + 1);
  key = MixKey(key, guidesChange_ * 0x100000001B3ull);
  key = MixKey(key, rootKey_ * 31);
  key = MixKey(key, mapVersion_ * 7);
  key = MixKey(key, settingsStamp_);
  key = MixKey(key, brushing);
  if (key == 0) key = 1;
  if (key == vpKey_) return vpStrands_;

  const GenSettings settings = BuildSettings(g);
  MakeScalarSamplers(g, res, Bake(1, hp::lengthMap, t, false), Bake(2, hp::widthMap, t, false));
  res.splines = SplinesAt(*pblock2, t, PointsPerStrand(settings));
  const auto t1 = std::chrono::steady_clock::now();
  MakeColourSampler(g, res, Bake(3, hp::colorMap, t, true));
  FillInputs(res, eyeCentres_, eyeRadii_, brushing, CoatColour(t, res.colour.get()));
  const auto t2 = std::chrono::steady_clock::now();

  BuildStrands(g, roots, g.guidePoints, settings, res.inputs, phi, vpStrands_);
  const auto t3 = std::chrono::steady_clock::now();

  if (GetEnvironmentVariable("CRINEL_BRUSH_LOG")) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "vp %zu strands: maps+splines+burn %.1f  color %.1f  children %.1f ms\n",
                  vpStrands_.StrandCount(), Ms(t0, t1), Ms(t1, t2), Ms(t2, t3));
    LogIfSet("CRINEL_BRUSH_LOG", "crinel_vp.log", line);
  }
  vpKey_ = key;
  ++displayVersion_;
  UpdateStrandBounds(vpStrands_);
  return vpStrands_;
}

void HairObject::UpdateStrandBounds(const StrandSet& set) {
  strandBounds_.Init();
  const std::size_t n = set.StrandCount();
  const std::size_t P = std::size_t(std::max(set.pointsPerStrand, 0));
  if (P > 0 && set.points.size() >= n * P) {
    const std::size_t strandStride = std::max<std::size_t>(1, n / 20000);
    const std::size_t pointStride = std::max<std::size_t>(1, P / 3);
    for (std::size_t s = 0; s < n; s += strandStride)
      for (std::size_t i = 0; i < P; i += pointStride) {
        const V3& p = set.points[s * P + i];
        strandBounds_ += Point3(p.x, p.y, p.z);
      }
  }
  for (const V3& p : guides_.guidePoints) strandBounds_ += Point3(p.x, p.y, p.z);
  if (!strandBounds_.IsEmpty()) {
    const float e = 0.25f * guides_.settings.length + 0.01f;
    strandBounds_.pmin -= Point3(e, e, e);
    strandBounds_.pmax += Point3(e, e, e);
  }
}

// The share of the roots a render build with this fraction makes: cut to what fits in the
// memory budget, with the message on the prompt line and in the log when report is set.
static double FitRenderFraction(double fraction, std::size_t roots, const GenSettings& s,
                                bool report) {
  const double R = double(roots);
  const MemoryFitResult fit = MemoryFit(PointsPerStrand(s), s.memBudget);
  const double asked = R * fraction;
  if (fit.strands == 0 || double(fit.strands) >= asked) return fraction;
  if (report) {
    char msg[256];
    std::snprintf(msg, sizeof msg,
                  "Crinel: %.1f M hairs asked, %.1f M fit in %d%% of this machine's free memory "
                  "- rendering %.1f M.",
                  asked / 1e6, double(fit.strands) / 1e6, int(s.memBudget),
                  double(fit.strands) / 1e6);
    GetCOREInterface()->ReplacePrompt(msg);
    GetCOREInterface()->LogMessage(msg);
  }
  return double(fit.strands) / std::max(R, 1.0);
}

void HairObject::BuildRenderStrands(TimeValue t, double fraction, StrandSet& out) {
  std::lock_guard lock(evalLock_);
  const GuideSet& g = EvaluateGuides(t);
  const std::vector<RootSample>& roots = PlaceRoots(t);
  const GenSettings settings = BuildSettings(g);
  fraction = FitRenderFraction(fraction, roots.size(), settings, true);
  BuildResources res;
  EffectInputs(t, g, res.wetness, res.burn, res.glow);
  MakeScalarSamplers(g, res, Bake(1, hp::lengthMap, t, false), Bake(2, hp::widthMap, t, false));
  res.splines = SplinesAt(*pblock2, t, PointsPerStrand(settings));
  MakeColourSampler(g, res, Bake(3, hp::colorMap, t, true));
  FillInputs(res, eyeCentres_, eyeRadii_, false, CoatColour(t, res.colour.get()));
  BuildStrands(g, roots, g.guidePoints, settings, res.inputs, fraction, out);
}

const StrandSet& HairObject::BuildRenderStrands(TimeValue t, double fraction) {
  std::lock_guard lock(evalLock_);
  BuildRenderStrands(t, fraction, renderStrands_);
  return renderStrands_;
}

std::uint64_t HairObject::RenderStrandCount(TimeValue t) {
  std::lock_guard lock(evalLock_);
  const GuideSet& g = EvaluateGuides(t);
  const std::size_t roots = PlaceRoots(t).size();
  const double percent = double(pblock2->GetFloat(hp::renderPercent, t)) / 100.0;
  const double fraction = FitRenderFraction(percent, roots, BuildSettings(g), false);
  return StrandCountFor(roots, fraction);
}

}  // namespace crn
