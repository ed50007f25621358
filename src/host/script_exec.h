#pragma once
// The host's script execution. This host has no interpreter for its scripting language: it
// records every script it is asked to run and hands it to the evaluator the application sets,
// which may act on the scripts it knows.
#include <functional>
#include <string>
#include <vector>

namespace host {

struct ExecutedScript {
  std::string text;
  bool quietErrors = false;
};

// Runs script; quietErrors suppresses the error dialog of a failing script. Returns the
// evaluator's result, true when none is set.
bool ExecuteMAXScriptScript(const std::string& script, bool quietErrors = false);

using ScriptEvaluator = std::function<bool(const std::string& script, bool quietErrors)>;
void SetScriptEvaluator(ScriptEvaluator evaluator);

// Every script run so far, oldest first.
std::vector<ExecutedScript> ExecutedScripts();

// Whether the scripting language knows a class of that name. This host knows none of the
// classes of other renderers.
bool ScriptClassExists(const std::string& name);

}  // namespace host
