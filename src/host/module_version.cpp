#include "host/module_version.h"

#include <dlfcn.h>

#include <algorithm>

namespace host {

bool GetLoadedModuleVersion(const std::string& moduleName, FileVersion& version) {
  void* module = dlopen(moduleName.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!module) return false;
  const auto* words = static_cast<const std::uint16_t*>(dlsym(module, kFileVersionSymbol));
  if (words) std::copy(words, words + 4, version.begin());
  dlclose(module);  // drops only the reference NOLOAD took
  return words != nullptr;
}

}  // namespace host
