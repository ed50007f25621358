// The simulation driver: when frames are simulated, served, refused or thrown away; the live
// mode at the start frame; range simulation; the hand-over of positions to guide evaluation.
#include <gtest/gtest.h>

#include "sim_fixtures.h"

#include "dynamics/sim_driver.h"
#include "dynamics/sim_registry.h"
#include "hair/hair_params.h"
#include "host/timers.h"

using namespace crn;
using fixtures::SimScene;

namespace {

class SimDriver : public SimScene {
 protected:
  // The tip of guide 12 (the middle of the plane) at a frame, as guide evaluation gives it.
  V3 Tip(int frame) {
    const GuideSet& g = hair->EvaluateGuides(Frame(frame));
    return g.guidePoints[12 * std::size_t(g.guidePointCount) + std::size_t(g.guidePointCount - 1)];
  }
};

}  // namespace

TEST_F(SimDriver, SimulatedPointsReplaceTheGrownOnesAtTheirFrame) {
  Load(fixtures::GrassSceneJson(",{\"name\": \"wind\", \"object\": \"CrinelWind\", \"params\": "
                                "{\"strength\": 1, \"gustAmp\": 0, \"turbulence\": 0}, "
                                "\"transform\": {\"rotation\": [0, 90, 0]}}",
                                ", \"forces\": [\"wind\"]"));
  const V3 grown = Tip(0);
  EXPECT_TRUE(SimulateToTime(*hair, Frame(10)));
  const V3 blown = Tip(10);
  EXPECT_GT(blown.x, grown.x + 0.5f);  // the wind blows along +X
  EXPECT_TRUE(hair->HoldsSimPositions(Frame(10)));
  const SimState* s = Record();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->frames.size(), 11u);  // 0 (the start) to 10
  EXPECT_EQ(s->lastFrame, 10);
  // Evaluating an earlier frame serves it from the record without simulating.
  EXPECT_NE(Tip(5), blown);
  EXPECT_EQ(Record()->lastFrame, 10);
  // Dynamics off: the grown pose again.
  hair->pblock2->SetValue(hp::dynMode, 0, 0);
  EXPECT_EQ(Tip(10), grown);
}

TEST_F(SimDriver, StatusLines) {
  Load(fixtures::GrassSceneJson());
  EXPECT_EQ(SimStatus(*hair), "Not simulated.");
  SimulateToTime(*hair, Frame(3));
  EXPECT_EQ(SimStatus(*hair), "CPU  25 guides  frames 0-3 ");
}

TEST_F(SimDriver, ThreeThousandFramesAheadAtMostOnceSimulated) {
  Load(fixtures::GrassSceneJson());
  // Nothing simulated yet: the first request runs all the way.
  EXPECT_TRUE(SimulateToTime(*hair, Frame(3500)));
  EXPECT_EQ(Record()->lastFrame, 3500);
  SimRegistry::Get().Erase(hair->ObjectId());
  EXPECT_TRUE(SimulateToTime(*hair, Frame(500)));
  EXPECT_FALSE(SimulateToTime(*hair, Frame(3501)));
  EXPECT_EQ(Record()->lastFrame, 500);
  EXPECT_TRUE(SimulateToTime(*hair, Frame(3500)));
}

TEST_F(SimDriver, ASurfaceThatCannotBeEvaluatedEndsTheRunAndKeepsTheFrames) {
  // The plane exists as a mesh sequence of frames 0 to 5 only.
  for (int f = 0; f <= 5; ++f)
    dir.Write("p_" + std::to_string(f) + ".obj",
              "v -5 -5 " + std::to_string(0.1 * f) + "\nv 5 -5 0\nv 5 5 0\nv -5 5 0\nf 1 2 3\nf 1 3 4\n");
  Load(fixtures::GrassSceneJson("", "", "{\"sequence\": \"p_#.obj\", \"frames\": [0, 5]}"));
  EXPECT_FALSE(SimulateToTime(*hair, Frame(8)));
  EXPECT_EQ(Record()->lastFrame, 5);
  EXPECT_EQ(SimStatus(*hair), "CPU  4 guides  frames 0-5 ");
  EXPECT_TRUE(SimulateToTime(*hair, Frame(4)));
}

TEST_F(SimDriver, StartFrameShowsTheGroomLiveModeOnlyWhenInteractive) {
  Load(fixtures::GrassSceneJson());
  EXPECT_FALSE(SimulateToTime(*hair, Frame(0)));
  EXPECT_FALSE(Record()->liveSolver);
  hair->pblock2->SetValue(hp::dynInteractive, 0, 1);
  EXPECT_TRUE(SimulateToTime(*hair, Frame(0)));
  ASSERT_NE(Record(), nullptr);
  EXPECT_TRUE(Record()->liveSolver);
  EXPECT_EQ(Record()->status, "LIVE - moves with the scene (frames are simulated when you play)");
  // Playing the animation leaves live mode.
  ip().StartAnimPlayback();
  EXPECT_FALSE(SimulateToTime(*hair, Frame(0)));
  EXPECT_FALSE(Record()->liveSolver);
  ip().EndAnimPlayback();
}

TEST_F(SimDriver, LiveModeFollowsMovesSettlesAndStopsRepainting) {
  Load(fixtures::GrassSceneJson("", ", \"dynInteractive\": true, \"dynShape\": 0.5, \"dynGravity\": 0"));
  std::uint32_t clock = 1000;
  host::SetTickCountSource([&clock] { return clock; });
  ASSERT_TRUE(SimulateToTime(*hair, Frame(0)));  // creates the live solver
  host::INode* ground = ip().GetINodeByName("ground");
  ground->Move(0, host::Point3(2, 0, 0));
  ASSERT_TRUE(SimulateToTime(*hair, Frame(0)));
  EXPECT_GT(Record()->liveMove, 1.f);  // the roots moved by 2
  EXPECT_TRUE(host::TimerRunning(nullptr, kLiveRepaintTimer));
  // Left alone, the guides settle: more than 20 quiet steps stop the repaint timer.
  const int redraws = ip().RedrawCount();
  for (int i = 0; i < 200 && Record()->settleCount <= 20; ++i) {
    clock += 33;
    host::DispatchTimerMessages();
    hair->EvaluateGuides(Frame(0));
  }
  EXPECT_GT(Record()->settleCount, 20);
  EXPECT_GT(ip().RedrawCount(), redraws);
  clock += 33;
  host::DispatchTimerMessages();
  EXPECT_FALSE(host::TimerRunning(nullptr, kLiveRepaintTimer));
  host::SetTickCountSource(nullptr);
}

TEST_F(SimDriver, CacheModeWithoutAFileShowsNoSimulation) {
  Load(fixtures::GrassSceneJson("", ", \"dynMode\": 2"));
  EXPECT_FALSE(SimulateToTime(*hair, Frame(4)));
  EXPECT_FALSE(hair->HoldsSimPositions(Frame(4)));
}

TEST_F(SimDriver, RangeSimulationStartsAtTheStartFrameAndCanBeStopped) {
  Load(fixtures::GrassSceneJson("", ", \"dynMode\": 0, \"dynStart\": 10"));
  std::vector<std::pair<int, int>> reports;
  const std::string done = SimulateRange(*hair, host::Interval(0, Frame(100)), [&](int d, int total) {
    reports.push_back({d, total});
    return true;
  });
  EXPECT_EQ(done, "Simulation done.");
  EXPECT_EQ(hair->pblock2->GetInt(hp::dynMode), 1);  // switched on from 0
  ASSERT_EQ(reports.size(), 91u);
  EXPECT_EQ(reports.back(), std::make_pair(91, 91));
  EXPECT_EQ(Record()->frames.begin()->first, 10);
  EXPECT_EQ(Record()->lastFrame, 100);

  const std::string stopped = SimulateRange(*hair, host::Interval(0, Frame(100)),
                                            [](int d, int) { return d < 5; });
  EXPECT_EQ(stopped, "Simulation stopped.");
  EXPECT_EQ(Record()->lastFrame, 14);  // frames 10..14 were simulated before the cancel
}

TEST_F(SimDriver, AnyDynamicsChangeStartsOverAndAppearanceKeepsTheFrames) {
  Load(fixtures::GrassSceneJson());
  SimulateToTime(*hair, Frame(5));
  hair->pblock2->SetValue(hp::rootColor, 0, host::Color(1, 0, 0));
  EXPECT_NE(Record(), nullptr);
  hair->pblock2->SetValue(hp::dynStiffness, 0, 0.2f);
  EXPECT_EQ(Record(), nullptr);
}
