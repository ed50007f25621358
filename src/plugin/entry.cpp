#include "plugin/entry.h"

#include <dlfcn.h>

#include "dynamics/hair_wind.h"
#include "groom/tools_macro.h"
#include "hair/hair_object.h"
#include "host/interface.h"
#include "host/platform.h"
#include "material/hair_mtl.h"
#include "plugin/worker_pool.h"
#include "render/live_view_window.h"
#include "resources/strings.h"

int NvOptimusEnablementCuda = 1;

namespace crn {

namespace {

void* g_moduleHandle = nullptr;

// Runs when the module is loaded, as the DLL entry's process attach does.
__attribute__((constructor)) void OnModuleLoad() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OnModuleLoad), &info)) g_moduleHandle = info.dli_fbase;
}

// The host has finished starting: the toolbar macro goes into the user's macro folder.
void OnSystemStartup(void*, int) {
  host::Interface* ip = host::GetCOREInterface();
  std::string error;
  if (!InstallToolbarMacro(*ip, &error)) ip->LogMessage(error);
}

}  // namespace

void* ModuleHandle() { return g_moduleHandle; }

}  // namespace crn

const char* LibDescription() { return crn::res::GetString(crn::res::IDS_LIB_DESCRIPTION); }

int LibNumberClasses() { return 3; }

host::ClassDesc2* LibClassDesc(int i) {
  switch (i) {
    case 0: return crn::GetHairObjDesc();
    case 1: return crn::GetHairWindDesc();
    case 2: return crn::GetHairMtlDesc();
    default: return nullptr;
  }
}

// Host SDK version word: release 28000, API number 68, SDK revision 0.
unsigned long LibVersion() { return 0x6D604400UL; }

int LibInitialize() {
  host::RegisterNotification(&crn::OnSystemStartup, nullptr, host::NOTIFY_SYSTEM_STARTUP);
  host::WindowClass wc;
  wc.name = crn::kLiveViewClassName;
  wc.proc = &crn::LiveViewWndProc;
  wc.instance = crn::ModuleHandle();
  host::RegisterClassEx(wc);  // a failure only means the live view cannot open
  return 1;
}

int LibShutdown() {
  host::UnRegisterNotification(&crn::OnSystemStartup, nullptr, host::NOTIFY_SYSTEM_STARTUP);
  if (crn::LiveViewWindowExists()) crn::DestroyLiveViewWindow();
  host::UnregisterClass(crn::kLiveViewClassName);
  crn::StopPool();
  return 1;
}
