#pragma once
// Saved scenes: the host's own binary scene file (chunked), and loading either kind of scene.
#include <string>
#include <vector>

#include "host/interface.h"

namespace crn::scene {

// First bytes of a saved scene.
inline constexpr char kSceneMagic[8] = {'C', 'R', 'N', 'S', 'C', 'E', 'N', 'E'};
constexpr std::uint32_t kSceneVersion = 2;

// The saved-scene bytes of the scene in ip.
std::vector<std::uint8_t> SaveSceneBytes(const host::Interface& ip);
// Writes the scene to path through a temporary file, so a failed save never replaces a good
// file. Returns false with error on failure.
bool SaveScene(const std::string& path, const host::Interface& ip, std::string& error);
// Replaces the scene in ip with the saved scene in bytes (from file `path`, for messages);
// on failure the scene is left empty. Parameter values outside their ranges are clamped, each
// with a message in warnings when it is given.
bool LoadSceneBytes(const std::vector<std::uint8_t>& bytes, const std::string& path,
                    host::Interface& ip, std::string& error,
                    std::vector<std::string>* warnings = nullptr);

// Loads a saved scene or a JSON scene, told apart by the first bytes. Only regular files are
// read, saved scenes up to 4 GiB and JSON scenes up to 256 MiB.
struct SceneLoad {
  bool ok = false;
  std::string error;
  std::vector<std::string> warnings;
};
SceneLoad LoadAnyScene(const std::string& path, host::Interface& ip);

}  // namespace crn::scene
