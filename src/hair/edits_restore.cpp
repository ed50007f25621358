#include "hair/edits_restore.h"

#include "hair/hair_object.h"

namespace crn {

EditsRestore::EditsRestore(HairObject* obj) : obj_(obj), undoEdits_(obj->GroomEdits()) {}

void EditsRestore::Restore(int isUndo) {
  if (isUndo) redoEdits_ = obj_->GroomEdits();
  obj_->SetGroomEdits(undoEdits_);
  obj_->FullGroomChange();
}

void EditsRestore::Redo() {
  obj_->SetGroomEdits(redoEdits_);
  obj_->FullGroomChange();
}

int EditsRestore::Size() { return int((redoEdits_.size() + undoEdits_.size()) * 12); }

}  // namespace crn
