// crinel-studio driven as a person would: under a virtual X server it opens the example,
// changes a parameter in the rollouts, grooms with a mouse stroke, stops the brush with a
// right-click, picks a node for a node list in the viewport, saves and takes a screenshot; it
// simulates a range and stops it with Escape, undoes node list, renderer and map slot edits,
// and works the live view's own window. Skipped without xvfb-run or without the app.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "cli_runner.h"
#include "host/texmap.h"
#include "host/undo.h"
#include "render/render_settings.h"
#include "scene/png_file.h"
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
  // The X authority file lives in the test's folder: xvfb-run's own temporary folder sometimes
  // fails to go away while another virtual display shuts down, and it then exits with 5.
  const std::string cmd = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "
                          "xvfb-run -a -f " + (dir / "Xauthority").string() +
                          " -s '-screen 0 1600x1000x24' " + std::string(CRINEL_STUDIO_EXE) + " " +
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

TEST_F(Studio, ARangeSimulationKeepsTheWindowDrawnAndEscapeStopsIt) {
  // During the simulation the session plays one event per progress report: the frames drawn
  // then see the Tools rollout's progress, and the replayed Escape stops after frame 3.
  const std::string session = dir.Write("sim.txt",
                                        "select fur\n"
                                        "tool \"Simulate range\"\n"
                                        "frames 2\n"
                                        "expect tools \"Simulating 3 / 101  (Esc cancels)\"\n"
                                        "key escape\n"
                                        "expect tools \"Simulation stopped.\"\n"
                                        "expect tools \"frames 0-3\"\n");  // the frames done are kept
  const fixtures::CliResult r = RunStudio(dir.Path(), "--script " + session + " " + CRINEL_EXAMPLES + "/furball.json");
  EXPECT_EQ(r.rc, 0) << r.err;
}

TEST_F(Studio, NodeListRendererAndMapSlotEditsAreUndoStepsAndSaved) {
  crn::scene::RgbaImage red;
  red.width = red.height = 4;
  red.pixels.assign(4 * 4 * 4, 255);
  for (std::size_t i = 1; i < red.pixels.size(); i += 4) red.pixels[i] = red.pixels[i + 1] = 0;
  const fs::path image = dir.Path() / "red.png", edited = dir.Path() / "edited.crnscene",
                 undone = dir.Path() / "undone.crnscene";
  std::string error;
  ASSERT_TRUE(crn::scene::WritePng(image.string(), red, error)) << error;
  const std::string notAnImage = dir.Write("notes.png", "not an image");
  const std::string session = dir.Write("undo.txt",
                                        "hide ground\nexpect undo \"Hide ground\"\n"
                                        "renderable fur\nexpect undo \"Not renderable fur\"\n"
                                        "renderer exposure 2\nrenderer passes 64\n"
                                        "key ctrl+z\nexpect undo \"Renderer setting exposure\"\n"
                                        // A file that is no image: a message box, the slot as it was.
                                        "answer " + notAnImage + "\nmap fur colorMap\nframes 1\n"
                                        "expect undo \"Renderer setting exposure\"\n"
                                        "answer " + image.string() + "\nmap fur colorMap\nframes 1\n"
                                        "expect undo \"Parameter change\"\n"
                                        "saveas " + edited.string() + "\n"
                                        "key ctrl+z\nkey ctrl+z\nkey ctrl+z\nkey ctrl+z\nexpect undo \"\"\n"
                                        "saveas " + undone.string() + "\n");
  const fixtures::CliResult r = RunStudio(dir.Path(), "--script " + session + " " + CRINEL_EXAMPLES + "/furball.json");
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("Map not loaded: " + (dir.Path() / "notes.png").string()), std::string::npos) << r.err;

  crn::scene::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  struct Saved {
    bool groundHidden, furRenders;
    float exposure;
    int passes;
    std::string colourMap;
  };
  auto load = [&](const fs::path& path) {
    const auto loaded = crn::scene::LoadAnyScene(path.string(), ip);
    EXPECT_TRUE(loaded.ok) << loaded.error;
    Saved s{false, false, 0, 0, "none"};
    host::INode* ground = ip.GetINodeByName("ground");
    host::INode* fur = ip.GetINodeByName("fur");
    if (loaded.ok && ground && fur) {
      const crn::RenderSettings& rs = crn::GetRenderSettings();
      s = {ground->IsHidden(), fur->Renderable(), rs.exposure, rs.passes, "none"};
      crn::HairObject* hair = crn::HairObjectOf(fur);
      const host::ParamID id = hair->pblock2->GetDesc()->GetParamDefByName("colorMap")->id;
      if (auto* bitmap = dynamic_cast<host::BitmapTex*>(hair->pblock2->GetTexmap(id)))
        s.colourMap = fs::path(bitmap->FileName()).filename().string();
    }
    ip.ResetScene();
    return s;
  };
  const Saved e = load(edited), u = load(undone);
  EXPECT_TRUE(e.groundHidden);
  EXPECT_FALSE(e.furRenders);
  EXPECT_FLOAT_EQ(e.exposure, 2.0f);
  EXPECT_EQ(e.passes, 16) << "the undone passes edit came back";
  EXPECT_EQ(e.colourMap, "red.png");
  EXPECT_FALSE(u.groundHidden);
  EXPECT_TRUE(u.furRenders);
  EXPECT_FLOAT_EQ(u.exposure, 1.0f);
  EXPECT_EQ(u.colourMap, "none");
}

TEST_F(Studio, TheLiveViewIsAWindowOfItsOwnWithItsPictureTitleAndKeys) {
  const fs::path shot = dir.Path() / "live.png";
  const std::string session = dir.Write("live.txt",
                                        "tool \"Live render\"\nframes 3\n"  // the Tools rollout's button
                                        "expect live \"passes\"\nexpect live \"viewport density, denoised\"\n"
                                        "livekey D\nframes 1\nexpect live \"viewport density  [\"\n"
                                        "liveshot " + shot.string() + "\nframes 1\n"
                                        "liveclose\nframes 1\nexpect live closed\n");
  const fixtures::CliResult r = RunStudio(dir.Path(), "--script " + session + " " + CRINEL_EXAMPLES + "/furball.json");
  ASSERT_EQ(r.rc, 0) << r.err;
  // The window shows the path-traced picture: the lit ground is there, not a blank window.
  int w = 0, h = 0, channels = 0;
  stbi_uc* px = stbi_load(shot.string().c_str(), &w, &h, &channels, 4);
  ASSERT_NE(px, nullptr);
  int ground = 0;
  for (int i = 0; i < w * h; ++i) {
    const stbi_uc* p = px + std::size_t(i) * 4;
    if (p[0] > 150 && std::abs(p[0] - p[1]) < 20 && std::abs(p[1] - p[2]) < 25) ++ground;
  }
  stbi_image_free(px);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 520);
  EXPECT_GT(ground, 10000);
}

TEST_F(Studio, AMistakeInTheSessionStopsWithItsLine) {
  struct Case {
    const char* session;
    const char* error;
  };
  const Case cases[] = {
      {"frames 1\ntap 10 10\n", "bad.txt:2: unknown event \"tap\""},
      // Opening a scene in the middle of a simulation of the open one is refused.
      {"select fur\ntool \"Simulate range\"\nopen x.json\n",
       "bad.txt:3: \"open x.json\" cannot be played while a long action runs"},
  };
  for (const Case& c : cases) {
    const std::string session = dir.Write("bad.txt", c.session);
    const fixtures::CliResult r =
        RunStudio(dir.Path(), "--script " + session + " " + CRINEL_EXAMPLES + "/furball.json");
    EXPECT_EQ(r.rc, 1) << c.session;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
  }
}
#endif

}  // namespace
