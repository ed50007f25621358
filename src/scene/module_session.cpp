#include "scene/module_session.h"

#include "host/class_desc.h"
#include "host/platform.h"
#include "plugin/entry.h"

namespace crn::scene {

ModuleSession::ModuleSession() {
  auto& dir = host::ClassDirectory::Get();
  for (int i = 0; i < LibNumberClasses(); ++i) dir.AddClass(LibClassDesc(i));
  LibInitialize();
  host::BroadcastNotification(host::NOTIFY_SYSTEM_STARTUP);
}

ModuleSession::~ModuleSession() {
  auto& dir = host::ClassDirectory::Get();
  for (int i = 0; i < LibNumberClasses(); ++i) dir.RemoveClass(LibClassDesc(i));
  LibShutdown();
}

}  // namespace crn::scene
