#pragma once
// Loads the plug-in module into this process (the command-line host, tests, benchmarks):
// registers the classes of its class table, runs its start-up and, at the end of the session,
// its shut-down.

namespace crn::scene {

class ModuleSession {
 public:
  ModuleSession();
  ~ModuleSession();
  ModuleSession(const ModuleSession&) = delete;
  ModuleSession& operator=(const ModuleSession&) = delete;
};

}  // namespace crn::scene
