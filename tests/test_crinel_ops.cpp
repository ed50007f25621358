// The script interface crinelOps: its descriptor, the dispatcher's statuses and every
// function's answer for a node that is not a hair object, and scripted dabs.
#include <gtest/gtest.h>

#include "scene_fixtures.h"

#include "groom/brush_state.h"
#include "groom/crinel_ops.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"

using namespace host;
using namespace crn;

namespace {

class CrinelOpsTest : public fixtures::BallScene {
 protected:
  void SetUp() override {
    BallScene::SetUp();
    ops_ = GetFPInterface("crinelOps");
    ASSERT_NE(ops_, nullptr);
  }
  void TearDown() override {
    SetBrushActive(false);
    ip().ResetScene();
  }
  FPValue Call(int fid, std::vector<FPValue> args) {
    FPValue result;
    std::string error;
    EXPECT_EQ(ops_->Invoke(fid, args, result, &error), FPS_OK) << fid << " " << error;
    return result;
  }

  FPInterfaceDesc* ops_ = nullptr;
};

}  // namespace

TEST_F(CrinelOpsTest, DescriptorListsTheFunctionsInOrder) {
  EXPECT_EQ(ops_->ID(), Interface_ID(0x4F1A2B3C, 0x5D6E7F80));
  EXPECT_EQ(GetFPInterface(Interface_ID(0x4F1A2B3C, 0x5D6E7F80)), ops_);
  EXPECT_EQ(ops_->DescriptionResource(), 0);
  EXPECT_EQ(ops_->Flags() & FP_CORE, FP_CORE);
  const std::vector<std::pair<int, std::string>> expected = {
      {0, "guideCount"},   {1, "guidePoint"},  {2, "insideCount"}, {4, "brushStroke"},
      {5, "brushMouse"},   {6, "kinkCount"},   {7, "renderCount"}, {8, "dumpStrands"},
      {9, "applyPreset"},  {10, "presetCount"}, {3, "brushDab"}};
  ASSERT_EQ(ops_->Functions().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(ops_->Functions()[i].id, expected[i].first);
    EXPECT_EQ(ops_->Functions()[i].internalName, expected[i].second);
  }
  const FPFunctionDef* gp = ops_->FindFunction("guidePoint");
  ASSERT_EQ(gp->params.size(), 4u);
  EXPECT_EQ(gp->resultType, FP_POINT3_BV);
  EXPECT_EQ(gp->params[3].internalName, "time");
  EXPECT_EQ(gp->params[3].type, FP_TIMEVALUE);
  const FPFunctionDef* dab = ops_->FindFunction("brushDab");
  EXPECT_EQ(dab->params[3].internalName, "delta");
  EXPECT_EQ(dab->params[3].type, FP_POINT3_BV);
}

TEST_F(CrinelOpsTest, DispatcherStatuses) {
  FPValue r;
  std::string error;
  EXPECT_EQ(ops_->Invoke(11, {}, r, &error), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(ops_->Invoke(-1, {}, r, &error), FPS_NO_SUCH_FUNCTION);
  EXPECT_EQ(ops_->Invoke(kFnGuidePoint, {FPValue::Node(nullptr), FPValue::Int(0)}, r, &error),
            FPS_ARGUMENT_ERROR);
  EXPECT_EQ(error, "Argument index out of bounds, passed into a MaxSDK::Array::operator[]");
  EXPECT_EQ(Call(kFnPresetCount, {}).i, 43);
}

TEST_F(CrinelOpsTest, EveryFunctionAnswersForANodeThatIsNotHair) {
  for (INode* n : {static_cast<INode*>(nullptr), ip().GetINodeByName("ball")}) {
    const FPValue node = FPValue::Node(n);
    EXPECT_EQ(Call(kFnGuideCount, {node}).i, 0);
    EXPECT_EQ(Call(kFnGuidePoint, {node, FPValue::Int(0), FPValue::Int(0), FPValue::Time(0)}).p,
              Point3(0, 0, 0));
    EXPECT_EQ(Call(kFnInsideCount, {node, FPValue::Time(0)}).i, -1);
    EXPECT_FALSE(Call(kFnBrushDab, {node, FPValue::Int(0), FPValue::Float(1), FPValue::Point({1, 0, 0})}).b);
    EXPECT_FALSE(Call(kFnBrushMouse, {node, FPValue::Int(0), FPValue::Int(5), FPValue::Int(5)}).b);
    EXPECT_EQ(Call(kFnKinkCount, {node, FPValue::Time(0)}).i, -1);
    EXPECT_EQ(Call(kFnRenderCount, {node}).i, -1);
    EXPECT_EQ(Call(kFnDumpStrands, {node, FPValue::String("/tmp/never_written.bin")}).i, -1);
    EXPECT_FALSE(Call(kFnApplyPreset, {node, FPValue::Int(3)}).b);
    // brushStroke answers true for any node and sets the stroke flag.
    EXPECT_TRUE(Call(kFnBrushStroke, {node, FPValue::Bool(true)}).b);
    EXPECT_TRUE(BrushActive());
    EXPECT_TRUE(Call(kFnBrushStroke, {node, FPValue::Bool(false)}).b);
    EXPECT_FALSE(BrushActive());
  }
  const FPValue hair = FPValue::Node(ip().GetINodeByName("fur"));
  EXPECT_FALSE(Call(kFnApplyPreset, {hair, FPValue::Int(43)}).b);
  EXPECT_FALSE(Call(kFnApplyPreset, {hair, FPValue::Int(-1)}).b);
  EXPECT_TRUE(Call(kFnApplyPreset, {hair, FPValue::Int(1)}).b);
  // A viewport that is not alive: brushMouse refuses.
  ip().GetActiveViewExp().SetAlive(false);
  EXPECT_FALSE(Call(kFnBrushMouse, {hair, FPValue::Int(0), FPValue::Int(5), FPValue::Int(5)}).b);
  ip().GetActiveViewExp().SetAlive(true);
}

TEST_F(CrinelOpsTest, ScriptDabsWeighGuidesByDistanceOnlyDuringAStroke) {
  INode* node = ip().GetINodeByName("fur");
  HairObject* hair = HairObjectOf(node);
  const std::size_t n = hair->EvaluateGuides(0).VertexCount();
  const int P = hair->EvaluateGuides(0).guidePointCount;
  // Outside a stroke every guide is combed at full weight.
  ASSERT_TRUE(ops::brushDab(node, 0, 1.0f, V3(1, 0, 0)));
  ASSERT_EQ(hair->GroomEdits().size(), n * P);
  std::size_t touched = 0;
  for (std::size_t g = 0; g < n; ++g) touched += hair->GroomEdits()[g * P + P - 1] != V3();
  EXPECT_EQ(touched, n);
  // During a stroke only guides within three lengths of guide 0 are touched.
  hair->SetGroomEdits({});
  hair->FullGroomChange();
  ops::brushStroke(node, true);
  ASSERT_TRUE(ops::brushDab(node, 0, 1.0f, V3(1, 0, 0)));
  ops::brushStroke(node, false);
  const GuideSet& g = hair->EvaluateGuides(0);
  const float R = 3 * g.settings.length;
  for (std::size_t i = 0; i < n; ++i) {
    const bool near = Length(g.guidePoints[i * P] - g.guidePoints[0]) < R;
    if (!near) {
      EXPECT_EQ(hair->GroomEdits()[i * P + P - 1], V3()) << i;
    }
  }
  EXPECT_NE(hair->GroomEdits()[P - 1], V3());
}
