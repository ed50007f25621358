// The EXR writer: its byte layout, half conversion and file naming, and real OpenEXR readers
// opening what it writes (channels, types and values).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "render/exr_writer.h"
#include "render/render_context.h"
#include "render_fixtures.h"
#include "scene_fixtures.h"

#if defined(CRINEL_HAVE_OPENEXR)
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#endif

namespace {

using crn::V3;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

template <class T>
T At(const std::string& bytes, std::size_t offset) {
  T v;
  std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

TEST(Exr, HalfConversion) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float value;
    std::uint16_t half;
  };
  const std::vector<Case> cases = {
      {0.f, 0x0000}, {-0.f, 0x8000}, {1.f, 0x3C00}, {-2.f, 0xC000}, {0.1f, 0x2E66},
      {65504.f, 0x7BFF}, {65520.f, 0x7C00} /* the tie rounds away, to infinity */,
      {65536.f, 0x7C00}, {-1e9f, 0xFC00}, {inf, 0x7C00}, {-inf, 0xFC00},
      {std::numeric_limits<float>::quiet_NaN(), 0x7E00},
      {std::ldexp(1.f, -24), 0x0001}, {std::ldexp(1.f, -25), 0x0001} /* rounds up */,
      {std::ldexp(1.f, -26), 0x0000}, {-std::ldexp(1.f, -26), 0x8000},
      {std::ldexp(1.f, -14), 0x0400}, {std::ldexp(1023.f, -24), 0x03FF},
      {1.f + std::ldexp(1.f, -11), 0x3C01} /* half way rounds away */,
  };
  for (const Case& c : cases) EXPECT_EQ(crn::FloatToHalf(c.value), c.half) << c.value;
}

TEST(Exr, OnePixelFileLayout) {
  fixtures::TempDir dir("crinel_exr1");
  const std::string path = (dir.Path() / "one.exr").string();
  const std::vector<hrt::F4> px = {{0.5f, 0.25f, 2.f, 1.f}};
  std::string error;
  ASSERT_TRUE(crn::WriteExr(path, 1, 1,
                            {{"G", true, &px[0].y, 4}, {"A", false, &px[0].w, 4}, {"B", true, &px[0].z, 4}},
                            error))
      << error;
  const std::string b = Slurp(path);
  EXPECT_EQ(At<std::int32_t>(b, 0), 20000630);
  EXPECT_EQ(At<std::int32_t>(b, 4), 2);
  // Channels sorted: A (float), B, G (half).
  const std::size_t list = b.find("chlist") + 7 + 4;
  EXPECT_EQ(b.substr(list, 2), std::string("A\0", 2));
  EXPECT_EQ(At<std::int32_t>(b, list + 2), 2);
  EXPECT_EQ(b.substr(list + 18, 2), std::string("B\0", 2));
  EXPECT_EQ(At<std::int32_t>(b, list + 20), 1);
  // One offset entry after the header, pointing at the one scanline block.
  const std::size_t header = b.find("screenWindowCenter") + 19 + 4 + 4 + 8 + 1;
  const auto offset = At<std::uint64_t>(b, header);
  EXPECT_EQ(offset, header + 8);
  EXPECT_EQ(At<std::int32_t>(b, offset), 0);
  EXPECT_EQ(At<std::int32_t>(b, offset + 4), 4 + 2 + 2);
  EXPECT_EQ(b.size(), offset + 8 + 8);
  EXPECT_EQ(At<float>(b, offset + 8), 1.f);
  EXPECT_EQ(At<std::uint16_t>(b, offset + 12), crn::FloatToHalf(2.f));
  EXPECT_EQ(At<std::uint16_t>(b, offset + 14), crn::FloatToHalf(0.25f));
}

TEST(Exr, LayerFileNames) {
  struct Case {
    const char* dialog;
    const char* output;
    int frame;
    const char* path;
  };
  const std::vector<Case> cases = {
      {"C:\\out\\pass.exr", "", 3, "C:\\out\\pass_0003.exr"},
      {"/renders/v1.2/pass", "", 3, "/renders/v1.2/pass_0003.exr"},
      {"", "shot.png", 12, "shot_layers_0012.exr"},
      {"", "/renders/v1.2/shot", 12, "/renders/v1.2/shot_layers_0012.exr"},
      {"", "", 12, ""},
      {"layers.exr", "shot.png", 12345, "layers_12345.exr"},
  };
  for (const Case& c : cases) EXPECT_EQ(crn::LayersFilePath(c.dialog, c.output, c.frame), c.path) << c.dialog;
}

TEST(Exr, AFailedWriteKeepsTheOldFile) {
  fixtures::TempDir dir("crinel_exr2");
  const std::vector<hrt::F4> px(4);
  std::string error;
  const std::string missing = (dir.Path() / "no" / "x.exr").string();
  EXPECT_FALSE(crn::WriteRgbaExr(missing, 2, 2, px, error));
  EXPECT_EQ(error, "cannot write " + missing);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

#if defined(CRINEL_HAVE_OPENEXR)

// A small render with hair and a mesh written as the multi-layer file, read back by OpenEXR.
TEST(Exr, OpenExrReadsEveryPassWithItsTypeAndValues) {
  crn::GatheredScene g;
  std::vector<V3> roots;
  for (int i = 0; i < 25; ++i) roots.push_back(V3(float(i % 5) * 0.3f - 0.6f, float(i / 5) * 0.3f - 0.6f, 0));
  g.hair.push_back(fixtures::StraightStrands(roots, 3, 1, 0.35f));
  for (const hrt::TriRec& t : fixtures::Square(2, -0.5f, V3(0.5f, 0.5f, 0.5f), 5555)) {
    for (const V3& p : {t.p0, t.p1, t.p2}) g.triPositions.push_back(p);
    g.triColours.push_back(t.colour);
    g.triObjectIds.push_back(t.objectId);
  }
  g.lights.push_back(fixtures::Directional(V3(0, 0.2f, -1), V3(1, 1, 1)));
  crn::RenderContext ctx(crn::RenderDevice::kCpu);
  const int w = 12, h = 10;
  ASSERT_TRUE(ctx.Upload(g) && ctx.AllocateImage(w, h));
  ctx.SetCamera(fixtures::LookDown(4, 1.0f));
  ASSERT_TRUE(ctx.RunPasses(3));
  std::vector<hrt::F4> beauty;
  ASSERT_TRUE(ctx.ReadBackFinal(true, 1, beauty));
  fixtures::TempDir dir("crinel_exr3");
  const std::string path = (dir.Path() / "layers.exr").string();
  std::string error;
  ASSERT_TRUE(crn::WriteRenderPasses(ctx, beauty, w, h, path, error)) << error;

  Imf::InputFile file(path.c_str());
  const Imf::ChannelList& channels = file.header().channels();
  std::vector<std::string> names;
  for (auto it = channels.begin(); it != channels.end(); ++it) {
    names.push_back(it.name());
    const std::string n = it.name();
    const bool full = n == "ID.object" || n == "ID.strand" || n.rfind("N.", 0) == 0 || n.rfind("P.", 0) == 0 || n == "Z";
    EXPECT_EQ(it.channel().type, full ? Imf::FLOAT : Imf::HALF) << n;
  }
  EXPECT_EQ(names.size(), 4u + 9u * 3u + 4u + 4u + 4u + 3u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  for (const char* want : {"R", "A", "diffuse.R", "specular_R.G", "transmission_TT.B", "secondary_TRT.R",
                           "direct.G", "indirect.B", "shadow.R", "emission.G", "albedo.B", "hair.V",
                           "mask.hair", "mask.mesh", "V.X"})
    EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
  const Imath::Box2i dw = file.header().dataWindow();
  EXPECT_EQ(dw.max.x, w - 1);
  EXPECT_EQ(dw.max.y, h - 1);

  const std::size_t pixels = std::size_t(w * h);
  std::vector<float> r(pixels), a(pixels), id(pixels), z(pixels), strand(pixels);
  Imf::FrameBuffer fb;
  auto slice = [&](const char* name, std::vector<float>& v) {
    fb.insert(name, Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(v.data()), sizeof(float), sizeof(float) * w));
  };
  slice("R", r);
  slice("A", a);
  slice("ID.object", id);
  slice("Z", z);
  slice("ID.strand", strand);
  file.setFrameBuffer(fb);
  file.readPixels(dw.min.y, dw.max.y);

  std::vector<hrt::F4> masks, nd, pid;
  ASSERT_TRUE(ctx.ReadBackLayer(hrt::kLayerMasks, masks));
  ASSERT_TRUE(ctx.ReadBackLayer(hrt::kLayerNormalDepth, nd));
  ASSERT_TRUE(ctx.ReadBackLayer(hrt::kLayerPositionId, pid));
  int hair = 0, mesh = 0;
  for (std::size_t i = 0; i < pixels; ++i) {
    EXPECT_NEAR(r[i], beauty[i].x, std::fabs(beauty[i].x) * 1e-3f + 1e-6f);
    EXPECT_NEAR(a[i], masks[i].z, 1e-3f) << "alpha is the coverage";
    EXPECT_EQ(z[i], nd[i].w);
    EXPECT_EQ(id[i], pid[i].w);
    EXPECT_EQ(strand[i], masks[i].w);
    hair += id[i] == 1.f;
    mesh += id[i] == 5555.f;
  }
  EXPECT_GT(hair, 0);
  EXPECT_GT(mesh, 0);
}

#endif

}  // namespace
