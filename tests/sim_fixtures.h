#pragma once
// Scenes for the simulation tests: a patch of grass on a plane (25 guides of 5 points) that
// simulates in a blink, loaded from JSON text with extra nodes and hair parameters.
#include <gtest/gtest.h>

#include <string>

#include "dynamics/sim_registry.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "host/interface.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene_fixtures.h"

namespace fixtures {

// The grass scene's JSON: extraNodes (each ",{...}") after the plane, hairParams (each
// ", \"name\": value") added to the hair's parameters (a repeated name takes the later value).
inline std::string GrassSceneJson(const std::string& extraNodes = "", const std::string& hairParams = "",
                                  const std::string& plane = "{\"primitive\": \"plane\", \"width\": 20, \"length\": 20, \"segments\": 4}") {
  return R"({"units": "cm", "fps": 30, "range": [0, 30], "nodes": [
    {"name": "ground", "mesh": )" + plane + R"(}
    )" + extraNodes + R"(,
    {"name": "grass", "object": "Crinel",
     "params": {"surface": "ground", "count": 200, "length": 4, "segments": 4, "lift": 1,
                "gravity": 0, "dirRandom": 0, "dynMode": "Live", "dynInteractive": false)" +
         hairParams + R"(}}]})";
}

class SimScene : public ::testing::Test {
 protected:
  void TearDown() override { ip().ResetScene(); }
  static host::Interface& ip() { return *host::GetCOREInterface(); }
  // Loads the scene text; the hair object is the node "grass".
  void Load(const std::string& json) {
    const std::string path = dir.Write("scene.json", json);
    const auto r = crn::scene::LoadAnyScene(path, ip());
    ASSERT_TRUE(r.ok) << r.error;
    node = ip().GetINodeByName("grass");
    hair = crn::HairObjectOf(node);
    ASSERT_NE(hair, nullptr);
  }
  crn::SimState* Record() { return crn::SimRegistry::Get().Find(hair->ObjectId()); }
  static host::TimeValue Frame(int f) { return f * host::GetTicksPerFrame(); }

  crn::scene::ModuleSession module;
  TempDir dir{"crinel_sim"};
  host::INode* node = nullptr;
  crn::HairObject* hair = nullptr;
};

}  // namespace fixtures
