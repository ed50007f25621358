#pragma once
// The hair object's tools rollout: presets, range simulation and its reset, the groom brush
// and its settings, simulation cache files, PRT export, the live view and the strand-colour
// material for other renderers. The panel wires its controls to the code that does the work;
// its own part is the control set, the order of steps around each call and the messages.
#include <cstdint>
#include <string>

#include "host/dialog.h"

namespace host {
class Interface;
}

namespace crn {

class HairObject;

// The object's panels open: remembers the object and ip and adds the rollout at the end.
void BeginToolsPanel(HairObject& obj, host::Interface* ip);
// The panels close: leaves the brush mode when it is on, removes the rollout and forgets
// the object, so later commands find none.
void EndToolsPanel(HairObject& obj, host::Interface* ip);

// The object being edited and the rollout's dialog (null while the panel is closed).
HairObject* ToolsPanelObject();
host::HWND ToolsPanelWindow();

// The rollout's dialog procedure; TRUE (1) when it handled the message.
std::intptr_t ToolsDlgProc(host::HWND hwnd, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

// The progress report of long actions: shows "Simulating %d / %d  (Esc cancels)", dispatches
// the thread's pending messages and returns false when Escape is held down now.
bool ToolsProgress(int done, int total);

// The brush mode was left elsewhere (a right-click): the Brush button follows.
void ToolsBrushModeLeft();

// What "Live render" runs: the live view's open (set when the module loads).
void SetLiveViewOpener(void (*open)());

// The material button's script, one expression of the host's scripting language.
const std::string& MaterialScript();
// What the material script does in a host that knows neither renderer material class: the
// message box telling the user. Returns false when one of the classes exists (the script
// itself must run then).
bool MaterialScriptWithoutRendererClasses();

}  // namespace crn
