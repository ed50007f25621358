#pragma once
// The hair object: a procedural object whose settings live in the block "params". It grows
// guides on its surface node, scatters roots, bakes maps and builds strands, caching each
// result under counters and keys that parameter changes reset.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "hair/flow_fields.h"
#include "hair/gen_types.h"
#include "host/class_desc.h"
#include "host/simple_object.h"
#include "host/view.h"

namespace crn {

// What a display implementation keeps with each object (its render items).
struct HairDisplayData {
  virtual ~HairDisplayData() = default;
};

constexpr host::Class_ID kHairObjectClassID{0x9133A3AD, 0x4C7F704D};

class HairObject : public host::SimpleObject2 {
 public:
  HairObject();
  ~HairObject() override;

  host::Class_ID ClassID() const override { return kHairObjectClassID; }
  std::string GetObjectName() const override { return "Crinel"; }
  std::string GetClassName() const { return "Crinel"; }

  host::RefResult NotifyRefChanged(const host::Interval& changeInt, host::ReferenceTarget* hTarget,
                                   host::PartID& partID, host::RefMessage message,
                                   bool propagate) override;

  // --- persistence: the groom arrays as chunks 0x4801 and 0x4802 (the block is the host's)
  host::IOResult Save(host::ISave* isave) override;
  host::IOResult Load(host::ILoad* iload) override;
  // Records which nodes the loaded block references, so that the first move of a node after
  // loading is not taken for a new pick (which would empty the groom).
  void LoadComplete() override;
  // Opening the object in the modify panel adds a rollup page per parameter rollout, then
  // the tools rollout; closing removes them.
  void BeginEditParams(host::Interface* ip, host::ULONG flags, host::Animatable* prev) override;
  void EndEditParams(host::Interface* ip, host::ULONG flags, host::Animatable* next) override;
  // A new hair object with a copy of the block and of both groom arrays.
  host::ReferenceTarget* Clone(host::RemapDir& remap) override;
  // Scales the length-valued parameters and the groom offsets by f.
  void RescaleWorldUnits(float f) override;

  // Process-unique identity of this object (the simulation registry's key).
  std::uint64_t ObjectId() const { return objectId_; }

  // --- evaluation (all take the object's recursive evaluation lock)
  // The guides grown for t (cached while valid).
  const GuideSet& EvaluateGuides(host::TimeValue t);
  // Grows the guides at t into out, with the groom edits, and narrows valid, without
  // touching the cached guides, strands or display version: the simulation takes its target
  // guides on the deformed surface this way every frame. False (out empty) when the surface
  // cannot be evaluated.
  bool GrowGuideSet(host::TimeValue t, GuideSet& out, host::Interval& valid);
  // Refreshes the root list for t when its key changed; returns it.
  const std::vector<RootSample>& PlaceRoots(host::TimeValue t);
  // The viewport share of strands at t (cached under its key).
  const StrandSet& BuildViewportStrands(host::TimeValue t);
  // The render share (fraction of the roots, capped by the memory budget) into out.
  void BuildRenderStrands(host::TimeValue t, double fraction, StrandSet& out);
  // The same into the object's own render strand set, whose arrays the next render build
  // reuses instead of allocating and faulting in fresh memory; valid until that build.
  // Readers outside the object hold EvalLock() while they read it.
  const StrandSet& BuildRenderStrands(host::TimeValue t, double fraction);
  // How many strands a render build at t with `renderPercent` would make, without building.
  std::uint64_t RenderStrandCount(host::TimeValue t);
  // Ribbons or tubes of the render strands in the node's object space; never null.
  host::Mesh* GetRenderMesh(host::TimeValue t, host::INode* node, host::View& view,
                            bool& needDelete);
  // Bounds of the viewport strands and guides (refreshed by BuildViewportStrands).
  const host::Box3& StrandBounds() const { return strandBounds_; }
  std::recursive_mutex& EvalLock() { return evalLock_; }

  // --- viewport display and picking (items and picking through the display hooks)
  void GetWorldBoundBox(host::TimeValue t, host::INode* node, host::ViewExp* vpt,
                        host::Box3& box) override;
  void GetLocalBoundBox(host::TimeValue t, host::INode* node, host::ViewExp* vpt,
                        host::Box3& box) override;
  void GetDeformBBox(host::TimeValue t, host::Box3& box, const host::Matrix3* tm) override;
  int HitTest(host::TimeValue t, host::INode* node, int type, int crossing, int flags,
              const host::IPoint2& p, host::ViewExp* vpt) override;
  bool UpdatePerNodeItems(host::INode* node, host::RenderItemContainer& items) override;
  host::MouseCallBack* GetCreateMouseCallBack() override;
  // The display's render items for this object, created by the display on first use.
  std::shared_ptr<HairDisplayData> displayData;

  // --- groom arrays: offsets per guide point in the guide's root frame, factors per guide.
  // The edits change only through SetGroomEdits, which discards the simulation record (its
  // frames came from the old groom).
  const std::vector<V3>& GroomEdits() const { return groomEdits_; }
  const std::vector<float>& DensityFactors() const { return densityFactors_; }
  void SetGroomEdits(std::vector<V3> edits);
  void SetDensityFactors(std::vector<float> factors);
  // The groom changed: guides regrow with the edits at the next evaluation.
  void FullGroomChange();
  // Erases this object's simulation record (its frames came from the old groom).
  void DiscardSimulation();

  // --- simulation results (the driver hands them over under the object's lock)
  // Stores N * P simulated guide points for time t and bumps the change counter; guide
  // evaluation at t uses them in place of the grown points when the counts match.
  void ApplySimPositions(host::TimeValue t, std::vector<V3> positions);
  // The per-guide wetness that goes with the positions of t (empty: dry).
  void ApplySimWetness(host::TimeValue t, std::vector<float> wetness);
  bool HoldsSimPositions(host::TimeValue t);
  // Forgets the simulated positions and wetness (dynamics switched off).
  void ClearSimPositions();
  // What a strand build at t borrows from the effects: the wetness of this frame (empty
  // unless it has one entry per vertex of g) and the fire's burn and glow.
  void EffectInputs(host::TimeValue t, const GuideSet& g, std::span<const float>& wetness,
                    std::vector<float>& burn, std::vector<float>& glow);
  // The guides at t grown without groom edits: the reference the brushes measure against.
  std::vector<V3> UngroomedGuidePoints(host::TimeValue t);
  // During a stroke: brushed guide points go straight into the cached guides so only the
  // strands are rebuilt; falls back to a full groom change when the cache does not match.
  void FastGroomChange(const std::vector<V3>& guidePoints);
  std::uint64_t EditRevision() const { return editRevision_; }

  // --- counters
  // Incremented by every change notification; the guide cache compares against it.
  std::uint64_t ChangeCounter() const { return changeCounter_; }
  std::uint64_t MapVersion() const { return mapVersion_; }
  // Incremented whenever guides or viewport strands are rebuilt (display watches it).
  std::uint64_t DisplayVersion() const { return displayVersion_; }
  // Forces roots / generated UVs / flow fields to be recomputed at the next evaluation.
  void ResetRootKey() { rootKey_ = 0; }
  void ResetUVKey() { uvKey_ = 0; }
  void ResetFlowKey() { flowKey_ = 0; }
  std::uint64_t RootKey() const { return rootKey_; }

 private:
  struct BakedMap {
    host::Texmap* map = nullptr;
    std::uint64_t mapVersion = ~0ull;
    host::Interval valid;
    std::shared_ptr<const MapGrid> grid;
  };
  struct RestSurface {
    GuideSet mesh;  // surface fields only, at the rest frame, with normals and UVs
    bool fromRestFrame = false;
  };

  // The surface at the rest frame (cached until the next change), or this evaluation's
  // surface when the rest mesh cannot be taken or has another vertex count. With store
  // unset a stale cache is left alone and the surface is read into scratch.
  const RestSurface& RestMesh(const GuideSet& current, RestSurface& scratch, bool store);
  const RestSurface& RestMesh(const GuideSet& current) { return RestMesh(current, rest_, true); }
  // Generated corner UVW for g when its mode asks for them (cached per vertex count,
  // triangle count and mode; stored only when store is set).
  void ApplyUVs(GuideSet& g, bool store = true);
  // Flow fields of the rest surface for s (cached under their key; with store unset a stale
  // cache is left alone and the fields are computed into scratch).
  const FlowFields& Flow(const GuideSet& rest, const GenSettings& s, FlowFields& scratch,
                         bool store);
  // Guide growth at t into g; store decides whether the derived caches may be written.
  bool GrowInto(host::TimeValue t, GuideSet& g, host::Interval& valid, bool store);
  std::shared_ptr<const MapGrid> Bake(int slot, short paramId, host::TimeValue t, bool colour);
  V3 CoatColour(host::TimeValue t, const ColourMapSampler* colour);
  // The guides' settings with the bounds of the rest surface the roots were placed on.
  GenSettings BuildSettings(const GuideSet& g) const;
  void UpdateStrandBounds(const StrandSet& set);

  const std::uint64_t objectId_;
  std::recursive_mutex evalLock_;
  std::uint64_t changeCounter_ = 0, mapVersion_ = 0, displayVersion_ = 0, editRevision_ = 0;

  // Guide cache.
  GuideSet guides_;
  bool guidesBuilt_ = false;
  std::uint64_t guidesChange_ = 0, guidesRevision_ = 0;
  host::Interval guidesValid_;
  std::uint64_t settingsStamp_ = 0;

  RestSurface rest_;
  std::uint64_t restChange_ = ~0ull;
  int restFrame_ = 0;

  // Generated UVs (per vertex count, triangle count and mode, from the rest mesh).
  std::uint64_t uvKey_ = 0;
  std::vector<V3> generatedUVW_;

  // Flow fields.
  std::uint64_t flowKey_ = 0;
  FlowFields flow_;

  // Roots and what placement found on the rest surface.
  std::uint64_t rootKey_ = 0;
  std::vector<RootSample> roots_;
  std::vector<V3> eyeCentres_;
  std::vector<float> eyeRadii_;
  V3 restMin_, restMax_;

  // Baked maps: density, length, width, colour.
  std::array<BakedMap, 4> baked_;

  // Coat colour.
  std::uint64_t coatKey_ = 0;
  V3 coatColour_{0.3f, 0.3f, 0.3f};

  // Render strands of the last render build (storage reused by the next).
  StrandSet renderStrands_;

  // Viewport strands.
  StrandSet vpStrands_;
  std::uint64_t vpKey_ = 0;
  host::Box3 strandBounds_;

  std::vector<V3> groomEdits_;
  std::vector<float> densityFactors_;

  // Simulated guide points and wetness handed over by the driver, with their times.
  std::vector<V3> simPositions_;
  host::TimeValue simTime_ = 0;
  bool hasSim_ = false;
  std::vector<float> simWetness_;
  host::TimeValue simWetTime_ = 0;
  host::TimeValue guidesTime_ = 0;  // the time the cached guides were built for

  // Node-identity hashes of surface, faceNode, colliders, forces, waterNodes.
  std::array<std::uint64_t, 5> nodeHashes_{};
  void RecordNodeHashes();
};

// The class descriptor of the hair object.
class HairObjDesc : public host::ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  void* Create(bool loading) override;
  const char* ClassName() override;
  const char* NonLocalizedClassName() override { return "Crinel"; }
  host::SClass_ID SuperClassID() override { return host::GEOMOBJECT_CLASS_ID; }
  host::Class_ID ClassID() override { return kHairObjectClassID; }
  const char* Category() override;
  const char* InternalName() override { return "Crinel"; }
  const char* GetRsrcString(int id) override;
};

HairObjDesc* GetHairObjDesc();

}  // namespace crn
