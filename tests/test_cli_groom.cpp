// Grooming and object calls through the command-line host's scripts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "cli_runner.h"

namespace fs = std::filesystem;
using fixtures::Slurp;

namespace {

class CliGroom : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("crinel_groom_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& n) const { return (dir_ / n).string(); }
  // Runs the script on the ball scene; returns the exit status, with the output lines.
  int Run(const std::string& script, std::vector<std::string>& lines, std::string& err) {
    std::ofstream(Path("s.txt")) << script;
    const fixtures::CliResult r = fixtures::RunCli(
        dir_, std::string("script ") + CRINEL_TEST_DATA + "/scenes/ball.json " + Path("s.txt"));
    lines = fixtures::Lines(r.out);
    err = r.err;
    return r.rc;
  }
  fs::path dir_;
};

}  // namespace

TEST_F(CliGroom, GroomSurvivesSaveLoadCloneAndUndo) {
  const std::string script =
      "brushDab fur 0 1 [2,0,0]\n"
      "dumpStrands fur \"" + Path("groomed.bin") + "\"\n"
      "save \"" + Path("scene.crn") + "\"\n"
      "clone fur fur2\n"
      "resetGrooming fur\n"
      "dumpStrands fur \"" + Path("reset.bin") + "\"\n"
      "undo\n"
      "dumpStrands fur \"" + Path("undone.bin") + "\"\n"
      "dumpStrands fur2 \"" + Path("clone.bin") + "\"\n"
      "load \"" + Path("scene.crn") + "\"\n"
      "dumpStrands fur \"" + Path("loaded.bin") + "\"\n"
      "presetCount\n"
      "applyPreset fur 43\n"
      "applyPreset fur 9\n"
      "get fur count\n"
      "undo\n"
      "get fur count\n";
  std::vector<std::string> out;
  std::string err;
  ASSERT_EQ(Run(script, out, err), 0) << err;
  const std::vector<std::string> expected = {"true", "4000", "ok", "ok", "ok", "4000", "ok", "4000",
                                             "4000", "ok", "4000", "43", "false", "true", "3000",
                                             "ok", "4000"};
  EXPECT_EQ(out, expected) << err;
  const std::string groomed = Slurp(Path("groomed.bin"));
  EXPECT_NE(groomed, Slurp(Path("reset.bin")));
  EXPECT_EQ(groomed, Slurp(Path("undone.bin")));
  EXPECT_EQ(groomed, Slurp(Path("clone.bin")));
  EXPECT_EQ(groomed, Slurp(Path("loaded.bin")));
}

TEST_F(CliGroom, RescalePickAndBrushSettings) {
  const std::string script =
      "rescale 2\n"
      "get fur length\n"
      "get fur rootWidth\n"
      "pick fur faceNode cam\n"
      "get fur faceNode\n"
      "pick fur colliders ball\n"
      "pick fur colliders cam\n"
      "get fur colliders\n"
      "pick fur colliders undefined\n"
      "get fur colliders\n"
      "brushKind 99\n"
      "brushRadius 1\n"
      "brushStrength 3\n"
      "pick fur surface fur\n";
  std::vector<std::string> out;
  std::string err;
  EXPECT_NE(Run(script, out, err), 0);
  const std::vector<std::string> expected = {"ok", "6", "0.0599999987", "ok", "cam", "ok", "ok",
                                             "[ball,cam]", "ok", "[]", "ok", "ok", "ok"};
  EXPECT_EQ(out, expected) << err;
  EXPECT_NE(err.find(":14: node \"fur\" cannot be picked for \"surface\""), std::string::npos) << err;
}

TEST_F(CliGroom, BrushModeShowsItsCircleInSnapshots) {
  const std::string script =
      "viewportSize 320 200\n"
      "brushMode fur\n"
      "brushRadius 40\n"
      "brushMouse fur 1 100 100\n"
      "snapshot \"" + Path("circle.png") + "\"\n"
      "brushMode fur\n"
      "snapshot \"" + Path("plain.png") + "\"\n";
  std::vector<std::string> out;
  std::string err;
  ASSERT_EQ(Run(script, out, err), 0) << err;
  EXPECT_EQ(out[1], "true");
  EXPECT_EQ(out[5], "false");
  EXPECT_NE(err.find("Brush: drag over the hair. Right-click to stop."), std::string::npos);
  // The two pictures differ only by the circle.
  EXPECT_NE(Slurp(Path("circle.png")), Slurp(Path("plain.png")));
}
