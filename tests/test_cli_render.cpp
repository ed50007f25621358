// crinel render and crinel bsdf as a user runs them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli_runner.h"
#include "kernels/gpu_runtime.h"
#include "kernels/hair_model.h"
#include "scene_fixtures.h"

#if defined(CRINEL_HAVE_OPENEXR)
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#endif

namespace {

namespace fs = std::filesystem;
using fixtures::Lines;
using fixtures::RunCli;

constexpr const char* kScene = R"({"units": "cm", "background": [0.3, 0.3, 0.35], "nodes": [
  {"name": "floor", "mesh": {"primitive": "plane", "width": 40, "length": 40}, "material": {"diffuse": [0.6, 0.6, 0.6]}},
  {"name": "ball", "mesh": {"primitive": "sphere", "radius": 5, "segments": 12}, "transform": {"position": [0, 0, 5]}},
  {"name": "fur", "object": "Crinel", "params": {"surface": "ball", "count": 500, "length": 2, "segments": 4}},
  {"name": "cam", "camera": {"fov": 50}, "transform": {"position": [0, -30, 15], "lookAt": [0, 0, 5]}},
  {"name": "sun", "light": {"type": "directional"}, "transform": {"position": [0, 0, 30], "rotation": [30, 0, 0]}}]})";

class CliRender : public ::testing::Test {
 protected:
  std::string Scene() const { return dir.Write("scene.json", kScene); }
  std::string Path(const char* name) const { return (dir.Path() / name).string(); }
  fixtures::TempDir dir{"crinel_cli_render"};
};

TEST_F(CliRender, RendersToPngAndExrWithTheLayersAsked) {
  const std::string scene = Scene();
  auto r = RunCli(dir.Path(), "render " + scene + " --size 40x30 --passes 3 --device cpu --out " + Path("a.png"));
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("wrote " + Path("a.png") + ": 40x30, 3 passes on the CPU"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("3/3 passes"), std::string::npos) << "the progress line";
  EXPECT_NE(r.err.find("rays/s"), std::string::npos);
  EXPECT_TRUE(fs::exists(Path("a.png")));
  EXPECT_FALSE(fs::exists(Path("a_layers_0000.exr"))) << "JSON scenes save no layers unless asked";

  r = RunCli(dir.Path(), "render " + scene + " --size 20x10 --passes 2 --denoise off --exposure 2 --out " +
                             Path("b.exr") + " --layers " + Path("passes.exr") + " --frame 3");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("wrote " + Path("passes_0003.exr")), std::string::npos) << r.err;
#if defined(CRINEL_HAVE_OPENEXR)
  Imf::InputFile beauty(Path("b.exr").c_str());
  std::vector<std::string> names;
  for (auto it = beauty.header().channels().begin(); it != beauty.header().channels().end(); ++it) {
    names.push_back(it.name());
    EXPECT_EQ(it.channel().type, Imf::FLOAT);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "G", "R"}));
  EXPECT_EQ(beauty.header().dataWindow().max.x, 19);
  Imf::InputFile layers(Path("passes_0003.exr").c_str());
  EXPECT_NE(layers.header().channels().findChannel("transmission_TT.G"), nullptr);
#endif
}

TEST_F(CliRender, UsageErrors) {
  const std::string scene = Scene();
  struct Case {
    std::string args, message;
  };
  const std::vector<Case> cases = {
      {"render " + scene, "render needs --out"},
      {"render " + scene + " --out x.jpg", "--out must name a .png or .exr file"},
      {"render " + scene + " --out x.png --device gpu", "--device must be auto, cuda or cpu"},
      {"render " + scene + " --out x.png --passes 0", "--passes must be a whole number from 1 to 100000"},
      {"render " + scene + " --out x.png --denoise maybe", "--denoise must be on or off"},
      {"render " + scene + " --out x.png --size 10", "--size must be WxH"},
      {"render " + scene + " --out x.png --exposure 0", "--exposure must be a number from 0.01 to 100"},
      {"bsdf --wi 1,0,0", "bsdf needs --tangent"},
      {"bsdf --tangent 1,0 --wi 0,1,0 --wo 0,0,1 --colour 1,1,1 --random 0 --v 0", "--tangent must be x,y,z"},
  };
  for (const Case& c : cases) {
    const auto r = RunCli(dir.Path(), c.args);
    EXPECT_EQ(r.rc, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  auto r = RunCli(dir.Path(), "render " + scene + " --out x.png --camera nobody");
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find("no camera node named \"nobody\""), std::string::npos) << r.err;
  r = RunCli(dir.Path(), "render " + scene + " --size 8x8 --passes 1 --device cpu --out " + Path("none/x.png"));
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find(Path("none/x.png")), std::string::npos) << r.err;
  if (crn::gpu::DeviceCount() == 0) {
    r = RunCli(dir.Path(), "render " + scene + " --size 8x8 --device cuda --out " + Path("c.png"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Talmore Crinel Renderer needs an NVIDIA GPU with CUDA."), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("c.png")));
  }
}

TEST_F(CliRender, CtrlCStopsAfterThePassAndKeepsTheImage) {
  const std::string scene = Scene(), out = Path("stopped.png"), err = Path("err.txt");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    execl(CRINEL_CLI, CRINEL_CLI, "render", scene.c_str(), "--size", "64x48", "--passes", "100000",
          "--device", "cpu", "--out", out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for the first pass to finish, then press Ctrl-C.
  const auto start = std::chrono::steady_clock::now();
  while (fixtures::Slurp(err).find("1/100000 passes") == std::string::npos &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(120))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::string text = fixtures::Slurp(err);
  EXPECT_NE(text.find("stopped after "), std::string::npos) << text;
  EXPECT_TRUE(fs::exists(out));
}

TEST_F(CliRender, BsdfPrintsTheColourAbsorptionAndLobes) {
  const auto r = RunCli(dir.Path(),
                        "bsdf --params '{\"melanin\": 0.7, \"useStrandColor\": false, \"glints\": 0}' "
                        "--tangent 0,0,2 --wi 1,0,0.2 --wo -0.5,0.8,0.1 --colour 0.4,0.3,0.2 --random 0.25 --v 0.7");
  ASSERT_EQ(r.rc, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 6u) << r.out;
  hrt::HairShadeParams p = hrt::DefaultHairParams();
  p.melanin = 0.7f;
  p.useStrandColor = 0;
  p.glints = 0;
  const crn::V3 c = hrt::HairColour(p, crn::V3(0.4f, 0.3f, 0.2f), 0.7f, 0.25f);
  const hrt::HairLobes l = hrt::EvalHairLobes(p, crn::V3(0, 0, 1), crn::UnitOr(crn::V3(1, 0, 0.2f), crn::V3()),
                                              crn::UnitOr(crn::V3(-0.5f, 0.8f, 0.1f), crn::V3()), c, 0.25f, 0.7f);
  auto fmt = [](const char* name, const crn::V3& v) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s [%.9g,%.9g,%.9g]", name, double(v.x), double(v.y), double(v.z));
    return std::string(buf);
  };
  EXPECT_EQ(lines[0], fmt("colour", c));
  EXPECT_EQ(lines[1], fmt("sigma_a", hrt::HairAbsorption(p, c, 0.25f)));
  EXPECT_EQ(lines[2], fmt("R", l.R));
  EXPECT_EQ(lines[3], fmt("TT", l.TT));
  EXPECT_EQ(lines[4], fmt("TRT", l.TRT));
  EXPECT_EQ(lines[5], fmt("residual", l.residual));

  auto bad = RunCli(dir.Path(), "bsdf --params '{\"melanin\": \"dark\"}' --tangent 0,0,1 --wi 1,0,0 --wo 0,1,0 "
                                "--colour 1,1,1 --random 0 --v 0");
  EXPECT_EQ(bad.rc, 1);
  EXPECT_NE(bad.err.find("parameter \"melanin\" expects"), std::string::npos) << bad.err;
}

}  // namespace
