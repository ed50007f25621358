#pragma once
// The undo record of a hair object's groom edits.
#include <vector>

#include "hair/fur_math.h"
#include "host/undo.h"

namespace crn {

class HairObject;

// Restores a hair object's groom edits as they were when the record was made.
class EditsRestore : public host::RestoreObj {
 public:
  explicit EditsRestore(HairObject* obj);
  void Restore(int isUndo) override;
  void Redo() override;
  int Size() override;
  void EndHold() override {}
  std::string Description() override { return "Crinel groom"; }

 private:
  HairObject* obj_;
  std::vector<V3> undoEdits_, redoEdits_;
};

}  // namespace crn
