#include "hair/hair_object.h"

#include <variant>

#include "hair/hair_params.h"
#include "resources/strings.h"

namespace crn {

using namespace host;

namespace {

// The five node parameters whose referenced nodes are watched, in hash-slot order.
constexpr short kWatchedNodes[5] = {hp::surface, hp::faceNode, hp::colliders, hp::forces,
                                    hp::waterNodes};

bool IsRootPlacementParam(int id) {
  switch (id) {
    case hp::surface: case hp::restFrame: case hp::count: case hp::seed: case hp::densityMap:
    case hp::autoUV: case hp::faceNode: case hp::faceSize: case hp::growMatIDs:
    case hp::faceRegion: case hp::bareFace: case hp::bareBelow: case hp::smallParts:
    case hp::barePalms:
      return true;
    default:
      return false;
  }
}

// Identity hash of the nodes a node or node-list parameter references.
std::uint64_t NodeIdentityHash(const IParamBlock2& pb, short id) {
  std::uint64_t h = 0x14650FB0739D0383ull;
  Interval iv = FOREVER;
  const auto v = pb.GetPBValue(id, 0, iv);
  auto mix = [&h](const INode* n) {
    h = (h ^ std::uint64_t(reinterpret_cast<std::uintptr_t>(n))) * 0x100000001B3ull;
  };
  if (!v) return h;
  if (auto* n = std::get_if<INode*>(&*v)) mix(*n);
  else if (auto* l = std::get_if<std::vector<INode*>>(&*v))
    for (const INode* n : *l) mix(n);
  return h;
}

}  // namespace

HairObject::HairObject() { GetHairObjDesc()->MakeAutoParamBlocks(this); }

HairObject::~HairObject() = default;

RefResult HairObject::NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget,
                                       PartID& partID, RefMessage message, bool propagate) {
  if (message != REFMSG_CHANGE)
    return SimpleObject2::NotifyRefChanged(changeInt, hTarget, partID, message, propagate);
  ++changeCounter_;
  if (!pblock2 || hTarget != pblock2)
    return SimpleObject2::NotifyRefChanged(changeInt, hTarget, partID, message, propagate);
  const int id = pblock2->LastNotifyParamID();

  // A change inside an already referenced node (it moved or was edited) keeps the caches
  // that depend only on which nodes are referenced.
  for (int k = 0; k < 5; ++k) {
    if (id != kWatchedNodes[k]) continue;
    const std::uint64_t h = NodeIdentityHash(*pblock2, kWatchedNodes[k]);
    if (h == nodeHashes_[k]) {
      if (id == hp::faceNode) {
        ResetRootKey();
        ResetUVKey();
      }
      return SimpleObject2::NotifyRefChanged(changeInt, hTarget, partID, message, propagate);
    }
    nodeHashes_[k] = h;
  }
  if (id == hp::densityMap || id == hp::lengthMap || id == hp::colorMap || id == hp::widthMap ||
      id < 0)
    ++mapVersion_;
  if (IsRootPlacementParam(id)) {
    ResetRootKey();
    ResetUVKey();
  }
  // A new surface or segment count makes the stored groom offsets meaningless.
  if (id == hp::surface || id == hp::segments) groomEdits.clear();
  return SimpleObject2::NotifyRefChanged(changeInt, hTarget, partID, message, propagate);
}

void HairObject::FullGroomChange() {
  ++editRevision_;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void HairObject::FastGroomChange(const std::vector<V3>& guidePoints) {
  bool applied = false;
  {
    std::lock_guard lock(evalLock_);
    if (guidesBuilt_ && guidesRevision_ == editRevision_ &&
        guides_.guidePoints.size() == guidePoints.size()) {
      guides_.guidePoints = guidePoints;
      ++settingsStamp_;  // the viewport strands are stale
      ++displayVersion_;
      applied = true;
    }
  }
  if (applied) NotifyDependents(FOREVER, PART_GEOM | PART_DISPLAY, REFMSG_CHANGE);
  else FullGroomChange();
}

void* HairObjDesc::Create(bool) { return new HairObject(); }
const char* HairObjDesc::ClassName() { return res::GetString(res::IDS_HAIR_CLASS_NAME); }
const char* HairObjDesc::Category() { return res::GetString(res::IDS_CATEGORY); }
const char* HairObjDesc::GetRsrcString(int id) { return res::GetString(id); }

}  // namespace crn
