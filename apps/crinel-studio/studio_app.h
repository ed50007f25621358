#pragma once
// The studio window: menus, node list, viewport, rollouts, brush controls, time slider and
// undo history, over the same module, host and scene library as the command line.
#include <string>

namespace crn::studio {

struct StudioOptions {
  std::string scene;       // opened at start
  std::string script;      // session replayed, one event a frame
  std::string screenshot;  // PNG of the window written after the replay
  int width = 1400, height = 860;
  bool quitAfterScript = true;  // with a script: close once it is played
  bool stats = false;           // print frame and dab timings at exit
  // How the viewport is drawn: "gl" (line items uploaded to the GPU), "software" (the
  // snapshot drawing shown as a texture) or "auto" (software on a software OpenGL, where it is
  // the faster of the two; gl otherwise).
  std::string viewport = "auto";
};

// Runs the app until the window closes; the process exit status.
int RunStudio(const StudioOptions& options);

}  // namespace crn::studio
