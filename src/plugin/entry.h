#pragma once
// The module's entry points for the host, exported with C linkage.
#include "host/class_desc.h"

#define CRN_EXPORT extern "C" __attribute__((visibility("default")))

CRN_EXPORT const char* LibDescription();
CRN_EXPORT int LibNumberClasses();
CRN_EXPORT host::ClassDesc2* LibClassDesc(int i);
CRN_EXPORT unsigned long LibVersion();
CRN_EXPORT int LibInitialize();
CRN_EXPORT int LibShutdown();
// Asks laptops with switchable graphics to run the process on the discrete NVIDIA GPU.
CRN_EXPORT int NvOptimusEnablementCuda;

namespace crn {
// Module handle stored when the module is loaded (its base address).
void* ModuleHandle();
}  // namespace crn
