#include "scene/sim_verbs.h"

#include "dynamics/sim_cache.h"
#include "dynamics/sim_driver.h"
#include "dynamics/sim_registry.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"

namespace crn::scene {

using namespace host;

namespace {

HairObject* Hair(ScriptCall& c) {
  HairObject* obj = HairObjectOf(c.Node(0));
  if (!obj) throw ScriptError{"node \"" + c.args[0].text + "\" is not a hair object"};
  return obj;
}

Point3 Vector(ScriptCall& c) {
  return Point3(float(c.Number(1, "x")), float(c.Number(2, "y")), float(c.Number(3, "z")));
}

}  // namespace

void AddSimVerbs(ScriptRunner& runner) {
  runner.AddVerb("simulateRange", [](ScriptCall& c) {
    // The Tools panel's "Simulate range" over the animation range.
    c.NeedArgs(1, 1, "simulateRange NODE");
    return SimulateRange(*Hair(c), c.ip.GetAnimRange(), nullptr);
  });
  runner.AddVerb("simReset", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "simReset NODE");
    HairObject* obj = Hair(c);
    SimRegistry::Get().Erase(obj->ObjectId());
    obj->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    return std::string("ok");
  });
  runner.AddVerb("simSave", [](ScriptCall& c) {
    c.NeedArgs(2, 2, "simSave NODE PATH");
    std::string error;
    const bool ok = WriteSimCache(*Hair(c), c.Text(1, "path"), &error);
    c.warn << (ok ? "Cache written." : "Cache file could not be used.")
           << (ok || error.empty() ? "" : " (" + error + ")") << '\n';
    return std::string(ok ? "true" : "false");
  });
  runner.AddVerb("simLoad", [](ScriptCall& c) {
    // As the panel's "Load sim cache...": on success the object plays the file from now on.
    c.NeedArgs(2, 2, "simLoad NODE PATH");
    HairObject* obj = Hair(c);
    const std::string& path = c.Text(1, "path");
    std::string error;
    const bool ok = ReadSimCache(*obj, path, &error);
    if (ok) {
      obj->pblock2->SetValue(hp::dynCachePath, 0, path);
      obj->pblock2->SetValue(hp::dynMode, 0, 2);
    }
    c.warn << (ok ? "Cache loaded." : "Cache file could not be used.")
           << (ok || error.empty() ? "" : " (" + error + ")") << '\n';
    return std::string(ok ? "true" : "false");
  });
  runner.AddVerb("simStatus", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "simStatus NODE");
    return SimStatus(*Hair(c));
  });
  runner.AddVerb("play", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "play on|off");
    const std::string& v = c.Word(0, "on or off");
    if (v == "on") c.ip.StartAnimPlayback();
    else if (v == "off") c.ip.EndAnimPlayback();
    else throw ScriptError{"play takes on or off, got " + v};
    return std::string("ok");
  });
  runner.AddVerb("move", [](ScriptCall& c) {
    c.NeedArgs(4, 4, "move NODE x y z");
    c.Node(0)->Move(c.ip.GetTime(), Vector(c));
    return std::string("ok");
  });
  runner.AddVerb("rotate", [](ScriptCall& c) {
    c.NeedArgs(4, 4, "rotate NODE x y z");
    c.Node(0)->Rotate(c.ip.GetTime(), Vector(c));
    return std::string("ok");
  });
}

}  // namespace crn::scene
