// Simulation cache files: what is written, what is refused, and that a load replaces the
// record as a whole or not at all.
#include <gtest/gtest.h>

#include "sim_fixtures.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli_runner.h"
#include "dynamics/sim_cache.h"
#include "dynamics/sim_driver.h"
#include "hair/hair_params.h"

using namespace crn;
using fixtures::SimScene;

namespace {

// A cache file's bytes: the header fields, then `points` float triples of value v.
std::vector<std::uint8_t> CacheFile(std::int32_t N, std::int32_t P, std::int32_t first,
                                    std::int32_t count, std::size_t points, float v = 1.f,
                                    const char* magic = "CRNC", std::int32_t version = 1) {
  std::vector<std::uint8_t> b(24 + points * 12);
  std::memcpy(b.data(), magic, 4);
  const std::int32_t h[5] = {version, N, P, first, count};
  std::memcpy(b.data() + 4, h, 20);
  for (std::size_t i = 0; i < points * 3; ++i) std::memcpy(b.data() + 24 + 4 * i, &v, 4);
  return b;
}

class SimCache : public SimScene {
 protected:
  void SetUp() override { Load(fixtures::GrassSceneJson()); }
};

}  // namespace

TEST_F(SimCache, WritesTheStoredRangeAndReadsItBack) {
  SimState& s = SimRegistry::Get().Acquire(hair->ObjectId());
  s.guideCount = 2;
  s.pointsPerGuide = 3;
  for (int f = 10; f <= 12; ++f) s.frames[f] = std::vector<V3>(6, V3(float(f), 0, 0));
  const std::string path = (dir.Path() / "a.crnc").string();
  ASSERT_TRUE(WriteSimCache(*hair, path));
  const std::string bytes = fixtures::Slurp(path);
  ASSERT_EQ(bytes.size(), 24u + 3 * 2 * 3 * 12);
  std::int32_t header[6];
  std::memcpy(header, bytes.data(), 24);
  EXPECT_EQ(std::memcmp(bytes.data(), "CRNC", 4), 0);
  EXPECT_EQ(header[1], 1);
  EXPECT_EQ(header[2], 2);
  EXPECT_EQ(header[3], 3);
  EXPECT_EQ(header[4], 10);
  EXPECT_EQ(header[5], 3);

  SimRegistry::Get().Erase(hair->ObjectId());
  ASSERT_TRUE(ReadSimCache(*hair, path));
  const SimState* r = Record();
  EXPECT_TRUE(r->fromFile);
  EXPECT_EQ(r->lastFrame, 12);
  EXPECT_EQ(r->frames.at(11), std::vector<V3>(6, V3(11, 0, 0)));
  EXPECT_EQ(r->status, "CACHE  2 guides  frames 10-12 (from file)");
}

TEST_F(SimCache, NothingToWriteCreatesNoFile) {
  const std::string path = (dir.Path() / "none.crnc").string();
  EXPECT_FALSE(WriteSimCache(*hair, path));
  SimRegistry::Get().Acquire(hair->ObjectId());
  EXPECT_FALSE(WriteSimCache(*hair, path));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(SimCache, RefusedFilesLeaveTheRecordAlone) {
  SimulateToTime(*hair, Frame(3));
  const auto before = Record()->frames;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  auto cut = [](std::vector<std::uint8_t> b, std::size_t n) {
    b.resize(n);
    return b;
  };
  const std::vector<Case> cases = {
      {"empty file", {}},
      {"header cut off", cut(CacheFile(2, 3, 0, 1, 6), 20)},
      {"wrong magic", CacheFile(2, 3, 0, 1, 6, 1.f, "CRNX")},
      {"version 2", CacheFile(2, 3, 0, 1, 6, 1.f, "CRNC", 2)},
      {"66 points per guide", CacheFile(1, 66, 0, 1, 66)},
      {"1 point per guide", CacheFile(1, 1, 0, 1, 1)},
      {"a frame cut short", cut(CacheFile(2, 3, 0, 2, 12), 24 + 12 * 12 - 5)},
      {"negative guide count", CacheFile(-2, 3, 0, 1, 0)},
      // Announces about 10^20 bytes: refused before anything is allocated.
      {"huge announced size", CacheFile(0x7FFFFFFF, 65, 0, 0x7FFFFFFF, 2)},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Write("bad.crnc", c.bytes);
    std::string error;
    EXPECT_FALSE(ReadSimCache(*hair, path, &error)) << c.name;
    EXPECT_NE(error.find("bad.crnc"), std::string::npos) << c.name << ": " << error;
    ASSERT_NE(Record(), nullptr) << c.name;
    EXPECT_FALSE(Record()->fromFile) << c.name;
    EXPECT_EQ(Record()->frames, before) << c.name;
  }
}

TEST_F(SimCache, AcceptedFilesReplaceEveryFrame) {
  SimulateToTime(*hair, Frame(8));  // frames 0..8
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::size_t frames;
    const char* status;
  };
  const std::vector<Case> cases = {
      {"65 points per guide", CacheFile(1, 65, 20, 2, 130), 2, "CACHE  1 guides  frames 20-21 (from file)"},
      {"no frames", CacheFile(3, 4, 0, 0, 0), 0, "Not simulated."},
  };
  for (const Case& c : cases) {
    SimulateToTime(*hair, Frame(8));
    const std::string path = dir.Write("good.crnc", c.bytes);
    ASSERT_TRUE(ReadSimCache(*hair, path)) << c.name;
    EXPECT_EQ(Record()->frames.size(), c.frames) << c.name;
    EXPECT_FALSE(Record()->frames.count(5)) << c.name;
    EXPECT_EQ(Record()->status, c.status) << c.name;
    SimRegistry::Get().Erase(hair->ObjectId());
  }
}

TEST_F(SimCache, CacheModePlaysTheFileAndLiveModeStartsOver) {
  SimulateToTime(*hair, Frame(6));
  const std::vector<V3> frame4 = Record()->frames.at(4);
  const std::string path = (dir.Path() / "play.crnc").string();
  ASSERT_TRUE(WriteSimCache(*hair, path));
  SimRegistry::Get().Erase(hair->ObjectId());
  hair->pblock2->SetValue(hp::dynCachePath, 0, path);
  hair->pblock2->SetValue(hp::dynMode, 0, 2);
  EXPECT_TRUE(SimulateToTime(*hair, Frame(4)));
  EXPECT_TRUE(Record()->fromFile);
  EXPECT_EQ(hair->EvaluateGuides(Frame(4)).guidePoints, frame4);
  EXPECT_FALSE(SimulateToTime(*hair, Frame(9)));  // not in the file
  // Back to live: the file's frames go and frame 2 is simulated afresh.
  hair->pblock2->SetValue(hp::dynMode, 0, 1);
  EXPECT_TRUE(SimulateToTime(*hair, Frame(2)));
  EXPECT_FALSE(Record()->fromFile);
  EXPECT_EQ(Record()->lastFrame, 2);
}
