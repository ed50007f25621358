// What scene files say about rendering: cameras, lights, materials, wire colours, lookAt,
// the background and renderer settings, in JSON and through saved scenes.
#include <gtest/gtest.h>

#include <cmath>

#include "host/camera.h"
#include "host/light.h"
#include "host/std_mtl.h"
#include "material/hair_mtl.h"
#include "render/render_settings.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene_fixtures.h"

namespace {

constexpr const char* kScene = R"({"background": [0.2, 0.3, 0.4],
  "renderer": {"passes": 12, "denoise": false, "exposure": 1.5, "environment": 0.5, "saveLayers": true,
               "layersPath": "/tmp/layers.exr"},
  "nodes": [
    {"name": "ball", "mesh": {"primitive": "sphere", "radius": 5}, "material": {"diffuse": [0.9, 0.1, 0.2]},
     "wireColor": [10, 20, 30]},
    {"name": "cam", "camera": {"fov": 40, "ortho": true, "orthoZoom": 2},
     "transform": {"position": [10, -10, 5], "lookAt": [0, 0, 0]}},
    {"name": "key", "light": {"type": "spot", "color": [1, 0.9, 0.8], "intensity": 3, "hotspot": 20,
                              "falloff": 35, "shadows": false, "on": true},
     "transform": {"position": [0, 0, 20], "lookAt": [0, 0, 0]}},
    {"name": "fur", "object": "Crinel", "params": {"surface": "ball", "count": 100},
     "material": {"class": "Multi", "materials": [{"diffuse": [1, 1, 1]}, null,
                  {"class": "CrinelMaterial", "params": {"melanin": 0.8, "physical": false,
                                                         "specTint": [0.5, 0.6, 0.7],
                                                         "roughness": {"keys": [[0, 0.1], [10, 0.5]]}}}]}}
  ]})";

class SceneRender : public ::testing::Test {
 protected:
  void TearDown() override {
    ip().ResetScene();
    crn::ResetRenderSettings();
  }
  crn::scene::SceneLoad Load(const std::string& json) {
    return crn::scene::LoadAnyScene(dir.Write("s.json", json), ip());
  }
  static host::Interface& ip() { return *host::GetCOREInterface(); }

  // Everything kScene says, checked on the scene in ip.
  void ExpectTheScene() {
    host::Interval valid = host::FOREVER;
    EXPECT_EQ(ip().GetBackGround(0, valid), host::Point3(0.2f, 0.3f, 0.4f));
    const crn::RenderSettings& s = crn::GetRenderSettings();
    EXPECT_EQ(s.passes, 12);
    EXPECT_EQ(s.denoise, 0);
    EXPECT_EQ(s.exposure, 1.5f);
    EXPECT_EQ(s.environment, 0.5f);
    EXPECT_EQ(s.saveLayers, 1);
    EXPECT_EQ(crn::LayersPath(s), "/tmp/layers.exr");

    host::INode* ball = ip().GetINodeByName("ball");
    ASSERT_NE(ball->GetMtl(), nullptr);
    EXPECT_EQ(ball->GetMtl()->GetDiffuse(), host::Color(0.9f, 0.1f, 0.2f));
    EXPECT_EQ(ball->GetWireColor(), host::RGB(10, 20, 30));

    host::INode* cam = ip().GetINodeByName("cam");
    ASSERT_EQ(cam->GetObjectRef()->SuperClassID(), host::CAMERA_CLASS_ID);
    const host::CameraState& cs = static_cast<host::GenCamera*>(cam->GetObjectRef())->state;
    EXPECT_NEAR(cs.fov, 40 * 3.14159265f / 180, 1e-6f);
    EXPECT_TRUE(cs.isOrtho);
    EXPECT_EQ(cs.orthoZoom, 2.f);
    // lookAt: local -Z towards the target, X level (no Z part), Y up.
    const host::Matrix3 tm = cam->GetNodeTM(0);
    const host::Point3 forward = -tm.GetRow(2), toTarget = host::Normalize(host::Point3(-10, 10, -5));
    EXPECT_NEAR(host::DotProd(forward, toTarget), 1.f, 1e-5f);
    EXPECT_NEAR(tm.GetRow(0).z, 0.f, 1e-5f);
    EXPECT_GT(tm.GetRow(1).z, 0.f);
    EXPECT_NEAR(host::DotProd(tm.GetRow(0), host::Normalize(host::CrossProd(forward, host::Point3(0, 0, 1)))), 1.f, 1e-5f);

    host::INode* key = ip().GetINodeByName("key");
    ASSERT_EQ(key->GetObjectRef()->SuperClassID(), host::LIGHT_CLASS_ID);
    const host::LightState& ls = static_cast<host::GenLight*>(key->GetObjectRef())->state;
    EXPECT_EQ(ls.type, host::SPOT_LGT);
    EXPECT_EQ(ls.color, host::Color(1, 0.9f, 0.8f));
    EXPECT_EQ(ls.intens, 3.f);
    EXPECT_EQ(ls.hotsize, 20.f);
    EXPECT_EQ(ls.fallsize, 35.f);
    EXPECT_FALSE(ls.shadow);
    EXPECT_NEAR(-key->GetNodeTM(0).GetRow(2).z, -1.f, 1e-6f) << "looking straight down";

    hrt::HairShadeParams p{};
    ASSERT_TRUE(crn::FindHairParams(ip().GetINodeByName("fur")->GetMtl(), host::FramesToTicks(5), p));
    EXPECT_FLOAT_EQ(p.melanin, 0.8f);
    EXPECT_EQ(p.physical, 0);
    EXPECT_EQ(p.specTint, crn::V3(0.5f, 0.6f, 0.7f));
    EXPECT_NEAR(p.roughness, 0.3f, 1e-6f) << "animated, half way";
  }

  crn::scene::ModuleSession module;
  fixtures::TempDir dir{"crinel_scene_render"};
};

TEST_F(SceneRender, JsonScenesAndSavedScenesKeepEverything) {
  const auto r = Load(kScene);
  ASSERT_TRUE(r.ok) << r.error;
  ExpectTheScene();
  const std::vector<std::uint8_t> saved = crn::scene::SaveSceneBytes(ip());
  crn::ResetRenderSettings();
  std::string error;
  ASSERT_TRUE(crn::scene::LoadSceneBytes(saved, "saved", ip(), error)) << error;
  ExpectTheScene();
  EXPECT_EQ(crn::scene::SaveSceneBytes(ip()), saved);
}

TEST_F(SceneRender, JsonDefaultsWriteNoLayers) {
  const auto r = Load(R"({"nodes": []})");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(crn::GetRenderSettings().saveLayers, 0);
  EXPECT_EQ(crn::GetRenderSettings().passes, 128);
  host::Interval valid = host::FOREVER;
  EXPECT_EQ(ip().GetBackGround(0, valid), host::Point3(0, 0, 0));
}

TEST_F(SceneRender, BadValuesNameTheNodeAndTheKey) {
  struct Case {
    const char* json;
    const char* message;
  };
  const std::vector<Case> cases = {
      {R"({"nodes": [{"name": "l", "light": {"type": "laser"}}]})", "node \"l\": \"light\" type must be"},
      {R"({"nodes": [{"name": "c", "camera": {"fov": 0}}]})", "node \"c\": \"camera\" fov must be"},
      {R"({"nodes": [{"name": "w", "wireColor": [0, 300, 0]}]})", "node \"w\": \"wireColor\" must be [R,G,B]"},
      {R"({"nodes": [{"name": "m", "material": {"class": "Gold"}}]})", "unknown material class \"Gold\""},
      {R"({"nodes": [{"name": "m", "material": {"class": "CrinelMaterial", "params": {"shine": 1}}}]})",
       "parameter \"shine\" does not exist"},
      {R"({"nodes": [{"name": "t", "transform": {"position": [0, 0, 0], "lookAt": [0, 0, 0]}}]})",
       "lookAt must differ from the position"},
      {R"({"nodes": [{"name": "t", "transform": {"rotation": [0, 0, 0], "lookAt": [1, 0, 0]}}]})",
       "give \"rotation\" or \"lookAt\""},
      {R"({"nodes": [{"name": "t", "camera": {}, "light": {}}]})", "give only one of"},
      {R"({"background": [1, 2], "nodes": []})", "\"background\" must be [x,y,z]"},
      {R"({"renderer": {"passes": "many"}, "nodes": []})", "\"renderer\" passes must be a number"},
      {R"({"renderer": {"speed": 1}, "nodes": []})", "\"renderer\": unknown key \"speed\""},
  };
  for (const Case& c : cases) {
    const auto r = Load(c.json);
    EXPECT_FALSE(r.ok) << c.json;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
  }
  // Out-of-range settings are clamped with a warning, as spinners would.
  const auto r = Load(R"({"renderer": {"passes": 0, "exposure": 500}, "nodes": []})");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(crn::GetRenderSettings().passes, 1);
  EXPECT_EQ(crn::GetRenderSettings().exposure, 100.f);
  EXPECT_EQ(r.warnings.size(), 2u);
}

}  // namespace
