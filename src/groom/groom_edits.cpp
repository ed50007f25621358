#include "groom/groom_edits.h"

#include "hair/edits_restore.h"
#include "hair/hair_object.h"
#include "host/interface.h"
#include "host/undo.h"

namespace crn {

void ResetGrooming(HairObject* obj) {
  if (!obj) return;
  host::theHold.Begin();
  if (host::theHold.Holding()) host::theHold.Put(new EditsRestore(obj));
  obj->SetGroomEdits({});
  obj->FullGroomChange();
  host::theHold.Accept("Crinel reset grooming");
  host::Interface* ip = host::GetCOREInterface();
  ip->RedrawViews(ip->GetTime(), host::REDRAW_NORMAL);
}

}  // namespace crn
