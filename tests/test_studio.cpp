// crinel-studio driven as a person would: under a virtual X server it opens the example,
// changes a parameter in the rollouts, grooms with a mouse stroke, stops the brush with a
// right-click, picks a node for a node list in the viewport, saves and takes a screenshot. Skipped without xvfb-run or without the app.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "cli_runner.h"
#include "host/undo.h"
#include "scene_fixtures.h"

namespace {

namespace fs = std::filesystem;

bool HaveXvfb() { return std::system("command -v xvfb-run >/dev/null 2>&1") == 0; }

// Pixels of the window's viewport area that are the example's orange fur, and its light grey
// ground; -1 when the PNG cannot be read or is not the window's size.
struct ViewCounts {
  int orange = -1, ground = -1;
};
ViewCounts CountViewPixels(const fs::path& png) {
  int w = 0, h = 0, channels = 0;
  stbi_uc* px = stbi_load(png.string().c_str(), &w, &h, &channels, 4);
  ViewCounts n;
  if (!px) return n;
  if (w == 1400 && h == 860) {
    n = {0, 0};
    for (int y = 100; y < h - 100; ++y)
      for (int x = 300; x < w - 400; ++x) {
        const stbi_uc* p = px + (std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4;
        if (p[0] > 180 && p[1] > 90 && p[1] < 190 && p[2] < 110) ++n.orange;
        if (p[0] == p[1] && p[1] == p[2] && p[0] > 120 && p[0] < 240) ++n.ground;
      }
  }
  stbi_image_free(px);
  return n;
}

#ifdef CRINEL_STUDIO_EXE
fixtures::CliResult RunStudio(const fs::path& dir, const std::string& args) {
  const fs::path out = dir / "studio_out.txt", err = dir / "studio_err.txt";
  // Under AddressSanitizer the X and OpenGL libraries' own leaks are not the app's to report.
  const std::string cmd = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "
                          "xvfb-run -a -s '-screen 0 1600x1000x24' " + std::string(CRINEL_STUDIO_EXE) + " " +
                          args + " >" + out.string() + " 2>" + err.string();
  const int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, fixtures::Slurp(out), fixtures::Slurp(err)};
}
#endif

class Studio : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef CRINEL_STUDIO_EXE
    GTEST_SKIP() << "crinel-studio is not built here";
#else
    if (!HaveXvfb()) GTEST_SKIP() << "xvfb-run is not installed";
#endif
  }
  fixtures::TempDir dir{"crn_studio"};
};

#ifdef CRINEL_STUDIO_EXE
TEST_F(Studio, GroomsChangesAParameterAndSavesFromAReplayedSession) {
  const fs::path saved = dir.Path() / "groomed.crnscene", shot = dir.Path() / "shot.png";
  const std::string session = dir.Write("session.txt",
                                        "select fur\n"
                                        "param fur count 3000\n"
                                        "pick fur colliders\n"
                                        "click 400 600\n"  // the ground, below the ball
                                        "expect selected fur\n"
                                        "expect undo \"Parameter change\"\n"
                                        "brushKind 0\nbrushSize 90\nbrushStrength 1\n"
                                        "tool Brush\n"  // the Tools rollout's button
                                        "drag 300 300 500 340 10\n"
                                        "expect undo \"Crinel groom\"\n"
                                        "rightclick 50 50\n"
                                        "frames 2\n"
                                        "saveas " + saved.string() + "\n");
  const fixtures::CliResult r = RunStudio(dir.Path(), "--script " + session + " --screenshot " + shot.string() + " " +
                                                std::string(CRINEL_EXAMPLES) + "/furball.json");
  ASSERT_EQ(r.rc, 0) << r.err;

  // The screenshot is the whole window, and its viewport shows the orange fur.
  EXPECT_GT(CountViewPixels(shot).orange, 500);

  // The saved scene holds the edit and the stroke; the original has neither.
  crn::scene::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  auto guidesOf = [&](const std::string& path, int& count, std::string& colliders) {
    const auto load = crn::scene::LoadAnyScene(path, ip);
    EXPECT_TRUE(load.ok) << load.error;
    crn::HairObject* hair = crn::HairObjectOf(ip.GetINodeByName("fur"));
    EXPECT_NE(hair, nullptr);
    crn::GuideSet set;
    host::Interval valid = host::FOREVER;
    if (hair) {
      const host::ParamBlockDesc2& desc = *hair->pblock2->GetDesc();
      count = hair->pblock2->GetInt(desc.GetParamDefByName("count")->id);
      const host::ParamID cid = desc.GetParamDefByName("colliders")->id;
      for (int i = 0; i < hair->pblock2->Count(cid); ++i)
        if (host::INode* n = hair->pblock2->GetINode(cid, 0, i)) colliders += n->GetName() + ";";
      hair->GrowGuideSet(0, set, valid);
    }
    ip.ResetScene();
    return set.guidePoints;
  };
  int savedCount = 0, originalCount = 0;
  std::string savedColliders, originalColliders;
  const auto groomed = guidesOf(saved.string(), savedCount, savedColliders);
  const auto original = guidesOf(std::string(CRINEL_EXAMPLES) + "/furball.json", originalCount, originalColliders);
  EXPECT_EQ(savedCount, 3000);
  EXPECT_EQ(savedColliders, "ground;") << "the viewport pick did not reach the node list";
  EXPECT_EQ(originalColliders, "");
  EXPECT_EQ(originalCount, 20000);
  ASSERT_EQ(groomed.size(), original.size());
  std::size_t moved = 0;
  for (std::size_t i = 0; i < groomed.size(); ++i)
    if (std::fabs(groomed[i].x - original[i].x) + std::fabs(groomed[i].y - original[i].y) +
            std::fabs(groomed[i].z - original[i].z) > 1e-3f)
      ++moved;
  EXPECT_GT(moved, 0u) << "the stroke combed no guide";
}

TEST_F(Studio, TheOpenGLViewportDrawsWhatTheSoftwareDrawingDraws) {
  ViewCounts counts[2];
  const char* modes[2] = {"software", "gl"};
  for (int i = 0; i < 2; ++i) {
    const fs::path shot = dir.Path() / (std::string(modes[i]) + ".png");
    const fixtures::CliResult r = RunStudio(dir.Path(), std::string("--viewport ") + modes[i] + " --screenshot " +
                                                            shot.string() + " " + CRINEL_EXAMPLES + "/furball.json");
    ASSERT_EQ(r.rc, 0) << modes[i] << ": " << r.err;
    counts[i] = CountViewPixels(shot);
    ASSERT_GT(counts[i].orange, 500) << modes[i];
    ASSERT_GT(counts[i].ground, 5000) << modes[i];
  }
  // Same camera, meshes and strands: the two drawings cover about the same pixels.
  EXPECT_NEAR(counts[1].orange, counts[0].orange, 0.25 * counts[0].orange);
  EXPECT_NEAR(counts[1].ground, counts[0].ground, 0.25 * counts[0].ground);
}

TEST_F(Studio, AMistakeInTheSessionStopsWithItsLine) {
  const std::string session = dir.Write("bad.txt", "frames 1\ntap 10 10\n");
  const fixtures::CliResult r = RunStudio(dir.Path(), "--script " + session);
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find("bad.txt:2: unknown event \"tap\""), std::string::npos) << r.err;
}
#endif

}  // namespace
