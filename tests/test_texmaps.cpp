// Texture maps, map baking and the map entries of scene files.
#include <gtest/gtest.h>

#include "scene_fixtures.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair/map_bake.h"
#include "host/interface.h"
#include "host/texmap.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene/scene_json.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

using namespace host;
using namespace crn;
namespace fs = std::filesystem;

namespace {

// A shade context at a chosen UVW and position.
struct AtUV : ShadeContext {
  Point3 uvw, p;
  AtUV(float u, float v, Point3 pos = {}) : uvw(u, v, 0), p(pos) {}
  Point3 UVW(int) const override { return uvw; }
  Point3 P() const override { return p; }
};

void ExpectColour(const Color& got, const Color& want, const std::string& what) {
  EXPECT_NEAR(got.r, want.r, 1e-6) << what;
  EXPECT_NEAR(got.g, want.g, 1e-6) << what;
  EXPECT_NEAR(got.b, want.b, 1e-6) << what;
}

std::vector<std::uint8_t> EncodePng(int w, int h, const std::vector<std::uint8_t>& rgb) {
  int len = 0;
  unsigned char* png = stbi_write_png_to_mem(rgb.data(), w * 3, w, h, 3, &len);
  std::vector<std::uint8_t> bytes(png, png + len);
  STBIW_FREE(png);
  return bytes;
}

// 2 x 2 image, rows top to bottom: red, green / blue, grey 128.
std::vector<std::uint8_t> QuadPng() {
  return EncodePng(2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 128, 128, 128});
}

using fixtures::TempDir;

}  // namespace

TEST(BitmapTex, SamplesBilinearlyAndWrapsAtTheBorder) {
  BitmapTex map;
  std::string err;
  ASSERT_TRUE(map.SetImage("quad.png", QuadPng(), err)) << err;
  EXPECT_EQ(map.Width(), 2);
  EXPECT_EQ(map.Height(), 2);
  const Color red(1, 0, 0), green(0, 1, 0), blue(0, 0, 1), grey(128 / 255.f, 128 / 255.f, 128 / 255.f);
  auto mix = [](Color a, Color b) { return Color((a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2); };
  struct Case {
    float u, v;
    Color want;
  };
  const Case cases[] = {
      // Texel centres; v = 0 is the bottom row; 8-bit values / 255 without linearisation.
      {0.25f, 0.75f, red}, {0.75f, 0.75f, green}, {0.25f, 0.25f, blue}, {0.75f, 0.25f, grey},
      // Between two centres.
      {0.5f, 0.25f, mix(blue, grey)},
      {0.25f, 0.5f, mix(blue, red)},
      // The border blends with the opposite edge, and coordinates repeat.
      {0.0f, 0.25f, mix(blue, grey)},
      {0.25f, 1.0f, mix(blue, red)},
      {1.25f, -0.25f, red},
      {-0.75f, 2.25f, blue},
  };
  for (const Case& c : cases) {
    AtUV sc(c.u, c.v);
    ExpectColour(map.EvalColor(sc), c.want, "u " + std::to_string(c.u) + " v " + std::to_string(c.v));
  }
  AtUV corner(0, 0);  // the four texels meet
  const Color all = map.EvalColor(corner);
  EXPECT_NEAR(all.r, (1 + 128 / 255.f) / 4, 1e-6);
  EXPECT_NEAR(map.EvalMono(corner), (all.r + all.g + all.b) / 3, 1e-6);
}

TEST(BitmapTex, BadImagesFailWithAMessageAndKeepTheMap) {
  TempDir dir("crinel_bitmap_");
  BitmapTex map;
  std::string err;
  ASSERT_TRUE(map.SetImage("quad.png", QuadPng(), err));

  std::vector<std::uint8_t> huge = EncodePng(1, 1, {1, 2, 3});
  // Claim 16000 x 8000 pixels in the header; the decoder must not try to allocate them.
  const std::uint8_t dims[8] = {0, 0, 0x3E, 0x80, 0, 0, 0x1F, 0x40};
  std::copy(dims, dims + 8, huge.begin() + 16);
  // The header chunk's checksum (CRC-32 of its type and data) must match the new size.
  std::uint32_t crc = 0xFFFFFFFFu;
  for (int i = 12; i < 29; ++i) {
    crc ^= huge[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc = ~crc;
  for (int k = 0; k < 4; ++k) huge[29 + k] = std::uint8_t(crc >> (24 - 8 * k));
  std::vector<std::uint8_t> cut = QuadPng();
  cut.resize(cut.size() / 2);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* mention;
  };
  const Case cases[] = {
      {"empty", {}, "empty"},
      {"text", {'h', 'e', 'l', 'l', 'o'}, "PNG or JPEG"},
      {"cut", cut, "decoded"},
      {"huge", huge, "larger than maps accept"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    err.clear();
    EXPECT_FALSE(map.SetImage(c.name, c.bytes, err));
    EXPECT_NE(err.find(c.mention), std::string::npos) << err;
    EXPECT_EQ(map.FileName(), "quad.png");
    EXPECT_EQ(map.Width(), 2);
  }
  EXPECT_FALSE(map.LoadFile((dir.Path() / "absent.png").string(), err));
  EXPECT_NE(err.find("cannot open"), std::string::npos);
  ASSERT_TRUE(map.LoadFile(dir.Write("quad.png", QuadPng()), err)) << err;
  EXPECT_EQ(map.GetObjectName(), "Bitmap (quad.png)");
}

TEST(ProceduralMaps, CheckerGradientConstantAndNoise) {
  const Color a(0.1f, 0.2f, 0.3f), b(0.9f, 0.8f, 0.7f);
  CheckerTex checker;
  checker.color1 = a;
  checker.color2 = b;
  checker.tilesU = 4;
  checker.tilesV = 2;
  GradientTex gradU, gradV;
  gradU.color1 = gradV.color1 = a;
  gradU.color2 = gradV.color2 = b;
  gradV.direction = 1;
  ConstantTex constant;
  constant.color = b;
  auto lerp = [&](float t) {
    return Color(a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t);
  };
  struct Case {
    Texmap* map;
    float u, v;
    Color want;
  };
  const Case cases[] = {
      {&checker, 0.1f, 0.1f, a},   {&checker, 0.3f, 0.1f, b},  {&checker, 0.3f, 0.6f, a},
      {&checker, 0.1f, 0.6f, b},   {&checker, -0.1f, 0.1f, b},  // squares continue below 0
      {&gradU, 0.25f, 0.9f, lerp(0.25f)}, {&gradU, 1.5f, 0.0f, lerp(0.5f)},
      {&gradV, 0.9f, 0.75f, lerp(0.75f)}, {&constant, 0.3f, 0.4f, b},
  };
  for (const Case& c : cases) {
    AtUV sc(c.u, c.v);
    ExpectColour(c.map->EvalColor(sc), c.want,
                 c.map->GetObjectName() + " at " + std::to_string(c.u) + "," + std::to_string(c.v));
  }

  // Noise follows P (not UVW), mixes within the two colours and zooms with its scale.
  NoiseTex noise;
  noise.color1 = a;
  noise.color2 = b;
  noise.scale = 5;
  float lo = 1, hi = 0;
  for (int i = 0; i < 200; ++i) {
    const Point3 p(i * 0.37f, i * 0.11f, 3.3f);
    AtUV sc(0.5f, 0.5f, p);
    const Color c = noise.EvalColor(sc);
    const float t = (c.r - a.r) / (b.r - a.r);
    ExpectColour(c, lerp(0.5f + 0.5f * TexNoise3(p / 5)), "noise");
    lo = std::min(lo, t);
    hi = std::max(hi, t);
  }
  EXPECT_GE(lo, 0.f);
  EXPECT_LE(hi, 1.f);
  EXPECT_GT(hi - lo, 0.3f);  // it does vary
  // Continuous: a tiny step changes little.
  EXPECT_NEAR(TexNoise3({1.3f, 2.7f, 0.5f}), TexNoise3({1.3001f, 2.7f, 0.5f}), 1e-3);
}

namespace {

// Reports where it is evaluated: r = u, g = v - 0.5, b = P.y / 100; mono = u - 0.25.
// Update narrows the validity to a window round the time.
struct ProbeMap : Texmap {
  TimeValue updatedAt = -1;
  void Update(TimeValue t, Interval& valid) override {
    updatedAt = t;
    valid &= Interval(t - 5, t + 5);
  }
  Color EvalColor(ShadeContext& sc) override {
    return Color(sc.UVW().x, sc.UVW().y - 0.5f, sc.P().y / 100.f);
  }
  float EvalMono(ShadeContext& sc) override {
    const float u = sc.UVW().x;
    return u < 0.001f ? std::nanf("") : u - 0.25f;
  }
};

}  // namespace

TEST(BakeMap, EvaluatesCellCentresAndStoresNonNegativeValues) {
  ProbeMap probe;
  Interval valid = FOREVER;
  auto colour = BakeMap(&probe, 320, true, &valid);
  ASSERT_TRUE(colour);
  EXPECT_EQ(probe.updatedAt, 320);
  EXPECT_EQ(valid, Interval(315, 325));
  constexpr int N = MapGrid::kSize;
  ASSERT_EQ(colour->channels, 3);
  ASSERT_EQ(colour->cells.size(), std::size_t(N) * N * 3);
  for (int i : {0, 1, 511, 512, 1023})
    for (int j : {0, 700, 1023}) {
      const float* c = &colour->cells[(std::size_t(i) * N + j) * 3];
      const float u = (j + 0.5f) / N, v = (i + 0.5f) / N;
      EXPECT_EQ(c[0], u) << i << "," << j;
      EXPECT_EQ(c[1], std::max(0.f, v - 0.5f)) << i << "," << j;
      EXPECT_NEAR(c[2], v, 1e-6) << i << "," << j;  // P = UVW * 100
    }

  auto mono = BakeMap(&probe, 0, false, nullptr);
  ASSERT_TRUE(mono);
  ASSERT_EQ(mono->channels, 1);
  ASSERT_EQ(mono->cells.size(), std::size_t(N) * N);
  for (int j : {0, 100, 255, 256, 900}) {
    const float u = (j + 0.5f) / N;
    const float want = u < 0.001f ? 0.f : std::max(0.f, u - 0.25f);  // NaN stored as 0
    EXPECT_EQ(mono->cells[std::size_t(7) * N + j], want) << j;
  }
  EXPECT_EQ(BakeMap(nullptr, 0, false, nullptr), nullptr);
}

TEST(BakeMap, ParallelBakeMatchesDirectEvaluation) {
  NoiseTex noise;
  noise.scale = 3;
  auto grid = BakeMap(&noise, 0, false, nullptr);
  constexpr int N = MapGrid::kSize;
  for (int i = 0; i < N; i += 37)
    for (int j = 0; j < N; j += 41) {
      HairBakeSC sc(Point3((j + 0.5f) / N, (i + 0.5f) / N, 0), 0);
      EXPECT_EQ(grid->cells[std::size_t(i) * N + j], std::max(0.f, noise.EvalMono(sc)));
    }
}

// --- scene files

namespace {

class MapScenes : public ::testing::Test {
 protected:
  void TearDown() override { ip().ResetScene(); }
  static Interface& ip() { return *GetCOREInterface(); }
  scene::SceneLoad Load(const std::string& path) { return scene::LoadAnyScene(path, ip()); }
  std::string Scene(const std::string& name, const std::string& params) {
    return dir_.Write(name, R"({"nodes": [{"name": "hair", "object": "Crinel", "params": )" +
                                params + "}]}");
  }
  IParamBlock2* Block() {
    return static_cast<HairObject*>(ip().GetINodeByName("hair")->GetObjectRef())->pblock2;
  }

  scene::ModuleSession module_;
  TempDir dir_{"crinel_map_scene_"};
};

}  // namespace

TEST_F(MapScenes, EachMapEntryLoadsAndSurvivesSaving) {
  fs::create_directories(dir_.Path() / "img");
  dir_.Write("img/density.png", QuadPng());
  const auto r = Load(Scene("maps.json", R"({
      "densityMap": {"map": "bitmap", "file": "img/density.png"},
      "lengthMap": {"map": "checker", "color1": [0, 0, 0], "color2": [1, 1, 1], "tiles": [4, 2]},
      "widthMap": {"map": "noise", "color1": [0.2, 0.2, 0.2], "color2": [0.6, 0.6, 0.6], "scale": 7},
      "colorMap": {"map": "gradient", "color1": [1, 0, 0], "color2": [0, 0, 1], "direction": "v"}})"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ip().Texmaps().size(), 4u);
  auto* bitmap = dynamic_cast<BitmapTex*>(Block()->GetTexmap(hp::densityMap));
  auto* checker = dynamic_cast<CheckerTex*>(Block()->GetTexmap(hp::lengthMap));
  auto* noise = dynamic_cast<NoiseTex*>(Block()->GetTexmap(hp::widthMap));
  auto* gradient = dynamic_cast<GradientTex*>(Block()->GetTexmap(hp::colorMap));
  ASSERT_TRUE(bitmap && checker && noise && gradient);
  EXPECT_EQ(bitmap->Width(), 2);
  EXPECT_EQ(checker->tilesU, 4);
  EXPECT_EQ(checker->tilesV, 2);
  EXPECT_EQ(noise->scale, 7);
  EXPECT_EQ(gradient->direction, 1);
  EXPECT_EQ(gradient->color2, Color(0, 0, 1));

  // Saved scenes carry the maps, the image included: the bitmap loads after its file is gone.
  const auto bytes = scene::SaveSceneBytes(ip());
  fs::remove(dir_.Path() / "img" / "density.png");
  std::string err;
  ASSERT_TRUE(scene::LoadSceneBytes(bytes, "saved.crn", ip(), err)) << err;
  EXPECT_EQ(scene::SaveSceneBytes(ip()), bytes);
  auto* reloaded = dynamic_cast<BitmapTex*>(Block()->GetTexmap(hp::densityMap));
  ASSERT_NE(reloaded, nullptr);
  AtUV sc(0.25f, 0.75f);
  ExpectColour(reloaded->EvalColor(sc), Color(1, 0, 0), "reloaded bitmap");
  EXPECT_EQ(ip().Texmaps().size(), 4u);

  // A constant map, and null for no map.
  ASSERT_TRUE(Load(Scene("const.json", R"({"densityMap": {"map": "constant", "color": [0.5, 0.25, 1]},
                                           "lengthMap": null})")).ok);
  auto* constant = dynamic_cast<ConstantTex*>(Block()->GetTexmap(hp::densityMap));
  ASSERT_NE(constant, nullptr);
  EXPECT_EQ(constant->color, Color(0.5f, 0.25f, 1));
  EXPECT_EQ(Block()->GetTexmap(hp::lengthMap), nullptr);
}

TEST_F(MapScenes, BadMapEntriesNameFileNodeAndParameter) {
  dir_.Write("junk.png", std::string("not an image"));
  struct Case {
    const char* name;
    const char* params;
    std::vector<const char*> mentions;
  };
  const Case cases[] = {
      {"missing_image", R"({"densityMap": {"map": "bitmap", "file": "nowhere.png"}})",
       {"nowhere.png", "cannot open"}},
      {"undecodable", R"({"densityMap": {"map": "bitmap", "file": "junk.png"}})",
       {"junk.png", "PNG or JPEG"}},
      {"no_file", R"({"densityMap": {"map": "bitmap"}})", {"\"file\""}},
      {"unknown_type", R"({"densityMap": {"map": "marble"}})", {"\"marble\""}},
      {"unknown_key", R"({"densityMap": {"map": "checker", "size": 3}})", {"\"size\""}},
      {"bad_tiles", R"({"densityMap": {"map": "checker", "tiles": [0, 2]}})", {"tiles"}},
      {"bad_scale", R"({"densityMap": {"map": "noise", "scale": -1}})", {"scale"}},
      {"bad_direction", R"({"densityMap": {"map": "gradient", "direction": "w"}})", {"direction"}},
      {"bad_colour", R"({"densityMap": {"map": "constant", "color": [1, 2]}})", {"\"color\""}},
      {"not_a_map", R"({"densityMap": 3})", {"a map"}},
      {"map_for_float", R"({"length": {"map": "constant", "color": [1, 1, 1]}})",
       {"\"length\"", "keys"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Scene(std::string(c.name) + ".json", c.params);
    const auto r = Load(path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind(path, 0), 0u) << r.error;
    EXPECT_NE(r.error.find("node \"hair\""), std::string::npos) << r.error;
    if (std::string(c.name) != "map_for_float") {
      EXPECT_NE(r.error.find("parameter \"densityMap\""), std::string::npos) << r.error;
    }
    for (const char* m : c.mentions) EXPECT_NE(r.error.find(m), std::string::npos) << r.error;
    EXPECT_TRUE(ip().Nodes().empty());
    EXPECT_TRUE(ip().Texmaps().empty());
  }
}
