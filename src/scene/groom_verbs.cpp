#include "scene/groom_verbs.h"

#include <cmath>

#include "groom/brush_mode.h"
#include "groom/brush_state.h"
#include "groom/groom_edits.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "host/rescale.h"
#include "host/undo.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;

namespace {

// Clones a node's object under a new name, with the same transform, flags, parent and
// material.
INode* CloneNode(Interface& ip, INode* src, const std::string& name) {
  Object* obj = src->GetObjectRef();
  std::unique_ptr<Object> copy;
  if (obj) {
    RemapDir remap;
    copy.reset(static_cast<Object*>(obj->Clone(remap)));
    if (!copy) throw ScriptError{"the object of node \"" + src->GetName() + "\" cannot be cloned"};
  }
  INode* node = ip.CreateObjectNode(std::move(copy), name);
  node->SetTransform(src->Transform());
  node->Hide(src->IsHidden());
  node->SetRenderable(src->Renderable());
  node->SetMtl(src->GetMtl());
  if (src->GetParentNode()) node->AttachTo(src->GetParentNode());
  return node;
}

}  // namespace

void AddGroomVerbs(ScriptRunner& runner) {
  runner.AddVerb("brushKind", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "brushKind KIND");
    const long long k = c.Integer(0, "brush kind");
    SetBrushKind(int(std::max<long long>(std::min<long long>(k, 1000), -1000)));
    return std::string("ok");
  });
  runner.AddVerb("brushRadius", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "brushRadius PIXELS");
    SetBrushRadius(float(c.Number(0, "brush radius")));
    return std::string("ok");
  });
  runner.AddVerb("brushStrength", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "brushStrength STRENGTH");
    SetBrushStrength(float(c.Number(0, "brush strength")));
    return std::string("ok");
  });
  runner.AddVerb("brushMode", [](ScriptCall& c) {
    // The Tools panel's Brush button: enters the brush mode for NODE (the circle then follows
    // the mouse in snapshots) or, when it is on, leaves it.
    c.NeedArgs(1, 1, "brushMode NODE");
    HairObject* obj = HairObjectOf(c.NodeOrUndefined(0));
    const std::string status = ToggleBrushMode(obj);
    if (!status.empty()) c.warn << status << '\n';
    return std::string(Brush().brushModeActive ? "true" : "false");
  });
  runner.AddVerb("resetGrooming", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "resetGrooming NODE");
    HairObject* obj = HairObjectOf(c.Node(0));
    if (!obj) throw ScriptError{"node \"" + c.args[0].text + "\" is not a hair object"};
    ResetGrooming(obj);
    return std::string("ok");
  });
  runner.AddVerb("clone", [](ScriptCall& c) {
    c.NeedArgs(2, 2, "clone NODE NEWNAME");
    INode* src = c.Node(0);
    const std::string& name = c.Word(1, "new name");
    if (name.empty() || c.ip.GetINodeByName(name))
      throw ScriptError{"a node named \"" + name + "\" already exists"};
    CloneNode(c.ip, src, name);
    return std::string("ok");
  });
  runner.AddVerb("rescale", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "rescale FACTOR");
    const double f = c.Number(0, "factor");
    if (!(f > 0) || f > 1e6) throw ScriptError{"factor must be above 0"};
    RescaleSceneWorldUnits(c.ip, float(f));
    return std::string("ok");
  });
  runner.AddVerb("pick", [](ScriptCall& c) {
    c.NeedArgs(3, 3, "pick NODE PARAM OTHER");
    INode* node = c.Node(0);
    const std::string& pname = c.Word(1, "parameter name");
    const ParamRef ref = FindParam(node->GetObjectRef(), pname);
    if (!ref.def) throw ScriptError{"node \"" + node->GetName() + "\" has no parameter \"" + pname + "\""};
    if (ref.def->type != TYPE_INODE && ref.def->type != TYPE_INODE_TAB)
      throw ScriptError{"parameter \"" + pname + "\" does not hold nodes"};
    INode* other = c.NodeOrUndefined(2);
    // A pick sets a node parameter, or adds to a node list, as one undo step.
    // `undefined` clears a node parameter or empties a node list.
    theHold.Begin();
    const bool list = ref.def->type == TYPE_INODE_TAB;
    const SetStatus st =
        list && !other ? ref.block->SetNodeList(ref.def->id, {})
                       : ref.block->SetValue(ref.def->id, c.ip.GetTime(), other,
                                             list ? ref.block->Count(ref.def->id) : 0);
    if (st != SetStatus::Ok) {
      theHold.Cancel();
      throw ScriptError{"node \"" + c.args[2].text + "\" cannot be picked for \"" + pname + "\"" +
                        (ref.def->id == 0 ? " (hair grows only on mesh objects that are not hair objects)" : "")};
    }
    theHold.Accept("Pick");
    return std::string("ok");
  });
}

}  // namespace crn::scene
