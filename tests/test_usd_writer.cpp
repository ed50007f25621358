// USD curves: the usda file parsed back — layer metadata, the prim, each time-sampled
// attribute with its samples and values.
#include <gtest/gtest.h>

#include <map>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "scene/usd_writer.h"
#include "scene_fixtures.h"

namespace crn {
namespace {

// The numbers of each sample of one time-sampled attribute, by time code.
using Samples = std::map<int, std::vector<double>>;

Samples ReadSamples(const std::string& text, const std::string& declaration) {
  Samples out;
  const std::string open = declaration + ".timeSamples = {\n";
  const std::size_t at = text.find(open);
  EXPECT_NE(at, std::string::npos) << declaration;
  if (at == std::string::npos) return out;
  const std::size_t end = text.find("\n        }\n", at);
  // Lines "TIME: [numbers and tuples],"; read by hand, as lines hold millions of numbers.
  std::istringstream lines(text.substr(at + open.size(), end - at - open.size()));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(": [");
    EXPECT_TRUE(colon != std::string::npos && line.size() >= 2 && line.compare(line.size() - 2, 2, "],") == 0)
        << line.substr(0, 80);
    if (colon == std::string::npos) continue;
    std::vector<double>& v = out[std::stoi(line.substr(0, colon))];
    const char* p = line.c_str() + colon + 3;
    while (*p) {
      if (std::isdigit(static_cast<unsigned char>(*p)) || *p == '-') {
        char* next = nullptr;
        v.push_back(std::strtod(p, &next));
        p = next;
      } else {
        ++p;
      }
    }
  }
  return out;
}

StrandSet TwoStrands(float dx) {
  StrandSet set;
  set.pointsPerStrand = 3;
  set.points = {V3(dx, 0, 0), V3(dx, 0, 1), V3(dx, 0, 2.5f), V3(1, 1, 0), V3(1, 1, 1), V3(1, 1, 2)};
  set.widths = {0.25f, 0.125f, 0.0625f, 0.25f, 0.125f, 0.0625f};
  set.rootColour = {0xFFFFFFFFu, 0xFF000000u};
  set.tipColour = {0xFFFFFFFFu, 0xFF000000u};
  set.strandId = {42, 7};
  set.rootNormal = {V3(0, 0, 1), V3(1, 0, 0)};
  return set;
}

TEST(UsdWriter, TwoFramesOfTwoStrandsReadBack) {
  fixtures::TempDir dir("crinel_usd");
  scene::UsdCurvesWriter w("my fur", 24, 0.01);
  std::string error;
  ASSERT_TRUE(w.AddFrame(3, TwoStrands(0), error)) << error;
  ASSERT_TRUE(w.AddFrame(4, TwoStrands(0.5f), error)) << error;
  const std::string path = (dir.Path() / "fur.usda").string();
  ASSERT_TRUE(w.Write(path, error)) << error;
  const std::string text = fixtures::Slurp(path);

  EXPECT_EQ(text.rfind("#usda 1.0\n", 0), 0u);
  for (const char* line : {"defaultPrim = \"my_fur\"", "metersPerUnit = 0.01", "upAxis = \"Z\"",
                           "startTimeCode = 3", "endTimeCode = 4", "timeCodesPerSecond = 24",
                           "def Xform \"my_fur\"", "def BasisCurves \"strands\"",
                           "uniform token type = \"linear\""})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  for (const char* primvar : {"float[] widths (\n            interpolation = \"vertex\"",
                              "color3f[] primvars:displayColor (\n            interpolation = \"vertex\"",
                              "normal3f[] primvars:rootNormal (\n            interpolation = \"uniform\"",
                              "int[] primvars:strandId (\n            interpolation = \"uniform\""})
    EXPECT_NE(text.find(primvar), std::string::npos) << primvar;

  const Samples counts = ReadSamples(text, "int[] curveVertexCounts");
  EXPECT_EQ(counts.at(3), (std::vector<double>{3, 3}));
  const Samples points = ReadSamples(text, "point3f[] points");
  ASSERT_EQ(points.at(4).size(), 18u);
  EXPECT_EQ(points.at(3)[8], 2.5);
  EXPECT_EQ(points.at(4)[0], 0.5);
  EXPECT_EQ(ReadSamples(text, "float[] widths").at(3),
            (std::vector<double>{0.25, 0.125, 0.0625, 0.25, 0.125, 0.0625}));
  const Samples colours = ReadSamples(text, "color3f[] primvars:displayColor");
  ASSERT_EQ(colours.at(3).size(), 18u);
  EXPECT_EQ(colours.at(3)[0], 1.0);   // white strand
  EXPECT_EQ(colours.at(3)[17], 0.0);  // black strand
  EXPECT_EQ(ReadSamples(text, "int[] primvars:strandId").at(4), (std::vector<double>{42, 7}));
  EXPECT_EQ(ReadSamples(text, "normal3f[] primvars:rootNormal").at(3),
            (std::vector<double>{0, 0, 1, 1, 0, 0}));
  EXPECT_EQ(ReadSamples(text, "float3[] extent").at(4), (std::vector<double>{0.5, 0, 0, 1, 1, 2.5}));
}

TEST(UsdWriter, CommandLineExportsARange) {
  fixtures::TempDir dir("crinel_usd_cli");
  const std::string scene = std::string(CRINEL_TEST_DATA) + "/scenes/ball.json";
  const std::string out = (dir.Path() / "fur.usda").string();
  const auto r = fixtures::RunCli(dir.Path(), "export " + scene + " --node fur --out " + out + " --frames 0-1");
  ASSERT_EQ(r.rc, 0) << r.err;
  const std::string text = fixtures::Slurp(out);
  const Samples counts = ReadSamples(text, "int[] curveVertexCounts");
  ASSERT_EQ(counts.size(), 2u);
  EXPECT_EQ(counts.at(1).size(), 4000u);
  EXPECT_EQ(ReadSamples(text, "point3f[] points").at(0).size(), 4000u * 37 * 3);
  EXPECT_EQ(fixtures::RunCli(dir.Path(), "export " + scene + " --node fur --out x.obj").rc, 2);
  EXPECT_EQ(fixtures::RunCli(dir.Path(), "export " + scene + " --node ball --out x.usda").rc, 1);
}

}  // namespace
}  // namespace crn
