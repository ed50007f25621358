// Viewport and render strand builds of the hair object.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "groom/brush_state.h"
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

// Everything one strand build reads besides the guides and roots; lives for one build.
struct BuildInputs {
  GenSettings settings;
  std::shared_ptr<const MapGrid> lengthGrid, widthGrid, colourGrid;
  std::unique_ptr<ScalarMapSampler> length, width;
  std::unique_ptr<ColourMapSampler> colour;
  SplineSet splines;
};

}  // namespace

// Fills the per-build settings fields shared by viewport and render builds. Wetness, burn
// and glow arrays come from the water and fire effects; none exist yet.
void HairObject::FillBuildFields(TimeValue t, GenSettings& s, bool brushActive) {
  s.bboxMin = restMin_;
  s.bboxMax = restMax_;
  s.eyeCentres = eyeCentres_;
  s.eyeRadii = eyeRadii_;
  s.brushActive = brushActive;
  s.wetness.clear();
  s.burn.clear();
  s.glow.clear();
  (void)t;
}

// Samplers over the guides' corner UVW; a map on a surface without UVW acts as absent.
static void MakeScalarSamplers(const GuideSet& g, BuildInputs& in,
                               std::shared_ptr<const MapGrid> lengthGrid,
                               std::shared_ptr<const MapGrid> widthGrid) {
  const bool uvs = !g.cornerUVW.empty();
  in.lengthGrid = uvs ? std::move(lengthGrid) : nullptr;
  in.widthGrid = uvs ? std::move(widthGrid) : nullptr;
  if (in.lengthGrid) in.length = std::make_unique<ScalarMapSampler>(in.lengthGrid, &g.cornerUVW);
  if (in.widthGrid) in.width = std::make_unique<ScalarMapSampler>(in.widthGrid, &g.cornerUVW);
  in.settings.widthMapSampler = in.width.get();
}

static void MakeColourSampler(const GuideSet& g, BuildInputs& in,
                              std::shared_ptr<const MapGrid> colourGrid) {
  in.colourGrid = g.cornerUVW.empty() ? nullptr : std::move(colourGrid);
  if (in.colourGrid) in.colour = std::make_unique<ColourMapSampler>(in.colourGrid, &g.cornerUVW);
}

// Guide spline nodes of the block at t, resampled to P points.
static SplineSet SplinesAt(IParamBlock2& pb, TimeValue t, int P) {
  std::vector<INode*> nodes;
  for (int i = 0; i < pb.Count(hp::guideSplines); ++i)
    if (INode* n = pb.GetINode(hp::guideSplines, t, i)) nodes.push_back(n);
  return nodes.empty() ? SplineSet() : BuildSplineSet(nodes, t, P);
}

const StrandSet& HairObject::BuildViewportStrands(TimeValue t) {
  std::lock_guard lock(evalLock_);
  const auto t0 = std::chrono::steady_clock::now();
  const GuideSet& g = EvaluateGuides(t);
  const std::vector<RootSample>& roots = PlaceRoots(t);
  const bool brushing = BrushActive();

  const double R = double(roots.size());
  double phi = 0;
  if (R > 0) {
    phi = std::min(double(pblock2->GetInt(hp::vpMax, t)) / R,
                   double(pblock2->GetFloat(hp::vpPercent, t)) / 100.0);
    if (brushing) phi = std::min(phi, 30000.0 / R);
  }
  std::uint64_t bits;
  std::memcpy(&bits, &phi, 8);
  std::uint64_t key = MixKey(0x5EEDull, bits);
  key = MixKey(key, guidesChange_ * 0x100000001B3ull);
  key = MixKey(key, rootKey_ * 31);
  key = MixKey(key, mapVersion_ * 7);
  key = MixKey(key, settingsStamp_);
  key = MixKey(key, brushing);
  if (key == 0) key = 1;
  if (key == vpKey_) return vpStrands_;

  BuildInputs in;
  in.settings = g.settings;
  FillBuildFields(t, in.settings, brushing);
  MakeScalarSamplers(g, in, Bake(1, hp::lengthMap, t, false), Bake(2, hp::widthMap, t, false));
  in.splines = SplinesAt(*pblock2, t, PointsPerStrand(in.settings));
  const auto t1 = std::chrono::steady_clock::now();
  MakeColourSampler(g, in, Bake(3, hp::colorMap, t, true));
  in.settings.coatColour = CoatColour(t, in.colour.get());
  const auto t2 = std::chrono::steady_clock::now();

  BuildStrands(g, roots, g.guidePoints, in.settings, in.length.get(), phi, vpStrands_,
               in.colour.get(), &in.splines);
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

void HairObject::BuildRenderStrands(TimeValue t, double fraction, StrandSet& out) {
  std::lock_guard lock(evalLock_);
  const GuideSet& g = EvaluateGuides(t);
  const std::vector<RootSample>& roots = PlaceRoots(t);
  const double R = double(roots.size());

  BuildInputs in;
  in.settings = g.settings;
  const int P = PointsPerStrand(in.settings);
  const MemoryFitResult fit = MemoryFit(P, in.settings.memBudget);
  const double asked = R * fraction;
  if (fit.strands > 0 && double(fit.strands) < asked) {
    char msg[256];
    std::snprintf(msg, sizeof msg,
                  "Crinel: %.1f M hairs asked, %.1f M fit in %d%% of this machine's free memory "
                  "- rendering %.1f M.",
                  asked / 1e6, double(fit.strands) / 1e6, int(in.settings.memBudget),
                  double(fit.strands) / 1e6);
    GetCOREInterface()->ReplacePrompt(msg);
    GetCOREInterface()->LogMessage(msg);
    fraction = double(fit.strands) / std::max(R, 1.0);
  }
  FillBuildFields(t, in.settings, false);
  MakeScalarSamplers(g, in, Bake(1, hp::lengthMap, t, false), Bake(2, hp::widthMap, t, false));
  in.splines = SplinesAt(*pblock2, t, P);
  MakeColourSampler(g, in, Bake(3, hp::colorMap, t, true));
  in.settings.coatColour = CoatColour(t, in.colour.get());
  BuildStrands(g, roots, g.guidePoints, in.settings, in.length.get(), fraction, out,
               in.colour.get(), &in.splines);
}

}  // namespace crn
