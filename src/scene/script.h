#pragma once
// The script runner: one call per non-empty line that does not start with '#', written
// `name arg arg ...`; one output line per call.
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "host/interface.h"

namespace crn::scene {

// One argument as written: a bare word or number, a "quoted string" or a [bracketed list].
struct ScriptArg {
  enum Kind { Word, String, List } kind = Word;
  std::string text;               // word or string contents
  std::vector<std::string> items;  // list items, trimmed (quotes removed)
};

// Thrown by verbs for a call that cannot be done; the runner reports it and stops.
struct ScriptError {
  std::string message;
};

struct ScriptCall {
  host::Interface& ip;
  const std::vector<ScriptArg>& args;
  std::ostream& warn;  // warnings and messages (stderr in the command-line host)

  std::size_t Count() const { return args.size(); }
  // Argument helpers that throw ScriptError with a clear message.
  const std::string& Word(std::size_t i, const char* what) const;
  double Number(std::size_t i, const char* what) const;
  long long Integer(std::size_t i, const char* what) const;
  host::INode* Node(std::size_t i) const;
  // A node argument that may be `undefined` (null).
  host::INode* NodeOrUndefined(std::size_t i) const;
  // A string argument: quoted, or a bare word.
  const std::string& Text(std::size_t i, const char* what) const { return Word(i, what); }
  // A frame argument as ticks.
  host::TimeValue Frame(std::size_t i) const;
  void NeedArgs(std::size_t lo, std::size_t hi, const char* usage) const;
};

// A verb returns the text of its output line ("ok" for calls without a result).
using ScriptVerb = std::function<std::string(ScriptCall&)>;

// Longest script line read; a longer one stops the script with an error.
constexpr std::size_t kMaxScriptLineBytes = std::size_t(1) << 20;

class ScriptRunner {
 public:
  explicit ScriptRunner(host::Interface& ip);
  void AddVerb(const std::string& name, ScriptVerb verb) { verbs_[name] = std::move(verb); }
  // The calls added so far, by name; GetVerb is empty for an unknown name.
  std::vector<std::string> VerbNames() const;
  ScriptVerb GetVerb(const std::string& name) const;
  // Runs every line of in; results to out, warnings to warn. Returns 0, or 1 after writing
  // "NAME:LINE: message" to err for the call that failed.
  int Run(const std::string& name, std::istream& in, std::ostream& out, std::ostream& warn,
          std::ostream& err);

 private:
  host::Interface& ip_;
  std::map<std::string, ScriptVerb> verbs_;
};

// Splits one script line into its name and arguments; throws ScriptError on bad quoting.
std::vector<ScriptArg> TokenizeScriptLine(const std::string& line, std::string& name);

// The host verbs: set, get, time, undo, redo, save, load.
void AddHostVerbs(ScriptRunner& runner);
// The script interface crinelOps under its script names.
void AddCrinelOpsVerbs(ScriptRunner& runner);

}  // namespace crn::scene
