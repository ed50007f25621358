// Scripts: the text of a script run line by line, as `crinel script` runs it, with every call
// the command line registers, on a small scene loaded afresh for each input. Calls that write
// files write one file of the scratch folder whatever path they name, and relative paths to
// load are found there. The viewport starts at 160 x 90 pixels; a larger one than 256 x 256
// pixels or a scene grown past the size guard ends the script.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "scene/scene_json.h"
#include "scene/script_calls.h"
#include "scene/viewport_setup.h"

namespace {

const char* const kScene = R"({"units": "cm", "range": [0, 10], "nodes": [
  {"name": "ball", "mesh": {"primitive": "sphere", "radius": 10, "segments": 8}},
  {"name": "cam", "transform": {"position": [0, -80, 0]}},
  {"name": "guides", "spline": {"points": [[0, 0, 10], [0, 0, 14], [2, 0, 16]]}},
  {"name": "fur", "object": "Crinel",
   "params": {"surface": "ball", "count": 120, "length": 3, "segments": 4, "clumpCount": 40,
              "clump2Count": 100}}]})";

// The path argument of each call that writes a file.
int PathArgument(const std::string& verb) {
  if (verb == "save" || verb == "snapshot") return 0;
  if (verb == "dumpStrands") return 1;
  return -1;
}

crn::scene::ScriptVerb Guarded(const std::string& name, crn::scene::ScriptVerb verb) {
  return [name, verb](crn::scene::ScriptCall& c) {
    std::vector<crn::scene::ScriptArg> args = c.args;
    const int path = PathArgument(name);
    if (path >= 0 && std::size_t(path) < args.size())
      args[std::size_t(path)].text = fuzz::Scratch() + "out.file";
    if (name == "load" && !args.empty() && args[0].text.rfind('/', 0) != 0)
      args[0].text = fuzz::Scratch() + args[0].text;
    if (name == "viewportSize" && args.size() == 2 &&
        std::atof(args[0].text.c_str()) * std::atof(args[1].text.c_str()) > 256.0 * 256.0)
      throw crn::scene::ScriptError{"fuzz: viewport too large"};
    crn::scene::ScriptCall call{c.ip, args, c.warn};
    const std::string result = verb(call);
    if (!fuzz::SmallEnough(c.ip)) throw crn::scene::ScriptError{"fuzz: scene too large"};
    return result;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::Interface& ip = fuzz::Session();
  if (!crn::scene::LoadJsonSceneText(kScene, "fuzz.json", ip).ok) std::abort();
  crn::scene::SetDefaultViewport(ip);
  // A small viewport keeps snapshots and brush picking quick.
  ip.SetActiveViewport(ip.GetActiveViewExp().Camera(), 160, 90);
  crn::scene::ScriptRunner runner(ip);
  crn::scene::AddAllVerbs(runner);
  for (const std::string& name : runner.VerbNames())
    runner.AddVerb(name, Guarded(name, runner.GetVerb(name)));
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  fuzz::NullBuffer nothing;
  std::ostream out(&nothing);
  runner.Run("fuzz", in, out, out, out);
  ip.ResetScene();
  return 0;
}
