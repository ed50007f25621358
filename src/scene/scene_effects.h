#pragma once
// Scene-file keys of the simulation's effects: particle systems ("particles" on a node) and
// the plug-in modules a scene loads at start-up ("plugins"), in JSON and in saved scenes.
#include <filesystem>
#include <memory>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "host/chunk_io.h"
#include "host/object.h"

namespace crn::scene {

// A particle system from its node key: {"emitter": {...}} or {"sequence": "drops_####.prt",
// "frames": [first, last]} (files relative to dir). Throws std::runtime_error naming `where`.
std::unique_ptr<host::Object> MakeParticleSystem(const nlohmann::json& v, const std::string& where,
                                                 const std::filesystem::path& dir);

// Loads every module the "plugins" array names: a path relative to the scene's folder, or a
// module in the host's plug-in folder. Throws std::runtime_error when one cannot be loaded.
void LoadScenePlugins(const nlohmann::json& v, const std::filesystem::path& dir);

// The loaded plug-in modules as a chunk of a saved scene, and loading them back; false with
// error when a module cannot be loaded.
void SavePluginList(host::ISave& s);
bool LoadPluginList(host::ILoad& l, std::string& error);

}  // namespace crn::scene
