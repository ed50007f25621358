#pragma once
// The reference system: makers hold references to targets; a target notifies every maker
// that references it when it changes.
#include <cstdint>
#include <vector>

#include "host/class_id.h"
#include "host/time.h"

namespace host {

using RefMessage = std::uint32_t;
using PartID = std::uint64_t;

enum RefResult { REF_FAIL = 0, REF_SUCCEED = 1, REF_DONTCARE = 2, REF_STOP = 3 };

constexpr RefMessage REFMSG_CHANGE = 0x50;
constexpr RefMessage REFMSG_TARGET_DELETED = 0x60;
constexpr PartID PART_ALL = ~PartID(0);
constexpr PartID PART_GEOM = 1 << 1;
constexpr PartID PART_DISPLAY = 1 << 5;

class ReferenceTarget;

// Maps originals to their copies while a group of objects is cloned.
class RemapDir {
 public:
  virtual ~RemapDir() = default;
  virtual ReferenceTarget* FindMapping(ReferenceTarget* from) { return from; }
};

class ReferenceMaker {
 public:
  virtual ~ReferenceMaker();
  ReferenceMaker() = default;
  ReferenceMaker(const ReferenceMaker&) = delete;
  ReferenceMaker& operator=(const ReferenceMaker&) = delete;

  virtual int NumRefs() { return 0; }
  virtual ReferenceTarget* GetReference(int) { return nullptr; }
  // Points reference i at target (or nothing), keeping dependent links in step.
  RefResult ReplaceReference(int i, ReferenceTarget* target);
  // Called when a referenced target changes or is deleted.
  virtual RefResult NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget,
                                     PartID& partID, RefMessage message, bool propagate) = 0;
  virtual void RescaleWorldUnits(float) {}
  // Drops every reference this maker holds (before it is destroyed).
  void DeleteAllRefsFromMe();

 protected:
  // Stores the reference slot; subclasses keep their own pointers.
  virtual void SetReference(int, ReferenceTarget*) {}
  // Direct dependency links for makers whose references are not numbered slots
  // (a parameter block's node and map values).
  void LinkTo(ReferenceTarget* target);
  void UnlinkFrom(ReferenceTarget* target);
  friend class ReferenceTarget;
};

class ReferenceTarget : public ReferenceMaker {
 public:
  ~ReferenceTarget() override;
  virtual Class_ID ClassID() const { return Class_ID(); }
  virtual SClass_ID SuperClassID() const { return 0; }
  // A copy of this target (nullptr when the class cannot be cloned).
  virtual ReferenceTarget* Clone(RemapDir&) { return nullptr; }
  // Sends message to every maker referencing this target.
  RefResult NotifyDependents(const Interval& changeInt, PartID partID, RefMessage message,
                             bool propagate = true);
  const std::vector<ReferenceMaker*>& Dependents() const { return dependents_; }

  RefResult NotifyRefChanged(const Interval&, ReferenceTarget*, PartID&, RefMessage,
                             bool) override {
    return REF_SUCCEED;
  }

  // Host animatable flags (work bits used by passes over the scene).
  void SetAFlag(std::uint32_t mask) { aflags_ |= mask; }
  void ClearAFlag(std::uint32_t mask) { aflags_ &= ~mask; }
  bool TestAFlag(std::uint32_t mask) const { return (aflags_ & mask) != 0; }

 private:
  friend class ReferenceMaker;
  std::vector<ReferenceMaker*> dependents_;
  std::uint32_t aflags_ = 0;
};

constexpr std::uint32_t A_WORK1 = 0x10000000;

}  // namespace host
