#include "host/plugin_loader.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>

#include "host/class_desc.h"

namespace host {

namespace {

std::vector<std::string>& Loaded() {
  static std::vector<std::string> loaded;
  return loaded;
}

}  // namespace

const std::vector<std::string>& LoadedPlugins() { return Loaded(); }

std::string PluginFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&PluginFolder), &info) || !info.dli_fname) return ".";
  return std::filesystem::path(info.dli_fname).parent_path().string();
}

bool LoadPlugin(const std::string& path, std::string& error) {
  if (std::find(Loaded().begin(), Loaded().end(), path) != Loaded().end()) return true;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error = path + ": cannot load the plug-in: " + (why ? why : "unknown error");
    return false;
  }
  using CountFn = int (*)();
  using DescFn = ClassDesc2* (*)(int);
  auto count = reinterpret_cast<CountFn>(dlsym(handle, "LibNumberClasses"));
  auto desc = reinterpret_cast<DescFn>(dlsym(handle, "LibClassDesc"));
  if (!count || !desc) {
    error = path + ": not a plug-in module (no LibNumberClasses and LibClassDesc)";
    dlclose(handle);
    return false;
  }
  if (auto init = reinterpret_cast<int (*)()>(dlsym(handle, "LibInitialize"))) init();
  for (int i = 0; i < count(); ++i) ClassDirectory::Get().AddClass(desc(i));
  Loaded().push_back(path);
  return true;
}

}  // namespace host
