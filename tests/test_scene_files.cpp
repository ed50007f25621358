// JSON scenes, saved scenes and their failures.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/units.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene/scene_json.h"

using namespace host;
using namespace crn;
namespace fs = std::filesystem;

namespace {

class SceneFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("crinel_scene_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    ip().ResetScene();
    fs::remove_all(dir_);
  }
  static Interface& ip() { return *GetCOREInterface(); }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  scene::SceneLoad Load(const std::string& path) { return scene::LoadAnyScene(path, ip()); }
  IParamBlock2* Block(const char* node) {
    return static_cast<HairObject*>(ip().GetINodeByName(node)->GetObjectRef())->pblock2;
  }

  scene::ModuleSession module_;
  fs::path dir_;
};

// A plane, a helper and a hair object on the plane.
const char* kGoodScene = R"({
  "units": "cm", "fps": 25, "range": [0, 50], "time": 10,
  "nodes": [
    {"name": "surf", "mesh": {"primitive": "plane", "width": 10, "length": 10, "segments": 2},
     "transform": {"position": [1, 2, 3], "rotation": [90, 90, 0]}},
    {"name": "face", "object": "Dummy", "parent": "surf"},
    {"name": "hair", "object": "Crinel", "params": {
       "surface": "surf", "count": 20000, "length": {"keys": [[0, 5.0], [50, 8.0]]},
       "rootColor": [0.5, 0.25, 0.125], "stackOn": false, "pattern": "Zebra",
       "colliders": ["face", "surf"], "dynCachePath": "sim.crnc"}}
  ]})";

}  // namespace

TEST_F(SceneFiles, JsonSceneBuildsNodesTransformsAndParameters) {
  const auto r = Load(Write("good.json", kGoodScene));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(GetTicksPerFrame(), 4800 / 25);
  EXPECT_NEAR(GetSystemUnitScale(UNITS_METERS), 0.01, 1e-9);
  EXPECT_EQ(ip().GetTime(), FramesToTicks(10));
  EXPECT_EQ(ip().GetAnimRange(), Interval(0, FramesToTicks(50)));
  ASSERT_EQ(ip().Nodes().size(), 3u);
  EXPECT_EQ(ip().GetINodeByName("face")->GetParentNode(), ip().GetINodeByName("surf"));

  // Rotation about X first, then Y: the X axis ends up along -Z; then translated.
  const Matrix3 tm = ip().GetINodeByName("surf")->GetNodeTM(0);
  const Point3 p = tm.PointTransform({1, 0, 0});
  EXPECT_NEAR(p.x, 1, 1e-5);
  EXPECT_NEAR(p.y, 2, 1e-5);
  EXPECT_NEAR(p.z, 2, 1e-5);
  const Point3 q = tm.VectorTransform({0, 1, 0});  // Y -> Z by X, then Z -> X by Y
  EXPECT_NEAR(q.x, 1, 1e-5);

  IParamBlock2* pb = Block("hair");
  EXPECT_EQ(pb->GetINode(hp::surface), ip().GetINodeByName("surf"));
  EXPECT_EQ(pb->GetInt(hp::count), 20000);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::length, FramesToTicks(25)), 6.5f);
  EXPECT_EQ(pb->GetColor(hp::rootColor), Color(0.5f, 0.25f, 0.125f));
  EXPECT_EQ(pb->GetInt(hp::stackOn), 0);
  EXPECT_EQ(pb->GetInt(hp::pattern), 8);
  EXPECT_EQ(pb->Count(hp::colliders), 2);
  EXPECT_EQ(pb->GetStr(hp::dynCachePath), "sim.crnc");
}

TEST_F(SceneFiles, AnimatedTransformHoldsOutsideItsKeys) {
  const auto r = Load(Write("anim.json", R"({"nodes": [{"name": "n",
      "transform": {"rotation": {"keys": [[0, [0,0,0]], [10, [0,0,90]]]},
                    "position": {"keys": [[5, [0,0,0]], [15, [10,0,0]]]}}}]})"));
  ASSERT_TRUE(r.ok) << r.error;
  INode* n = ip().GetINodeByName("n");
  struct Case {
    double frame;
    Point3 xAxis;
    float x;
  };
  const Case cases[] = {{-5, {1, 0, 0}, 0}, {5, {0.70710677f, 0.70710677f, 0}, 0},
                        {10, {0, 1, 0}, 5}, {40, {0, 1, 0}, 10}};
  for (const Case& c : cases) {
    Interval iv = FOREVER;
    const Matrix3 tm = n->GetNodeTM(FramesToTicks(c.frame), &iv);
    EXPECT_NEAR(tm.GetRow(0).x, c.xAxis.x, 1e-5) << c.frame;
    EXPECT_NEAR(tm.GetRow(0).y, c.xAxis.y, 1e-5) << c.frame;
    EXPECT_NEAR(tm.GetTrans().x, c.x, 1e-5) << c.frame;
    EXPECT_FALSE(iv == FOREVER);
  }
}

TEST_F(SceneFiles, OutOfRangeValuesAreClampedWithAWarning) {
  const auto r = Load(Write("clamp.json", R"({"nodes": [{"name": "h", "object": "Crinel",
      "params": {"count": 0, "segments": 100, "lift": 2}}]})"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.warnings.size(), 3u);
  EXPECT_NE(r.warnings[0].find("clamp.json"), std::string::npos);
  EXPECT_NE(r.warnings[0].find("\"h\""), std::string::npos);
  EXPECT_NE(r.warnings[0].find("\"count\""), std::string::npos);
  EXPECT_EQ(Block("h")->GetInt(hp::count), 1);
  EXPECT_EQ(Block("h")->GetInt(hp::segments), 64);
  EXPECT_FLOAT_EQ(Block("h")->GetFloat(hp::lift), 1.0f);
}

TEST_F(SceneFiles, BadInputGivesOneClearMessageAndNoScene) {
  Write("bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 9\n");
  struct Case {
    const char* name;
    const char* text;
    std::vector<const char*> mentions;
  };
  const Case cases[] = {
      {"broken", R"({"nodes": [ {"name": "a",, }]})", {"invalid JSON"}},
      {"not_object", R"([1,2])", {"JSON object"}},
      {"unknown_param", R"({"nodes": [{"name": "h", "object": "Crinel", "params": {"lenght": 2}}]})",
       {"\"h\"", "\"lenght\"", "does not exist"}},
      {"unknown_node", R"({"nodes": [{"name": "h", "object": "Crinel", "params": {"surface": "nope"}}]})",
       {"\"h\"", "\"surface\"", "\"nope\""}},
      {"wrong_type", R"({"nodes": [{"name": "h", "object": "Crinel", "params": {"count": "many"}}]})",
       {"\"h\"", "\"count\"", "an integer"}},
      {"fraction_for_int", R"({"nodes": [{"name": "h", "object": "Crinel", "params": {"seed": 1.5}}]})",
       {"\"seed\"", "an integer"}},
      {"bad_colour", R"({"nodes": [{"name": "h", "object": "Crinel", "params": {"rootColor": [1, 2]}}]})",
       {"\"rootColor\"", "colour"}},
      {"refused_surface", R"({"nodes": [{"name": "o", "object": "Crinel"},
          {"name": "h", "object": "Crinel", "params": {"surface": "o"}}]})",
       {"\"h\"", "\"surface\"", "refused"}},
      {"not_animatable", R"({"nodes": [{"name": "h", "object": "Crinel", "params": {"ribbonMode": {"keys": [[0, 1]]}}}]})",
       {"\"ribbonMode\"", "cannot be animated"}},
      {"missing_mesh", R"({"nodes": [{"name": "m", "mesh": "nowhere.obj"}]})", {"\"m\"", "nowhere.obj"}},
      {"malformed_mesh", R"({"nodes": [{"name": "m", "mesh": "bad.obj"}]})", {"\"m\"", "bad.obj"}},
      {"unknown_class", R"({"nodes": [{"name": "x", "object": "Teapot"}]})", {"\"x\"", "Teapot"}},
      {"duplicate_name", R"({"nodes": [{"name": "x"}, {"name": "x"}]})", {"\"x\"", "twice"}},
      {"bad_units", R"({"units": "furlong"})", {"units"}},
      {"bad_fps", R"({"fps": 7})", {"fps"}},
      {"parent_cycle", R"({"nodes": [{"name": "a", "parent": "b"}, {"name": "b", "parent": "a"}]})",
       {"cycle"}},
  };
  for (const Case& c : cases) {
    const std::string path = Write(std::string(c.name) + ".json", c.text);
    const auto r = Load(path);
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind(path, 0), 0u) << r.error;  // starts with the file
    for (const char* m : c.mentions) EXPECT_NE(r.error.find(m), std::string::npos) << r.error;
    EXPECT_TRUE(ip().Nodes().empty());
  }
  EXPECT_FALSE(Load((dir_ / "absent.json").string()).ok);
}

TEST_F(SceneFiles, SaveLoadSaveGivesTheSameBytes) {
  ASSERT_TRUE(Load(Write("good.json", kGoodScene)).ok);
  const std::string saved = (dir_ / "scene.crn").string();
  std::string err;
  ASSERT_TRUE(scene::SaveScene(saved, ip(), err)) << err;
  const auto first = scene::SaveSceneBytes(ip());

  const auto r = Load(saved);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(scene::SaveSceneBytes(ip()), first);
  // The reloaded scene is the same scene: references, keys, hierarchy, time.
  IParamBlock2* pb = Block("hair");
  EXPECT_EQ(pb->GetINode(hp::surface), ip().GetINodeByName("surf"));
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::length, FramesToTicks(25)), 6.5f);
  EXPECT_EQ(ip().GetINodeByName("face")->GetParentNode(), ip().GetINodeByName("surf"));
  EXPECT_EQ(ip().GetTime(), FramesToTicks(10));
  EXPECT_EQ(GetTicksPerFrame(), 192);
  const Mesh* m = ip().GetINodeByName("surf")->GetObjectRef()->GetMesh(0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->faces.size(), 8u);
  EXPECT_TRUE(m->mapSupport(1));
}

TEST_F(SceneFiles, TruncatedOrCorruptSavedScenesFailCleanly) {
  ASSERT_TRUE(Load(Write("good.json", kGoodScene)).ok);
  const auto bytes = scene::SaveSceneBytes(ip());
  // Every truncation fails with a message and leaves no scene behind.
  for (std::size_t n = 0; n < bytes.size(); n += 7) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + long(n));
    std::string err;
    EXPECT_FALSE(scene::LoadSceneBytes(cut, "cut.crn", ip(), err)) << n;
    EXPECT_EQ(err.rfind("cut.crn: ", 0), 0u) << err;
    EXPECT_TRUE(ip().Nodes().empty());
  }
  // Flipped bytes never crash: they load or fail with a message.
  for (std::size_t i = 12; i < bytes.size(); i += 3) {
    auto bad = bytes;
    bad[i] ^= 0xA5;
    std::string err;
    if (!scene::LoadSceneBytes(bad, "flip.crn", ip(), err)) {
      EXPECT_FALSE(err.empty());
    }
  }
}

TEST_F(SceneFiles, FailedSaveKeepsTheOldFile) {
  ASSERT_TRUE(Load(Write("good.json", kGoodScene)).ok);
  std::string err;
  EXPECT_FALSE(scene::SaveScene((dir_ / "no_dir" / "x.crn").string(), ip(), err));
  EXPECT_NE(err.find("x.crn"), std::string::npos);
  // Saving over a directory fails without touching it.
  fs::create_directories(dir_ / "taken");
  EXPECT_FALSE(scene::SaveScene((dir_ / "taken").string(), ip(), err));
  EXPECT_TRUE(fs::is_directory(dir_ / "taken"));
}
