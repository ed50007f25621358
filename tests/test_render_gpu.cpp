// The path tracer and the denoiser on a CUDA device against their CPU twins. Suites ending in
// OnGpu need a device and skip without one (scripts/gpu-check.sh runs them on a GPU).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "host/interface.h"
#include "render/hair_renderer.h"
#include "render/render_context.h"
#include "render_fixtures.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene_fixtures.h"

namespace {

using crn::V3;

crn::GatheredScene TestScene() {
  crn::GatheredScene g;
  std::vector<V3> roots;
  for (int i = 0; i < 900; ++i) roots.push_back(V3(float(i % 30) * 0.05f - 0.75f, float(i / 30) * 0.05f - 0.75f, 0));
  g.hair.push_back(fixtures::StraightStrands(roots, 6, 0.8f, 0.02f));
  g.hair[0].material.tipFade = 0.5f;
  for (const hrt::TriRec& t : fixtures::Square(2, 0, V3(0.5f, 0.45f, 0.4f), 2000)) {
    for (const V3& p : {t.p0, t.p1, t.p2}) g.triPositions.push_back(p);
    g.triColours.push_back(t.colour);
    g.triObjectIds.push_back(t.objectId);
  }
  g.background = V3(0.1f, 0.1f, 0.12f);
  g.environment = V3(0.2f, 0.2f, 0.25f);
  g.lights.push_back(fixtures::Directional(V3(-0.4f, 0.3f, -1), V3(1, 0.95f, 0.9f)));
  hrt::LightRec spot{};
  spot.type = hrt::kSpotLight;
  spot.position = V3(0, -2, 3);
  spot.direction = crn::UnitOr(V3(0, 2, -3), V3());
  spot.colour = V3(0.5f, 0.5f, 0.6f);
  spot.cosHotspot = 0.95f;
  spot.cosFalloff = 0.85f;
  spot.castShadows = 1;
  g.lights.push_back(spot);
  return g;
}

class RenderOnGpu : public ::testing::Test {
 protected:
  void SetUp() override {
    if (crn::gpu::DeviceCount() <= 0) GTEST_SKIP() << "no CUDA device";
  }
  // Renders the test scene on a context; false with its error.
  static bool Render(crn::RenderContext& ctx, int passes) {
    if (!ctx.Upload(TestScene()) || !ctx.AllocateImage(kW, kH)) return false;
    ctx.SetCamera(crn::MakeCamera(V3(1, 0, 0), V3(0, 0.8f, 0.6f), V3(0, -0.6f, 0.8f), V3(0, -2.4f, 3.2f), 0.9f, 0));
    return ctx.RunPasses(passes);
  }
  // Images agree when almost every pixel is within a small relative tolerance (a path may
  // now and then branch differently where library functions differ by an ulp).
  static void ExpectClose(const std::vector<hrt::F4>& a, const std::vector<hrt::F4>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size());
    std::size_t off = 0;
    double sumA = 0, sumDiff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const float d = std::max({std::fabs(a[i].x - b[i].x), std::fabs(a[i].y - b[i].y), std::fabs(a[i].z - b[i].z)});
      off += d > 1e-3f * (1.f + std::fabs(a[i].x));
      sumA += std::fabs(a[i].x) + std::fabs(a[i].y) + std::fabs(a[i].z);
      sumDiff += d;
    }
    EXPECT_LT(double(off), 0.01 * double(a.size())) << what;
    EXPECT_LT(sumDiff, 1e-3 * sumA) << what;
  }
  static constexpr int kW = 96, kH = 64;
};

TEST_F(RenderOnGpu, PassesDenoiserAndLayersMatchTheCpuTwin) {
  crn::RenderContext cpu(crn::RenderDevice::kCpu), gpu(crn::RenderDevice::kCuda);
  ASSERT_TRUE(Render(cpu, 8)) << cpu.Error();
  ASSERT_TRUE(Render(gpu, 8)) << gpu.Error();
  EXPECT_EQ(gpu.SegmentCount(), cpu.SegmentCount());
  for (bool denoise : {false, true}) {
    std::vector<hrt::F4> a, b;
    ASSERT_TRUE(cpu.ReadBackFinal(denoise, 1, a));
    ASSERT_TRUE(gpu.ReadBackFinal(denoise, 1, b)) << gpu.Error();
    ExpectClose(a, b, denoise ? "denoised" : "average");
  }
  for (int layer = 0; layer < hrt::kLayerCount; ++layer) {
    std::vector<hrt::F4> a, b;
    ASSERT_TRUE(cpu.ReadBackLayer(layer, a));
    ASSERT_TRUE(gpu.ReadBackLayer(layer, b)) << gpu.Error();
    ExpectClose(a, b, ("layer " + std::to_string(layer)).c_str());
  }
  std::vector<std::uint32_t> words;
  ASSERT_TRUE(gpu.DisplayImage(true, 1, words)) << gpu.Error();
  EXPECT_EQ(words.size(), std::size_t(kW * kH));
  EXPECT_GT(gpu.RaysTraced(), std::uint64_t(kW * kH * 8));
  std::vector<hrt::F4> layer;
  EXPECT_FALSE(gpu.ReadBackLayer(13, layer));
}

TEST_F(RenderOnGpu, TheRendererRunsBatchesOfFour) {
  crn::scene::ModuleSession module;
  fixtures::TempDir dir("crinel_gpu_renderer");
  const auto r = crn::scene::LoadAnyScene(
      dir.Write("s.json", R"({"nodes": [{"name": "floor", "mesh": {"primitive": "plane"}}]})"), *host::GetCOREInterface());
  ASSERT_TRUE(r.ok) << r.error;
  struct Reports : host::RendProgressCallback {
    void SetTitle(const std::string&) override {}
    int Progress(int done, int total) override {
      seen.push_back({done, total});
      return host::RENDPROG_CONTINUE;
    }
    std::vector<std::pair<int, int>> seen;
  };
  crn::ResetRenderSettings();
  crn::GetRenderSettings().saveLayers = 0;
  for (int passes : {1, 6}) {
    crn::GetRenderSettings().passes = passes;
    crn::HairRenderer renderer;
    host::ViewParams view;
    view.affineTM = host::Inverse(host::TransMatrix(host::Point3(0, 0, 50)));
    host::RendParams rp;
    renderer.Open(nullptr, nullptr, &view, rp, nullptr);
    host::Bitmap bm(32, 16);
    host::FrameRendParams frp;
    Reports reports;
    ASSERT_EQ(renderer.Render(0, &bm, frp, nullptr, &reports, &view), 1);
    const std::vector<std::pair<int, int>> want =
        passes == 1 ? std::vector<std::pair<int, int>>{{1, 1}} : std::vector<std::pair<int, int>>{{4, 6}, {6, 6}};
    EXPECT_EQ(reports.seen, want);
  }
  host::GetCOREInterface()->ResetScene();
  crn::ResetRenderSettings();
}

}  // namespace
