// The simulation from the command line and from scripts: crinel sim with its progress, cache
// and Ctrl-C; the script verbs; the scene keys of winds, particle systems and plug-ins.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli_runner.h"
#include "kernels/gpu_runtime.h"
#include "scene_fixtures.h"
#include "sim_fixtures.h"

#include "dynamics/hair_wind.h"
#include "scene/viewport_render.h"
#include "scene/viewport_setup.h"

using fixtures::Lines;
using fixtures::RunCli;

namespace {

std::string Windy() { return std::string(CRINEL_EXAMPLES) + "/windy.json"; }

class SimCli : public ::testing::Test {
 protected:
  fixtures::TempDir dir{"crinel_simcli"};
  std::string Path(const std::string& name) const { return (dir.Path() / name).string(); }
};

}  // namespace

TEST_F(SimCli, SimulatesARangeWithProgressAndWritesTheCache) {
  const auto r = RunCli(dir.Path(), "sim " + Windy() + " --node fur --range 0-12 --cache " + Path("w.crnc"));
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"Simulation done.", "CPU  482 guides  frames 0-12 "}));
  EXPECT_NE(r.err.find("13/13 frames"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("frames/s"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("wrote " + Path("w.crnc") + ": 13 frames"), std::string::npos) << r.err;
  EXPECT_EQ(fixtures::Slurp(Path("w.crnc")).size(), 24u + 13u * 482 * 11 * 12);
}

TEST_F(SimCli, OneAndTwoWorkerThreadsGiveTheSameGuides) {
  const std::string common = " sim " + Windy() + " --node fur --range 0-15 --device cpu --cache ";
  ASSERT_EQ(RunCli(dir.Path(), "--threads 1" + common + Path("one.crnc")).rc, 0);
  ASSERT_EQ(RunCli(dir.Path(), "--threads 2" + common + Path("two.crnc")).rc, 0);
  const std::string one = fixtures::Slurp(Path("one.crnc")), two = fixtures::Slurp(Path("two.crnc"));
  ASSERT_GT(one.size(), 24u);
  EXPECT_TRUE(one == two);
}

TEST_F(SimCli, CtrlCStopsKeepsAndWritesTheFramesSoFar) {
  const std::string out = Path("out.txt"), err = Path("err.txt"), cache = Path("stop.crnc");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string cmd = std::string("exec ") + CRINEL_CLI + " sim " + Windy() +
                            " --node fur --range 0-100000 --cache " + cache + " >" + out + " 2>" + err;
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait until some frames are done, then press Ctrl-C.
  for (int i = 0; i < 600 && fixtures::Slurp(err).find("frames/s") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const auto lines = Lines(fixtures::Slurp(out));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Simulation stopped.");
  const std::size_t bytes = fixtures::Slurp(cache).size();
  const std::size_t frame = 482u * 11 * 12;
  EXPECT_GT(bytes, 24u);
  EXPECT_EQ((bytes - 24) % frame, 0u);
  EXPECT_LT((bytes - 24) / frame, 100000u);
}

TEST_F(SimCli, AFailedCacheWriteKeepsTheOldFile) {
  const std::string cache = dir.Write("old.crnc", std::string("old"));
  // Files are limited to 4 blocks: the cache does not fit.
  const auto r = RunCli(dir.Path(), "sim " + Windy() + " --node fur --range 0-3 --cache " + cache, "", 4);
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find(cache), std::string::npos) << r.err;
  EXPECT_EQ(fixtures::Slurp(cache), "old");
}

TEST_F(SimCli, UsageAndSceneErrors) {
  struct Case {
    const char* args;
    int rc;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"sim", 2, "sim takes a scene file"},
      {"sim SCENE", 2, "sim needs --node"},
      {"sim SCENE --node fur --range 5", 2, "--range must be FIRST-LAST"},
      {"sim SCENE --node fur --range 9-3", 2, "--range must be FIRST-LAST"},
      {"sim SCENE --node fur --device tpu", 2, "--device must be auto, cuda or cpu"},
      {"sim SCENE --node nobody", 1, "no node named \"nobody\""},
      {"sim SCENE --node wind", 1, "is not a hair object"},
  };
  for (const Case& c : cases) {
    std::string args = c.args;
    if (auto at = args.find("SCENE"); at != std::string::npos) args.replace(at, 5, Windy());
    const auto r = RunCli(dir.Path(), args);
    EXPECT_EQ(r.rc, c.rc) << c.args;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
  }
  if (crn::gpu::DeviceCount() == 0) {
    const auto r = RunCli(dir.Path(), "sim " + Windy() + " --node fur --device cuda");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("No CUDA device."), std::string::npos) << r.err;
  }
}

TEST_F(SimCli, ScriptVerbsDriveTheSimulation) {
  const std::string script =
      "guidePoint fur 100 10 0\n"
      "simStatus fur\n"
      "simulateRange fur\n"
      "simStatus fur\n"
      "guidePoint fur 100 10 8\n"
      "simSave fur \"" + Path("s.crnc") + "\"\n"
      "simReset fur\n"
      "simStatus fur\n"
      "simLoad fur \"" + Path("s.crnc") + "\"\n"
      "get fur dynMode\n"
      "guidePoint fur 100 10 8\n"
      "simStatus fur\n"
      "simLoad fur \"" + Path("missing.crnc") + "\"\n"
      "play on\n"
      "play off\n";
  // A short animation range keeps the range simulation quick.
  std::string text = fixtures::Slurp(Windy());
  text.replace(text.find("[0, 200]"), 8, "[0, 8]");
  text.replace(text.find("\"ground.obj\""), 12, "\"" + std::string(CRINEL_EXAMPLES) + "/ground.obj\"");
  const std::string scene = dir.Write("short.json", text);
  const auto r = RunCli(dir.Path(), "script " + scene + " -", script);
  ASSERT_EQ(r.rc, 0) << r.err;
  const auto out = Lines(r.out);
  ASSERT_EQ(out.size(), 15u) << r.out;
  EXPECT_EQ(out[1], "Not simulated.");
  EXPECT_EQ(out[2], "Simulation done.");
  EXPECT_EQ(out[3], "CPU  482 guides  frames 0-8 ");
  EXPECT_NE(out[4], out[0]);  // the simulated pose at frame 8
  EXPECT_EQ(out[5], "true");
  EXPECT_EQ(out[7], "Not simulated.");
  EXPECT_EQ(out[8], "true");
  EXPECT_EQ(out[9], "2");
  EXPECT_EQ(out[10], out[4]);  // served from the file
  EXPECT_EQ(out[11], "CACHE  482 guides  frames 0-8 (from file)");
  EXPECT_EQ(out[12], "false");
  EXPECT_NE(r.err.find("Cache written."), std::string::npos);
  EXPECT_NE(r.err.find("Cache loaded."), std::string::npos);
  EXPECT_NE(r.err.find("Cache file could not be used."), std::string::npos);
}

TEST_F(SimCli, MoveAndRotateKeyAnimatedNodesAtTheCurrentFrame) {
  const std::string scene = dir.Write("nodes.json", R"({"nodes": [
    {"name": "still", "transform": {"position": [1, 2, 3]}},
    {"name": "moving", "transform": {"position": {"keys": [[0, [0, 0, 0]], [10, [10, 0, 0]]]}}}]})");
  const auto r = RunCli(dir.Path(), "script " + scene + " -",
                        "move still 1 0 -1\nrotate still 0 0 90\ntime 5\nmove moving 0 4 0\n"
                        "save \"" + Path("moved.crns") + "\"\n");
  ASSERT_EQ(r.rc, 0) << r.err;
  const auto info = RunCli(dir.Path(), "info " + Path("moved.crns"));
  ASSERT_EQ(info.rc, 0) << info.err;
  crn::scene::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  const auto loaded = crn::scene::LoadAnyScene(Path("moved.crns"), ip);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  const host::INode* still = ip.GetINodeByName("still");
  EXPECT_EQ(still->Transform().constPosition, host::Point3(2, 2, 2));
  EXPECT_EQ(still->Transform().constRotation, host::Point3(0, 0, 90));
  const host::INode* moving = ip.GetINodeByName("moving");
  ASSERT_EQ(moving->Transform().position.Keys().size(), 3u);  // a key at frame 5
  EXPECT_EQ(moving->GetNodeTM(5 * host::GetTicksPerFrame()).GetTrans(), host::Point3(5, 4, 0));
  EXPECT_EQ(moving->GetNodeTM(10 * host::GetTicksPerFrame()).GetTrans(), host::Point3(10, 0, 0));
  ip.ResetScene();
}

TEST_F(SimCli, WindIconsShowTheTypeAndAreDrawn) {
  crn::scene::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  const std::string scene = dir.Write("icons.json", R"({"nodes": [
    {"name": "d", "object": "CrinelWind", "params": {"windType": "Directional", "iconSize": 10}},
    {"name": "s", "object": "CrinelWind", "params": {"windType": "Spherical", "iconSize": 10},
     "transform": {"position": [20, 0, 0]}},
    {"name": "v", "object": "CrinelWind", "params": {"windType": "Vortex", "iconSize": 10},
     "transform": {"position": [40, 0, 0]}}]})");
  ASSERT_TRUE(crn::scene::LoadAnyScene(scene, ip).ok);
  struct Case {
    const char* node;
    std::size_t faces;
    float zMin, zMax;
  };
  // Boxes have 12 triangles, cones one per side.
  const std::vector<Case> cases = {{"d", 12 + 12 + 12, -5, 6}, {"s", 36, -5, 5}, {"v", 24 * 12 + 12 + 10, -5, 6.5f}};
  for (const Case& c : cases) {
    auto* wind = static_cast<crn::HairWindObject*>(ip.GetINodeByName(c.node)->GetObjectRef());
    const host::Mesh& m = wind->IconMesh(0);
    EXPECT_EQ(m.faces.size(), c.faces) << c.node;
    host::Box3 box;
    wind->GetLocalBoundBox(0, nullptr, nullptr, box);
    EXPECT_NEAR(box.pmin.z, c.zMin, 1e-4f) << c.node;
    EXPECT_NEAR(box.pmax.z, c.zMax, 1e-4f) << c.node;
  }
  // A snapshot draws the three icons in the space-warp colour.
  ip.SetActiveViewport(crn::scene::FrameView(crn::scene::ViewKind::Front,
                                             crn::scene::SceneBounds(ip, 0), 300, 120), 300, 120);
  const crn::scene::RgbaImage img = crn::scene::DrawViewport(ip, ip.GetActiveViewExp(), 0);
  int icon[3] = {};
  for (std::size_t i = 0; i < img.pixels.size(); i += 4)
    if (img.pixels[i] == 0x9D && img.pixels[i + 1] == 0xB8 && img.pixels[i + 2] == 0xD9)
      ++icon[std::min<std::size_t>(2, (i / 4 % 300) / 100)];
  for (int k = 0; k < 3; ++k) EXPECT_GT(icon[k], 20) << k;
  ip.ResetScene();
}

TEST_F(SimCli, SceneKeysOfParticlesAndPluginsAndTheirErrors) {
  const std::string good = dir.Write("fx.json", R"({"plugins": ["Pyrelle.dlo"], "nodes": [
    {"name": "rain", "particles": {"emitter": {"rate": 20, "speed": 10, "seed": 4}}},
    {"name": "flame", "object": "PyrelleFire", "params": {"size": 12}},
    {"name": "wind", "object": "CrinelWind", "params": {"windType": "Vortex", "seed": 1618}},
    {"name": "gravity", "object": "Gravity", "params": {"strength": 2}}]})");
  const auto r = RunCli(dir.Path(), "script " + good + " -",
                        "get wind seed\nget flame size\nget gravity strength\nsave \"" + Path("fx.crns") +
                            "\"\nload \"" + Path("fx.crns") + "\"\nget flame size\nget wind windType\n");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"1618", "12", "2", "ok", "ok", "12", "2"}));

  struct Case {
    const char* json;
    const char* says;
  };
  const std::vector<Case> cases = {
      {R"({"plugins": ["NoSuch.dlo"]})", "NoSuch.dlo: cannot load the plug-in"},
      {R"({"plugins": "Pyrelle.dlo"})", "\"plugins\" must be an array"},
      {R"({"nodes": [{"name": "p", "particles": {"emitter": {"rate": 1, "colour": 2}}}]})", "unknown emitter key \"colour\""},
      {R"({"nodes": [{"name": "p", "particles": {"sequence": "none_####.prt", "frames": [1, 2]}}]})", "none_0001.prt: cannot open"},
      {R"({"nodes": [{"name": "p", "particles": {}, "mesh": "x.obj"}]})", "give only one of"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Write("bad.json", c.json);
    const auto b = RunCli(dir.Path(), "info " + path);
    EXPECT_EQ(b.rc, 1) << c.json;
    EXPECT_NE(b.err.find(path), std::string::npos) << b.err;
    EXPECT_NE(b.err.find(c.says), std::string::npos) << c.json << ": " << b.err;
  }
}

TEST_F(SimCli, SelfVolumeSkinAndNoSkin) {
  // Dense grass that falls flat onto its plane: with the skin rule the points lying on the
  // plane are not pushed; CRINEL_NOSKIN pushes them too.
  const std::string scene = dir.Write("dense.json", fixtures::GrassSceneJson(
      "", ", \"dynSelfVol\": 1, \"length\": 6, \"lift\": 0.2",
      "{\"primitive\": \"plane\", \"width\": 10, \"length\": 10, \"segments\": 30}"));
  const std::string args = " --node grass --range 0-20 --device cpu --cache ";
  ASSERT_EQ(RunCli(dir.Path(), "sim " + scene + args + Path("skin.crnc")).rc, 0);
  ::setenv("CRINEL_NOSKIN", "1", 1);
  const auto r = RunCli(dir.Path(), "sim " + scene + args + Path("noskin.crnc"));
  ::unsetenv("CRINEL_NOSKIN");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_TRUE(fixtures::Slurp(Path("skin.crnc")) != fixtures::Slurp(Path("noskin.crnc")));
}
