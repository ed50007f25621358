#include "host/reference.h"

#include <algorithm>

namespace host {

ReferenceMaker::~ReferenceMaker() = default;

RefResult ReferenceMaker::ReplaceReference(int i, ReferenceTarget* target) {
  ReferenceTarget* old = GetReference(i);
  if (old == target) return REF_SUCCEED;
  if (old) {
    auto& deps = old->dependents_;
    // One link per reference slot: remove a single occurrence.
    auto it = std::find(deps.begin(), deps.end(), this);
    if (it != deps.end()) deps.erase(it);
  }
  SetReference(i, target);
  if (target) target->dependents_.push_back(this);
  return REF_SUCCEED;
}

void ReferenceMaker::LinkTo(ReferenceTarget* target) {
  if (target) target->dependents_.push_back(this);
}

void ReferenceMaker::UnlinkFrom(ReferenceTarget* target) {
  if (!target) return;
  auto& deps = target->dependents_;
  auto it = std::find(deps.begin(), deps.end(), this);
  if (it != deps.end()) deps.erase(it);
}

void ReferenceMaker::DeleteAllRefsFromMe() {
  for (int i = 0; i < NumRefs(); ++i) ReplaceReference(i, nullptr);
}

ReferenceTarget::~ReferenceTarget() {
  // Tell makers that still point here; they drop their references in response.
  while (!dependents_.empty()) {
    ReferenceMaker* maker = dependents_.back();
    const std::size_t before = dependents_.size();
    PartID part = PART_ALL;
    maker->NotifyRefChanged(FOREVER, this, part, REFMSG_TARGET_DELETED, true);
    if (dependents_.size() == before) dependents_.pop_back();  // maker ignored the deletion
  }
}

RefResult ReferenceTarget::NotifyDependents(const Interval& changeInt, PartID partID,
                                            RefMessage message, bool propagate) {
  // Copy: a maker may change its references while being notified.
  const std::vector<ReferenceMaker*> deps = dependents_;
  for (ReferenceMaker* maker : deps) {
    PartID part = partID;
    maker->NotifyRefChanged(changeInt, this, part, message, propagate);
  }
  return REF_SUCCEED;
}

}  // namespace host
