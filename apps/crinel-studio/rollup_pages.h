#pragma once
// The rollup pages the host's modify panel holds (the hair object's Tools rollout), drawn
// control by control from the dialog. A user's action on a control is queued and done after
// the frame: it may open a file dialog or a message box, which need frames of their own.
#include <vector>

#include "host/dialog.h"
#include "host/interface.h"

namespace crn::studio {

struct DialogAction {
  enum Kind { Click, Select, Spin } kind = Click;
  host::HWND dlg = nullptr;
  int id = -1;
  double value = 0;  // the list index or the spinner value
};

void DrawRollupPages(host::Interface& ip, std::vector<DialogAction>& actions);

// Does the action as the platform delivers a user's (the dialog procedure gets its message).
void DoDialogAction(const DialogAction& a);

}  // namespace crn::studio
