#pragma once
// Loads the plug-in module into the command-line host: registers the classes of its class
// table, runs its start-up and, at the end of the session, its shut-down.

namespace crn::app {

class ModuleSession {
 public:
  ModuleSession();
  ~ModuleSession();
  ModuleSession(const ModuleSession&) = delete;
  ModuleSession& operator=(const ModuleSession&) = delete;
};

}  // namespace crn::app
