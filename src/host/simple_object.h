#pragma once
// Base of procedural geometric objects whose settings live in one parameter block held as
// reference 0.
#include "host/object.h"
#include "host/param_block.h"

namespace host {

class SimpleObject2 : public Object {
 public:
  ~SimpleObject2() override;
  SClass_ID SuperClassID() const override { return GEOMOBJECT_CLASS_ID; }
  int NumRefs() override { return 1; }
  ReferenceTarget* GetReference(int i) override { return i == 0 ? pblock2 : nullptr; }
  // Passes changes of the block on to the objects' own dependents (its node).
  RefResult NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget, PartID& partID,
                             RefMessage message, bool propagate) override;
  IParamBlock2* GetParamBlock(int i) { return i == 0 ? pblock2 : nullptr; }
  IParamBlock2* GetParamBlockByID(BlockID id) {
    return pblock2 && pblock2->ID() == id ? pblock2 : nullptr;
  }

  IParamBlock2* pblock2 = nullptr;

 protected:
  void SetReference(int i, ReferenceTarget* target) override;
};

}  // namespace host
