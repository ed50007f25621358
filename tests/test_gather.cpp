// Scene gathering: lights with the default pair, mesh triangles with their normals, colours
// and ids, hair instances with their materials, and the hair colour of growth surfaces.
#include <gtest/gtest.h>

#include <cmath>

#include "hair/hair_object.h"
#include "host/interface.h"
#include "host/renderer.h"
#include "render/hair_rt_view.h"
#include "render/scene_gather.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene_fixtures.h"

namespace {

using crn::V3;

class Gather : public ::testing::Test {
 protected:
  void Load(const std::string& json) {
    const std::string path = dir.Write("scene.json", json);
    const auto r = crn::scene::LoadAnyScene(path, ip());
    ASSERT_TRUE(r.ok) << r.error;
  }
  crn::GatheredScene Run(const host::Matrix3& worldToView = host::Matrix3()) {
    crn::GatheredScene g;
    crn::HairRTView view(worldToView, 0.8f, 64, 64, host::PROJ_PERSPECTIVE);
    crn::Gather(0, view, false, g);
    return g;
  }
  void TearDown() override { ip().ResetScene(); }
  static host::Interface& ip() { return *host::GetCOREInterface(); }

  crn::scene::ModuleSession module;
  fixtures::TempDir dir{"crinel_gather"};
};

void ExpectNear(const V3& a, const V3& b, const char* what) {
  EXPECT_NEAR(a.x, b.x, 1e-5f) << what;
  EXPECT_NEAR(a.y, b.y, 1e-5f) << what;
  EXPECT_NEAR(a.z, b.z, 1e-5f) << what;
}

TEST_F(Gather, WithoutLightsTheViewGetsAKeyAndAFillLight) {
  Load(R"({"nodes": [{"name": "box", "mesh": {"primitive": "box", "width": 2, "length": 2, "height": 2}},
                     {"name": "off", "light": {"type": "omni", "on": false}},
                     {"name": "hidden", "light": {"type": "omni"}, "hidden": true}]})");
  // A view whose camera axes are X right, Z up and -Y back.
  host::Matrix3 viewToWorld;
  viewToWorld.SetRow(0, {1, 0, 0});
  viewToWorld.SetRow(1, {0, 0, 1});
  viewToWorld.SetRow(2, {0, -1, 0});
  viewToWorld.SetTrans({0, -10, 0});
  const crn::GatheredScene g = Run(host::Inverse(viewToWorld));
  ASSERT_EQ(g.lights.size(), 2u);
  const V3 X(1, 0, 0), Y(0, 0, 1), Z(0, -1, 0);
  EXPECT_EQ(g.lights[0].type, hrt::kDirectionalLight);
  ExpectNear(g.lights[0].direction, -crn::UnitOr(X * -0.6f + Y * 0.8f + Z * 0.7f, V3()), "key direction");
  EXPECT_EQ(g.lights[0].colour, V3(1.0f, 0.98f, 0.95f));
  EXPECT_EQ(g.lights[0].castShadows, 1);
  ExpectNear(g.lights[1].direction, -crn::UnitOr(X * 0.8f + Y * 0.1f + Z * 0.5f, V3()), "fill direction");
  EXPECT_EQ(g.lights[1].colour, V3(0.35f, 0.38f, 0.45f));
  EXPECT_EQ(g.lights[1].castShadows, 0);
  // No background: the environment is the floor colour.
  EXPECT_EQ(g.background, V3(0, 0, 0));
  EXPECT_EQ(g.environment, V3(0.08f, 0.08f, 0.09f));
}

TEST_F(Gather, LightNodesBecomeRecordsAndAmbientLightsLiftTheEnvironment) {
  Load(R"({"background": [0.5, 0.05, 0.1], "nodes": [
      {"name": "sun", "light": {"type": "directional", "color": [1, 0.5, 0.25], "intensity": 2, "shadows": false},
       "transform": {"position": [0, 0, 10], "rotation": [90, 0, 0]}},
      {"name": "spot", "light": {"type": "spot", "hotspot": 30, "falloff": 60},
       "transform": {"position": [1, 2, 3], "lookAt": [1, 2, 0]}},
      {"name": "bulb", "light": {"type": "omni"}, "transform": {"position": [4, 5, 6]}},
      {"name": "sky", "light": {"type": "ambient", "color": [0.1, 0.2, 0.3], "intensity": 0.5}}]})");
  const crn::GatheredScene g = Run();
  ASSERT_EQ(g.lights.size(), 3u);
  EXPECT_EQ(g.lights[0].type, hrt::kDirectionalLight);
  ExpectNear(g.lights[0].direction, V3(0, 1, 0), "-Z turned by 90 degrees about X");
  EXPECT_EQ(g.lights[0].colour, V3(2, 1, 0.5f));
  EXPECT_EQ(g.lights[0].castShadows, 0);
  EXPECT_EQ(g.lights[1].type, hrt::kSpotLight);
  ExpectNear(g.lights[1].position, V3(1, 2, 3), "spot position");
  ExpectNear(g.lights[1].direction, V3(0, 0, -1), "looks at its target");
  EXPECT_NEAR(g.lights[1].cosHotspot, std::cos(15 * 3.14159265f / 180), 1e-6f);
  EXPECT_NEAR(g.lights[1].cosFalloff, std::cos(30 * 3.14159265f / 180), 1e-6f);
  EXPECT_EQ(g.lights[1].radius, 0.f);
  EXPECT_EQ(g.lights[2].type, hrt::kOmniLight);
  EXPECT_EQ(g.lights[2].castShadows, 1);
  EXPECT_EQ(g.background, V3(0.5f, 0.05f, 0.1f));
  ExpectNear(g.environment, V3(0.55f, 0.18f, 0.25f), "max(background, floor) + ambient");
}

TEST_F(Gather, MeshesGiveWorldTrianglesWithNormalsColoursAndIds) {
  // A large square and a thin wall standing on one of its edges: the corners they share get
  // the large face's normal, which the wall's faces refuse (dot below 0.5).
  dir.Write("l.obj",
            "v 0 0 0\nv 10 0 0\nv 10 10 0\nv 0 10 0\nv 0 0 0.1\nv 10 0 0.1\n"
            "f 1 2 3\nf 1 3 4\nf 1 6 2\nf 1 5 6\n");
  Load(R"({"nodes": [
      {"name": "l", "mesh": "l.obj", "material": {"diffuse": [0.2, 0.4, 0.6]}, "transform": {"position": [0, 0, 5]}},
      {"name": "wired", "mesh": {"primitive": "plane", "width": 1, "length": 1}, "wireColor": [255, 128, 0]},
      {"name": "ghost", "mesh": {"primitive": "plane"}, "renderable": false}]})");
  const crn::GatheredScene g = Run();
  auto idOf = [&](const char* name) { return std::int32_t(ip().GetINodeByName(name)->GetHandle() % 100000) + 1000; };
  std::size_t wired = 0;
  for (std::size_t t = 0; t < g.TriangleCount(); ++t) {
    EXPECT_NE(g.triObjectIds[t], idOf("ghost"));
    if (g.triObjectIds[t] == idOf("wired")) {
      ++wired;
      EXPECT_EQ(g.triColours[t], V3(1.f, 128.f / 255.f, 0.f));
    }
  }
  EXPECT_GT(wired, 0u);
  EXPECT_EQ(g.triObjectIds[0], idOf("l"));
  EXPECT_EQ(g.triColours[0], V3(0.2f, 0.4f, 0.6f));
  EXPECT_EQ(g.triPositions[1], V3(10, 0, 5));
  // Square corners keep the (mostly up) vertex normal; the wall's corners take the wall's.
  EXPECT_GT(g.triNormals[0].z, 0.99f);
  ExpectNear(g.triNormals[6], V3(0, 1, 0), "wall corner at a shared vertex");
  ExpectNear(g.triNormals[8], V3(0, 1, 0), "wall corner at another shared vertex");
  ExpectNear(g.triNormals[9], V3(0, 1, 0), "wall corner");
}

TEST_F(Gather, HairBecomesAnInstanceAndColoursItsSurface) {
  Load(R"({"nodes": [
      {"name": "ball", "mesh": {"primitive": "sphere", "radius": 10, "segments": 12}},
      {"name": "fur", "object": "Crinel", "material": {"class": "CrinelMaterial", "params": {"roughness": 0.6}},
       "params": {"surface": "ball", "count": 300, "length": 2, "segments": 3, "rootColor": [0.8, 0.2, 0.1]}}]})");
  const crn::GatheredScene g = Run();
  ASSERT_EQ(g.hair.size(), 1u);
  EXPECT_FLOAT_EQ(g.hair[0].material.roughness, 0.6f);
  const crn::StrandSet& s = g.hair[0].strands;
  ASSERT_GT(s.StrandCount(), 0u);
  // Expected per-face colours from the strands' root colours.
  const std::size_t faces = g.TriangleCount();
  std::vector<V3> sum(faces);
  std::vector<int> count(faces, 0);
  V3 all;
  for (std::size_t i = 0; i < s.StrandCount(); ++i) {
    const std::uint32_t c = s.rootColour[i];
    const V3 sq(std::pow(float((c >> 16) & 255) / 255.f, 2.f), std::pow(float((c >> 8) & 255) / 255.f, 2.f),
                std::pow(float(c & 255) / 255.f, 2.f));
    sum[std::size_t(s.triIndex[i])] += sq;
    ++count[std::size_t(s.triIndex[i])];
    all += sq;
  }
  int bare = 0;
  for (std::size_t f = 0; f < faces; ++f) {
    const V3 want = count[f] > 0 ? sum[f] * (0.8f / float(count[f])) : all * (0.8f / float(s.StrandCount()));
    bare += count[f] == 0;
    ExpectNear(g.triColours[f], want, "face colour");
  }
  EXPECT_GT(bare, 0) << "some faces have no strand and show the average";
}

TEST_F(Gather, HiddenHairIsLeftOut) {
  Load(R"({"nodes": [
      {"name": "ball", "mesh": {"primitive": "sphere", "radius": 10, "segments": 12}},
      {"name": "fur", "object": "Crinel", "hidden": true, "params": {"surface": "ball", "count": 100}}]})");
  EXPECT_TRUE(Run().hair.empty());
  EXPECT_GT(Run().TriangleCount(), 0u);
}

}  // namespace
