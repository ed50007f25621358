#pragma once
// Script calls that drive the hair object's tools rollout without a window: open it on a
// node, choose list entries, type spinner values, press buttons, read control texts, and
// answer the file dialogs its buttons open.
#include "scene/script.h"

namespace crn::scene {

// panelOpen NODE, panelSelect ID INDEX, panelSpin ID VALUE, panelPress ID, panelText ID,
// dialogAnswer "PATH" | cancel, boxAnswer yes|no, panelClose. Also makes this process's host
// answer file dialogs from the queued answers (none queued: cancelled) and yes/no message
// boxes likewise (none queued: yes), report Escape held down once Ctrl-C was pressed, and
// run the material button's script as a host without other renderers does.
void AddPanelVerbs(ScriptRunner& runner);

// Queues the answer to the next file dialog: a path, or cancel when empty. Clear drops the
// queued answers of dialogs and message boxes.
void QueueDialogAnswer(const std::string& pathOrEmpty);
void ClearDialogAnswers();
// Makes this process's host answer its dialogs, keys and scripts as the panel verbs do.
void InstallPanelHostProviders();

}  // namespace crn::scene
