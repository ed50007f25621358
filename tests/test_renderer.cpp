// The renderer class: its settings record and chunk, the render steps (view choice, passes in
// batches with progress and abort, bitmap, log, layers file) and its failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/interface.h"
#include "host/message_box.h"
#include "render/hair_renderer.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene_fixtures.h"

namespace {

using crn::GetRenderSettings;
using crn::RenderSettings;

TEST(RenderSettingsRecord, DefaultsChunkAndClamping) {
  crn::ResetRenderSettings();
  RenderSettings& s = GetRenderSettings();
  EXPECT_EQ(s.passes, 128);
  EXPECT_EQ(s.denoise, 1);
  EXPECT_EQ(s.exposure, 1.f);
  EXPECT_EQ(s.environment, 1.f);
  EXPECT_EQ(s.saveLayers, 1);
  EXPECT_EQ(crn::LayersPath(s), "");

  s.passes = 7;
  s.exposure = 2.5f;
  crn::SetLayersPath(s, "/tmp/r\xC3\xA9nder \xF0\x9D\x84\x9E.exr");  // a two-unit character too
  host::ISave save;
  crn::SaveRenderSettings(&save);
  ASSERT_EQ(save.Bytes().size(), host::kChunkHeaderBytes + 540);
  crn::ResetRenderSettings();
  host::ILoad load(save.Bytes());
  ASSERT_EQ(crn::LoadRenderSettings(&load), host::IO_OK);
  EXPECT_EQ(s.passes, 7);
  EXPECT_EQ(s.exposure, 2.5f);
  EXPECT_EQ(crn::LayersPath(s), "/tmp/r\xC3\xA9nder \xF0\x9D\x84\x9E.exr");

  // A chunk of another length is ignored; a 540-byte chunk of nonsense is brought into range.
  host::ISave odd;
  odd.BeginChunk(crn::kRenderSettingsChunk);
  odd.WriteI32(3);
  odd.EndChunk();
  host::ILoad oddLoad(odd.Bytes());
  ASSERT_EQ(crn::LoadRenderSettings(&oddLoad), host::IO_OK);
  EXPECT_EQ(s.passes, 7);
  RenderSettings junk;
  junk.passes = -4;
  junk.exposure = std::nanf("");
  junk.environment = 1e9f;
  junk.denoise = 77;
  std::fill(std::begin(junk.layersPath), std::end(junk.layersPath), u'x');
  host::ISave bad;
  bad.BeginChunk(crn::kRenderSettingsChunk);
  bad.Write(&junk, sizeof junk);
  bad.EndChunk();
  host::ILoad badLoad(bad.Bytes());
  ASSERT_EQ(crn::LoadRenderSettings(&badLoad), host::IO_OK);
  EXPECT_EQ(s.passes, 1);
  EXPECT_EQ(s.exposure, 1.f);
  EXPECT_EQ(s.environment, 100.f);
  EXPECT_EQ(s.denoise, 1);
  EXPECT_EQ(crn::LayersPath(s).size(), 259u);
  crn::HairRenderer().ResetParams();
  EXPECT_EQ(s.passes, 128);
}

TEST(RenderSettingsRecord, DialogCopiesItsControlsBack) {
  crn::ResetRenderSettings();
  host::IRendParams ir;
  crn::HairRenderer r;
  std::unique_ptr<host::RendParamDlg> dlg(r.CreateParamDialog(&ir));
  ASSERT_EQ(ir.rollups, std::vector<std::string>{"Talmore Crinel Renderer"});
  auto* d = static_cast<crn::HairRendDlg*>(dlg.get());
  EXPECT_EQ(d->passes, 128);
  d->passes = 0;  // below the spinner's range
  d->exposure = 3;
  d->saveLayers = false;
  d->Browse("/renders/beauty");
  EXPECT_EQ(d->layersPath, "/renders/beauty.exr");
  d->AcceptParams();
  EXPECT_EQ(GetRenderSettings().passes, 1);
  EXPECT_EQ(GetRenderSettings().exposure, 3.f);
  EXPECT_EQ(GetRenderSettings().saveLayers, 0);
  EXPECT_EQ(crn::LayersPath(GetRenderSettings()), "/renders/beauty.exr");
  EXPECT_EQ(r.GetPlatformText(), "GPU (CUDA)");
  crn::ResetRenderSettings();
}

// Records what the renderer reports and aborts after a given number of passes.
class RecordingProgress : public host::RendProgressCallback {
 public:
  void SetTitle(const std::string& t) override { titles.push_back(t); }
  int Progress(int done, int total) override {
    reports.push_back({done, total});
    return abortAt > 0 && done >= abortAt ? host::RENDPROG_ABORT : host::RENDPROG_CONTINUE;
  }
  std::vector<std::string> titles;
  std::vector<std::pair<int, int>> reports;
  int abortAt = 0;
};

class Renderer : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TMPDIR", dir.Path().c_str(), 1);
    const std::string path = dir.Write("scene.json", R"({"background": [0.1, 0.1, 0.1], "nodes": [
        {"name": "floor", "mesh": {"primitive": "plane", "width": 10, "length": 10}},
        {"name": "cam", "camera": {"fov": 30}, "transform": {"position": [0, -8, 6], "lookAt": [0, 0, 0]}}]})");
    const auto r = crn::scene::LoadAnyScene(path, ip());
    ASSERT_TRUE(r.ok) << r.error;
    crn::ResetRenderSettings();
    GetRenderSettings().saveLayers = 0;
    renderer.SetDevice(crn::RenderDevice::kCpu);
    view.affineTM = host::Inverse(host::TransMatrix(host::Point3(0, 0, 20)));
    view.fov = 1.2f;
  }
  void TearDown() override {
    ip().ResetScene();
    crn::ResetRenderSettings();
    unsetenv("TMPDIR");
  }
  int Render(host::Bitmap& bm, host::INode* viewNode = nullptr) {
    host::RendParams rp;
    renderer.Open(nullptr, viewNode, &view, rp, nullptr);
    host::FrameRendParams frp;
    const int ok = renderer.Render(0, &bm, frp, nullptr, &progress, &view);
    renderer.Close(nullptr);
    return ok;
  }
  std::string LastLogLine() {
    std::ifstream in(crn::RenderLogPath());
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last;
  }
  static host::Interface& ip() { return *host::GetCOREInterface(); }

  crn::scene::ModuleSession module;
  fixtures::TempDir dir{"crinel_renderer"};
  crn::HairRenderer renderer;
  host::ViewParams view;
  RecordingProgress progress;
};

TEST_F(Renderer, PassesReportProgressAndFillTheBitmap) {
  GetRenderSettings().passes = 6;
  host::Bitmap bm(16, 8);
  ASSERT_EQ(Render(bm), 1);
  EXPECT_EQ(progress.titles,
            (std::vector<std::string>{"Crinel: gathering scene", "Crinel: building BVH", "Crinel: rendering"}));
  // The CPU twin reports after every pass.
  ASSERT_EQ(progress.reports.size(), 6u);
  EXPECT_EQ(progress.reports.back(), std::make_pair(6, 6));
  EXPECT_EQ(renderer.Context()->Passes(), 6);
  EXPECT_FALSE(renderer.Context()->HasPassBuffer()) << "the CPU twin adds render passes only to save them";
  EXPECT_EQ(bm.RefreshCount(), 1);
  for (const host::BMM_Color_fl& p : bm.Pixels()) EXPECT_EQ(p.a, 1.f);
  EXPECT_GT(bm.Pixels()[8 * 4 + 8].r, 0.1f) << "the lit floor in the middle";
  // The view parameters' field of view (no camera node), and the log line of the render.
  EXPECT_FLOAT_EQ(renderer.Context()->Cam().tanHalfFov, std::tan(0.6f));
  EXPECT_EQ(LastLogLine().rfind("t=0 16x8 persp=1 fov=1.200 tris=", 0), 0u) << LastLogLine();
  EXPECT_NE(LastLogLine().find("lights=2 cam=(0.00 0.00 20.00) fwd=(0.000 0.000 -1.000) bg=(0.10 0.10 0.10)"),
            std::string::npos)
      << LastLogLine();
}

TEST_F(Renderer, AnAbortKeepsThePassesDone) {
  GetRenderSettings().passes = 50;
  progress.abortAt = 2;
  host::Bitmap bm(8, 8);
  ASSERT_EQ(Render(bm), 1);
  EXPECT_EQ(renderer.Context()->Passes(), 2);
  EXPECT_EQ(bm.RefreshCount(), 1);
}

TEST_F(Renderer, ACameraNodeWinsAndATinyFieldOfViewBecomesPointNine) {
  host::Bitmap bm(8, 8);
  ASSERT_EQ(Render(bm, ip().GetINodeByName("cam")), 1);
  EXPECT_NEAR(renderer.Context()->Cam().tanHalfFov, std::tan(15 * 3.14159265f / 180), 1e-6f);
  EXPECT_NEAR(renderer.Context()->Cam().position.y, -8.f, 1e-5f);
  view.fov = 0;
  ASSERT_EQ(Render(bm), 1);
  EXPECT_FLOAT_EQ(renderer.Context()->Cam().tanHalfFov, std::tan(0.45f));
  view.projType = host::PROJ_PARALLEL;
  view.zoom = 0.5f;
  ASSERT_EQ(Render(bm), 1);
  EXPECT_EQ(renderer.Context()->Cam().orthoHalfWidth, 100.f);
}

TEST_F(Renderer, LayersGoBesideTheRenderOutputAndFailuresGoToTheLog) {
  GetRenderSettings().passes = 2;
  GetRenderSettings().saveLayers = 1;
  ip().SetRendOutputFilename((dir.Path() / "shot.png").string());
  host::Bitmap bm(8, 4);
  ASSERT_EQ(Render(bm), 1);
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "shot_layers_0000.exr"));
  EXPECT_EQ(renderer.LastLayersError(), "");
  const std::string missing = (dir.Path() / "none" / "shot.png").string();
  ip().SetRendOutputFilename(missing);
  ASSERT_EQ(Render(bm), 1) << "the render itself succeeds";
  EXPECT_EQ(LastLogLine(), "EXR layers not written: cannot write " + (dir.Path() / "none" / "shot_layers_0000.exr").string());
}

TEST_F(Renderer, WithoutACudaDeviceItSaysSoAndLeavesTheBitmap) {
  if (crn::gpu::DeviceCount() > 0) GTEST_SKIP() << "a CUDA device is present";
  crn::HairRenderer cuda;
  host::Bitmap bm(4, 4);
  const int boxes = host::MessageBoxCount();
  host::RendParams rp;
  cuda.Open(nullptr, nullptr, &view, rp, nullptr);
  host::FrameRendParams frp;
  EXPECT_EQ(cuda.Render(0, &bm, frp, nullptr, &progress, &view), 0);
  EXPECT_EQ(host::MessageBoxCount(), boxes + 1);
  EXPECT_EQ(host::LastMessageBoxText(), "Talmore Crinel Renderer needs an NVIDIA GPU with CUDA.");
  for (const host::BMM_Color_fl& p : bm.Pixels()) EXPECT_EQ(p.a, 0.f);
  EXPECT_EQ(cuda.Render(0, nullptr, frp, nullptr, &progress, &view), 0) << "no bitmap";
}

}  // namespace
