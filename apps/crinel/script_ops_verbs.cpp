// crinelOps calls for scripts: node arguments by name, times in frames.
#include <climits>

#include "crinel/script.h"
#include "crinel/values.h"
#include "groom/script_ops.h"

namespace crn::app {

namespace {

int IntArg(ScriptCall& c, std::size_t i, const char* what) {
  const long long v = c.Integer(i, what);
  if (v < INT_MIN || v > INT_MAX) throw ScriptError{std::string(what) + " is out of range"};
  return int(v);
}

}  // namespace

void AddCrinelOpsVerbs(ScriptRunner& runner) {
  runner.AddVerb("guideCount", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "guideCount NODE");
    return std::to_string(ops::guideCount(c.NodeOrUndefined(0)));
  });
  runner.AddVerb("guidePoint", [](ScriptCall& c) {
    c.NeedArgs(4, 4, "guidePoint NODE GUIDE K FRAME");
    const V3 p = ops::guidePoint(c.NodeOrUndefined(0), IntArg(c, 1, "guide"), IntArg(c, 2, "k"),
                                 c.Frame(3));
    return FormatPoint(p.x, p.y, p.z);
  });
  runner.AddVerb("insideCount", [](ScriptCall& c) {
    c.NeedArgs(2, 2, "insideCount NODE FRAME");
    return std::to_string(ops::insideCount(c.NodeOrUndefined(0), c.Frame(1)));
  });
  runner.AddVerb("kinkCount", [](ScriptCall& c) {
    c.NeedArgs(2, 2, "kinkCount NODE FRAME");
    return std::to_string(ops::kinkCount(c.NodeOrUndefined(0), c.Frame(1)));
  });
  runner.AddVerb("renderCount", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "renderCount NODE");
    return std::to_string(ops::renderCount(c.NodeOrUndefined(0)));
  });
  runner.AddVerb("dumpStrands", [](ScriptCall& c) {
    c.NeedArgs(2, 2, "dumpStrands NODE PATH");
    return std::to_string(ops::dumpStrands(c.NodeOrUndefined(0), c.Text(1, "path")));
  });
}

}  // namespace crn::app
