// The render context's images on the CPU twin: averaging, denoising, exposure, display words
// and the render pass layers.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "kernels/image_pixel.h"
#include "render/render_context.h"
#include "render_fixtures.h"

namespace {

using crn::V3;

bool SameBits(const hrt::F4& a, const hrt::F4& b) {
  return std::bit_cast<std::uint32_t>(a.x) == std::bit_cast<std::uint32_t>(b.x) &&
         std::bit_cast<std::uint32_t>(a.y) == std::bit_cast<std::uint32_t>(b.y) &&
         std::bit_cast<std::uint32_t>(a.z) == std::bit_cast<std::uint32_t>(b.z) &&
         std::bit_cast<std::uint32_t>(a.w) == std::bit_cast<std::uint32_t>(b.w);
}

// Strands over a lit floor, seen from above, with background showing at the edges.
class RenderImage : public ::testing::Test {
 protected:
  void SetUp() override {
    crn::GatheredScene g;
    std::vector<V3> roots;
    for (int i = 0; i < 400; ++i) roots.push_back(V3(float(i % 20) * 0.1f - 1, float(i / 20) * 0.1f - 1, 0));
    g.hair.push_back(fixtures::StraightStrands(roots, 4, 0.6f, 0.03f));
    for (const hrt::TriRec& t : fixtures::Square(1.2f, 0, V3(0.6f, 0.5f, 0.4f))) {
      for (const V3& p : {t.p0, t.p1, t.p2}) g.triPositions.push_back(p);
      g.triColours.push_back(t.colour);
    }
    g.background = V3(0.1f, 0.2f, 0.3f);
    g.environment = V3(0.3f, 0.3f, 0.3f);
    g.lights.push_back(fixtures::Directional(V3(-0.3f, 0.2f, -1), V3(1, 1, 1)));
    ASSERT_TRUE(ctx.Upload(g)) << ctx.Error();
    ASSERT_TRUE(ctx.AllocateImage(kW, kH)) << ctx.Error();
    ctx.SetCamera(fixtures::LookDown(6, 0.6f));
  }
  static constexpr int kW = 48, kH = 32;
  crn::RenderContext ctx{crn::RenderDevice::kCpu};
};

TEST_F(RenderImage, OnePassDenoisesToTheAverageAndExposureOneChangesNothing) {
  ASSERT_TRUE(ctx.RunPasses(1));
  std::vector<hrt::F4> avg, den, exp1;
  ASSERT_TRUE(ctx.ReadBackFinal(false, 1, avg));
  ASSERT_TRUE(ctx.ReadBackFinal(true, 1, den));
  ASSERT_EQ(avg.size(), std::size_t(kW * kH));
  for (std::size_t i = 0; i < avg.size(); ++i) ASSERT_TRUE(SameBits(avg[i], den[i])) << i;
  ASSERT_TRUE(ctx.RunPasses(3));
  ASSERT_TRUE(ctx.ReadBackFinal(true, 1, den));
  ASSERT_TRUE(ctx.ReadBackFinal(true, 1, exp1));
  std::vector<hrt::F4> doubled;
  ASSERT_TRUE(ctx.ReadBackFinal(true, 2, doubled));
  for (std::size_t i = 0; i < den.size(); ++i) {
    ASSERT_TRUE(SameBits(den[i], exp1[i]));
    EXPECT_EQ(doubled[i].x, den[i].x * 2);
    EXPECT_EQ(doubled[i].w, den[i].w);
  }
}

TEST_F(RenderImage, BackgroundPixelsAreNotFilteredAndTheRestIsSmoother) {
  ASSERT_TRUE(ctx.RunPasses(4));
  std::vector<hrt::F4> avg, den, cov;
  ASSERT_TRUE(ctx.ReadBackFinal(false, 1, avg));
  ASSERT_TRUE(ctx.ReadBackFinal(true, 1, den));
  ASSERT_TRUE(ctx.ReadBackLayer(hrt::kLayerMasks, cov));
  int background = 0;
  for (std::size_t i = 0; i < avg.size(); ++i)
    if (cov[i].z == 0.f) {
      ++background;
      EXPECT_TRUE(SameBits(avg[i], den[i])) << i;
    }
  EXPECT_GT(background, 50);
  // Against a 64-pass reference, the denoised 4-pass image is closer than its average.
  crn::RenderContext& c = ctx;
  ASSERT_TRUE(c.RunPasses(60));
  std::vector<hrt::F4> ref;
  ASSERT_TRUE(c.ReadBackFinal(false, 1, ref));
  double errAvg = 0, errDen = 0;
  for (std::size_t i = 0; i < ref.size(); ++i) {
    errAvg += std::pow(double(avg[i].y - ref[i].y), 2);
    errDen += std::pow(double(den[i].y - ref[i].y), 2);
  }
  EXPECT_LT(errDen, errAvg);
}

TEST_F(RenderImage, LayersAreAveragedOverThePassesAndBoundedByTwelve) {
  std::vector<hrt::F4> layer;
  EXPECT_FALSE(ctx.ReadBackLayer(0, layer)) << "no passes yet";
  ASSERT_TRUE(ctx.RunPasses(2));
  EXPECT_FALSE(ctx.ReadBackLayer(13, layer));
  EXPECT_FALSE(ctx.ReadBackLayer(-1, layer));
  ASSERT_TRUE(ctx.ReadBackLayer(hrt::kLayerNormalDepth, layer));
  std::vector<hrt::F4> cov;
  ASSERT_TRUE(ctx.ReadBackLayer(hrt::kLayerMasks, cov));
  for (std::size_t i = 0; i < layer.size(); ++i)
    if (cov[i].z == 1.f && cov[i].y == 1.f) {
      // A floor pixel seen in both passes: the averaged normal is up, the depth the height.
      EXPECT_NEAR(layer[i].z, 1.f, 1e-6f);
      EXPECT_GT(layer[i].w, 5.9f);
      EXPECT_LT(layer[i].w, 6.3f);
    }
  // Display words are kToBGRA of the final image.
  std::vector<std::uint32_t> words;
  std::vector<hrt::F4> image;
  ASSERT_TRUE(ctx.DisplayImage(false, 1.5f, words));
  ASSERT_TRUE(ctx.ReadBackFinal(false, 1, image));
  for (std::size_t i = 0; i < words.size(); i += 97) EXPECT_EQ(words[i], hrt::BGRAPixel(image[i], 1.5f));
}

TEST(RenderContext, FailsWithoutAnImageAndOnCudaWithoutADevice) {
  crn::RenderContext cpu(crn::RenderDevice::kCpu);
  std::vector<hrt::F4> out;
  EXPECT_FALSE(cpu.RunPasses(1));
  EXPECT_FALSE(cpu.ReadBackFinal(false, 1, out));
  EXPECT_FALSE(cpu.AllocateImage(0, 5));
  if (crn::gpu::DeviceCount() > 0) GTEST_SKIP() << "a CUDA device is present";
  crn::RenderContext cuda(crn::RenderDevice::kCuda);
  EXPECT_FALSE(cuda.HasDevice());
  EXPECT_FALSE(cuda.Upload(crn::GatheredScene{}));
  EXPECT_EQ(cuda.Error(), "No CUDA device.");
  EXPECT_FALSE(cuda.AllocateImage(4, 4));
  EXPECT_EQ(cuda.Error(), "No CUDA device.");
}

}  // namespace
