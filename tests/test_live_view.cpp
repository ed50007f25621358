// The live view: opening, its ticks on the CPU twin of the renderer, keys, title, throttled
// re-gathering with uploads only on change, painting and closing; its script calls and the
// headless command.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "cli_runner.h"
#include "hair/hair_params.h"
#include "host/message_box.h"
#include "host/timers.h"
#include "host/window.h"
#include "kernels/gpu_runtime.h"
#include "render/live_view.h"
#include "render/live_view_window.h"
#include "render_fixtures.h"
#include "scene/viewport_setup.h"
#include "scene_fixtures.h"

namespace {

using crn::GetLiveViewState;
using crn::LiveViewState;

class LiveView : public fixtures::BallScene {
 protected:
  void SetUp() override {
    BallScene::SetUp();
    crn::scene::SetDefaultViewport(ip());
    host::SetTickCountSource([this] { return clock; });
    LiveViewState& s = GetLiveViewState();
    s.denoise = true;
    s.renderDensity = false;
    s.exposure = 1.0f;
    crn::SetLiveViewDevice(crn::RenderDevice::kCpu);
  }
  void TearDown() override {
    crn::DestroyLiveViewWindow();
    crn::SetLiveViewDevice(crn::RenderDevice::kCuda);
    host::SetTickCountSource(nullptr);
    BallScene::TearDown();
  }
  // Opens a small window (the CPU twin renders it quickly).
  void* Open(int width = 24, int height = 18) {
    EXPECT_TRUE(crn::OpenLiveView());
    void* w = GetLiveViewState().window;
    host::MoveWindow(w, 0, 0, width, height, true);
    return w;
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) host::SendMessage(GetLiveViewState().window, host::WM_TIMER, crn::kLiveTimerId, 0);
  }
  const crn::RenderContext& Ctx() { return *GetLiveViewState().context; }
  std::vector<std::uint32_t> Display(bool denoise, float exposure) {
    std::vector<std::uint32_t> out;
    EXPECT_TRUE(GetLiveViewState().context->DisplayImage(denoise, exposure, out));
    return out;
  }

  std::uint32_t clock = 1000;
};

TEST_F(LiveView, WithoutACudaDeviceOpeningShowsTheMessageAndNoWindow) {
  if (crn::gpu::DeviceCount() > 0) GTEST_SKIP() << "a CUDA device is present";
  crn::SetLiveViewDevice(crn::RenderDevice::kCuda);
  const int boxes = host::MessageBoxCount();
  EXPECT_FALSE(crn::OpenLiveView());
  EXPECT_EQ(host::MessageBoxCount(), boxes + 1);
  EXPECT_EQ(host::LastMessageBoxText(), "Crinel Live needs an NVIDIA GPU with CUDA.");
  EXPECT_EQ(GetLiveViewState().window, nullptr);
  EXPECT_EQ(GetLiveViewState().context, nullptr);
}

TEST_F(LiveView, OpensOneToolWindowWithItsTimerAndRaisesItAgain) {
  ASSERT_TRUE(crn::OpenLiveView());
  void* w = GetLiveViewState().window;
  ASSERT_TRUE(host::IsWindow(w));
  EXPECT_EQ(host::GetWindowText(w), "Crinel Live");
  EXPECT_EQ(host::GetWindowExStyle(w), host::WS_EX_TOOLWINDOW);
  EXPECT_EQ(host::GetWindowStyle(w), host::WS_OVERLAPPEDWINDOW | host::WS_VISIBLE);
  EXPECT_EQ(host::GetWindowOwner(w), host::GetMainWindow());
  host::Rect rc;
  ASSERT_TRUE(host::GetClientRect(w, &rc));
  EXPECT_EQ(rc.right, 800);
  EXPECT_EQ(rc.bottom, 520);
  EXPECT_TRUE(host::TimerRunning(w, 1));
  EXPECT_FALSE(Ctx().HasPassBuffer());

  // Before any image the window paints black.
  host::InvalidateRect(w, nullptr, false);
  host::UpdateWindow(w);
  const auto black = host::WindowSurface(w);
  EXPECT_TRUE(std::all_of(black.begin(), black.end(), [](std::uint32_t p) { return p == 0; }));

  host::ShowWindow(w, host::SW_HIDE);
  host::SetForegroundWindow(host::GetMainWindow());
  ASSERT_TRUE(crn::OpenLiveView());
  EXPECT_EQ(GetLiveViewState().window, w);
  EXPECT_TRUE(host::IsWindowVisible(w));
  EXPECT_EQ(host::GetForegroundWindow(), w);
}

TEST_F(LiveView, TicksAccumulateOneThenTwoPassesAndSizesBelowSeventeenRenderSixteen) {
  Open(10, 40);
  std::vector<int> passes;
  for (int i = 0; i < 6; ++i) {
    Tick();
    passes.push_back(Ctx().Passes());
  }
  EXPECT_EQ(passes, (std::vector<int>{1, 2, 3, 4, 6, 8}));
  EXPECT_EQ(Ctx().Width(), 16);
  EXPECT_EQ(Ctx().Height(), 40);
  EXPECT_GT(Ctx().SegmentCount(), 0u);

  // A resize restarts the accumulation at the new size; 17 stays 17.
  host::MoveWindow(GetLiveViewState().window, 0, 0, 17, 5, true);
  Tick();
  EXPECT_EQ(Ctx().Passes(), 1);
  EXPECT_EQ(Ctx().Width(), 17);
  EXPECT_EQ(Ctx().Height(), 16);
}

// The view follows the active viewport: a new camera restarts the accumulation without an
// upload; orthographic views render with field 0.9 and half the viewport's width.
TEST_F(LiveView, FollowsTheViewportCameraIncludingOrthographicZoom) {
  const LiveViewState& s = GetLiveViewState();
  Open();
  Tick(3);
  host::ViewCamera cam = ip().GetActiveViewExp().Camera();
  cam.worldToView = cam.worldToView * host::TransMatrix(host::Point3(0.5f, 0, 0));
  ip().SetActiveViewport(cam, 960, 540);
  Tick();
  EXPECT_EQ(Ctx().Passes(), 1);
  EXPECT_EQ(s.uploads, 1u);

  cam.perspective = false;
  cam.orthoWidth = 60;
  ip().SetActiveViewport(cam, 960, 540);
  Tick(2);
  EXPECT_EQ(Ctx().Passes(), 2);
  EXPECT_FLOAT_EQ(Ctx().Cam().orthoHalfWidth, 30.f);
  EXPECT_FLOAT_EQ(Ctx().Cam().tanHalfFov, std::tan(0.45f));
  cam.orthoWidth = 40;  // zooming an orthographic view changes only its width
  ip().SetActiveViewport(cam, 960, 540);
  Tick();
  EXPECT_EQ(Ctx().Passes(), 1);
  EXPECT_FLOAT_EQ(Ctx().Cam().orthoHalfWidth, 20.f);
}

TEST_F(LiveView, DenoisingWaitsForTheFourthPassAndKeysRebuildTheImage) {
  void* w = Open();
  Tick(3);
  ASSERT_EQ(Ctx().Passes(), 3);
  EXPECT_EQ(GetLiveViewState().display, Display(false, 1.0f));
  EXPECT_NE(GetLiveViewState().display, Display(true, 1.0f));
  Tick();
  EXPECT_EQ(GetLiveViewState().display, Display(true, 1.0f));

  // Two + keys (keypad and main keyboard) multiply the exposure by 1.5625 and show it at once.
  host::SendMessage(w, host::WM_KEYDOWN, host::VK_ADD, 0);
  host::SendMessage(w, host::WM_KEYDOWN, host::VK_OEM_PLUS, 0);
  EXPECT_FLOAT_EQ(GetLiveViewState().exposure, 1.5625f);
  EXPECT_EQ(GetLiveViewState().display, Display(true, 1.5625f));
  host::SendMessage(w, host::WM_KEYDOWN, 'D', 0);
  EXPECT_FALSE(GetLiveViewState().denoise);
  EXPECT_EQ(GetLiveViewState().display, Display(false, 1.5625f));
  host::SendMessage(w, host::WM_KEYDOWN, host::VK_OEM_MINUS, 0);
  EXPECT_FLOAT_EQ(GetLiveViewState().exposure, 1.25f);

  // The window shows the display image (alpha dropped).
  const auto surface = host::WindowSurface(w);
  const auto& display = GetLiveViewState().display;
  ASSERT_EQ(surface.size(), display.size());
  for (std::size_t i = 0; i < display.size(); ++i) ASSERT_EQ(surface[i], display[i] & 0xFFFFFFu) << i;
}

TEST_F(LiveView, TitleCountsPassesSegmentsAndTriangles) {
  void* w = Open();
  Tick(2);
  const std::string expected = "Crinel Live - 2 passes - " + std::to_string(Ctx().SegmentCount()) + " hair segments, " +
                               std::to_string(Ctx().TriangleCount()) +
                               " triangles - viewport density, denoised  [D denoise, F density, +/- exposure] ";
  EXPECT_EQ(host::GetWindowText(w), expected);
  // F switches to the render strands, re-gathers on the next tick and says so.
  const std::size_t viewportSegments = Ctx().SegmentCount();
  host::SendMessage(w, host::WM_KEYDOWN, 'F', 0);
  host::SendMessage(w, host::WM_KEYDOWN, 'D', 0);
  Tick();
  EXPECT_GT(Ctx().SegmentCount(), viewportSegments);
  EXPECT_EQ(host::GetWindowText(w).find("Crinel Live - 1 passes - "), 0u);
  EXPECT_NE(host::GetWindowText(w).find(" triangles - render density  [D denoise"), std::string::npos);
}

TEST_F(LiveView, RegathersWhenForcedThrottledOrScrubbedAndUploadsOnlyChanges) {
  const LiveViewState& s = GetLiveViewState();
  void* w = Open();
  Tick();
  EXPECT_EQ(s.gathers, 1u);
  EXPECT_EQ(s.uploads, 1u);

  clock += 400;  // not more than 400 ms: no gathering
  Tick();
  EXPECT_EQ(s.gathers, 1u);

  clock += 1;  // past 400 ms: gathered and hashed again, not uploaded, accumulation goes on
  Tick();
  EXPECT_EQ(s.gathers, 2u);
  EXPECT_EQ(s.uploads, 1u);
  EXPECT_EQ(Ctx().Passes(), 3);

  ip().SetTime(5 * host::GetTicksPerFrame());  // scrubbing re-gathers on the next tick
  Tick();
  EXPECT_EQ(s.gathers, 3u);

  host::SendMessage(w, host::WM_KEYDOWN, 'R', 0);  // R forces a gathering and an upload
  Tick();
  EXPECT_EQ(s.gathers, 4u);
  EXPECT_EQ(s.uploads, 2u);
  EXPECT_EQ(Ctx().Passes(), 1);

  // A changed scene is uploaded again and restarts the accumulation.
  Tick(3);
  pb->SetValue(crn::hp::length, ip().GetTime(), pb->GetFloat(crn::hp::length) * 2);
  clock += 1000;
  Tick();
  EXPECT_EQ(s.gathers, 5u);
  EXPECT_EQ(s.uploads, 3u);
  EXPECT_EQ(Ctx().Passes(), 1);
}

TEST_F(LiveView, StopsAtTwoThousandFortyEightPasses) {
  Open(16, 16);
  Tick(1026);  // 4 single passes, then 2 per tick: 4 + 2 x 1022 = 2048
  ASSERT_EQ(Ctx().Passes(), 2048);
  const auto converged = GetLiveViewState().display;
  Tick(3);
  EXPECT_EQ(Ctx().Passes(), 2048);
  EXPECT_EQ(GetLiveViewState().display, converged);
}

TEST_F(LiveView, ClosingDestroysTheWindowAndKeepsTheToggles) {
  void* w = Open();
  Tick();
  host::SendMessage(w, host::WM_KEYDOWN, 'D', 0);
  host::SendMessage(w, host::WM_CLOSE, 0, 0);
  const LiveViewState& s = GetLiveViewState();
  EXPECT_FALSE(host::IsWindow(w));
  EXPECT_FALSE(host::TimerRunning(w, 1));
  EXPECT_EQ(s.window, nullptr);
  EXPECT_EQ(s.context, nullptr);
  EXPECT_TRUE(s.display.empty());
  EXPECT_EQ(s.lastWidth, 0);
  EXPECT_EQ(s.lastHash, 0u);
  EXPECT_FALSE(s.denoise);
  // A tick after closing does nothing.
  crn::LiveViewTick();
  EXPECT_EQ(s.context, nullptr);
}

// The same ticks on the CUDA device show what the CPU twin shows.
class LiveViewOnGpu : public LiveView {};

TEST_F(LiveViewOnGpu, TicksOnTheDeviceMatchTheCpuTwin) {
  if (crn::gpu::DeviceCount() == 0) GTEST_SKIP() << "no CUDA device";
  auto run = [&](crn::RenderDevice device) {
    crn::SetLiveViewDevice(device);
    void* w = Open(48, 32);
    Tick(6);
    EXPECT_EQ(Ctx().Passes(), 8);
    EXPECT_EQ(Ctx().Device(), device);
    const std::string title = host::GetWindowText(w);
    EXPECT_EQ(title.substr(title.size() - 10), "exposure] ") << title;  // no error text
    auto display = GetLiveViewState().display;
    host::SendMessage(w, host::WM_CLOSE, 0, 0);
    return display;
  };
  const auto gpu = run(crn::RenderDevice::kCuda);
  const auto cpu = run(crn::RenderDevice::kCpu);
  ASSERT_EQ(gpu.size(), cpu.size());
  double diff = 0;
  for (std::size_t i = 0; i < gpu.size(); ++i)
    for (int shift = 0; shift < 24; shift += 8)
      diff += std::abs(int((gpu[i] >> shift) & 0xFF) - int((cpu[i] >> shift) & 0xFF));
  EXPECT_LT(diff / double(3 * gpu.size()), 2.0);
}

TEST(LiveSceneHash, SeesChangesToEverySampledPart) {
  const crn::GatheredScene base = [] {
    crn::GatheredScene g;
    g.triPositions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    g.hair.push_back(fixtures::StraightStrands({{0, 0, 0}, {1, 0, 0}}, 4, 1.f, 0.1f));
    g.lights.push_back(fixtures::Directional({0, 0, -1}, {1, 1, 1}));
    return g;
  }();
  const std::uint64_t h = crn::HashGatheredScene(base);
  EXPECT_EQ(crn::HashGatheredScene(base), h);
  struct Case {
    const char* what;
    void (*change)(crn::GatheredScene&);
  };
  const Case cases[] = {
      {"triangle", [](crn::GatheredScene& g) { g.triPositions[1].x = 2; }},
      {"hair point", [](crn::GatheredScene& g) { g.hair[0].strands.points[5].z += 0.5f; }},
      {"strand count", [](crn::GatheredScene& g) { g.hair.push_back(g.hair[0]); }},
      {"material", [](crn::GatheredScene& g) { g.hair[0].material.melanin += 0.1f; }},
      {"first colour", [](crn::GatheredScene& g) { g.hair[0].strands.rootColour[0] ^= 1; }},
      {"light", [](crn::GatheredScene& g) { g.lights[0].colour.y = 0.5f; }},
      {"background", [](crn::GatheredScene& g) { g.background.x = 0.3f; }},
      {"environment", [](crn::GatheredScene& g) { g.envIntensity = 2; }},
  };
  for (const Case& c : cases) {
    crn::GatheredScene g = base;
    c.change(g);
    EXPECT_NE(crn::HashGatheredScene(g), h) << c.what;
  }
}

class LiveCli : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir.Path() / name).string(); }
  // The width and height a PNG's header gives.
  static std::pair<int, int> PngSize(const std::string& bytes) {
    auto be = [&](std::size_t at) {
      return int((std::uint8_t(bytes[at]) << 24) | (std::uint8_t(bytes[at + 1]) << 16) |
                 (std::uint8_t(bytes[at + 2]) << 8) | std::uint8_t(bytes[at + 3]));
    };
    return bytes.size() >= 24 && bytes.compare(1, 3, "PNG") == 0 ? std::pair{be(16), be(20)} : std::pair{0, 0};
  }
  fixtures::TempDir dir{"crinel_live_cli"};
  const std::string scene = std::string(CRINEL_TEST_DATA) + "/scenes/ball.json";
};

TEST_F(LiveCli, HeadlessLiveViewSavesWhatItShows) {
  auto r = fixtures::RunCli(dir.Path(), "live " + scene + " --ticks 5 --device cpu --size 40x30 --out " + Path("a.png"));
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("Crinel Live - 6 passes - "), std::string::npos) << r.err;
  EXPECT_EQ(PngSize(fixtures::Slurp(Path("a.png"))), std::pair(40, 30));

  const struct {
    std::string args, message;
  } bad[] = {
      {"live " + scene + " --out x.png", "live needs --ticks and --out"},
      {"live " + scene + " --ticks 0 --out x.png", "--ticks must be a whole number"},
      {"live " + scene + " --ticks 2 --out x.png --device gpu", "--device must be auto, cuda or cpu"},
  };
  for (const auto& b : bad) {
    r = fixtures::RunCli(dir.Path(), b.args);
    EXPECT_EQ(r.rc, 2) << b.args;
    EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
  }
  if (crn::gpu::DeviceCount() == 0) {
    r = fixtures::RunCli(dir.Path(), "live " + scene + " --ticks 2 --device cuda --out " + Path("b.png"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Crinel Live needs an NVIDIA GPU with CUDA."), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(Path("b.png")));
  }
}

TEST_F(LiveCli, ScriptCallsDriveTheWindow) {
  const std::string script = "liveDevice cpu\n"
                             "liveOpen\n"
                             "liveResize 12 20\n"
                             "liveTick 5\n"
                             "liveKey +\n"
                             "liveKey D\n"
                             "liveTitle\n"
                             "liveSave \"" + Path("s.png") + "\"\n"
                             "liveClose\n"
                             "liveTitle\n";
  auto r = fixtures::RunCli(dir.Path(), "script " + scene + " -", script);
  EXPECT_EQ(r.rc, 1);  // the last call: the window is closed
  const auto lines = fixtures::Lines(r.out);
  ASSERT_EQ(lines.size(), 9u) << r.out << r.err;
  EXPECT_EQ(lines[0], "cpu");
  EXPECT_EQ(lines[1], "true");
  EXPECT_EQ(lines[3], "6");
  EXPECT_EQ(lines[6].find("Crinel Live - 6 passes - "), 0u);
  EXPECT_NE(lines[6].find("viewport density  [D denoise"), std::string::npos);
  EXPECT_EQ(PngSize(fixtures::Slurp(Path("s.png"))), std::pair(16, 20));
  EXPECT_NE(r.err.find("the live view is not open"), std::string::npos) << r.err;
}

}  // namespace
