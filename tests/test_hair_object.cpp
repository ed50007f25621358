// The hair object's evaluation: guides, roots, viewport and render strands, the memory
// budget, the render mesh and the script queries.
#include <gtest/gtest.h>

#include "scene_fixtures.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "dynamics/sim_hooks.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair/memory_fit.h"
#include "hair/strand_build.h"
#include "host/interface.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"

using namespace host;
using namespace crn;
namespace fs = std::filesystem;

namespace {

using HairEval = fixtures::BallScene;

bool SameStrand(const StrandSet& a, std::size_t i, const StrandSet& b, std::size_t j) {
  const int P = a.pointsPerStrand;
  return P == b.pointsPerStrand && a.strandId[i] == b.strandId[j] &&
         a.rootColour[i] == b.rootColour[j] && a.tipColour[i] == b.tipColour[j] &&
         std::memcmp(&a.points[i * P], &b.points[j * P], sizeof(V3) * P) == 0 &&
         std::memcmp(&a.widths[i * P], &b.widths[j * P], sizeof(float) * P) == 0;
}

}  // namespace

TEST_F(HairEval, GuidesRootsAndStrandCounts) {
  const GuideSet& g = hair->EvaluateGuides(0);
  const Mesh* ball = ip().GetINodeByName("ball")->GetObjectRef()->GetMesh(0);
  ASSERT_EQ(g.VertexCount(), ball->verts.size());
  EXPECT_EQ(g.guidePointCount, 7);
  EXPECT_EQ(g.guidePoints.size(), g.VertexCount() * 7);
  EXPECT_EQ(ops::guideCount(node), int(g.VertexCount()));
  EXPECT_EQ(hair->PlaceRoots(0).size(), 4000u);
  // 20 % of 4000 roots in the viewport, all of them in a render.
  EXPECT_EQ(hair->BuildViewportStrands(0).StrandCount(), 800u);
  EXPECT_EQ(ops::renderCount(node), 4000);
  // A node that is not a hair object gets the documented answers.
  INode* ball_node = ip().GetINodeByName("ball");
  EXPECT_EQ(ops::guideCount(ball_node), 0);
  EXPECT_EQ(ops::renderCount(ball_node), -1);
  EXPECT_EQ(ops::insideCount(nullptr, 0), -1);
  EXPECT_EQ(ops::kinkCount(nullptr, 0), -1);
}

TEST_F(HairEval, GuidePointRangeAndInsideCount) {
  const GuideSet& g = hair->EvaluateGuides(0);
  const V3 tip = ops::guidePoint(node, 3, 6, 0);
  EXPECT_EQ(tip, g.guidePoints[3 * 7 + 6]);
  EXPECT_NE(tip, V3());
  for (auto [guide, k] : {std::pair{3, 7}, {3, -1}, {-1, 0}, {int(g.VertexCount()), 0}})
    EXPECT_EQ(ops::guidePoint(node, guide, k, 0), V3()) << guide << "," << k;
  // Guides grow outwards with a little gravity: none go under the ball.
  EXPECT_EQ(ops::insideCount(node, 0), 0);
  // Groom offsets pushing every point 5 units down the root normal put points 2..6 of every
  // (3 units long) guide inside the ball.
  hair->SetGroomEdits(std::vector<V3>(g.guidePoints.size(), V3(0, 0, -5)));
  hair->FullGroomChange();
  EXPECT_EQ(ops::insideCount(node, 0), int(hair->EvaluateGuides(0).VertexCount()) * 5);
}

TEST_F(HairEval, ViewportStrandsAreAPrefixOfTheRenderStrands) {
  const StrandSet& vp = hair->BuildViewportStrands(0);
  StrandSet render;
  hair->BuildRenderStrands(0, 1.0, render);
  ASSERT_EQ(render.StrandCount(), 4000u);
  ASSERT_GT(vp.StrandCount(), 0u);
  for (std::size_t s = 0; s < vp.StrandCount(); ++s)
    ASSERT_TRUE(SameStrand(vp, s, render, s)) << "strand " << s;
  // The cached viewport set is reused until something changes.
  const auto version = hair->DisplayVersion();
  hair->BuildViewportStrands(0);
  EXPECT_EQ(hair->DisplayVersion(), version);
  pb->SetValue(hp::vpPercent, 0, 50.0f);
  EXPECT_EQ(hair->BuildViewportStrands(0).StrandCount(), 2000u);
  EXPECT_GT(hair->DisplayVersion(), version);
  EXPECT_FALSE(hair->StrandBounds().IsEmpty());
}

TEST_F(HairEval, ChangesInvalidateTheRightCaches) {
  hair->PlaceRoots(0);
  const auto key = hair->RootKey();
  const auto roots = hair->PlaceRoots(0);
  // A shape change regrows guides but keeps the roots.
  pb->SetValue(hp::lift, 0, 0.3f);
  EXPECT_EQ(hair->PlaceRoots(0).size(), roots.size());
  EXPECT_EQ(hair->RootKey(), key);
  // A new seed scatters new roots; raising the count keeps the old ones as a prefix.
  pb->SetValue(hp::count, 0, 5000);
  const auto more = hair->PlaceRoots(0);
  ASSERT_EQ(more.size(), 5000u);
  for (std::size_t i = 0; i < roots.size(); ++i) ASSERT_EQ(more[i].id, roots[i].id);
  pb->SetValue(hp::seed, 0, 2);
  EXPECT_NE(hair->RootKey(), key);
  EXPECT_NE(hair->PlaceRoots(0)[0].pos, roots[0].pos);
  // Changing the segment count empties the groom offsets.
  hair->SetGroomEdits(std::vector<V3>(hair->EvaluateGuides(0).guidePoints.size(), V3(0, 0, 0.1f)));
  pb->SetValue(hp::segments, 0, 8);
  EXPECT_TRUE(hair->GroomEdits().empty());
  EXPECT_EQ(hair->EvaluateGuides(0).guidePointCount, 9);
}

TEST_F(HairEval, AnimatedSurfaceMovesTheGuides) {
  INode* ball = ip().GetINodeByName("ball");
  NodeTransform xf;
  xf.position.SetKeys({{0, Point3(0, 0, 0)}, {FramesToTicks(10), Point3(0, 0, 50)}});
  ball->SetTransform(xf);
  const V3 root0 = hair->EvaluateGuides(0).guidePoints[0];
  const V3 root10 = hair->EvaluateGuides(FramesToTicks(10)).guidePoints[0];
  EXPECT_NEAR(root10.z - root0.z, 50.f, 1e-3f);
  // Roots stay the same strands (placed on the rest frame) and follow the surface.
  EXPECT_EQ(hair->PlaceRoots(FramesToTicks(10)).size(), 4000u);
}

// The simulation's targets: guides grown at any time through the module's hooks, with the
// groom, while the object's cached guides, strands and display version stay as they were.
TEST_F(HairEval, SimulationGrowsGuidesWithoutTouchingTheCaches) {
  INode* ball = ip().GetINodeByName("ball");
  NodeTransform xf;
  xf.position.SetKeys({{0, Point3(0, 0, 0)}, {FramesToTicks(10), Point3(0, 0, 50)}});
  ball->SetTransform(xf);
  const std::vector<V3> cached = hair->EvaluateGuides(0).guidePoints;
  hair->BuildViewportStrands(0);
  hair->SetGroomEdits(std::vector<V3>(cached.size(), V3(0, 0, 0.5f)));
  hair->FullGroomChange();
  const std::vector<V3> groomed = hair->EvaluateGuides(0).guidePoints;
  hair->BuildViewportStrands(0);
  const auto display = hair->DisplayVersion();

  const SimHairHooks& sim = GetSimHairHooks();
  ASSERT_NE(sim.growGuides, nullptr);
  EXPECT_EQ(sim.objectId(*hair), hair->ObjectId());
  GuideSet grown;
  Interval valid = FOREVER;
  ASSERT_TRUE(sim.growGuides(*hair, FramesToTicks(10), grown, valid));
  EXPECT_TRUE(valid.InInterval(FramesToTicks(10)));
  EXPECT_FALSE(valid.InInterval(0));
  ASSERT_EQ(grown.guidePoints.size(), groomed.size());
  for (std::size_t i = 0; i < groomed.size(); ++i)
    ASSERT_NEAR(grown.guidePoints[i].z - groomed[i].z, 50.f, 1e-3f) << i;
  EXPECT_EQ(hair->DisplayVersion(), display);
  EXPECT_EQ(hair->EvaluateGuides(0).guidePoints, groomed);

  // Not hair: refused.
  GuideSet none;
  EXPECT_FALSE(sim.growGuides(*ball->GetObjectRef(), 0, none, valid));
  EXPECT_EQ(sim.objectId(*ball->GetObjectRef()), 0u);
}

TEST(MemoryBudget, FitTable) {
  const std::uint64_t GB = 1ull << 30;
  struct Case {
    std::uint64_t host, gpu;
    int P;
    double budget;
    double expected;
  };
  const Case cases[] = {
      {8 * GB, 0, 11, 90, 8.0 * GB * 0.9 / (28 * 11 + 64)},
      {8 * GB, 4 * GB, 11, 90, 4.0 * GB * 0.9 / 880},
      {8 * GB, 0, 1, 90, 8.0 * GB * 0.9 / (28 * 2 + 64)},  // at least two points
      {8 * GB, 0, 11, 200, 8.0 * GB * 0.95 / (28 * 11 + 64)},  // budget clamped to 95 %
      {8 * GB, 0, 11, 1, 8.0 * GB * 0.10 / (28 * 11 + 64)},
      {0, 0, 11, 90, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FitStrands(c.host, c.gpu, c.P, c.budget), std::uint64_t(std::floor(c.expected)));
  EXPECT_NEAR(double(FitStrands(8 * GB, 0, 11, 90)), 20.8e6, 0.05e6);
  EXPECT_NEAR(double(FitStrands(8 * GB, 4 * GB, 11, 90)), 4.39e6, 0.01e6);
  EXPECT_GT(AvailablePhysicalMemory(), 0u);
}

TEST_F(HairEval, RenderMeshRibbonsAndTubes) {
  struct Case {
    int mode;
    std::size_t vertsPerStrand, facesPerStrand;
  };
  pb->SetValue(hp::renderPercent, 0, 10.0f);
  const int P = PointsPerStrand(hair->EvaluateGuides(0).settings);
  View view;
  view.worldToView = Inverse(ip().GetINodeByName("cam")->GetNodeTM(0));
  for (const Case c : {Case{0, 2u * P, 2u * (P - 1)}, Case{1, 2u * P, 2u * (P - 1)},
                       Case{2, 3u * P, 6u * (P - 1)}}) {
    pb->SetValue(hp::ribbonMode, 0, c.mode);
    bool del = false;
    std::unique_ptr<Mesh> m(hair->GetRenderMesh(0, node, view, del));
    EXPECT_TRUE(del);
    ASSERT_EQ(m->verts.size(), 400 * c.vertsPerStrand) << c.mode;
    ASSERT_EQ(m->faces.size(), 400 * c.facesPerStrand) << c.mode;
    EXPECT_EQ(m->Validate(), "");
    EXPECT_TRUE(m->mapSupport(0) && m->mapSupport(1));
  }
  // Camera-facing ribbons: the ribbon's width runs across the line of sight.
  pb->SetValue(hp::ribbonMode, 0, 0);
  bool del;
  std::unique_ptr<Mesh> m(hair->GetRenderMesh(0, node, view, del));
  const Point3 cam(0, -80, 0);
  for (std::size_t v = 0; v + 1 < m->verts.size(); v += 2 * P + 2) {
    const Point3 a = m->verts[v], b = m->verts[v + 1];
    if (Length(b - a) < 1e-7f) continue;
    const Point3 mid = (a + b) * 0.5f;
    EXPECT_LT(std::fabs(DotProd(Normalize(b - a), Normalize(cam - mid))), 1e-2f);
  }
  // No strands: an empty mesh, never a null one.
  pb->SetValue(hp::renderPercent, 0, 0.0f);
  std::unique_ptr<Mesh> empty(hair->GetRenderMesh(0, node, view, del));
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->verts.empty());
}

TEST_F(HairEval, RenderBudgetCapsAndTellsTheUser) {
  // Ask for far more hairs than any machine holds: the share is cut to what fits and the
  // user is told, without blocking.
  const int P = PointsPerStrand(hair->EvaluateGuides(0).settings);
  const std::uint64_t fit = MemoryFit(P, 90).strands;
  ASSERT_GT(fit, 0u);
  const double fraction = 4.0 * double(fit) / 4000.0;
  StrandSet set;
  hair->BuildRenderStrands(0, fraction, set);
  EXPECT_EQ(set.StrandCount(), 4000u);  // every root still fits
  const std::string& prompt = ip().GetPrompt();
  EXPECT_EQ(prompt.rfind("Crinel: ", 0), 0u) << prompt;
  EXPECT_NE(prompt.find("M hairs asked, "), std::string::npos) << prompt;
  EXPECT_NE(prompt.find("fit in 90% of this machine's free memory - rendering "), std::string::npos);
  ASSERT_FALSE(ip().MessageLog().empty());
  EXPECT_EQ(ip().MessageLog().back(), prompt);
}

TEST_F(HairEval, DumpStrandsWritesTheDocumentedLayout) {
  const fs::path dir = fs::temp_directory_path() / ("crinel_dump_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "strands.bin").string();
  pb->SetValue(hp::count, 0, 50);
  ASSERT_EQ(ops::dumpStrands(node, path), 50);
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  StrandSet set;
  hair->BuildRenderStrands(0, 1.0, set);
  const std::size_t P = std::size_t(set.pointsPerStrand);
  ASSERT_EQ(bytes.size(), 12 + 50 * P * 16 + 50 * 8);
  EXPECT_EQ(std::string(bytes.data(), 4), "CRNS");
  std::int32_t S, PP;
  std::memcpy(&S, &bytes[4], 4);
  std::memcpy(&PP, &bytes[8], 4);
  EXPECT_EQ(S, 50);
  EXPECT_EQ(std::size_t(PP), P);
  EXPECT_EQ(std::memcmp(&bytes[12], set.points.data(), 50 * P * 12), 0);
  EXPECT_EQ(std::memcmp(&bytes[12 + 50 * P * 12], set.widths.data(), 50 * P * 4), 0);
  EXPECT_EQ(std::memcmp(&bytes[12 + 50 * P * 16], set.rootColour.data(), 200), 0);
  EXPECT_EQ(std::memcmp(&bytes[12 + 50 * P * 16 + 200], set.tipColour.data(), 200), 0);
  // No strands: just the header. A bad path or node: -1, and no file is left behind.
  pb->SetValue(hp::surface, 0, static_cast<INode*>(nullptr));
  ASSERT_EQ(ops::dumpStrands(node, path), 0);
  EXPECT_EQ(fs::file_size(path), 12u);
  EXPECT_EQ(ops::dumpStrands(node, (dir / "missing" / "x.bin").string()), -1);
  EXPECT_EQ(ops::dumpStrands(node, ""), -1);
  EXPECT_EQ(ops::dumpStrands(ip().GetINodeByName("ball"), path), -1);
  fs::remove_all(dir);
}
