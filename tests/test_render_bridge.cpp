// The render engine's bridge: its records, frames of hair nodes in both modes, the strand
// edits it makes (collapse, wetness, glow, highlights, child spacing), the GPU memory fit with
// its report, and a stand-in engine that loads the module and renders through the bridge.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <thread>
#include <vector>
#include <algorithm>

#include "cli_runner.h"
#include "engine/lumora_engine.h"
#include "hair/fur_math.h"
#include "kernels/gpu_runtime.h"
#include "hair/hair_params.h"
#include "host/system_log.h"
#include "render/render_bridge.h"
#include "render_fixtures.h"
#include "scene_fixtures.h"

namespace {

using crn::CrnHairFrame;
using crn::StrandSet;
using crn::V3;

// Releases a delivered frame when the test leaves.
struct FrameGuard {
  CrnHairFrame frame{};
  ~FrameGuard() { crn::BridgeReleaseHairFrame(frame.handle); }
};

class Bridge : public fixtures::BallScene {
 protected:
  void SetUp() override {
    BallScene::SetUp();
    unsetenv("CRINEL_GPU_MB");
    unsetenv("CRINEL_GPU_LOG");
    unsetenv("CRINEL_BRIDGE_LOG");
  }
  void TearDown() override {
    unsetenv("CRINEL_GPU_MB");
    unsetenv("CRINEL_GPU_LOG");
    unsetenv("CRINEL_BRIDGE_LOG");
    BallScene::TearDown();
  }
  const crn::CrnBridge& B() { return *crn::BridgeRecord(); }
  fixtures::TempDir dir{"crinel_bridge"};
};

TEST_F(Bridge, RecordAndNodesThatAreNotHair) {
  EXPECT_EQ(B().version, 4u);
  host::INode* ball = ip().GetINodeByName("ball");
  ASSERT_NE(ball, nullptr);
  CrnHairFrame f{};
  EXPECT_EQ(B().IsHairNode(ball, 0), 0);
  EXPECT_EQ(B().IsHairNode(nullptr, 0), 0);
  EXPECT_EQ(B().GetHairFrame(ball, 0, 1, &f), 0);
  EXPECT_EQ(B().GetHairFrame(nullptr, 0, 1, &f), 0);
  EXPECT_EQ(B().GetHairFrame(node, 0, 1, nullptr), 0);
  EXPECT_EQ(f.handle, nullptr);
  EXPECT_EQ(B().IsHairNode(node, 0), 1);
  B().ReleaseHairFrame(nullptr);
}

TEST_F(Bridge, ViewportFrameCopiesTheStrandsWithoutChildrenWetnessOrGlow) {
  const std::string log = (dir.Path() / "bridge.log").string();
  setenv("CRINEL_BRIDGE_LOG", log.c_str(), 1);
  FrameGuard g;
  ASSERT_EQ(B().GetHairFrame(node, 0, 0, &g.frame), 1);
  const CrnHairFrame& f = g.frame;
  const StrandSet& vp = hair->BuildViewportStrands(0);
  ASSERT_EQ(std::size_t(f.strandCount), vp.StrandCount());
  ASSERT_EQ(f.pointsPerStrand, vp.pointsPerStrand);
  const std::size_t n = vp.StrandCount(), p = std::size_t(vp.pointsPerStrand);
  for (std::size_t i = 0; i < n * p; i += 37) {
    EXPECT_EQ(f.positions[3 * i + 2], vp.points[i].z);
    EXPECT_EQ(f.widths[i], vp.widths[i]);
  }
  EXPECT_EQ(f.rootColours[n - 1], vp.rootColour[n - 1]);
  EXPECT_EQ(f.normals[3 * (n - 1) + 1], vp.rootNormal[n - 1].y);
  EXPECT_EQ(f.materialSize, 180);
  EXPECT_EQ(f.childrenSize, 32);
  EXPECT_EQ(f.thinned, 0);
  EXPECT_EQ(f.wetness, nullptr);
  EXPECT_EQ(f.emission, nullptr);
  EXPECT_EQ(f.children->childCount, 1);
  EXPECT_EQ(f.children->childSeed, 1);
  EXPECT_EQ(f.children->spacingWide, 0.f);
  EXPECT_EQ(f.children->wideShare, 0.35f);
  EXPECT_EQ(f.children->narrowCount, 3.0f);
  EXPECT_EQ(f.children->lengthJitter, 0.25f);
  EXPECT_EQ(f.children->tipSpread, 0.12f);

  // The log: the frame line, then 50 bins of consecutive strands.
  const auto lines = fixtures::Lines(fixtures::Slurp(log));
  ASSERT_EQ(lines.size(), 51u);
  EXPECT_EQ(lines[0], "frame t=0 n=" + std::to_string(n) + " full=" + std::to_string(n) + " pts=" + std::to_string(p));
  EXPECT_EQ(lines[1].find("  bin  0: zeroW   0.00%  height "), 0u) << lines[1];
  EXPECT_EQ(lines[50].find("  bin 49: zeroW "), 0u) << lines[50];
}

TEST_F(Bridge, WithChildrenNothingIsDroppedAndTheSpreadFollowsTheRootSpacing) {
  pb->SetValue(crn::hp::renderMult, 0, 5);
  setenv("CRINEL_GPU_MB", "1", 1);
  FrameGuard g;
  ASSERT_EQ(B().GetHairFrame(node, 0, 1, &g.frame), 1);
  StrandSet full;
  hair->BuildRenderStrands(0, 1.0, full);
  EXPECT_EQ(std::size_t(g.frame.strandCount), full.StrandCount());
  EXPECT_EQ(g.frame.thinned, 0);
  EXPECT_EQ(g.frame.children->childCount, 5);
  EXPECT_EQ(g.frame.children->childSeed, 388817);
  const float d = crn::EstimateRootSpacing(full);
  EXPECT_GT(d, 0.f);
  EXPECT_FLOAT_EQ(g.frame.children->spacingWide, 0.7f * d);
  EXPECT_FLOAT_EQ(g.frame.children->spacingNarrow, 0.15f * d);
}

TEST_F(Bridge, ShortMemoryKeepsTwoPercentWiderAndReportsIt) {
  pb->SetValue(crn::hp::count, 0, 20000);
  FrameGuard all;
  ASSERT_EQ(B().GetHairFrame(node, 0, 1, &all.frame), 1);
  ASSERT_EQ(all.frame.thinned, 0);
  const std::size_t n = std::size_t(all.frame.strandCount), p = std::size_t(all.frame.pointsPerStrand);

  const std::string log = (dir.Path() / "gpu.log").string();
  setenv("CRINEL_GPU_MB", "1", 1);
  setenv("CRINEL_GPU_LOG", log.c_str(), 1);
  const std::size_t entries = host::SystemLogEntries().size();
  FrameGuard thin, again;
  ASSERT_EQ(B().GetHairFrame(node, 0, 1, &thin.frame), 1);
  ASSERT_EQ(B().GetHairFrame(node, 0, 1, &again.frame), 1);
  const std::size_t kept = std::size_t(thin.frame.strandCount);
  EXPECT_EQ(thin.frame.thinned, 1);
  EXPECT_NEAR(double(kept) / double(n), 0.02, 0.006);
  EXPECT_EQ(again.frame.strandCount, thin.frame.strandCount);  // the same strands every frame

  // Kept strands are the whole frame's strands in order, each sqrt(50) times wider.
  std::size_t j = 0;
  for (std::size_t i = 0; i < n && j < kept; ++i) {
    if (all.frame.positions[3 * i * p] != thin.frame.positions[3 * j * p] ||
        all.frame.positions[3 * i * p + 1] != thin.frame.positions[3 * j * p + 1])
      continue;
    EXPECT_NEAR(thin.frame.widths[j * p + 1] / all.frame.widths[i * p + 1], std::sqrt(50.f), 1e-3f);
    EXPECT_EQ(thin.frame.rootColours[j], all.frame.rootColours[i]);
    ++j;
  }
  EXPECT_EQ(j, kept);

  const auto logEntries = host::SystemLogEntries();
  ASSERT_EQ(logEntries.size(), entries + 2);
  const std::string& report = logEntries.back().text;
  EXPECT_EQ(logEntries.back().type, host::SYSLOG_WARN);
  EXPECT_EQ(logEntries.back().title, "Crinel");
  char about[64];
  std::snprintf(about, sizeof about, "%.1f", double(p - 1) * double(n) * 880.0 / 1073741824.0);
  EXPECT_EQ(report.find("Crinel: fur has " + std::to_string(n) + " strands, about " + about + " GB on "), 0u)
      << report;
  EXPECT_NE(report.find("which has 0.0 GB free - rendering " + std::to_string(kept) + " of them, 7.07x wider. "
                        "For every strand: set Render multiplier above 1"),
            std::string::npos)
      << report;
  EXPECT_EQ(fixtures::Slurp(log), report + "\n" + report + "\n");
}

// An engine may ask from its own threads: the builds take the object's lock in turn and every
// thread gets the same frame.
TEST_F(Bridge, FramesAskedFromSeveralThreadsAgree) {
  constexpr int kThreads = 3;
  std::vector<FrameGuard> frames(kThreads);
  std::vector<int> results(kThreads, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] { results[std::size_t(i)] = B().GetHairFrame(node, 0, 1, &frames[std::size_t(i)].frame); });
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    const CrnHairFrame& f = frames[std::size_t(i)].frame;
    ASSERT_EQ(results[std::size_t(i)], 1);
    ASSERT_EQ(f.strandCount, frames[0].frame.strandCount);
    const std::size_t floats = 3 * std::size_t(f.strandCount) * std::size_t(f.pointsPerStrand);
    EXPECT_TRUE(std::equal(f.positions, f.positions + floats, frames[0].frame.positions)) << i;
  }
}

TEST_F(Bridge, TheFitSharesMemoryAmongTheScenesHairObjects) {
  StrandSet s;
  hair->BuildRenderStrands(0, 1.0, s);
  const std::size_t n = s.StrandCount(), p = std::size_t(s.pointsPerStrand);
  const double need = double(p - 1) * double(n) * 880.0;
  struct Case {
    double freeBytes, share;
    bool thinned;
  } cases[] = {{need / 0.75, 1.0, false}, {need / 0.75 * 0.99, 1.0, true}, {need / 0.75, 0.5, true}, {0, 1.0, false}};
  for (const Case& c : cases) {
    StrandSet t = s;
    const std::string report = crn::FitToGpuMemory(t, c.share, {c.freeBytes, "Test GPU"}, "fur");
    EXPECT_EQ(!report.empty(), c.thinned) << c.freeBytes << " " << c.share;
    EXPECT_EQ(t.StrandCount() < n, c.thinned);
    EXPECT_EQ(t.points.size(), t.StrandCount() * p);
  }
}

TEST(BridgeStrandEdits, FarOrNanStrandsCollapseOntoTheirRoots) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    int point;
    V3 value;
    bool collapsed;
    V3 collapsedTo;
  } cases[] = {
      {"a tip at 2e7", 2, V3(2e7f, 0, 0), true, V3(5, 0, 0)},
      {"y at -2e7", 1, V3(5, -2e7f, 0), true, V3(5, 0, 0)},
      {"a NaN in the middle", 1, V3(5, nan, 1), true, V3(5, 0, 0)},
      {"a NaN root x", 0, V3(nan, 0, 0), true, V3(0, 0, 0)},
      {"a NaN root z", 0, V3(5, 0, nan), true, V3(0, 0, 0)},
      {"9.9e6 is kept", 2, V3(9.9e6f, 0, 0), false, V3()},
  };
  for (const Case& c : cases) {
    crn::HairInstance h = fixtures::StraightStrands({{0, 0, 0}, {5, 0, 0}, {9, 0, 0}}, 3, 1.f, 0.2f);
    StrandSet& s = h.strands;
    s.points[3 + std::size_t(c.point)] = c.value;
    const crn::StrandArray<V3> before = s.points;
    EXPECT_EQ(crn::SanitiseStrands(s), c.collapsed ? 1u : 0u) << c.what;
    EXPECT_EQ(s.StrandCount(), 3u);
    for (int k = 0; k < 3 && c.collapsed; ++k) {
      EXPECT_EQ(s.points[3 + std::size_t(k)], c.collapsedTo) << c.what;
      EXPECT_EQ(s.widths[3 + std::size_t(k)], 0.f) << c.what;
    }
    EXPECT_EQ(s.points[0], before[0]);
    EXPECT_EQ(s.points[8], before[8]);
    EXPECT_EQ(s.widths[0], 0.2f);
  }
}

TEST(BridgeStrandEdits, WetnessDarkensColoursGlowEmitsAndHighlightsFold) {
  crn::HairInstance h = fixtures::StraightStrands({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, 3, 1.f, 0.2f,
                                                  0x80C86432u, 0xFF0A0B0Cu);
  StrandSet s = h.strands;
  s.wet = {0.f, 0.5f, 2.f, -1.f};
  s.hiColour = {0xFF010203u, 0xFF646464u, 0xFF000000u, 0xFF000000u};
  crn::DarkenWetStrands(s);
  // 0xC8 = 200, 0x64 = 100, 0x32 = 50: times 0.75 at wet 0.5, times 0.5 from wet 1 on.
  EXPECT_EQ(s.rootColour[0], 0x80C86432u);
  EXPECT_EQ(s.rootColour[1], 0x80964B25u);
  EXPECT_EQ(s.rootColour[2], 0x80643219u);
  EXPECT_EQ(s.rootColour[3], 0x80C86432u);
  EXPECT_EQ(s.tipColour[1], 0xFF070809u);
  EXPECT_EQ(s.hiColour[1], 0xFF4B4B4Bu);

  s.glow = {0.f, 1.f, 0.5f, -2.f};
  std::vector<float> e;
  crn::GlowEmission(s, e);
  ASSERT_EQ(e.size(), 4u * 3u * 3u);
  EXPECT_EQ(e[0], 0.f);
  EXPECT_FLOAT_EQ(e[3 * 4 + 0], 14.f * 0.125f);  // strand 1, point 1: s = 0.5
  EXPECT_FLOAT_EQ(e[3 * 5 + 0], 14.f);
  EXPECT_FLOAT_EQ(e[3 * 5 + 1], 0.35f * 14.f);
  EXPECT_FLOAT_EQ(e[3 * 5 + 2], 0.06f * 14.f);
  EXPECT_FLOAT_EQ(e[3 * 8 + 0], 7.f);
  EXPECT_EQ(e[3 * 11 + 0], 0.f);

  s.hiStart = {0.5f, 1.0f, 1.5f, 2.0f};
  const std::uint32_t tip2 = s.tipColour[2];
  crn::FoldHighlightsIntoTips(s);
  EXPECT_EQ(s.tipColour[0], 0xFF010203u);
  EXPECT_EQ(s.tipColour[1], s.hiColour[1]);
  EXPECT_EQ(s.tipColour[2], tip2);
}

TEST(BridgeOnGpu, FreeMemoryComesFromTheDeviceUnlessOverridden) {
  if (crn::gpu::DeviceCount() == 0) {
    const crn::GpuMemory m = crn::FreeGpuBytes();
    EXPECT_EQ(m.name, "CPU (no CUDA card)");
    GTEST_SKIP() << "no CUDA device";
  }
  const crn::GpuMemory m = crn::FreeGpuBytes();
  EXPECT_NE(m.name, "CPU (no CUDA card)");
  EXPECT_FALSE(m.name.empty());
  EXPECT_GT(m.freeBytes, 0.0);
  EXPECT_LE(m.freeBytes, double(crn::gpu::FreeDeviceMemory()) * 1.1);
  setenv("CRINEL_GPU_MB", "3", 1);
  const crn::GpuMemory o = crn::FreeGpuBytes();
  unsetenv("CRINEL_GPU_MB");
  EXPECT_EQ(o.freeBytes, 3.0 * 1048576.0);
  EXPECT_EQ(o.name, m.name);
}

TEST(BridgeEngineVersion, AboveOneEightTwentyEightReadsHighlights) {
  const struct {
    int major, minor, build;
    bool reads;
  } cases[] = {{1, 8, 28, false}, {1, 8, 29, true}, {1, 9, 0, true}, {2, 0, 0, true},
               {1, 7, 99, false}, {0, 99, 99, false}};
  for (const auto& c : cases)
    EXPECT_EQ(crn::EngineReadsHighlights(c.major, c.minor, c.build), c.reads)
        << c.major << "." << c.minor << "." << c.build;
}

// The stand-in engine, loaded as the host loads it, renders the hair through the bridge.
TEST_F(Bridge, AnEngineLoadedFromItsFileRendersThroughTheBridge) {
  void* engine = dlopen(CRINEL_TEST_ENGINE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(engine, nullptr) << dlerror();
  auto render = reinterpret_cast<decltype(&LumoraRenderHair)>(dlsym(engine, "LumoraRenderHair"));
  ASSERT_NE(render, nullptr);
  // The engine declares 1.8.29: new enough for the split highlight arrays.
  crn::ResetEngineVersion();
  EXPECT_TRUE(crn::EngineNewEnough());
  pb->SetValue(crn::hp::hiOn, 0, 1);

  LumoraFrameReport r{};
  std::vector<float> rgb(64 * 64 * 3, 0.f);
  ASSERT_EQ(render(CRINEL_MODULE_FILE, node, 0, 1, 64, 64, rgb.data(), &r), 1);
  EXPECT_EQ(r.bridgeVersion, 4);
  EXPECT_EQ(r.isHair, 1);
  ASSERT_EQ(r.gotFrame, 1);
  EXPECT_EQ(std::uint64_t(r.strands), hair->RenderStrandCount(0));
  StrandSet built;
  hair->BuildRenderStrands(0, 1.0, built);
  EXPECT_EQ(r.pointsPerStrand, built.pointsPerStrand);
  EXPECT_EQ(r.materialSize, 180);
  EXPECT_EQ(r.childrenSize, 32);
  EXPECT_EQ(r.childCount, 1);
  EXPECT_EQ(r.hasHighlights, 1);
  EXPECT_EQ(r.hasWetness, 0);
  EXPECT_EQ(r.hasEmission, 0);
  EXPECT_GT(r.widthSum, 0.0);
  EXPECT_GT(r.coveredPixels, 64 * 64 / 4);  // a ball of hair fills much of the frame

  host::INode* ball = ip().GetINodeByName("ball");
  ASSERT_EQ(render(CRINEL_MODULE_FILE, ball, 0, 1, 0, 0, nullptr, &r), 1);
  EXPECT_EQ(r.isHair, 0);
  EXPECT_EQ(r.gotFrame, 0);
  crn::ResetEngineVersion();
  dlclose(engine);
}

}  // namespace
