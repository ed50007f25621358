// crinelOps for scripts: every function of the interface becomes a call of the same name,
// its arguments read by their declared types (nodes by name or `undefined`, times in
// frames) and dispatched by function id.
#include <cctype>
#include <climits>
#include <cmath>

#include "host/function_publishing.h"
#include "scene/script.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;

namespace {

bool ParseBool(const std::string& s, bool& b) {
  if (s == "true" || s == "1") b = true;
  else if (s == "false" || s == "0") b = false;
  else return false;
  return true;
}

FPValue ReadArg(ScriptCall& c, std::size_t i, const FPParamDef& p) {
  const char* what = p.internalName.c_str();
  switch (p.type) {
    case FP_INODE: return FPValue::Node(c.NodeOrUndefined(i));
    case FP_INT: {
      const long long v = c.Integer(i, what);
      if (v < INT_MIN || v > INT_MAX) throw ScriptError{p.internalName + " is out of range"};
      return FPValue::Int(int(v));
    }
    case FP_FLOAT: return FPValue::Float(float(c.Number(i, what)));
    case FP_BOOL: {
      bool b;
      if (!ParseBool(c.Word(i, what), b)) throw ScriptError{p.internalName + " must be true or false"};
      return FPValue::Bool(b);
    }
    case FP_POINT3_BV: {
      const ScriptArg& a = c.args[i];
      double v[3];
      bool ok = a.kind == ScriptArg::List && a.items.size() == 3;
      for (int k = 0; ok && k < 3; ++k) {
        char* end = nullptr;
        v[k] = std::strtod(a.items[k].c_str(), &end);
        ok = end && *end == '\0' && !a.items[k].empty() && std::isfinite(v[k]);
      }
      if (!ok) throw ScriptError{p.internalName + " must be a point [x,y,z]"};
      return FPValue::Point(Point3(float(v[0]), float(v[1]), float(v[2])));
    }
    case FP_TIMEVALUE: return FPValue::Time(c.Frame(i));
    case FP_STRING: return FPValue::String(c.Text(i, what));
    case FP_VOID: break;
  }
  return {};
}

std::string FormatResult(const FPValue& r) {
  switch (r.type) {
    case FP_INT:
    case FP_TIMEVALUE: return std::to_string(r.i);
    case FP_FLOAT: return FormatFloat(r.f);
    case FP_BOOL: return r.b ? "true" : "false";
    case FP_POINT3_BV: return FormatPoint(r.p.x, r.p.y, r.p.z);
    case FP_INODE: return r.n ? r.n->GetName() : "undefined";
    case FP_STRING: return r.s;
    case FP_VOID: break;
  }
  return "ok";
}

// The call as the script writes it: "guidePoint NODE GUIDE K FRAME".
std::string Usage(const FPFunctionDef& f) {
  std::string s = f.internalName;
  for (const FPParamDef& p : f.params) {
    std::string name = p.internalName;
    for (char& ch : name) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    switch (p.type) {
      case FP_BOOL: s += " true|false"; break;
      case FP_POINT3_BV: s += " [x,y,z]"; break;
      case FP_TIMEVALUE: s += " FRAME"; break;
      case FP_STRING: s += " \"" + name + "\""; break;
      default: s += " " + name; break;
    }
  }
  return s;
}

}  // namespace

void AddCrinelOpsVerbs(ScriptRunner& runner) {
  FPInterfaceDesc* ops = GetFPInterface("crinelOps");
  if (!ops) return;
  for (const FPFunctionDef& f : ops->Functions()) {
    runner.AddVerb(f.internalName, [ops, f, usage = Usage(f)](ScriptCall& c) {
      c.NeedArgs(f.params.size(), f.params.size(), usage.c_str());
      std::vector<FPValue> args;
      for (std::size_t i = 0; i < c.Count(); ++i) args.push_back(ReadArg(c, i, f.params[i]));
      FPValue result;
      std::string error;
      const FPStatus st = ops->Invoke(f.id, args, result, &error);
      if (st == FPS_ARGUMENT_ERROR) throw ScriptError{error};
      if (st != FPS_OK) throw ScriptError{f.internalName + " failed"};
      return FormatResult(result);
    });
  }
}

}  // namespace crn::scene
