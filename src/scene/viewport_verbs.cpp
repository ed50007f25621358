#include "scene/viewport_verbs.h"

#include "scene/png_file.h"
#include "scene/viewport_render.h"
#include "scene/viewport_setup.h"

namespace crn::scene {

using namespace host;

namespace {

std::string VerbViewport(ScriptCall& c) {
  c.NeedArgs(1, 1, "viewport front|top|left|persp");
  ViewKind kind;
  if (!ParseViewKind(c.Word(0, "view"), kind))
    throw ScriptError{"view must be front, top, left or persp"};
  SetActiveView(c.ip, kind);
  return "ok";
}

std::string VerbViewportCamera(ScriptCall& c) {
  c.NeedArgs(1, 1, "viewportCamera NODE");
  INode* node = c.Node(0);
  GraphicsWindow& gw = *c.ip.GetActiveViewExp().getGW();
  c.ip.SetActiveViewport(NodeCamera(*node, c.ip.GetTime()), gw.getWinSizeX(), gw.getWinSizeY());
  return "ok";
}

std::string VerbViewportSize(ScriptCall& c) {
  c.NeedArgs(2, 2, "viewportSize W H");
  const long long w = c.Integer(0, "width"), h = c.Integer(1, "height");
  if (w < 1 || w > 8192 || h < 1 || h > 8192)
    throw ScriptError{"the viewport size must be from 1 to 8192 pixels each way"};
  ViewExp& vpt = c.ip.GetActiveViewExp();
  c.ip.SetActiveViewport(vpt.Camera(), int(w), int(h));
  return "ok";
}

std::string VerbSnapshot(ScriptCall& c) {
  c.NeedArgs(1, 1, "snapshot \"PATH\"");
  const std::string& path = c.Text(0, "path");
  const RgbaImage img = DrawViewport(c.ip, c.ip.GetActiveViewExp(), c.ip.GetTime());
  std::string error;
  if (!WritePng(path, img, error)) throw ScriptError{error};
  return "ok";
}

}  // namespace

void AddViewportVerbs(ScriptRunner& runner) {
  runner.AddVerb("viewport", VerbViewport);
  runner.AddVerb("viewportCamera", VerbViewportCamera);
  runner.AddVerb("viewportSize", VerbViewportSize);
  runner.AddVerb("snapshot", VerbSnapshot);
}

}  // namespace crn::scene
