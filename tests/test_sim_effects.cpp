// Water and fire: soaking, drying and the water's forces; the fire module's bridge, burning
// and its cache; particle systems and PRT files as water sources.
#include <gtest/gtest.h>
#include <zlib.h>

#include "sim_fixtures.h"

#include <cmath>
#include <cstring>
#include <filesystem>

#include "cli_runner.h"
#include "dynamics/fire.h"
#include "dynamics/sim_driver.h"
#include "dynamics/water.h"
#include "hair/hair_params.h"
#include "host/particles.h"
#include "host/plugin_loader.h"
#include "scene/prt_reader.h"

using namespace crn;
using fixtures::SimScene;

namespace {

// One water particle at p with velocity vel.
WaterGrid OneParticle(V3 p, V3 vel, float radius) {
  WaterGrid g;
  g.radius = radius;
  g.positions = {p};
  g.velocities = {vel};
  HashWater(g);
  return g;
}

// A straight guide of P points up +Z from the origin.
std::vector<V3> Guide(int P) {
  std::vector<V3> g;
  for (int k = 0; k < P; ++k) g.push_back(V3(0, 0, float(k)));
  return g;
}

// A PRT file of particles (float32 Position, optional float32 Velocity).
std::vector<std::uint8_t> PrtFile(const std::vector<host::Point3>& pos, const std::vector<host::Point3>* vel,
                                  std::int64_t count = -2) {
  std::vector<std::uint8_t> b = {0xC0, 'P', 'R', 'T', '\r', '\n', 0x1A, '\n'};
  auto put = [&](const void* p, std::size_t n) {
    b.insert(b.end(), static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + n);
  };
  const std::int32_t headerLength = 56, version = 1, reserved = 4, defLength = 44;
  const std::int32_t channels = vel ? 2 : 1;
  put(&headerLength, 4);
  char sig[32] = "Extensible Particle Format";
  put(sig, 32);
  put(&version, 4);
  const std::int64_t n = count == -2 ? std::int64_t(pos.size()) : count;
  put(&n, 8);
  put(&reserved, 4);
  put(&channels, 4);
  put(&defLength, 4);
  auto channel = [&](const char* name, std::int32_t offset) {
    char nm[32] = {};
    std::strncpy(nm, name, 31);
    const std::int32_t type = 4, arity = 3;  // float32 x 3
    put(nm, 32);
    put(&type, 4);
    put(&arity, 4);
    put(&offset, 4);
  };
  channel("Position", 0);
  if (vel) channel("Velocity", 12);
  std::vector<std::uint8_t> raw;
  for (std::size_t i = 0; i < pos.size(); ++i) {
    raw.insert(raw.end(), reinterpret_cast<const std::uint8_t*>(&pos[i]),
               reinterpret_cast<const std::uint8_t*>(&pos[i]) + 12);
    if (vel)
      raw.insert(raw.end(), reinterpret_cast<const std::uint8_t*>(&(*vel)[i]),
                 reinterpret_cast<const std::uint8_t*>(&(*vel)[i]) + 12);
  }
  uLongf len = compressBound(uLong(raw.size()));
  std::vector<std::uint8_t> z(len);
  compress(z.data(), &len, raw.data(), uLong(raw.size()));
  b.insert(b.end(), z.begin(), z.begin() + std::ptrdiff_t(len));
  return b;
}

}  // namespace

TEST(SimWater, SoaksFromTheDeepestContactWithTheRootAtHalfWeight) {
  const WaterSettings ws{1.2f, 0.6f, 0.5f, 20.f};
  struct Case {
    const char* name;
    V3 particle;
    float wetness;
  };
  // Density of one particle at distance 0: min(1 / 1.5, 1).
  const float d = 1.f / 1.5f;
  const std::vector<Case> cases = {
      {"touching point 3", V3(0, 0, 3), d * 0.5f},
      {"touching only the root", V3(0, 0, -0.9f), 0.5f * (0.19f * 0.19f / 1.5f) * 0.5f},
      {"touching nothing", V3(0, 0, 40), 0.f},
  };
  for (const Case& c : cases) {
    // Radius 1: the root-only particle is 0.9 below the root, weight (1 - 0.81)^2 = 0.0361.
    const WaterGrid g = OneParticle(c.particle, V3(0, 0, 0), 1.f);
    std::vector<V3> E;
    std::vector<float> wet;
    const std::vector<V3> x = Guide(5), v(5);
    AddWaterForces(g, ws, x, v, 5, 1.f / 30, E, wet);
    ASSERT_EQ(wet.size(), 1u);
    EXPECT_NEAR(wet[0], c.wetness, 1e-6f) << c.name;
  }
}

TEST(SimWater, AFullyWetGuideDriesInDryTime) {
  const WaterSettings ws{1.2f, 0.6f, 0.6f, 20.f};
  const WaterGrid dry;
  const std::vector<V3> x = Guide(3), v(3);
  std::vector<float> wet = {1.f};
  int frames = 0;
  for (; frames < 1000 && wet[0] > 0; ++frames) {
    std::vector<V3> E;
    AddWaterForces(dry, ws, x, v, 3, 1.f / 24, E, wet);
  }
  // 20 s at 24 frames per second; float steps may leave a last crumb for one more frame.
  EXPECT_GE(frames, 480);
  EXPECT_LE(frames, 481);
}

TEST(SimWater, TheCurrentLiftsAndDragsPointsFromTheThirdOn) {
  const WaterSettings ws{1.2f, 0.6f, 0.6f, 20.f};
  const WaterGrid g = OneParticle(V3(0, 0, 1.5f), V3(30, 0, 0), 2.f);
  std::vector<V3> E;
  std::vector<float> wet;
  const std::vector<V3> x = Guide(4), v(4);
  AddWaterForces(g, ws, x, v, 4, 1.f / 30, E, wet);
  EXPECT_EQ(E[0], V3(0, 0, 0));
  EXPECT_EQ(E[1], V3(0, 0, 0));
  for (int k : {2, 3}) {
    EXPECT_GT(E[std::size_t(k)].x, 0) << k;  // dragged along the current
    EXPECT_GT(E[std::size_t(k)].z, 0) << k;  // buoyancy
  }
}

TEST(SimFire, BurnAccumulatesAsOneMinusExponential) {
  const float x = 0.07f;
  std::vector<float> burn, glow;
  for (int k = 1; k <= 25; ++k) {
    AccumulateBurn({x, 0.f}, burn, glow);
    EXPECT_NEAR(burn[0], 1.f - std::exp(-k * x), 1e-5f) << k;
    EXPECT_EQ(burn[1], 0.f);
    EXPECT_EQ(glow[1], 0.f);
  }
  // Glow marks the front while the burn is below 0.95.
  burn = {0.5f};
  AccumulateBurn({x}, burn, glow);
  EXPECT_NEAR(glow[0], std::min(18.f * (1.f - std::exp(-x)) * 0.5f, 1.f), 1e-5f);
  burn = {0.96f};
  AccumulateBurn({x}, burn, glow);
  EXPECT_EQ(glow[0], 0.f);
}

TEST(SimFire, CacheKeyUsesTheSensitivityInThousandths) {
  const std::vector<host::INode*> fires = {reinterpret_cast<host::INode*>(0x1000)};
  EXPECT_EQ(BurnKey(100, fires, 1.0f), BurnKey(100, fires, 1.0004f));
  EXPECT_NE(BurnKey(100, fires, 1.0f), BurnKey(100, fires, 1.001f));
  EXPECT_NE(BurnKey(100, fires, 1.0f), BurnKey(101, fires, 1.0f));
  EXPECT_NE(BurnKey(100, fires, 1.0f), BurnKey(100, {}, 1.0f));
}

class SimFireScene : public SimScene {};

TEST_F(SimFireScene, TheFireModuleBurnsOnlyOnceLoadedAndCachesItsFrames) {
  const std::string flame = R"(,{"name": "flame", "object": "PyrelleFire",
      "params": {"size": 30, "height": 20, "growth": 0.5, "intensity": 6},
      "transform": {"position": [0, 0, -2]}})";
  const std::string hairOnly = fixtures::GrassSceneJson("", ", \"dynMode\": 0");
  Load(hairOnly);
  GuideSet g = hair->EvaluateGuides(Frame(10));
  std::vector<float> burn, glow;
  if (!FireBridge()) {
    EXPECT_FALSE(BurnAt(*hair, Frame(10), g, burn, glow));  // the module is not loaded yet
  }
  std::string error;
  ASSERT_TRUE(host::LoadPlugin(host::PluginFolder() + "/Pyrelle.dlo", error)) << error;
  ASSERT_NE(FireBridge(), nullptr);
  Load(fixtures::GrassSceneJson(flame, ", \"dynMode\": 0"));
  g = hair->EvaluateGuides(Frame(20));
  const std::string log = std::filesystem::temp_directory_path() / "crinel_firetime.log";
  std::filesystem::remove(log);
  ::setenv("CRINEL_FIRE_TIME", "", 1);
  ASSERT_TRUE(BurnAt(*hair, Frame(20), g, burn, glow));
  ASSERT_EQ(burn.size(), g.VertexCount());
  const std::vector<float> burn20 = burn;
  ASSERT_TRUE(BurnAt(*hair, Frame(10), g, burn, glow));
  ::unsetenv("CRINEL_FIRE_TIME");
  float most = 0;
  for (std::size_t v = 0; v < burn.size(); ++v) {
    EXPECT_LE(burn[v], burn20[v]) << v;  // burn only grows
    most = std::max(most, burn20[v]);
  }
  EXPECT_GT(most, 0.1f);
  // Frames 0..20 were computed once; frame 10 came from the cache.
  const std::string text = fixtures::Slurp(log);
  EXPECT_NE(text.find("BurnAt f=20: computing frames 0..20 (0 kept)"), std::string::npos) << text;
  EXPECT_EQ(text.find("BurnAt f=10"), std::string::npos) << text;
  // Burnt strands char and thin out in a render build.
  StrandSet strands;
  hair->BuildRenderStrands(Frame(20), 1.0, strands);
  std::size_t hidden = 0;
  for (std::size_t s = 0; s < strands.StrandCount(); ++s)
    hidden += strands.widths[s * std::size_t(strands.pointsPerStrand)] == 0.f;
  EXPECT_GT(hidden, 0u);
  // Changing the sensitivity drops the cache.
  hair->pblock2->SetValue(hp::fireBurn, 0, 2.f);
  EXPECT_TRUE(BurnCacheOf(hair->ObjectId()).burnFrames.empty());
}

TEST_F(SimFireScene, ParticleWaterWetsTheGuidesAndTheStrands) {
  Load(fixtures::GrassSceneJson(
      R"(,{"name": "rain", "particles": {"emitter": {"rate": 400, "life": 60, "speed": 0,
         "radius": 12, "seed": 3}}, "transform": {"position": [0, 0, 1]}})",
      ", \"waterNodes\": [\"rain\"], \"waterRadius\": 2"));
  ASSERT_TRUE(SimulateToTime(*hair, Frame(6)));
  const SimState* s = Record();
  ASSERT_EQ(s->wetness.size(), 25u);
  float most = 0;
  for (float w : s->wetness) most = std::max(most, w);
  EXPECT_GT(most, 0.5f);
  EXPECT_EQ(s->wetFrames.size(), 6u);  // frames 1..6
  StrandSet strands;
  hair->BuildRenderStrands(Frame(6), 1.0, strands);
  ASSERT_EQ(strands.wet.size(), strands.StrandCount());
  EXPECT_GT(*std::max_element(strands.wet.begin(), strands.wet.end()), 0.5f);
}

TEST(SimParticles, PrtFilesReadBackAndBadOnesAreNamed) {
  fixtures::TempDir dir("crinel_prt");
  const std::vector<host::Point3> pos = {{1, 2, 3}, {4, 5, 6}, {-1, 0, 0.5f}};
  const std::vector<host::Point3> vel = {{10, 0, 0}, {0, 10, 0}, {0, 0, 10}};
  host::ParticleFrame f;
  std::string error;
  const auto good = PrtFile(pos, &vel);
  ASSERT_TRUE(scene::ReadPrtFile(dir.Write("drops_0001.prt", good), f, error)) << error;
  EXPECT_EQ(f.positions, pos);
  EXPECT_EQ(f.velocities, vel);

  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* says;
  };
  auto cut = [](std::vector<std::uint8_t> b, std::size_t n) {
    b.resize(n);
    return b;
  };
  const std::vector<Case> cases = {
      {"not PRT", {'h', 'e', 'l', 'l', 'o'}, "not a PRT file"},
      {"header cut", cut(good, 40), "cut off"},
      {"data cut", cut(good, good.size() - 6), "cut off or corrupt"},
      {"count beyond the data", PrtFile(pos, &vel, 1000000000000ll), "more than the"},
      {"unknown count", PrtFile(pos, &vel, -1), "unknown"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Write("bad.prt", c.bytes);
    EXPECT_FALSE(scene::ReadPrtFile(path, f, error)) << c.name;
    EXPECT_EQ(error.rfind(path, 0), 0u) << c.name << ": " << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
  }
}

TEST(SimParticles, SequencesShowTheirFrameAndEmittersAreDeterministic) {
  fixtures::TempDir dir("crinel_prtseq");
  for (int fr = 3; fr <= 4; ++fr)
    dir.Write("s_" + std::to_string(fr) + ".prt",
              PrtFile(std::vector<host::Point3>(std::size_t(fr), host::Point3(float(fr), 0, 0)), nullptr));
  host::ParticleSystemObject seq;
  std::string error;
  ASSERT_TRUE(scene::LoadPrtSequence((dir.Path() / "s_#.prt").string(), 3, 4, seq, error)) << error;
  seq.UpdateParticles(nullptr, 4 * host::GetTicksPerFrame());
  EXPECT_EQ(seq.NumParticles(), 4);
  EXPECT_EQ(seq.GetParticleSpeedByIndex(0), nullptr);  // no velocity channel
  seq.UpdateParticles(nullptr, 9 * host::GetTicksPerFrame());
  EXPECT_EQ(seq.NumParticles(), 0);
  EXPECT_FALSE(scene::LoadPrtSequence((dir.Path() / "s_#.prt").string(), 3, 5, seq, error));
  EXPECT_NE(error.find("s_5.prt"), std::string::npos) << error;

  host::ParticleSystemObject a, b;
  host::ParticleEmitter e;
  e.rate = 5;
  e.speed = 30;
  a.SetEmitter(e);
  b.SetEmitter(e);
  a.UpdateParticles(nullptr, 20 * host::GetTicksPerFrame());
  b.UpdateParticles(nullptr, 20 * host::GetTicksPerFrame());
  ASSERT_GT(a.NumParticles(), 50);
  EXPECT_EQ(a.NumParticles(), b.NumParticles());
  EXPECT_EQ(*a.GetParticlePositionByIndex(7), *b.GetParticlePositionByIndex(7));
}
