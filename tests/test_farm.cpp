// Farm jobs without a cluster: the job scripts run under bash with a stand-in crinel that
// records its arguments, the status summary, the job records, the USD join layer and the
// command's errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_runner.h"
#include "scene/farm_plan.h"
#include "scene/farm_slurm.h"
#include "scene/farm_status.h"
#include "scene/usd_writer.h"

namespace fs = std::filesystem;
using namespace crn::scene;

namespace {

class Farm : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("crinel_farm_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    // Awkward characters on purpose: the scripts must quote every path.
    out_ = dir_ / "shot 1's %d";
    fs::create_directories(out_);
    // The stand-in crinel: logs its arguments, one per line, then makes the file after --out
    // unless the frame is listed in $FAIL_FRAMES.
    fake_ = dir_ / "fake crinel";
    std::ofstream(fake_) << "#!/bin/bash\n"
                            "log=\"$(dirname \"$0\")/calls.txt\"\n"
                            "printf '%s\\n' \"$@\" '--' >>\"$log\"\n"
                            "frame=''; out=''\n"
                            "while [ $# -gt 0 ]; do\n"
                            "  case $1 in --frame) frame=$2;; --out|--cache) out=$2;; esac; shift\n"
                            "done\n"
                            "for f in ${FAIL_FRAMES:-}; do [ \"$f\" = \"$frame\" ] && exit 3; done\n"
                            "mkdir -p \"$(dirname \"$out\")\" && echo made >\"$out\"\n";
    fs::permissions(fake_, fs::perms::owner_all);
  }
  void TearDown() override { fs::remove_all(dir_); }

  FarmRequest Request(FarmKind kind, const std::string& out) const {
    FarmRequest r;
    r.kind = kind;
    r.crinel = fake_.string();
    r.scene = (dir_ / "scene.json").string();
    r.out = (out_ / out).string();
    return r;
  }

  // Runs a script as array task `task` (or as a plain job with task < 0); its exit status.
  int RunTask(const FarmScript& script, int task, const std::string& env = "") {
    fs::create_directories(fs::path(script.path).parent_path());
    std::ofstream(script.path) << script.text;
    const std::string cmd = (task >= 0 ? "SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " " : "") + env +
                            " bash " + ShellQuote(script.path) + " >" + ShellQuote((dir_ / "task.log").string()) +
                            " 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The stand-in's calls, each as its argument list.
  std::vector<std::vector<std::string>> Calls() const {
    std::vector<std::vector<std::string>> calls(1);
    for (const std::string& line : fixtures::Lines(fixtures::Slurp(dir_ / "calls.txt"))) {
      if (line == "--") calls.emplace_back();
      else calls.back().push_back(line);
    }
    calls.pop_back();
    return calls;
  }

  fs::path dir_, out_, fake_;
};

TEST(FarmPattern, ParsesOneRunOfHashesAndPadsLikePrintf) {
  struct Case {
    const char* text;
    bool ok;
    int frame;
    const char* file;
  };
  const Case cases[] = {
      {"/o/f_####.png", true, 7, "/o/f_0007.png"},
      {"/o/f_#.exr", true, 12, "/o/f_12.exr"},
      {"/o/f_####.png", true, -5, "/o/f_-005.png"},
      {"/o/f.png", false, 0, ""},
      {"/o/f_##_##.png", false, 0, ""},
      {"/o#/f.png", false, 0, ""},  // a # in a folder name is no frame number
  };
  for (const Case& c : cases) {
    FramePattern p;
    std::string error;
    EXPECT_EQ(ParseFramePattern(c.text, p, error), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(FrameFileName(p, c.frame), c.file);
    else EXPECT_NE(error.find(c.text), std::string::npos) << error;
  }
  EXPECT_EQ(FrameFileName(PrtFramePattern("/o/hair.prt"), 3), "/o/hair_0003.prt");
}

TEST_F(Farm, RenderTasksMakeTheirFramesSkipExistingOnesAndMarkFailures) {
  FarmRequest r = Request(FarmKind::Render, "f_####.png");
  r.first = -1;
  r.last = 5;
  r.chunk = 3;
  r.renderOptions = {"--camera", "cam one", "--passes", "2"};
  FarmPlan plan;
  std::string error;
  ASSERT_TRUE(PlanFarmJob(r, plan, error)) << error;
  ASSERT_EQ(plan.tasks, 3);
  EXPECT_FALSE(plan.hasSim);
  EXPECT_NE(std::find(plan.array.sbatch.begin(), plan.array.sbatch.end(), "--array=0-2"), plan.array.sbatch.end());

  // Task 1 holds frames 2..4; frame 3 exists already and frame 4 fails.
  std::ofstream(out_ / "f_0003.png") << "old";
  EXPECT_EQ(RunTask(plan.array, 1, "FAIL_FRAMES=4"), 1);
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"render", r.scene, "--frame", "2", "--camera", "cam one", "--passes",
                                                "2", "--out", (out_ / "f_0002.png").string()}));
  EXPECT_EQ(calls[1][3], "4");
  EXPECT_EQ(fixtures::Slurp(out_ / "f_0003.png"), "old");
  std::set<int> done, failed;
  ReadFrameMarkers(plan.markDir, done, failed);
  EXPECT_EQ(done, (std::set<int>{2, 3}));
  EXPECT_EQ(failed, (std::set<int>{4}));

  // The last task is short (frame 5 only), and a rerun of task 1 only redoes frame 4.
  fs::remove(dir_ / "calls.txt");
  EXPECT_EQ(RunTask(plan.array, 2), 0);
  EXPECT_EQ(RunTask(plan.array, 1), 0);
  ASSERT_EQ(Calls().size(), 2u);
  EXPECT_EQ(Calls()[0][3], "5");
  EXPECT_EQ(Calls()[1][3], "4");
  done.clear();
  failed.clear();
  ReadFrameMarkers(plan.markDir, done, failed);
  EXPECT_EQ(done, (std::set<int>{2, 3, 4, 5}));
  EXPECT_TRUE(failed.empty());
}

TEST_F(Farm, SimulatingHairIsCachedFirstAndTheTasksReadTheCaches) {
  FarmRequest r = Request(FarmKind::Render, "f_##.exr");
  r.first = 1;
  r.last = 2;
  r.simNodes = {"fur", "mane/left"};
  FarmPlan plan;
  std::string error;
  ASSERT_TRUE(PlanFarmJob(r, plan, error)) << error;
  ASSERT_TRUE(plan.hasSim);
  EXPECT_EQ(RunTask(plan.sim, -1), 0);
  EXPECT_EQ(RunTask(plan.array, 0), 0);
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"sim", r.scene, "--node", "fur", "--range", "1-2", "--cache",
                                                SimCacheFileName(out_.string(), "fur")}));
  EXPECT_EQ(SimCacheFileName(out_.string(), "mane/left"), (out_ / "mane_left.crnc").string());
  EXPECT_EQ(calls[2], (std::vector<std::string>{"render", r.scene, "--frame", "1", "--sim-caches", out_.string(),
                                                "--out", (out_ / "f_01.exr").string()}));
  // A resubmission keeps the caches it finds.
  fs::remove(dir_ / "calls.txt");
  EXPECT_EQ(RunTask(plan.sim, -1), 0);
  EXPECT_FALSE(fs::exists(dir_ / "calls.txt"));
  const std::vector<std::string> commands = FarmSubmitCommands(plan);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_NE(commands[1].find("'--dependency=afterok:<sim job>'"), std::string::npos) << commands[1];
}

TEST_F(Farm, ExportTasksWriteChunksOrPrtFramesAndTheJoinFollows) {
  FarmRequest usd = Request(FarmKind::Usd, "hair.usda");
  usd.node = "fur";
  usd.first = 0;
  usd.last = 4;
  usd.chunk = 2;
  FarmPlan plan;
  std::string error;
  ASSERT_TRUE(PlanFarmJob(usd, plan, error)) << error;
  ASSERT_TRUE(plan.hasJoin);
  EXPECT_EQ(RunTask(plan.array, 2), 0);
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"export", usd.scene, "--node", "fur", "--frames", "4-4", "--out",
                                                UsdChunkFileName(usd.out, 4, 4)}));
  EXPECT_EQ(UsdChunkRelativeName(usd.out, 4, 4), "hair_clips/hair_0004_0004.usda");
  EXPECT_EQ(RunTask(plan.array, 0), 0);
  std::set<int> done, failed;
  ReadFrameMarkers(plan.markDir, done, failed);
  EXPECT_EQ(done, (std::set<int>{0, 1, 4}));
  EXPECT_EQ(RunTask(plan.join, -1), 0);
  EXPECT_EQ(Calls().back(), (std::vector<std::string>{"farm", "join", usd.scene, "--node", "fur", "--frames", "0-4",
                                                      "--chunk", "2", "--out", usd.out}));
  ASSERT_EQ(FarmSubmitCommands(plan).size(), 2u);
  EXPECT_NE(FarmSubmitCommands(plan)[1].find("afterok:<array job>"), std::string::npos);

  fs::remove(dir_ / "calls.txt");
  FarmRequest prt = Request(FarmKind::Prt, "hair.prt");
  prt.node = "fur";
  prt.first = 10;
  prt.last = 11;
  prt.chunk = 5;
  ASSERT_TRUE(PlanFarmJob(prt, plan, error)) << error;
  EXPECT_EQ(RunTask(plan.array, 0, "FAIL_FRAMES=''"), 0);
  calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1], (std::vector<std::string>{"prt", prt.scene, "--node", "fur", "--range", "11-11",
                                                "--sequence-start", "10", "--out", prt.out}));
}

TEST_F(Farm, PlansRefuseBadRequests) {
  struct Case {
    const char* what;
    void (*change)(FarmRequest&);
    const char* error;
  };
  const Case cases[] = {
      {"empty range", [](FarmRequest& r) { r.first = 3, r.last = 2; }, "is empty"},
      {"no frame number", [](FarmRequest& r) { r.out = "/o/f.png"; }, "####"},
      {"relative path", [](FarmRequest& r) { r.scene = "scene.json"; }, "absolute"},
      {"newline in a path", [](FarmRequest& r) { r.out = "/o/a\nb_####.png"; }, "control characters"},
      {"too many tasks", [](FarmRequest& r) { r.last = 500000; }, "--chunk"},
      // The submit line is quoted in a comment of the script: a newline would end it.
      {"newline in the partition", [](FarmRequest& r) { r.partition = "x\ntouch /tmp/owned"; }, "--partition"},
  };
  for (const Case& c : cases) {
    FarmRequest r = Request(FarmKind::Render, "f_####.png");
    c.change(r);
    FarmPlan plan;
    std::string error;
    EXPECT_FALSE(PlanFarmJob(r, plan, error)) << c.what;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
}

TEST(FarmStatus, FramesFollowTheQueueAndTheMarkers) {
  FarmRecord record;
  record.first = 0;
  record.last = 7;
  record.chunk = 2;
  record.jobs.array = "12";
  record.logDir = "/l";
  record.name = "f_.png";
  // Task 0 done; task 1 running with one frame done; task 2 pending on its dependency (frame 4
  // failed in an earlier submission); task 3 left the queue with frame 6 failed and frame 7
  // never made (killed).
  const auto queued = ParseSqueue("12_1|RUNNING|None\n12_2|PENDING|Dependency\n13|RUNNING|None\n12_[5-6]|PENDING|x\n",
                                  "12");
  ASSERT_EQ(queued.size(), 2u);
  const FarmStatus s = SummariseFarm(record, queued, {0, 1, 2}, {4, 6});
  EXPECT_EQ(s.done, 3);
  EXPECT_EQ(s.running, 1);
  EXPECT_EQ(s.pending, 2);
  EXPECT_EQ(s.failed, 2);
  ASSERT_EQ(s.tasks.size(), 4u);
  EXPECT_EQ(s.tasks[2].reason, "Dependency");
  EXPECT_EQ(s.tasks[3].failed, 2);
  EXPECT_EQ(s.tasks[3].log, "/l/f_.png_12_3.log");
  EXPECT_TRUE(ParseSqueue("13|RUNNING|None\n", "13").count(-1));
}

TEST(FarmStatus, RecordsRoundTripAndRejectOtherFiles) {
  FarmRequest request;
  request.kind = FarmKind::Usd;
  request.first = -3;
  request.last = 9;
  request.chunk = 4;
  request.out = "/o/hair.usda";
  FarmPlan plan;
  plan.markDir = "/o/crinel_farm/hair.usda.frames";
  plan.logDir = "/o/crinel_farm/logs";
  plan.name = "hair.usda";
  const FarmRecord a = MakeFarmRecord(request, plan, {"4", "5", "6"});
  FarmRecord b;
  std::string error;
  ASSERT_TRUE(ParseFarmRecord(FormatFarmRecord(a), b, error)) << error;
  EXPECT_EQ(FormatFarmRecord(b), FormatFarmRecord(a));
  EXPECT_FALSE(ParseFarmRecord("hello\n", b, error));
  EXPECT_FALSE(ParseFarmRecord("crinel farm job\nkind=render\nfirst=1\n", b, error));
  EXPECT_NE(error.find("incomplete"), std::string::npos);
}

TEST(FarmUsd, TheJoinLayerReadsItsChunksAsValueClips) {
  const fs::path path = fs::temp_directory_path() / ("crinel_join_" + std::to_string(::getpid()) + ".usda");
  const fs::path manifest = fs::temp_directory_path() / ("crinel_join_" + std::to_string(::getpid()) + "_manifest.usda");
  std::string error;
  ASSERT_TRUE(WriteUsdClipsLayer(path.string(), "fur coat", 30, 0.01,
                                 {{"hair_clips/hair_0000_0001.usda", 0, 1}, {"hair_clips/hair_0002_0002.usda", 2, 2}},
                                 BaseName(manifest.string()), error))
      << error;
  const std::string text = fixtures::Slurp(path);
  const std::string manifestText = fixtures::Slurp(manifest);
  fs::remove(path);
  fs::remove(manifest);
  EXPECT_NE(manifestText.find("        point3f[] points\n"), std::string::npos) << manifestText;
  EXPECT_EQ(manifestText.find("clips"), std::string::npos);
  EXPECT_EQ(manifestText.find("uniform token type"), std::string::npos);
  for (const char* expected :
       {"defaultPrim = \"fur_coat\"", "startTimeCode = 0", "endTimeCode = 2", "def Xform \"fur_coat\" (",
        "double2[] active = [(0, 0), (2, 1)]",
        "asset[] assetPaths = [@./hair_clips/hair_0000_0001.usda@, @./hair_clips/hair_0002_0002.usda@]",
        "string primPath = \"/fur_coat\"", "asset manifestAssetPath = @./crinel_join_", "double2[] times = [(0, 0), (2, 2)]", "def BasisCurves \"strands\"",
        "        float[] widths (\n            interpolation = \"vertex\"\n        )\n"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  EXPECT_EQ(text.find("timeSamples"), std::string::npos);
  EXPECT_FALSE(WriteUsdClipsLayer(path.string(), "fur", 30, 1, {}, "m.usda", error));
}

TEST_F(Farm, CommandErrorsAndDryRun) {
  const std::string scene = std::string(CRINEL_EXAMPLES) + "/furball.json";
  const std::string out = ShellQuote((out_ / "f_####.png").string());
  struct Case {
    std::string args;
    int rc;
    const char* says;
  };
  const Case cases[] = {
      {"farm render " + scene + " --frames 3-1 --out " + out, 2, "--frames must be A-B"},
      {"farm render " + scene + " --frames 1-3 --out /tmp/f.png", 2, "####"},
      {"farm render " + scene + " --frames 1-3 --chunk 0 --out " + out, 2, "--chunk"},
      {"farm export " + scene + " --frames 1-3 --node nobody --out /tmp/h.usda", 1, "no hair object named \"nobody\""},
      {"farm render " + scene + " --frames 1-3 --camera nobody --out " + out, 1, "no camera node named \"nobody\""},
      {"farm export " + scene + " --frames 1-3 --node fur --out /tmp/h.abc", 2, "hair.prt"},
      {"farm status 12x", 1, "not a job id"},
      {"farm render " + scene + " --frames 1-3 --out " + out, 1, "sbatch not found on PATH"},
  };
  for (const Case& c : cases) {
    const std::string cmd = "PATH=/nonexistent " + std::string(CRINEL_CLI) + " " + c.args + " >" +
                            ShellQuote((dir_ / "o.txt").string()) + " 2>&1";
    const int status = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.rc) << c.args;
    EXPECT_NE(fixtures::Slurp(dir_ / "o.txt").find(c.says), std::string::npos)
        << c.args << "\n" << fixtures::Slurp(dir_ / "o.txt");
  }
  // A job record that is not a file is refused, never read.
  fs::create_directories(dir_ / "jobs" / "job_7.txt");
  const std::string cmd = "CRINEL_FARM_JOBS=" + ShellQuote((dir_ / "jobs").string()) + " " +
                          std::string(CRINEL_CLI) + " farm status 7 >" + ShellQuote((dir_ / "o.txt").string()) + " 2>&1";
  const int status = std::system(cmd.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_NE(fixtures::Slurp(dir_ / "o.txt").find("is a directory"), std::string::npos) << fixtures::Slurp(dir_ / "o.txt");

  const fixtures::CliResult dry =
      fixtures::RunCli(dir_, "farm render " + scene + " --frames 0-3 --chunk 2 --size 64x36 --out " + out + " --dry-run");
  EXPECT_EQ(dry.rc, 0) << dry.err;
  EXPECT_NE(dry.out.find("--array=0-1"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("render \"$scene\" --frame \"$f\" '--size' '64x36'"), std::string::npos) << dry.out;
  EXPECT_FALSE(fs::exists(out_ / "crinel_farm"));
}

}  // namespace

namespace {

// A farm task writes one PRT frame in a process of its own: with --sequence-start its
// velocities come from the frame before, so the file equals that frame of one export of the
// whole range (without it a moving object's velocities would be zero).
TEST_F(Farm, PrtFramesWrittenAloneKeepTheirVelocities) {
  const fs::path scene = dir_ / "spin.json";
  std::ofstream(scene) << R"({"units": "cm", "fps": 30, "range": [0, 10], "nodes": [
    {"name": "ball", "mesh": {"primitive": "sphere", "radius": 10, "segments": 8},
     "transform": {"rotation": {"keys": [[0, [0, 0, 0]], [10, [0, 0, 90]]]}}},
    {"name": "fur", "object": "Crinel", "params": {"surface": "ball", "count": 300, "length": 3, "segments": 4}}]})";
  const std::string base = "prt " + ShellQuote(scene.string()) + " --node fur --out ";
  ASSERT_EQ(fixtures::RunCli(dir_, base + ShellQuote((dir_ / "all.prt").string()) + " --range 3-4").rc, 0);
  ASSERT_EQ(fixtures::RunCli(dir_, base + ShellQuote((dir_ / "lead.prt").string()) + " --range 4-4 --sequence-start 3").rc,
            0);
  ASSERT_EQ(fixtures::RunCli(dir_, base + ShellQuote((dir_ / "cold.prt").string()) + " --range 4-4").rc, 0);
  const std::string whole = fixtures::Slurp(dir_ / "all_0004.prt");
  ASSERT_FALSE(whole.empty());
  EXPECT_EQ(fixtures::Slurp(dir_ / "lead_0004.prt"), whole);
  EXPECT_NE(fixtures::Slurp(dir_ / "cold_0004.prt"), whole);
  EXPECT_EQ(fixtures::RunCli(dir_, base + "x.prt --sequence-start 3").rc, 2);
  EXPECT_EQ(fixtures::RunCli(dir_, base + "x.prt --range 4-5 --sequence-start 5").rc, 2);
}

}  // namespace
