#pragma once
// Hand-written JSON scenes: units, frame rate, range, time and nodes with meshes, objects,
// transforms and parameters.
#include <string>
#include <vector>

#include "host/interface.h"

namespace crn::scene {

struct SceneLoadResult {
  bool ok = false;
  std::string error;                  // one message naming the file, node and parameter
  std::vector<std::string> warnings;  // values clamped to their ranges, for instance
};

// Replaces the scene in ip with the one in the JSON file at path. On failure the scene is
// left empty (never half-built).
SceneLoadResult LoadJsonScene(const std::string& path, host::Interface& ip);
// The same for the JSON text of the file at path (already read; path places the files the
// scene names and is used in messages).
SceneLoadResult LoadJsonSceneText(const std::string& text, const std::string& path,
                                  host::Interface& ip);

// Unit names of scene files: inch, ft, mm, cm, m, km.
bool ParseUnitName(const std::string& name, int& unitType);

}  // namespace crn::scene
