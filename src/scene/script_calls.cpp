#include "scene/script_calls.h"

#include "scene/groom_verbs.h"
#include "scene/live_verbs.h"
#include "scene/panel_verbs.h"
#include "scene/sim_verbs.h"
#include "scene/viewport_verbs.h"

namespace crn::scene {

void AddAllVerbs(ScriptRunner& runner) {
  AddHostVerbs(runner);
  AddCrinelOpsVerbs(runner);
  AddViewportVerbs(runner);
  AddGroomVerbs(runner);
  AddSimVerbs(runner);
  AddPanelVerbs(runner);
  AddLiveVerbs(runner);
}

}  // namespace crn::scene
