// PRT particle files: read back through zlib and a reader of the format's channel table.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dynamics/prt_writer.h"
#include "cli_runner.h"
#include "plugin/atomic_file.h"
#include "scene_fixtures.h"

namespace crn {
namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

float HalfToFloat(std::uint16_t h) {
  const int e = (h >> 10) & 0x1F, m = h & 0x3FF;
  const float sign = (h & 0x8000) ? -1.f : 1.f;
  if (e == 0) return sign * std::ldexp(float(m), -24);
  if (e == 31) return m ? NAN : sign * INFINITY;
  return sign * std::ldexp(float(m + 1024), e - 25);
}

// An independent reader: the header, the channel table by name, the inflated particles.
struct PrtFile {
  struct Channel {
    std::int32_t type, arity, offset;
  };
  std::int64_t count = 0;
  std::map<std::string, Channel> channels;
  std::vector<std::string> order;
  std::vector<std::uint8_t> particles;

  explicit PrtFile(const std::vector<std::uint8_t>& bytes) {
    EXPECT_GE(bytes.size(), kPrtHeaderBytes);
    EXPECT_EQ(std::memcmp(bytes.data(), "\xC0PRT\r\n\x1A\n", 8), 0);
    EXPECT_EQ(Int(bytes, 8), 56);
    EXPECT_STREQ(reinterpret_cast<const char*>(&bytes[12]), "Extensible Particle Format");
    EXPECT_EQ(Int(bytes, 44), 1);
    std::memcpy(&count, &bytes[48], 8);
    EXPECT_EQ(Int(bytes, 56), 4);
    const int n = Int(bytes, 60);
    EXPECT_EQ(Int(bytes, 64), 44);
    for (int c = 0; c < n; ++c) {
      const std::size_t at = 68 + 44 * std::size_t(c);
      const std::string name(reinterpret_cast<const char*>(&bytes[at]));
      channels[name] = {Int(bytes, at + 32), Int(bytes, at + 36), Int(bytes, at + 40)};
      order.push_back(name);
    }
    uLongf size = uLongf(count * 54);
    particles.resize(size);
    const int rc = uncompress(particles.data(), &size, bytes.data() + kPrtHeaderBytes,
                              uLong(bytes.size() - kPrtHeaderBytes));
    EXPECT_EQ(rc, Z_OK) << "the stream inflates and its Adler-32 matches";
    EXPECT_EQ(size, uLongf(count * 54));
  }
  static int Int(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
  }
  // Component k of channel name of particle i, as a float.
  float Get(std::int64_t i, const std::string& name, int k = 0) const {
    const Channel& c = channels.at(name);
    const std::uint8_t* at = &particles[std::size_t(i) * 54 + std::size_t(c.offset)];
    if (c.type == 4) {
      float f;
      std::memcpy(&f, at + 4 * k, 4);
      return f;
    }
    if (c.type == 1) {
      std::int32_t v;
      std::memcpy(&v, at + 4 * k, 4);
      return float(v);
    }
    std::uint16_t h;
    std::memcpy(&h, at + 2 * k, 2);
    return HalfToFloat(h);
  }
};

// 10 strands of 5 points: strand s rises along z from (s, 0, 0) in steps of 1, 2, 3, 4.
StrandSet TenStrands() {
  StrandSet set;
  set.pointsPerStrand = 5;
  for (std::uint32_t s = 0; s < 10; ++s) {
    float z = 0;
    for (int j = 0; j < 5; ++j) {
      z += float(j);
      set.points.push_back(V3(float(s), 0, z));
      set.widths.push_back(0.1f * float(j + 1));
    }
    set.rootColour.push_back(0xFF000000u);
    set.tipColour.push_back(0xFFFF8000u);
    set.strandId.push_back(1000 + s);
    set.rootNormal.push_back(V3(1, 0, 0));
  }
  return set;
}

class PrtWriter : public ::testing::Test {
 protected:
  fixtures::TempDir dir{"crinel_prt"};
  std::string Path(const char* name) const { return (dir.Path() / name).string(); }
};

TEST_F(PrtWriter, TenStrandsOfFivePointsReadBackChannelByChannel) {
  const StrandSet set = TenStrands();
  PrtFrame frame;
  frame.strands = &set;
  frame.objectId = 1;
  std::string error;
  ASSERT_TRUE(WritePrt(frame, Path("a.prt"), error)) << error;
  const PrtFile f(ReadFile(Path("a.prt")));
  ASSERT_EQ(f.count, 50);
  const std::vector<std::string> names = {"Position", "Velocity", "Color",    "Radius",
                                          "Tangent",  "Normal",   "StrandT",  "StrandID",
                                          "ID",       "ObjectID", "Density"};
  EXPECT_EQ(f.order, names);
  EXPECT_EQ(f.channels.at("Position").type, 4);
  EXPECT_EQ(f.channels.at("Velocity").type, 3);
  EXPECT_EQ(f.channels.at("StrandID").type, 1);
  EXPECT_EQ(f.channels.at("Density").offset, 52);
  for (std::int64_t i = 0; i < 50; ++i) {
    const std::size_t s = std::size_t(i / 5), j = std::size_t(i % 5);
    EXPECT_EQ(f.Get(i, "ID"), float(i));
    EXPECT_EQ(f.Get(i, "StrandID"), float(1000 + s));
    EXPECT_EQ(f.Get(i, "ObjectID"), 1.f);
    EXPECT_EQ(f.Get(i, "StrandT"), 0.25f * float(j));
    EXPECT_EQ(f.Get(i, "Position", 2), set.points[i].z);
    EXPECT_EQ(f.Get(i, "Position", 0), float(s));
    EXPECT_NEAR(f.Get(i, "Radius"), 0.05f * float(j + 1), 1e-3f);
    EXPECT_EQ(f.Get(i, "Normal", 0), 1.f);
    EXPECT_EQ(f.Get(i, "Density"), 1.f);
    EXPECT_EQ(f.Get(i, "Velocity", 2), 0.f) << "no earlier frame";
    // Straight strands: the tangent is +z at the root (first two points), inside and at the
    // tip (last two points).
    EXPECT_EQ(f.Get(i, "Tangent", 2), 1.f);
    // Colour: linear blend of the root and tip colours' linearised channels.
    const float t = 0.25f * float(j);
    EXPECT_NEAR(f.Get(i, "Color", 0), t, 2e-3f);
    EXPECT_NEAR(f.Get(i, "Color", 1), t * std::pow(128.f / 255.f, 2.2f), 2e-3f);
    EXPECT_EQ(f.Get(i, "Color", 2), 0.f);
  }
}

TEST_F(PrtWriter, VelocitiesOnlyFromAMatchingEarlierFrame) {
  const StrandSet set = TenStrands();
  StrandArray<V3> earlier = set.points;
  for (V3& p : earlier) p.x -= 0.5f;
  struct Case {
    const char* what;
    const StrandArray<V3>* previous;
    double seconds;
    float vx;
  };
  StrandArray<V3> shorter(earlier.begin(), earlier.end() - 1);
  const Case cases[] = {{"one frame later at 25 fps", &earlier, 0.04, 12.5f},
                        {"first frame", nullptr, 0.04, 0.f},
                        {"point count changed", &shorter, 0.04, 0.f},
                        {"no duration", &earlier, 0.0, 0.f}};
  for (const Case& c : cases) {
    PrtFrame frame;
    frame.strands = &set;
    frame.previousPoints = c.previous;
    frame.frameSeconds = c.seconds;
    std::string error;
    ASSERT_TRUE(WritePrt(frame, Path("v.prt"), error)) << error;
    const PrtFile f(ReadFile(Path("v.prt")));
    for (std::int64_t i = 0; i < f.count; ++i) ASSERT_EQ(f.Get(i, "Velocity", 0), c.vx) << c.what;
  }
}

TEST_F(PrtWriter, SplitHighlightsBlendTowardsTheHighlightColour) {
  StrandSet set = TenStrands();
  set.hiColour.assign(10, 0xFF0000FFu);
  set.hiStart.assign(10, 0.5f);
  set.hiSoft.assign(10, 0.f);  // a hard start at half the length
  PrtFrame frame;
  frame.strands = &set;
  std::string error;
  ASSERT_TRUE(WritePrt(frame, Path("h.prt"), error)) << error;
  const PrtFile f(ReadFile(Path("h.prt")));
  // Point 1 (t 0.25) is before the start: the plain blend; point 3 (t 0.75) is past it: the
  // highlight (blue 255) blending towards max(highlight, tip) per channel.
  EXPECT_NEAR(f.Get(1, "Color", 0), std::pow(0.25f, 2.2f), 2e-3f);
  EXPECT_EQ(f.Get(1, "Color", 2), 0.f);
  EXPECT_NEAR(f.Get(3, "Color", 0), std::pow(0.75f, 2.2f), 2e-3f);  // 0 + (255 - 0) * 0.75
  EXPECT_NEAR(f.Get(3, "Color", 2), 1.f, 2e-3f);
}

TEST_F(PrtWriter, FailuresKeepTheFileThatWasThere) {
  std::string error;
  PrtFrame empty;
  EXPECT_FALSE(WritePrt(empty, Path("none.prt"), error));
  EXPECT_EQ(error, "no strands");
  EXPECT_FALSE(std::filesystem::exists(Path("none.prt")));

  const StrandSet set = TenStrands();
  PrtFrame frame;
  frame.strands = &set;
  const std::string file = dir.Write("plain", "not a folder");
  std::string reason;
  EXPECT_FALSE(WritePrt(frame, file + "/a.prt", error, &reason));
  EXPECT_EQ(error, "cannot write the PRT file");
  EXPECT_NE(reason.find("Not a directory"), std::string::npos) << reason;

  // A write that fails part-way (the file-size limit) leaves the old file as it was.
  const std::string good = dir.Write("good.prt", "the old file");
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool ok = WritePrt(frame, good, error, &reason);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "PRT write error");
  EXPECT_NE(reason.find("File too large"), std::string::npos) << reason;
  const auto bytes = ReadFile(good);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "the old file");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 2u) << "no temporary file left";
}

TEST_F(PrtWriter, StoredBlocksSplitAt65535Bytes) {
  std::vector<std::uint8_t> payload(65535);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = std::uint8_t(i * 7);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(
      Path("z.bin"),
      [&](AtomicFile& out) {
        StoredZlibStream z(out);
        z.Begin();
        z.Write(payload.data(), 1000);  // in two pieces across the buffer
        z.Write(payload.data() + 1000, payload.size() - 1000);
        z.Finish();
      },
      error))
      << error;
  const auto bytes = ReadFile(Path("z.bin"));
  ASSERT_EQ(bytes.size(), 2u + 5 + 65535 + 5 + 4);
  EXPECT_EQ(bytes[0], 0x78);
  EXPECT_EQ(bytes[1], 0x01);
  const std::uint8_t full[5] = {0x00, 0xFF, 0xFF, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(&bytes[2], full, 5), 0);
  const std::uint8_t last[5] = {0x01, 0x00, 0x00, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(&bytes[2 + 5 + 65535], last, 5), 0);
  const uLong adler = adler32(adler32(0, nullptr, 0), payload.data(), uInt(payload.size()));
  const std::size_t at = bytes.size() - 4;
  EXPECT_EQ(uLong(bytes[at]) << 24 | uLong(bytes[at + 1]) << 16 | uLong(bytes[at + 2]) << 8 | bytes[at + 3], adler);
  std::vector<std::uint8_t> back(65535);
  uLongf size = uLongf(back.size());
  EXPECT_EQ(uncompress(back.data(), &size, bytes.data(), uLong(bytes.size())), Z_OK);
  EXPECT_EQ(back, payload);
}

TEST_F(PrtWriter, CommandLineWritesTheFramesOfARange) {
  const std::string scene = std::string(CRINEL_TEST_DATA) + "/scenes/ball.json";
  const auto r = fixtures::RunCli(dir.Path(), "prt " + scene + " --node fur --out " +
                                                   Path("fur.final.prt") + " --range 3-4");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("PRT: 2 frames written."), std::string::npos) << r.err;
  for (const char* name : {"fur.final_0003.prt", "fur.final_0004.prt"}) {
    const PrtFile f(ReadFile(Path(name)));
    EXPECT_EQ(f.count, 4000 * 37) << name;  // every root; curl and frizz give 37 points
  }
  EXPECT_FALSE(std::filesystem::exists(Path("fur.final_0002.prt")));
  struct Case {
    const char* args;
    int rc;
  };
  const Case bad[] = {{" --node ball --out x.prt", 1},
                      {" --node fur --out x.prt --range 5-2", 2},
                      {" --node fur", 2}};
  for (const Case& c : bad)
    EXPECT_EQ(fixtures::RunCli(dir.Path(), "prt " + scene + c.args).rc, c.rc) << c.args;
}

TEST(PrtHalf, ConversionTable) {
  struct Case {
    float value;
    std::uint16_t half;
  };
  const Case cases[] = {
      {1.f, 0x3C00},          {-2.f, 0xC000},        {0.1f, 0x2E66},
      {65504.f, 0x7BFF},      {65519.f, 0x7BFF},     {65520.f, 0x7C00},  // rounds away into infinity
      {65536.f, 0x7C00},      {-1e9f, 0xFC00},       {INFINITY, 0x7C00},
      {NAN, 0x7E00},          {-NAN, 0xFE00},        {-0.f, 0x8000},
      {std::ldexp(1.f, -14), 0x0400},  {std::ldexp(1.f, -24), 0x0001},
      {std::ldexp(1.f, -25), 0x0001},  // halfway: away from zero
      {std::ldexp(1.f, -26), 0x0000},  {1.f + std::ldexp(1.f, -11), 0x3C01},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToHalf(c.value), c.half) << c.value;
}

TEST(PrtSequence, FrameFileNames) {
  EXPECT_EQ(PrtSequenceFileName("fur.final.prt", 0), "fur.final_0000.prt");
  EXPECT_EQ(PrtSequenceFileName("/out/hair.prt", 7), "/out/hair_0007.prt");
  EXPECT_EQ(PrtSequenceFileName("/out.v2/hair", 12345), "/out.v2/hair_12345.prt");
  EXPECT_EQ(PrtSequenceFileName("hair", -3), "hair_-003.prt");
}

}  // namespace
}  // namespace crn
