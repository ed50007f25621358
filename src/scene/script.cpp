#include "scene/script.h"

#include <cmath>
#include <istream>
#include <ostream>

#include "host/undo.h"
#include "scene/scene_file.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;

namespace {

[[noreturn]] void Fail(const std::string& m) { throw ScriptError{m}; }

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

bool ParseNumber(const std::string& s, double& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return end && *end == '\0' && std::isfinite(v);
}

}  // namespace

std::vector<ScriptArg> TokenizeScriptLine(const std::string& line, std::string& name) {
  std::vector<ScriptArg> args;
  name.clear();
  std::size_t i = 0;
  const std::size_t n = line.size();
  bool first = true;
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= n) break;
    ScriptArg a;
    if (line[i] == '"') {
      a.kind = ScriptArg::String;
      ++i;
      bool closed = false;
      while (i < n) {
        char c = line[i++];
        if (c == '\\' && i < n) {
          a.text += line[i++];
        } else if (c == '"') {
          closed = true;
          break;
        } else {
          a.text += c;
        }
      }
      if (!closed) Fail("unterminated string");
    } else if (line[i] == '[') {
      a.kind = ScriptArg::List;
      const std::size_t close = line.find(']', i);
      if (close == std::string::npos) Fail("missing ']'");
      const std::string inner = line.substr(i + 1, close - i - 1);
      i = close + 1;
      a.text = "[" + inner + "]";
      if (!Trim(inner).empty()) {
        std::size_t start = 0;
        while (true) {
          const std::size_t comma = inner.find(',', start);
          std::string item = Trim(inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
          if (item.size() >= 2 && item.front() == '"' && item.back() == '"')
            item = item.substr(1, item.size() - 2);
          a.items.push_back(item);
          if (comma == std::string::npos) break;
          start = comma + 1;
        }
      }
    } else {
      while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') a.text += line[i++];
    }
    if (first) {
      if (a.kind != ScriptArg::Word) Fail("a call starts with a function name");
      name = a.text;
      first = false;
    } else {
      args.push_back(std::move(a));
    }
  }
  return args;
}

// --- call helpers

void ScriptCall::NeedArgs(std::size_t lo, std::size_t hi, const char* usage) const {
  if (args.size() < lo || args.size() > hi) Fail(std::string("usage: ") + usage);
}

const std::string& ScriptCall::Word(std::size_t i, const char* what) const {
  if (i >= args.size()) Fail(std::string("missing ") + what);
  if (args[i].kind == ScriptArg::List) Fail(std::string(what) + " must not be a list");
  return args[i].text;
}

double ScriptCall::Number(std::size_t i, const char* what) const {
  double v;
  if (i >= args.size() || args[i].kind != ScriptArg::Word || !ParseNumber(args[i].text, v))
    Fail(std::string(what) + " must be a number" +
         (i < args.size() ? ", got " + args[i].text : std::string()));
  return v;
}

long long ScriptCall::Integer(std::size_t i, const char* what) const {
  const double v = Number(i, what);
  if (v != std::floor(v) || std::fabs(v) > 9.0e15) Fail(std::string(what) + " must be an integer");
  return (long long)v;
}

INode* ScriptCall::Node(std::size_t i) const {
  const std::string& name = Word(i, "node name");
  INode* node = ip.GetINodeByName(name);
  if (!node) Fail("no node named \"" + name + "\"");
  return node;
}

INode* ScriptCall::NodeOrUndefined(std::size_t i) const {
  if (i < args.size() && args[i].kind == ScriptArg::Word && args[i].text == "undefined")
    return nullptr;
  return Node(i);
}

TimeValue ScriptCall::Frame(std::size_t i) const {
  const double f = Number(i, "frame");
  if (std::fabs(f) > 1e7) Fail("frame out of range");
  return FramesToTicks(f);
}

// --- runner

ScriptRunner::ScriptRunner(Interface& ip) : ip_(ip) {}

namespace {

enum class LineRead { Line, End, TooLong };

// One line of input without its newline, read only as far as kMaxScriptLineBytes so that
// endless input without newlines (a device, say) cannot fill memory.
LineRead ReadLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf* buf = in.rdbuf();
  bool any = false;
  while (true) {
    const int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return any ? LineRead::Line : LineRead::End;
    }
    any = true;
    if (c == '\n') return LineRead::Line;
    if (line.size() >= kMaxScriptLineBytes) return LineRead::TooLong;
    line.push_back(char(c));
  }
}

}  // namespace

std::vector<std::string> ScriptRunner::VerbNames() const {
  std::vector<std::string> names;
  for (const auto& [name, verb] : verbs_) names.push_back(name);
  return names;
}

ScriptVerb ScriptRunner::GetVerb(const std::string& name) const {
  const auto it = verbs_.find(name);
  return it == verbs_.end() ? ScriptVerb() : it->second;
}

int ScriptRunner::Run(const std::string& name, std::istream& in, std::ostream& out,
                      std::ostream& warn, std::ostream& err) {
  std::string line;
  int lineNo = 0;
  while (true) {
    const LineRead read = ReadLine(in, line);
    if (read == LineRead::End) break;
    ++lineNo;
    if (read == LineRead::TooLong) {
      out.flush();
      err << name << ':' << lineNo << ": the line is longer than " << kMaxScriptLineBytes
          << " bytes\n";
      return 1;
    }
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    try {
      std::string verbName;
      const std::vector<ScriptArg> args = TokenizeScriptLine(t, verbName);
      auto it = verbs_.find(verbName);
      if (it == verbs_.end()) Fail("unknown function \"" + verbName + "\"");
      ScriptCall call{ip_, args, warn};
      const std::string result = it->second(call);
      out << result << '\n';
      out.flush();
    } catch (const ScriptError& e) {
      out.flush();
      err << name << ':' << lineNo << ": " << e.message << '\n';
      return 1;
    } catch (const std::exception& e) {
      // A fault of a call, not of the script: reported the same way rather than ending the
      // process.
      out.flush();
      err << name << ':' << lineNo << ": internal error: " << e.what() << '\n';
      return 1;
    }
  }
  return 0;
}

// --- host verbs

namespace {

struct Target {
  INode* node;
  ParamRef ref;
};

Target FindTarget(ScriptCall& c) {
  INode* node = c.Node(0);
  const std::string& pname = c.Word(1, "parameter name");
  ParamRef ref = FindParam(node->GetObjectRef(), pname);
  if (!ref.def) Fail("node \"" + node->GetName() + "\" has no parameter \"" + pname + "\"");
  return {node, ref};
}

INode* NodeOrNone(ScriptCall& c, const std::string& name) {
  if (name == "undefined" || name.empty()) return nullptr;
  INode* n = c.ip.GetINodeByName(name);
  if (!n) Fail("no node named \"" + name + "\"");
  return n;
}

PBValue ParseValue(ScriptCall& c, const ParamDef& def, const IParamBlock2& pb, std::size_t i) {
  const ScriptArg& a = c.args[i];
  const std::string expect = "parameter \"" + def.internalName + "\" expects " +
                             DescribeExpected(def) + ", got " + a.text;
  double d;
  switch (def.type) {
    case TYPE_FLOAT:
      if (a.kind != ScriptArg::Word || !ParseNumber(a.text, d)) Fail(expect);
      return float(d);
    case TYPE_INT:
      if (a.kind == ScriptArg::String && def.IsDropDown()) {
        for (std::size_t k = 0; k < def.itemStringIds.size(); ++k)
          if (a.text == pb.GetDesc()->GetString(def.itemStringIds[k])) return int(k);
        Fail(expect);
      }
      if (a.kind != ScriptArg::Word || !ParseNumber(a.text, d) || d != std::floor(d) ||
          std::fabs(d) > 2147483647.0)
        Fail(expect);
      return int(d);
    case TYPE_BOOL:
      if (a.text == "true" || a.text == "1") return 1;
      if (a.text == "false" || a.text == "0") return 0;
      Fail(expect);
    case TYPE_RGBA: {
      double r, g, b;
      if (a.kind != ScriptArg::List || a.items.size() != 3 || !ParseNumber(a.items[0], r) ||
          !ParseNumber(a.items[1], g) || !ParseNumber(a.items[2], b))
        Fail(expect);
      return Color(float(r), float(g), float(b));
    }
    case TYPE_INODE:
      if (a.kind == ScriptArg::List) Fail(expect);
      return NodeOrNone(c, a.text);
    case TYPE_INODE_TAB: {
      if (a.kind != ScriptArg::List) Fail(expect);
      std::vector<INode*> nodes;
      for (const std::string& item : a.items) nodes.push_back(NodeOrNone(c, item));
      return nodes;
    }
    case TYPE_STRING:
    case TYPE_FILENAME:
      if (a.kind == ScriptArg::List) Fail(expect);
      return a.text;
    case TYPE_TEXMAP:
      Fail("parameter \"" + def.internalName + "\" holds a texture map, which scripts cannot set yet");
  }
  Fail(expect);
}

std::string VerbSet(ScriptCall& c) {
  c.NeedArgs(3, 4, "set NODE PARAM VALUE [FRAME]");
  Target tg = FindTarget(c);
  const ParamDef& def = *tg.ref.def;
  const PBValue v = ParseValue(c, def, *tg.ref.block, 2);
  const TimeValue t = c.Count() == 4 ? c.Frame(3) : c.ip.GetTime();
  theHold.Begin();
  const SetStatus st = tg.ref.block->SetValue(def.id, t, v);
  if (st != SetStatus::Ok && st != SetStatus::Clamped) {
    theHold.Cancel();
    if (st == SetStatus::Refused)
      Fail("node \"" + c.args[2].text + "\" cannot be picked for \"" + def.internalName + "\"" +
           (def.id == 0 ? " (hair grows only on mesh objects that are not hair objects)" : ""));
    Fail("parameter \"" + def.internalName + "\" expects " + DescribeExpected(def));
  }
  theHold.Accept("Parameter change");
  if (st == SetStatus::Clamped)
    c.warn << "warning: " << tg.node->GetName() << "." << def.internalName << ": value "
           << c.args[2].text << " is outside " << RangeText(def) << "; clamped\n";
  return "ok";
}

std::string VerbGet(ScriptCall& c) {
  c.NeedArgs(2, 3, "get NODE PARAM [FRAME]");
  Target tg = FindTarget(c);
  const TimeValue t = c.Count() == 3 ? c.Frame(2) : c.ip.GetTime();
  Interval iv = FOREVER;
  return FormatValue(*tg.ref.def, *tg.ref.block->GetPBValue(tg.ref.def->id, t, iv));
}

std::string VerbTime(ScriptCall& c) {
  c.NeedArgs(1, 1, "time FRAME");
  c.ip.SetTime(c.Frame(0));
  return "ok";
}

std::string VerbUndo(ScriptCall& c) {
  c.NeedArgs(0, 0, "undo");
  if (!theHold.Undo()) c.warn << "warning: nothing to undo\n";
  return "ok";
}

std::string VerbRedo(ScriptCall& c) {
  c.NeedArgs(0, 0, "redo");
  if (!theHold.Redo()) c.warn << "warning: nothing to redo\n";
  return "ok";
}

std::string VerbSave(ScriptCall& c) {
  c.NeedArgs(1, 1, "save PATH");
  std::string error;
  if (!SaveScene(c.Word(0, "path"), c.ip, error)) Fail(error);
  return "ok";
}

std::string VerbLoad(ScriptCall& c) {
  c.NeedArgs(1, 1, "load PATH");
  SceneLoad r = LoadAnyScene(c.Word(0, "path"), c.ip);
  for (const std::string& w : r.warnings) c.warn << "warning: " << w << '\n';
  if (!r.ok) Fail(r.error);
  return "ok";
}

}  // namespace

void AddHostVerbs(ScriptRunner& runner) {
  runner.AddVerb("set", VerbSet);
  runner.AddVerb("get", VerbGet);
  runner.AddVerb("time", VerbTime);
  runner.AddVerb("undo", VerbUndo);
  runner.AddVerb("redo", VerbRedo);
  runner.AddVerb("save", VerbSave);
  runner.AddVerb("load", VerbLoad);
}

}  // namespace crn::scene
