#pragma once
// Plug-in modules the host loads at start-up, as from its plug-in folders: a shared library
// that lists its classes through LibNumberClasses and LibClassDesc. Loaded modules stay loaded
// for the life of the process.
#include <string>
#include <vector>

namespace host {

// Loads the module at path (once; a second call for the same path does nothing), runs its
// LibInitialize when it has one and adds its classes to the class directory. False with the
// reason when the file cannot be loaded or lacks LibNumberClasses and LibClassDesc.
bool LoadPlugin(const std::string& path, std::string& error);

// The modules loaded so far, as their paths were given.
const std::vector<std::string>& LoadedPlugins();

// The host's plug-in folder: the folder of the host library itself (where the build puts the
// plug-in modules).
std::string PluginFolder();

}  // namespace host
