// Guide evaluation, root placement, generated UVs, flow fields, map baking and the coat
// colour of the hair object.
#include <cmath>
#include <cstring>

#include "hair/face_features.h"
#include "hair/flow_fields.h"
#include "hair/gen_settings.h"
#include "hair/guide_growth.h"
#include "hair/hair_hooks.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair/map_bake.h"
#include "hair/memory_fit.h"
#include "hair/root_placement.h"
#include "hair/strand_build.h"
#include "hair/surface.h"
#include "hair/surface_geometry.h"
#include "host/inode.h"

namespace crn {

using namespace host;

namespace {

std::uint64_t MixKey(std::uint64_t h, std::uint64_t x) {
  return h ^ (x + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
}

std::uint64_t FloatBits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

// Keys are never 0: 0 means "recompute".
std::uint64_t NonZero(std::uint64_t k) { return k ? k : 1; }

TimeValue RestTime(const GenSettings& s) {
  return TimeValue(std::max(-1e9, std::min(1e9, double(s.restFrame) * GetTicksPerFrame())));
}

}  // namespace

const HairObject::RestSurface& HairObject::RestMesh(const GuideSet& current, RestSurface& scratch,
                                                    bool store) {
  if (restChange_ == changeCounter_ && restFrame_ == current.settings.restFrame &&
      rest_.fromRestFrame && rest_.mesh.VertexCount() == current.VertexCount())
    return rest_;
  RestSurface& rest = store ? rest_ : scratch;
  INode* surf = pblock2 ? pblock2->GetINode(hp::surface) : nullptr;
  rest.fromRestFrame = ExtractSurface(surf, RestTime(current.settings), rest.mesh) &&
                       rest.mesh.VertexCount() == current.VertexCount();
  if (store) {
    restChange_ = changeCounter_;
    restFrame_ = current.settings.restFrame;
  }
  if (!rest.fromRestFrame) {
    // Fall back to the surface of this evaluation.
    rest.mesh.vertices = current.vertices;
    rest.mesh.normals = current.normals;
    rest.mesh.tangents = current.tangents;
    rest.mesh.triangles = current.triangles;
    rest.mesh.cornerUVW = current.cornerUVW;
    rest.mesh.materialIds = current.materialIds;
  }
  rest.mesh.settings = current.settings;
  return rest;
}

// Corner UVW generated from the rest mesh when the mode asks for it, cached per vertex
// count, triangle count and mode.
void HairObject::ApplyUVs(GuideSet& g, bool store) {
  const int mode = g.settings.autoUV;
  const bool meshUVsComplete = !g.cornerUVW.empty() && g.cornerUVW.size() == g.triangles.size();
  if (mode == 0 && meshUVsComplete) return;
  const std::uint64_t key = NonZero(MixKey(MixKey(MixKey(0xC0FFEEull, g.VertexCount()),
                                                  g.TriangleCount()), std::uint64_t(mode)));
  if (key == uvKey_ && generatedUVW_.size() == g.triangles.size()) {
    g.cornerUVW = generatedUVW_;
    return;
  }
  RestSurface scratch;
  GuideSet r = RestMesh(g, scratch, store).mesh;
  if (r.triangles != g.triangles) r = g;  // different topology: generate on this mesh
  GenerateUVs(r, mode);
  if (store) {
    generatedUVW_ = r.cornerUVW;
    uvKey_ = key;
  }
  g.cornerUVW = std::move(r.cornerUVW);
}

const FlowFields& HairObject::Flow(const GuideSet& rest, const GenSettings& s, FlowFields& scratch,
                                   bool store) {
  std::uint64_t key = MixKey(0xF1011ull, rest.VertexCount());
  key = MixKey(key, std::uint64_t(s.flowMode));
  key = MixKey(key, std::uint64_t(std::llround(double(s.smallParts) * 1000.0)));
  key = MixKey(key, rest.TriangleCount());
  key = MixKey(key, FloatBits(s.facePos.x) ^ (FloatBits(s.facePos.y) << 21) ^
                        (FloatBits(s.facePos.z) << 42));
  key = MixKey(key, std::uint64_t(std::llround(double(s.length) * 977.0)));
  key = MixKey(key, std::uint64_t(s.barePalms) | (std::uint64_t(s.faceOn) << 1));
  key = NonZero(key);
  if (key == flowKey_) return flow_;
  FlowFields& f = store ? flow_ : scratch;
  f = ComputeFlowFields(rest, s);
  if (store) flowKey_ = key;
  return f;
}

bool HairObject::GrowGuideSet(TimeValue t, GuideSet& g, Interval& valid) {
  std::lock_guard lock(evalLock_);
  return GrowInto(t, g, valid, false);
}

bool HairObject::GrowInto(TimeValue t, GuideSet& g, Interval& valid, bool store) {
  g = GuideSet();
  g.settings = ReadGenSettings(*pblock2, t, valid);
  GenSettings& s = g.settings;
  g.guidePointCount = s.segments + 1;
  INode* surf = nullptr;
  pblock2->GetValue(hp::surface, t, surf, valid);
  if (!ExtractSurface(surf, t, g)) return false;
  surf->GetObjectTM(t, &valid);
  if (Object* obj = surf->EvalWorldState(t)) valid &= obj->ObjectValidity(t);
  ApplyUVs(g, store);

  RestSurface restScratch;
  const RestSurface& rest = RestMesh(g, restScratch, store);
  SurfaceBounds(rest.mesh, s.bboxMin, s.bboxMax);
  if (s.faceOn) {
    INode* face = pblock2->GetINode(hp::faceNode, t);
    const Point3 at = face ? face->GetNodeTM(RestTime(s)).GetTrans() : Point3();
    s.facePos = V3(at.x, at.y, at.z);
    const V3 centre = (s.bboxMin + s.bboxMax) * 0.5f;
    s.faceDir = UnitOr(V3(s.facePos.x - centre.x, s.facePos.y - centre.y, 0), V3(0, 0, 1));
  }
  FindNoseTip(g, s);
  FlowFields flowScratch;
  const FlowFields& flow = Flow(rest.mesh, s, flowScratch, store);
  g.combAngles = flow.combAngles;
  g.lengthFactors = flow.lengthFactors;
  // Edits of another vertex or point count are meaningless for this surface: growth ignores
  // them, and an evaluation that stores its result drops them.
  if (store && groomEdits_.size() != g.VertexCount() * std::size_t(g.guidePointCount))
    groomEdits_.clear();
  GrowGuides(g, groomEdits_);
  return true;
}

const GuideSet& HairObject::EvaluateGuides(TimeValue t) {
  std::lock_guard lock(evalLock_);
  // With dynamics on, the driver first brings the simulation to t.
  if (pblock2 && pblock2->GetInt(hp::dynMode, t) != 0) {
    if (auto simulate = GetHairHooks().simulateToTime) simulate(*this, t);
  } else {
    ClearSimPositions();
  }
  const bool simulatedNow = hasSim_ && simTime_ == t;
  if (guidesBuilt_ && guidesChange_ == changeCounter_ && guidesRevision_ == editRevision_ &&
      guidesValid_.InInterval(t) && (!simulatedNow || guidesTime_ == t))
    return guides_;

  Interval valid = FOREVER;
  GuideSet g;
  GrowInto(t, g, valid, true);
  // Simulated points of exactly this time replace the grown ones, valid for this instant.
  if (simulatedNow && simPositions_.size() == g.guidePoints.size() && !g.guidePoints.empty()) {
    g.guidePoints = simPositions_;
    valid.SetInstant(t);
  }
  if (valid.Empty()) valid.SetInstant(t);
  guidesTime_ = t;
  guides_ = std::move(g);
  guidesValid_ = valid;
  guidesChange_ = changeCounter_;
  guidesRevision_ = editRevision_;
  guidesBuilt_ = true;
  ++settingsStamp_;
  ++displayVersion_;
  vpKey_ = 0;
  return guides_;
}

const std::vector<RootSample>& HairObject::PlaceRoots(TimeValue t) {
  std::lock_guard lock(evalLock_);
  const GuideSet& g = EvaluateGuides(t);
  const GenSettings& gs = g.settings;
  std::uint64_t key = 1315423911ull;
  key = MixKey(key, g.VertexCount());
  key = MixKey(key, g.TriangleCount());
  key = MixKey(key, std::uint64_t(std::uint32_t(gs.count)));
  key = MixKey(key, std::uint64_t(std::uint32_t(gs.seed)) * 0x9E3779B97F4A7C15ull);
  key = NonZero(key);
  if (key == rootKey_ && !roots_.empty()) return roots_;

  roots_.clear();
  eyeCentres_.clear();
  eyeRadii_.clear();
  if (!g.Empty()) {
    GuideSet r = RestMesh(g).mesh;
    if (r.triangles == g.triangles) r.cornerUVW = g.cornerUVW;  // same UVs as the guides
    else ApplyUVs(r);
    GenSettings s = gs;
    SurfaceBounds(r, s.bboxMin, s.bboxMax);
    restMin_ = s.bboxMin;
    restMax_ = s.bboxMax;
    std::vector<char> eyeTriangles;
    FindEyes(r, eyeCentres_, eyeRadii_, eyeTriangles);
    FlowFields flowScratch;
    const FlowFields& flow = Flow(r, s, flowScratch, true);

    const auto densityGrid = Bake(0, hp::densityMap, RestTime(s), false);
    const ScalarMapSampler density(densityGrid, &r.cornerUVW);
    DensityInputs in;
    in.densityMap = densityGrid && !r.cornerUVW.empty() ? &density : nullptr;
    in.densityFactors = &densityFactors_;
    in.thinness = &flow.thinness;
    in.eyeCentres = &eyeCentres_;
    in.eyeRadii = &eyeRadii_;
    in.eyeTriangles = &eyeTriangles;
    std::string growMatIDs;
    Interval ignored = FOREVER;
    pblock2->GetValue(hp::growMatIDs, t, growMatIDs, ignored);
    const std::vector<std::int64_t> growIds = ParseMaterialIds(growMatIDs);
    in.growMaterialIds = &growIds;
    const std::uint64_t fit = MemoryFit(PointsPerStrand(s), s.memBudget).strands;
    roots_ = PlaceRootSamples(r, s, in, fit);
  }
  rootKey_ = key;
  vpKey_ = 0;
  return roots_;
}

std::vector<V3> HairObject::UngroomedGuidePoints(TimeValue t) {
  std::lock_guard lock(evalLock_);
  GuideSet g = EvaluateGuides(t);
  if (g.Empty()) return {};
  GrowGuides(g, {});
  return std::move(g.guidePoints);
}

std::shared_ptr<const MapGrid> HairObject::Bake(int slot, short paramId, TimeValue t, bool colour) {
  Texmap* map = pblock2->GetTexmap(paramId, t);
  BakedMap& b = baked_[slot];
  if (!map) {
    b = BakedMap();
    return nullptr;
  }
  const std::size_t cells = std::size_t(MapGrid::kSize) * MapGrid::kSize * (colour ? 3 : 1);
  if (b.map == map && b.mapVersion == mapVersion_ && b.valid.InInterval(t) && b.grid &&
      b.grid->cells.size() == cells)
    return b.grid;
  Interval valid = FOREVER;
  b.grid = BakeMap(map, t, colour, &valid);
  if (valid.Empty()) valid.SetInstant(t);
  b.map = map;
  b.mapVersion = mapVersion_;
  b.valid = valid;
  return b.grid;
}

// Average root colour over a sparse sample of triangles, modulated by the colour map.
V3 HairObject::CoatColour(TimeValue, const ColourMapSampler* colour) {
  const GuideSet& g = guides_;
  const GenSettings& s = g.settings;
  std::uint64_t key = MixKey(0xC0A7ull, g.VertexCount());
  key = MixKey(key, mapVersion_);
  key = MixKey(key, FloatBits(s.rootColor.x) ^ (FloatBits(s.rootColor.y) << 21) ^
                        (FloatBits(s.rootColor.z) << 42));
  key = MixKey(key, colour != nullptr);
  key = NonZero(key);
  if (key == coatKey_) return coatColour_;
  const std::size_t tris = g.TriangleCount();
  if (tris == 0) {
    coatColour_ = V3(0.3f, 0.3f, 0.3f);
  } else {
    const std::size_t k = std::max<std::size_t>(1, tris / 4000);
    double r = 0, gr = 0, b = 0;
    std::size_t n = 0;
    for (std::size_t tri = 0; tri < tris; tri += k, ++n) {
      V3 c = s.rootColor;
      if (colour) c = Mul(s.rootColor * 2.f, colour->Sample(int(tri), 0.33f, 0.33f));
      r += c.x;
      gr += c.y;
      b += c.z;
    }
    coatColour_ = V3(float(r / n), float(gr / n), float(b / n));
  }
  coatKey_ = key;
  return coatColour_;
}

}  // namespace crn
