// Software drawings of viewports: in process, through `crinel snapshot` and the script's
// viewport calls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include "cli_runner.h"
#include "groom/hair_display.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene/viewport_render.h"
#include "scene/viewport_setup.h"

using namespace host;
using namespace crn;
namespace fs = std::filesystem;

namespace {

Interface& ip() { return *GetCOREInterface(); }

std::string BallScene() { return std::string(CRINEL_TEST_DATA) + "/scenes/ball.json"; }

bool IsGrey(const std::uint8_t* p) { return p[0] == p[1] && p[1] == p[2]; }

// Pixels that are neither background nor grey mesh shading.
int CountColoured(const scene::RgbaImage& img) {
  int n = 0;
  for (std::size_t i = 0; i < img.pixels.size(); i += 4) n += !IsGrey(&img.pixels[i]);
  return n;
}

scene::RgbaImage ReadPng(const std::string& path) {
  scene::RgbaImage img;
  int channels = 0;
  stbi_uc* data = stbi_load(path.c_str(), &img.width, &img.height, &channels, 4);
  if (!data) return {};
  img.pixels.assign(data, data + std::size_t(img.width) * img.height * 4);
  stbi_image_free(data);
  return img;
}

class Snapshot : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("crinel_snapshot_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    ip().ResetScene();
    fs::remove_all(dir);
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  int Run(const std::string& args) {
    last_ = fixtures::RunCli(dir, args);
    return last_.rc;
  }
  const std::string& Out() const { return last_.out; }
  void Load(const std::string& path) {
    const auto r = scene::LoadAnyScene(path, ip());
    ASSERT_TRUE(r.ok) << r.error;
  }
  // The ball seen from the front at 320 x 200, drawn in process.
  scene::RgbaImage DrawFront() {
    ip().SetActiveViewport(
        scene::FrameView(scene::ViewKind::Front, scene::SceneBounds(ip(), 0), 320, 200), 320, 200);
    return scene::DrawViewport(ip(), ip().GetActiveViewExp(), 0);
  }

  scene::ModuleSession module;
  fs::path dir;
  fixtures::CliResult last_;
};

}  // namespace

TEST_F(Snapshot, HairPixelsLieWhereTheHairIs) {
  Load(BallScene());
  const scene::RgbaImage img = DrawFront();
  ASSERT_EQ(img.width, 320);
  ASSERT_EQ(img.height, 200);
  // The projected box of the strands.
  HairObject* hair = HairObjectOf(ip().GetINodeByName("fur"));
  const Box3& b = hair->StrandBounds();
  GraphicsWindow& gw = *ip().GetActiveViewExp().getGW();
  gw.setTransform(Matrix3());
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  for (int i = 0; i < 8; ++i) {
    const Point3 c((i & 1) ? b.pmax.x : b.pmin.x, (i & 2) ? b.pmax.y : b.pmin.y,
                   (i & 4) ? b.pmax.z : b.pmin.z);
    Point3 s;
    ASSERT_EQ(gw.transPoint(&c, &s), 0);
    x0 = std::min(x0, s.x), y0 = std::min(y0, s.y), x1 = std::max(x1, s.x), y1 = std::max(y1, s.y);
  }
  // Icon lines reach beyond the strands; every other coloured pixel is hair.
  auto isIcon = [](const std::uint8_t* p) { return p[0] == 0xB4 && p[1] == 0xFF && p[2] == 0xE0; };
  int coloured = 0, brownish = 0, icon = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const std::uint8_t* p = &img.pixels[4 * (std::size_t(y) * img.width + x)];
      EXPECT_EQ(p[3], 255);
      if (IsGrey(p)) continue;
      if (isIcon(p)) {
        ++icon;
        continue;
      }
      ++coloured;
      brownish += p[0] > p[2];
      EXPECT_TRUE(x >= x0 - 1 && x <= x1 + 1 && y >= y0 - 1 && y <= y1 + 1) << x << "," << y;
    }
  EXPECT_GT(coloured, 2000);
  EXPECT_GT(brownish, coloured / 2);
  EXPECT_GT(icon, 0);
  // The ball's middle is covered (mesh or hair), the corners are background.
  EXPECT_NE(img.pixels[4 * (100 * 320 + 160)], scene::kViewBackground);
  EXPECT_EQ(img.pixels[0], scene::kViewBackground);

  // Without the hair only grey is left.
  ip().GetINodeByName("fur")->Hide(true);
  const scene::RgbaImage bare = DrawFront();
  EXPECT_EQ(CountColoured(bare), 0);
  EXPECT_NE(bare.pixels[4 * (100 * 320 + 160)], scene::kViewBackground);
}

// Redraws with kept render items: the same picture as items asked afresh, and the hair's line
// item rebuilds only when what it draws changed, not on every redraw (an orbit).
TEST_F(Snapshot, KeptRenderItemsRebuildOnlyWhenTheStrandsChange) {
  Load(BallScene());
  const scene::RgbaImage fresh = DrawFront();
  scene::ViewportItemCache items;
  ViewExp& vpt = ip().GetActiveViewExp();
  EXPECT_TRUE(scene::DrawViewport(ip(), vpt, 0, &items).pixels == fresh.pixels);
  HairObject* hair = HairObjectOf(ip().GetINodeByName("fur"));
  const std::uint64_t builds = DisplayItemsOf(*hair)->line->BuildCount();
  for (int i = 0; i < 3; ++i) scene::DrawViewport(ip(), vpt, 0, &items);
  EXPECT_EQ(DisplayItemsOf(*hair)->line->BuildCount(), builds);

  const ParamID length = hair->pblock2->GetDesc()->GetParamDefByName("length")->id;
  hair->pblock2->SetValue(length, 0, hair->pblock2->GetFloat(length) * 2);
  const scene::RgbaImage longer = scene::DrawViewport(ip(), vpt, 0, &items);
  EXPECT_EQ(DisplayItemsOf(*hair)->line->BuildCount(), builds + 1);
  EXPECT_TRUE(longer.pixels == scene::DrawViewport(ip(), vpt, 0).pixels);
  EXPECT_FALSE(longer.pixels == fresh.pixels);
}

TEST_F(Snapshot, DisplayCallbacksDrawOverTheScene) {
  // A red screen-space line through the ball with the z-buffer off, as the brush circle does.
  struct Cross : ViewportDisplayCallback {
    void Display(TimeValue, ViewExp* vpt, int) override {
      GraphicsWindow& gw = *vpt->getGW();
      const DWORD limits = gw.getRndLimits();
      gw.setRndLimits(limits & ~GW_Z_BUFFER);
      gw.setColor(LINE_COLOR, 1, 0, 0);
      const IPoint3 pts[2] = {{100, 100, 0}, {220, 100, 0}};
      gw.hPolyline(2, pts, nullptr, false);
      gw.setRndLimits(limits);
    }
    void GetViewportRect(TimeValue, ViewExp*, Rect*) override {}
    bool Foreground() override { return true; }
  } cross;
  Load(BallScene());
  ip().RegisterViewportDisplayCallback(false, &cross);
  const scene::RgbaImage img = DrawFront();
  ip().UnRegisterViewportDisplayCallback(false, &cross);
  for (int x = 100; x <= 220; ++x) {
    const std::uint8_t* p = &img.pixels[4 * (100 * 320 + std::size_t(x))];
    EXPECT_TRUE(p[0] == 255 && p[1] == 0 && p[2] == 0) << x;
  }
  EXPECT_EQ(ip().GetActiveViewExp().getGW()->getRndLimits() & GW_Z_BUFFER, GW_Z_BUFFER);
}

TEST_F(Snapshot, CommandWritesThePngOfTheView) {
  const std::string out = Path("front.png");
  ASSERT_EQ(Run("snapshot " + BallScene() + " --view front --size 320x200 --out " + out), 0);
  const scene::RgbaImage file = ReadPng(out);
  ASSERT_EQ(file.width, 320);
  ASSERT_EQ(file.height, 200);
  Load(BallScene());
  EXPECT_TRUE(file.pixels == DrawFront().pixels) << "the file holds the front view";

  // Defaults: persp at 960 x 540; wireframe meshes leave the background between edges.
  ASSERT_EQ(Run("snapshot " + BallScene() + " --style wire --out " + Path("wire.png")), 0);
  const scene::RgbaImage wire = ReadPng(Path("wire.png"));
  ASSERT_EQ(wire.width, 960);
  ASSERT_EQ(wire.height, 540);
  int edges = 0;
  for (std::size_t i = 0; i < wire.pixels.size(); i += 4) edges += wire.pixels[i] == 191 && IsGrey(&wire.pixels[i]);
  EXPECT_GT(edges, 500);

  struct Bad {
    std::string args;
    int rc;
  };
  const Bad bad[] = {
      {"--view side", 2},
      {"--size 0x10", 2},
      {"--size 640", 2},
      {"--style smooth", 2},
      {"--view top --camera cam", 2},
      {"--camera nobody", 1},
  };
  for (const Bad& b : bad)
    EXPECT_EQ(Run("snapshot " + BallScene() + " " + b.args + " --out " + Path("bad.png")), b.rc)
        << b.args;
  EXPECT_EQ(Run("snapshot " + BallScene() + " --out " + Path("no/such/dir.png")), 1);
  EXPECT_EQ(Run("snapshot " + BallScene()), 2);  // no --out
  ASSERT_EQ(Run("--help"), 0);
  EXPECT_NE(Out().find("snapshot SCENE"), std::string::npos);
}

TEST_F(Snapshot, CameraNodeLooksDownItsLocalMinusZ) {
  // A camera at y = -80 turned 90 degrees about X looks along +Y at the ball.
  const std::string camScene = Path("cam.json");
  std::ofstream(camScene) << R"({"nodes": [
      {"name": "ball", "mesh": {"primitive": "sphere", "radius": 10, "segments": 24}},
      {"name": "cam", "transform": {"position": [0, -80, 0], "rotation": [90, 0, 0]}},
      {"name": "away", "transform": {"position": [0, -80, 0]}}]})";
  ASSERT_EQ(Run("snapshot " + camScene + " --camera cam --size 200x100 --out " + Path("c.png")), 0);
  const scene::RgbaImage img = ReadPng(Path("c.png"));
  ASSERT_EQ(img.width, 200);
  EXPECT_NE(img.pixels[4 * (50 * 200 + 100)], scene::kViewBackground);  // the ball, centred
  EXPECT_EQ(img.pixels[4 * (50 * 200 + 20)], scene::kViewBackground);
  // The unrotated node looks down world -Z, past the ball.
  ASSERT_EQ(Run("snapshot " + camScene + " --camera away --size 200x100 --out " + Path("a.png")), 0);
  const scene::RgbaImage away = ReadPng(Path("a.png"));
  ASSERT_EQ(away.width, 200);
  for (std::size_t i = 0; i < away.pixels.size(); i += 4)
    ASSERT_EQ(away.pixels[i], scene::kViewBackground) << i / 4;
}

TEST_F(Snapshot, ScriptViewportCalls) {
  const std::string script = Path("view.txt");
  std::ofstream(script) << "snapshot \"" << Path("default.png") << "\"\n"
                        << "viewportSize 200 120\n"
                        << "viewport top\n"
                        << "snapshot \"" << Path("top.png") << "\"\n"
                        << "viewportCamera cam\n"
                        << "snapshot \"" << Path("cam.png") << "\"\n";
  ASSERT_EQ(Run("script " + BallScene() + " " + script), 0);
  EXPECT_EQ(Out(), "ok\nok\nok\nok\nok\nok\n");
  const scene::RgbaImage def = ReadPng(Path("default.png")), top = ReadPng(Path("top.png")),
                       cam = ReadPng(Path("cam.png"));
  // Scripts start with a 960 x 540 perspective view framing the scene.
  EXPECT_EQ(def.width, 960);
  EXPECT_EQ(def.height, 540);
  EXPECT_GT(CountColoured(def), 1000);
  Load(BallScene());
  scene::SetDefaultViewport(ip());
  EXPECT_TRUE(def.pixels == scene::DrawViewport(ip(), ip().GetActiveViewExp(), 0).pixels);
  EXPECT_EQ(top.width, 200);
  EXPECT_EQ(top.height, 120);
  EXPECT_GT(CountColoured(top), 100);
  EXPECT_EQ(cam.width, 200);

  std::ofstream(script) << "viewport side\n";
  EXPECT_EQ(Run("script " + BallScene() + " " + script), 1);
  std::ofstream(script) << "viewportSize 0 10\n";
  EXPECT_EQ(Run("script " + BallScene() + " " + script), 1);
}
