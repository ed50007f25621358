// The crinel command-line host, run as a separate process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "cli_runner.h"

namespace fs = std::filesystem;
using fixtures::Lines;

namespace {

using Result = fixtures::CliResult;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("crinel_cli_test_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }
  // Runs crinel with args (already shell-quoted where needed) and optional standard input.
  Result Run(const std::string& args, const std::string& input = "") {
    return fixtures::RunCli(dir_, args, input);
  }
  std::string Example() const { return std::string(CRINEL_EXAMPLES) + "/furball.json"; }

  fs::path dir_;
};

}  // namespace

TEST_F(Cli, HelpAndUsageErrors) {
  const Result help = Run("--help");
  EXPECT_EQ(help.rc, 0);
  EXPECT_NE(help.out.find("info SCENE"), std::string::npos);
  EXPECT_NE(help.out.find("script SCENE SCRIPT"), std::string::npos);
  EXPECT_EQ(Run("").rc, 2);
  EXPECT_EQ(Run("frobnicate").rc, 2);
  EXPECT_EQ(Run("info").rc, 2);
}

TEST_F(Cli, InfoListsTheBundledExample) {
  const Result r = Run("info " + Example());
  ASSERT_EQ(r.rc, 0) << r.err;
  for (const char* want : {"units: cm, 30 fps", "node \"ground\"", "Editable Mesh",
                           "node \"fur\"", "Talmore Crinel", "count = 20000",
                           "length = keys [0, 3] [50, 4.5]", "surface = ball",
                           "pattern = 1", "material id"})
    EXPECT_NE(r.out.find(want), std::string::npos) << want << "\n" << r.out;
  // Parameters at their defaults are not listed.
  EXPECT_EQ(r.out.find("seed ="), std::string::npos);
}

TEST_F(Cli, ScriptAnswersEveryCallOnItsOwnLine) {
  const std::string saved = (dir_ / "saved.crn").string();
  const std::string script =
      "# comment lines and blank lines are not calls\n"
      "\n"
      "get fur count\n"
      "set fur count 1234\n"
      "get fur count\n"
      "set fur length 2.5 10\n"
      "get fur length 10\n"
      "get fur length 0\n"
      "set fur rootColor [0.5,0.25,0.125]\n"
      "get fur rootColor\n"
      "set fur stackOn false\n"
      "get fur stackOn\n"
      "set fur dynCachePath \"/tmp/with space.crnc\"\n"
      "get fur dynCachePath\n"
      "get fur faceNode\n"
      "undo\n"
      "undo\n"
      "get fur stackOn\n"
      "redo\n"
      "get fur stackOn\n"
      "time 25\n"
      "get fur length\n"
      "save " + saved + "\n"
      "set fur count 5\n"
      "load " + saved + "\n"
      "get fur count\n"
      "set fur segments 1\n"
      "get fur segments\n";
  const Result r = Run("script " + Example() + " -", script);
  ASSERT_EQ(r.rc, 0) << r.err;
  const std::vector<std::string> expected = {
      "20000", "ok", "1234", "ok", "2.5", "3", "ok", "[0.5,0.25,0.125]", "ok", "false", "ok",
      "/tmp/with space.crnc", "face", "ok", "ok", "true", "ok", "false", "ok", "3.25", "ok", "ok",
      "ok", "1234", "ok", "2"};
  EXPECT_EQ(Lines(r.out), expected) << r.err;
  EXPECT_NE(r.err.find("clamped"), std::string::npos);
}

TEST_F(Cli, ScriptErrorsStopWithFileAndLine) {
  struct Case {
    const char* script;
    const char* message;
    int outputLines;
  };
  const Case cases[] = {
      {"get fur count\nget nobody count\nget fur count\n", "SCRIPT:2: no node named \"nobody\"", 1},
      {"set fur count lots\n", "SCRIPT:1: parameter \"count\" expects an integer", 0},
      {"get fur lenght\n", "SCRIPT:1: node \"fur\" has no parameter \"lenght\"", 0},
      {"set fur surface fur\n", "SCRIPT:1: node \"fur\" cannot be picked for \"surface\"", 0},
      {"explode\n", "SCRIPT:1: unknown function \"explode\"", 0},
      {"set fur dynCachePath \"open\n", "SCRIPT:1: unterminated string", 0},
      {"load /nonexistent/scene.json\n", "SCRIPT:1: /nonexistent/scene.json: cannot open", 0},
      {"get fur count\nguidePoint fur 1\n", "SCRIPT:2: usage: guidePoint NODE GUIDE K FRAME", 1},
      {"brushDab fur 0 1 [1,0,0] 5\n", "SCRIPT:1: usage: brushDab NODE MODE STRENGTH [x,y,z]", 0},
  };
  for (const Case& c : cases) {
    const std::string path = Write("SCRIPT", c.script);
    const Result r = Run("script " + Example() + " " + path, "");
    EXPECT_NE(r.rc, 0) << c.script;
    const std::string want = std::string(c.message);
    EXPECT_NE(r.err.find(path + want.substr(6)), std::string::npos) << r.err;
    EXPECT_EQ(int(Lines(r.out).size()), c.outputLines) << c.script;
  }
}

TEST_F(Cli, BadSceneFileFailsWithoutOutput) {
  const std::string bad = Write("bad.json", R"({"nodes": [{"name": "h", "object": "Crinel",
      "params": {"count": "many"}}]})");
  const Result r = Run("info " + bad);
  EXPECT_EQ(r.rc, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find(bad + ": node \"h\": parameter \"count\""), std::string::npos) << r.err;
}

TEST_F(Cli, AFailedDumpSaysWhyOnStandardError) {
  const Result r = Run("script " + Example() + " -",
                       "dumpStrands ground \"strands.bin\"\ndumpStrands undefined \"strands.bin\"\n"
                       "dumpStrands fur \"\"\n");
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out, "-1\n-1\n-1\n");
  EXPECT_EQ(Lines(r.err), (std::vector<std::string>{"dumpStrands: node \"ground\" is not a hair object",
                                                    "dumpStrands: no node given",
                                                    "dumpStrands: no file name given"}));
}
