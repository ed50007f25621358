// Grooming with the mouse: strokes as undo steps, the brush's screen weights and effective
// radius, the screen-to-world drag, density strokes and the brush mode itself.
#include <gtest/gtest.h>

#include "groom/brush_mode.h"
#include "groom/brush_state.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "host/undo.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"

using namespace host;
using namespace crn;

namespace {

// Four guides at the corners of a 20 x 20 plane, seen from above by an orthographic view
// 100 units wide on a 1000 x 500 window: 10 pixels per unit, the origin at (500, 250).
class BrushStroke : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto r = scene::LoadAnyScene(std::string(CRINEL_TEST_DATA) + "/scenes/plane.json", ip());
    ASSERT_TRUE(r.ok) << r.error;
    node = ip().GetINodeByName("grass");
    hair = HairObjectOf(node);
    ViewCamera cam;
    cam.perspective = false;
    cam.orthoWidth = 100;
    cam.worldToView = Inverse(TransMatrix({0, 0, 50}));
    ip().SetActiveViewport(cam, 1000, 500);
    SetBrushKind(0);
    SetBrushRadius(60);
    SetBrushStrength(1.0f);
  }
  void TearDown() override {
    SetBrushActive(false);
    Brush().currentObject = nullptr;
    theHold.ClearStacks();
    ip().ResetScene();
  }
  static Interface& ip() { return *GetCOREInterface(); }
  // Screen position of guide i's root.
  IPoint2 Root(int i) {
    const GuideSet& g = hair->EvaluateGuides(0);
    const V3 p = g.guidePoints[std::size_t(i) * g.guidePointCount];
    return {500 + int(std::lround(p.x * 10)), 250 - int(std::lround(p.y * 10))};
  }
  V3 Tip(int i) {
    const GuideSet& g = hair->EvaluateGuides(0);
    return g.guidePoints[std::size_t(i + 1) * g.guidePointCount - 1];
  }

  scene::ModuleSession module;
  INode* node = nullptr;
  HairObject* hair = nullptr;
};

}  // namespace

TEST_F(BrushStroke, FiftyDabStrokeIsOneUndoStep) {
  ASSERT_EQ(hair->EvaluateGuides(0).VertexCount(), 4u);
  const IPoint2 r = Root(0);
  const auto before = theHold.UndoCount();
  EXPECT_TRUE(ops::brushMouse(node, 0, r.x, r.y));
  EXPECT_TRUE(BrushActive());
  for (int i = 1; i <= 50; ++i) EXPECT_TRUE(ops::brushMouse(node, 1, r.x + i, r.y));
  EXPECT_FALSE(ops::brushMouse(node, 2, r.x + 50, r.y));
  EXPECT_FALSE(BrushActive());
  ASSERT_EQ(theHold.UndoCount(), before + 1);
  EXPECT_EQ(theHold.UndoName(), "Crinel groom");
  const auto groomed = hair->GroomEdits();
  ASSERT_FALSE(groomed.empty());
  // The drag went right on screen: the combed tip moved towards +x.
  EXPECT_GT(Tip(0).x, hair->UngroomedGuidePoints(0)[4].x + 0.5f);
  ASSERT_TRUE(theHold.Undo());
  EXPECT_TRUE(hair->GroomEdits().empty());
  ASSERT_TRUE(theHold.Redo());
  EXPECT_EQ(hair->GroomEdits(), groomed);
}

TEST_F(BrushStroke, ScreenDragBecomesAWorldDrag) {
  // Dragging down the screen combs towards -y; ten pixels are one world unit.
  const IPoint2 r = Root(1);
  ops::brushMouse(node, 0, r.x, r.y);
  ops::brushMouse(node, 1, r.x, r.y + 10);
  const V3 tip = Tip(1), start = hair->UngroomedGuidePoints(0)[9];
  ops::brushMouse(node, 2, r.x, r.y + 10);
  EXPECT_LT(tip.y, start.y - 0.2f);
  EXPECT_NEAR(tip.x, start.x, 1e-3f);
}

TEST_F(BrushStroke, PressAndReleaseWithoutMovingChangesNothing) {
  const IPoint2 r = Root(0);
  const auto before = theHold.UndoCount();
  ops::brushMouse(node, 0, r.x, r.y);
  ops::brushMouse(node, 2, r.x, r.y);
  EXPECT_EQ(theHold.UndoCount(), before + 1);
  EXPECT_EQ(theHold.UndoName(), "Crinel groom");
  EXPECT_TRUE(hair->GroomEdits().empty());
  // A release with no stroke open makes no undo step and answers false.
  EXPECT_FALSE(ops::brushMouse(node, 2, r.x, r.y));
  EXPECT_EQ(theHold.UndoCount(), before + 1);
}

TEST_F(BrushStroke, EffectiveRadiusReachesNearbyGuides) {
  // A 2-pixel brush 3 pixels from a root: within twice its radius, so the radius grows to
  // take in the k-th nearest guide (k = min(4, 8) = 4): every guide is combed.
  SetBrushRadius(0.5f);  // used as 2
  EXPECT_EQ(Brush().brushRadius, 2.f);
  const IPoint2 r = Root(2);
  ops::brushMouse(node, 0, r.x, r.y);
  ops::brushMouse(node, 1, r.x + 3, r.y);
  ops::brushMouse(node, 2, r.x + 3, r.y);
  ASSERT_EQ(hair->GroomEdits().size(), 4u * 5u);
  for (int g = 0; g < 4; ++g) EXPECT_NE(hair->GroomEdits()[g * 5 + 4], V3()) << "guide " << g;
  // Far from every guide the brush touches nothing.
  hair->SetGroomEdits({});
  hair->FullGroomChange();
  ops::brushMouse(node, 0, 20, 20);
  ops::brushMouse(node, 1, 30, 20);
  ops::brushMouse(node, 2, 30, 20);
  for (const V3& e : hair->GroomEdits()) EXPECT_EQ(e, V3());
}

TEST_F(BrushStroke, DensityStrokesPaintFactorsAndUndoOnlyTheEdits) {
  SetBrushKind(14);  // "Density: paint less"
  const IPoint2 r = Root(3);
  ops::brushMouse(node, 0, r.x, r.y);
  for (int i = 1; i <= 4; ++i) ops::brushMouse(node, 1, r.x + i, r.y);
  ops::brushMouse(node, 2, r.x + 4, r.y);
  ASSERT_EQ(hair->DensityFactors().size(), 4u);
  EXPECT_LT(hair->DensityFactors()[3], 1.0f);
  const auto painted = hair->DensityFactors();
  // Undo restores the (unchanged) edit offsets and leaves the painting as it is.
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(hair->DensityFactors(), painted);
}

TEST_F(BrushStroke, RightClickDuringAStrokeKeepsItAsAnUndoStep) {
  ToggleBrushMode(hair);
  const IPoint2 r = Root(0);
  const auto before = theHold.UndoCount();
  ip().SendMouse(MOUSE_POINT, 0, 0, r);
  ip().SendMouse(MOUSE_MOVE, 1, 0, IPoint2{r.x + 20, r.y});
  ip().SendMouse(MOUSE_ABORT, 0, 0, IPoint2{r.x + 20, r.y});
  EXPECT_FALSE(Brush().brushModeActive);
  EXPECT_FALSE(BrushActive());
  ASSERT_FALSE(hair->GroomEdits().empty());
  ASSERT_EQ(theHold.UndoCount(), before + 1);
  ASSERT_TRUE(theHold.Undo());
  EXPECT_TRUE(hair->GroomEdits().empty());
}

TEST_F(BrushStroke, ModeEntersWithAnObjectAndLeavesOnRightClick) {
  EXPECT_EQ(ToggleBrushMode(nullptr), "");
  EXPECT_FALSE(Brush().brushModeActive);
  EXPECT_EQ(ToggleBrushMode(hair), "Brush: drag over the hair. Right-click to stop.");
  EXPECT_TRUE(Brush().brushModeActive);
  EXPECT_EQ(ip().GetCommandMode(), &GetBrushMode());
  ASSERT_EQ(ip().ViewportDisplayCallbacks(false).size(), 1u);
  // Moving with no button pressed only redraws.
  const int redraws = ip().RedrawCount();
  EXPECT_EQ(ip().SendMouse(MOUSE_FREEMOVE, 0, 0, IPoint2{100, 100}), 1);
  EXPECT_EQ(ip().RedrawCount(), redraws + 1);
  EXPECT_EQ(Brush().lastMouse, (IPoint2{100, 100}));
  Rect rect;
  GetBrushCircle().GetViewportRect(0, &ip().GetActiveViewExp(), &rect);
  EXPECT_EQ(rect.left, 100 - 64);
  EXPECT_EQ(rect.bottom, 100 + 64);
  // A right-click leaves the mode.
  EXPECT_EQ(ip().SendMouse(MOUSE_ABORT, 0, 0, IPoint2{100, 100}), 0);
  EXPECT_FALSE(Brush().brushModeActive);
  EXPECT_EQ(ip().GetCommandMode(), nullptr);
  EXPECT_TRUE(ip().ViewportDisplayCallbacks(false).empty());
}
