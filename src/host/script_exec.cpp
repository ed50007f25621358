#include "host/script_exec.h"

#include "host/class_desc.h"

namespace host {

namespace {

struct Scripts {
  ScriptEvaluator evaluator;
  std::vector<ExecutedScript> run;
};

Scripts& State() {
  static Scripts s;
  return s;
}

}  // namespace

bool ExecuteMAXScriptScript(const std::string& script, bool quietErrors) {
  State().run.push_back({script, quietErrors});
  ScriptEvaluator evaluator = State().evaluator;
  return evaluator ? evaluator(script, quietErrors) : true;
}

void SetScriptEvaluator(ScriptEvaluator evaluator) { State().evaluator = std::move(evaluator); }

std::vector<ExecutedScript> ExecutedScripts() { return State().run; }

bool ScriptClassExists(const std::string& name) {
  return ClassDirectory::Get().FindClassByName(name) != nullptr;
}

}  // namespace host
