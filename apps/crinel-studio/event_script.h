#pragma once
// Replayed sessions: a text file of mouse, key and panel events, one per line, that the app
// plays back one event per frame (a drag expands into its press, moves and release).
//   frames N                     draw N frames
//   move X Y                     mouse to window pixel X, Y
//   wheel X Y NOTCHES            the wheel turned over window pixel X, Y
//   vmove X Y                    mouse to pixel X, Y of the viewport
//   press|release [left|right|middle]
//   drag X0 Y0 X1 Y1 [STEPS]     left-button drag across the viewport
//   click X Y, rightclick X Y    left or right click in the viewport
//   pick NODE PARAM              press the node picker of NODE's parameter PARAM
//   expect selected NODE|undo STEPNAME|tools TEXT   stop with an error unless it holds (tools:
//                                the Tools rollout's message or simulation status contains TEXT;
//                                live: the live view window's title contains TEXT, or the
//                                window is closed for TEXT "closed")
//   tool CAPTION                 click the Tools rollout's control with that caption
//   answer PATH|cancel           the answer to the next file dialog the module opens
//   key ctrl+z|ctrl+y|ctrl+s|ctrl+o|space|escape
//                                a long action (range simulation, PRT export) plays one event
//                                per progress report: frames, mouse, key escape and expect only
//   select NODE, brush NODE, brushKind N, brushSize PIXELS, brushStrength S
//   param NODE PARAM VALUE       a rollout edit (lists as [a,b,c])
//   map NODE PARAM               press the map slot's button (answer gives the image file)
//   mapclear NODE PARAM          the map slot's clear button
//   hide NODE, renderable NODE   a click on the node list's H or R box of NODE
//   renderer SETTING VALUE       a renderer settings edit (passes, denoise, exposure,
//                                environment, saveLayers, layersPath)
//   view front|top|left|persp|NODE, time FRAME, play, stop
//   open PATH, saveas PATH, screenshot PATH, live (opens the live view)
//   livekey D|F|R|+|-            a key pressed in the live view window; liveclose: its close box
//   liveshot PATH                PNG of the live view window's next picture
#include <string>
#include <vector>

namespace crn::studio {

struct ScriptEvent {
  std::string verb;
  std::vector<std::string> args;
  int line = 0;
};

// Reads and expands a session file. Returns false with error ("FILE:LINE: message") when a
// line cannot be understood, so a mistyped test fails instead of playing half its events.
bool LoadEventScript(const std::string& path, std::vector<ScriptEvent>& events, std::string& error);

}  // namespace crn::studio
