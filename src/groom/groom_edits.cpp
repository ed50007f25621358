#include "groom/groom_edits.h"

#include "hair/hair_object.h"
#include "host/interface.h"

namespace crn {

EditsRestore::EditsRestore(HairObject* obj) : obj_(obj), undoEdits_(obj->groomEdits) {}

void EditsRestore::Restore(int isUndo) {
  if (isUndo) redoEdits_ = obj_->groomEdits;
  obj_->groomEdits = undoEdits_;
  obj_->FullGroomChange();
}

void EditsRestore::Redo() {
  obj_->groomEdits = redoEdits_;
  obj_->FullGroomChange();
}

int EditsRestore::Size() { return int((redoEdits_.size() + undoEdits_.size()) * 12); }

void ResetGrooming(HairObject* obj) {
  if (!obj) return;
  host::theHold.Begin();
  if (host::theHold.Holding()) host::theHold.Put(new EditsRestore(obj));
  obj->groomEdits.clear();
  obj->DiscardSimulation();
  obj->FullGroomChange();
  host::theHold.Accept("Crinel reset grooming");
  host::Interface* ip = host::GetCOREInterface();
  ip->RedrawViews(ip->GetTime(), host::REDRAW_NORMAL);
}

}  // namespace crn
