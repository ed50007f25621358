#include "hair/hair_object.h"

#include <atomic>
#include <variant>

#include "hair/edits_restore.h"
#include "hair/hair_hooks.h"
#include "hair/hair_params.h"
#include "host/chunk_io.h"
#include "host/dialog.h"
#include "host/interface.h"
#include "host/undo.h"
#include "resources/strings.h"

namespace crn {

using namespace host;

namespace {

// The five node parameters whose referenced nodes are watched, in hash-slot order.
constexpr short kWatchedNodes[5] = {hp::surface, hp::faceNode, hp::colliders, hp::forces,
                                    hp::waterNodes};

constexpr USHORT kGroomEditsChunk = 0x4801;
constexpr USHORT kDensityChunk = 0x4802;
// Counts at or above this are refused when loading.
constexpr std::uint32_t kMaxGroomCount = 500000000;

// Parameters that only change how strands look: changing them keeps simulated frames.
bool IsAppearanceParam(int id) {
  return (id >= hp::rootWidth && id <= hp::ribbonMode) || id == hp::dynCachePath ||
         id == hp::colorMap || (id >= hp::pattern && id <= hp::patternAmount) ||
         (id >= hp::widthProfile && id <= hp::widthMap) || id == hp::vpColorMode ||
         id == hp::patternWidth || id == hp::patternBreaks || (id >= hp::hiOn && id <= hp::hiSoft) ||
         id == hp::mapSat || id == hp::hiAlong;
}

// The length-valued parameters scaled with the world units, in this order.
constexpr short kLengthParams[14] = {hp::length,       hp::curlRadius, hp::kinkAmount,
                                     hp::frizzRoot,    hp::frizzTip,   hp::rootWidth,
                                     hp::tipWidth,     hp::dynRadius,  hp::patternScale,
                                     hp::strayAmount,  hp::stackThickness, hp::faceSize,
                                     hp::waterRadius,  hp::hiWidth};

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

std::uint64_t NextObjectId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

HairHooks& GetHairHooks() {
  static HairHooks hooks;
  return hooks;
}

HairObject::HairObject() : objectId_(NextObjectId()) { GetHairObjDesc()->MakeAutoParamBlocks(this); }

HairObject::~HairObject() {
  DiscardSimulation();
  if (auto clear = GetHairHooks().clearBurn) clear(objectId_);
}

void HairObject::DiscardSimulation() {
  if (auto discard = GetHairHooks().discardSimulation) discard(objectId_);
}

void HairObject::SetGroomEdits(std::vector<V3> edits) {
  groomEdits_ = std::move(edits);
  DiscardSimulation();
}

void HairObject::SetDensityFactors(std::vector<float> factors) {
  densityFactors_ = std::move(factors);
}

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
  // The clearing goes into an open hold, so undoing the change brings the groom back; an
  // undo or redo in progress restores the edits through its own records.
  if ((id == hp::surface || id == hp::segments) && !theHold.Restoring()) {
    if (theHold.Holding() && !groomEdits_.empty()) theHold.Put(new EditsRestore(this));
    SetGroomEdits({});
  }
  if (id == hp::fireNodes || id == hp::fireBurn)
    if (auto clear = GetHairHooks().clearBurn) clear(objectId_);
  if (!IsAppearanceParam(id)) DiscardSimulation();
  return SimpleObject2::NotifyRefChanged(changeInt, hTarget, partID, message, propagate);
}

IOResult HairObject::Save(ISave* isave) {
  if (!groomEdits_.empty()) {
    isave->BeginChunk(kGroomEditsChunk);
    isave->WriteU32(std::uint32_t(groomEdits_.size()));
    isave->Write(groomEdits_.data(), groomEdits_.size() * sizeof(V3));
    isave->EndChunk();
  }
  if (!densityFactors_.empty()) {
    isave->BeginChunk(kDensityChunk);
    isave->WriteU32(std::uint32_t(densityFactors_.size()));
    isave->Write(densityFactors_.data(), densityFactors_.size() * sizeof(float));
    isave->EndChunk();
  }
  return IO_OK;
}

// Reads a counted array chunk into v. A refused count (500,000,000 or more) or a count the
// chunk does not hold leaves v as it was: a truncated chunk never allocates for data that is
// not there.
template <class T>
static void LoadCounted(ILoad* iload, std::vector<T>& v) {
  std::uint32_t n = 0;
  if (iload->ReadU32(n) != IO_OK || n >= kMaxGroomCount) return;
  if (std::uint64_t(n) * sizeof(T) > iload->CurChunkRemaining()) return;
  std::vector<T> data(n);
  if (n && iload->Read(data.data(), std::uint64_t(n) * sizeof(T)) != IO_OK) return;
  v = std::move(data);
}

IOResult HairObject::Load(ILoad* iload) {
  IOResult res;
  while ((res = iload->OpenChunk()) == IO_OK) {
    if (iload->CurChunkID() == kGroomEditsChunk) LoadCounted(iload, groomEdits_);
    else if (iload->CurChunkID() == kDensityChunk) LoadCounted(iload, densityFactors_);
    iload->CloseChunk();
  }
  ++changeCounter_;
  return IO_OK;
}

void HairObject::RecordNodeHashes() {
  if (!pblock2) return;
  for (int k = 0; k < 5; ++k) nodeHashes_[k] = NodeIdentityHash(*pblock2, kWatchedNodes[k]);
}

void HairObject::LoadComplete() { RecordNodeHashes(); }

namespace {
// The parameter rollouts' pages while the object is open (the host edits one at a time).
std::vector<host::HWND>& ParamPages() {
  static std::vector<host::HWND> pages;
  return pages;
}
}  // namespace

void HairObject::BeginEditParams(host::Interface* ip, host::ULONG, host::Animatable*) {
  if (!ip) return;
  host::ParamBlockDesc2* pbd = GetHairObjDesc()->GetParamBlockDesc(0);
  for (const host::RolloutDesc& r : pbd->Rollouts()) {
    host::DialogTemplate page;
    page.id = r.dialogId;
    ParamPages().push_back(ip->AddRollupPage(nullptr, page, nullptr, pbd->GetString(r.titleStringId)));
  }
  if (GetHairHooks().beginEditParams) GetHairHooks().beginEditParams(*this, ip);
}

void HairObject::EndEditParams(host::Interface* ip, host::ULONG, host::Animatable*) {
  if (!ip) return;
  if (GetHairHooks().endEditParams) GetHairHooks().endEditParams(*this, ip);
  for (host::HWND page : ParamPages()) ip->DeleteRollupPage(page);
  ParamPages().clear();
}

ReferenceTarget* HairObject::Clone(RemapDir&) {
  auto* copy = new HairObject();
  IParamBlock2* fresh = copy->pblock2;
  copy->ReplaceReference(0, pblock2 ? pblock2->Clone(copy) : nullptr);
  delete fresh;
  copy->groomEdits_ = groomEdits_;
  copy->densityFactors_ = densityFactors_;
  copy->RecordNodeHashes();
  return copy;
}

void HairObject::RescaleWorldUnits(float f) {
  if (TestAFlag(A_WORK1)) return;
  SetAFlag(A_WORK1);
  {
    std::lock_guard lock(evalLock_);
    if (pblock2 && f > 0 && f != 1) {
      for (short id : kLengthParams) {
        if (pblock2->IsAnimated(id)) {
          pblock2->RescaleParam(id, f);
        } else {
          pblock2->SetValue(id, 0, pblock2->GetFloat(id, 0) * f);
        }
      }
    }
    std::vector<V3> edits = std::move(groomEdits_);
    for (V3& e : edits) e *= f;
    SetGroomEdits(std::move(edits));
    ResetRootKey();
    ResetUVKey();
    ResetFlowKey();
    ++changeCounter_;
    ++mapVersion_;
  }
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
