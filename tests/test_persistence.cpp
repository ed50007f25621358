// The hair object's persistence and change handling: groom chunks, clone, unit rescaling,
// which caches each parameter change resets, and when the simulation record is erased.
#include <gtest/gtest.h>

#include "scene_fixtures.h"

#include <memory>

#include "dynamics/sim_registry.h"
#include "groom/groom_edits.h"
#include "groom/script_ops.h"
#include "hair/edits_restore.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/chunk_io.h"
#include "host/interface.h"
#include "host/rescale.h"
#include "host/undo.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"

using namespace host;
using namespace crn;

namespace {

class Persistence : public fixtures::BallScene {
 protected:
  void SetUp() override {
    BallScene::SetUp();
    const std::size_t n = hair->EvaluateGuides(0).guidePoints.size();
    std::vector<V3> edits;
    for (std::size_t i = 0; i < n; ++i) edits.push_back(V3(0.01f * i, 0, 0.5f));
    hair->SetGroomEdits(edits);
    hair->SetDensityFactors(std::vector<float>(hair->EvaluateGuides(0).VertexCount(), 0.5f));
  }
  void TearDown() override {
    theHold.ClearStacks();
    ip().ResetScene();
  }
  bool HasSim() { return SimRegistry::Get().Find(hair->ObjectId()) != nullptr; }
  void MakeSim() { SimRegistry::Get().Acquire(hair->ObjectId()).lastFrame = 3; }

};

std::vector<std::uint8_t> Chunks(HairObject* obj) {
  ISave s;
  obj->Save(&s);
  return s.Bytes();
}

}  // namespace

TEST_F(Persistence, GroomChunksRoundTripThroughASavedScene) {
  const auto edits = hair->GroomEdits();
  const auto factors = hair->DensityFactors();
  const auto bytes = scene::SaveSceneBytes(ip());
  std::string err;
  ASSERT_TRUE(scene::LoadSceneBytes(bytes, "s.crn", ip(), err)) << err;
  HairObject* again = HairObjectOf(ip().GetINodeByName("fur"));
  EXPECT_EQ(again->GroomEdits(), edits);
  EXPECT_EQ(again->DensityFactors(), factors);
  EXPECT_EQ(scene::SaveSceneBytes(ip()), bytes);
}

TEST_F(Persistence, UngroomedObjectWritesNoChunks) {
  hair->SetGroomEdits({});
  hair->SetDensityFactors({});
  EXPECT_TRUE(Chunks(hair).empty());
  std::unique_ptr<HairObject> fresh(static_cast<HairObject*>(GetHairObjDesc()->Create(true)));
  ILoad l(Chunks(hair));
  EXPECT_EQ(fresh->Load(&l), IO_OK);
  EXPECT_TRUE(fresh->GroomEdits().empty());
  EXPECT_TRUE(fresh->DensityFactors().empty());
}

TEST_F(Persistence, RefusedAndTruncatedChunksKeepThePreviousArrays) {
  struct Case {
    const char* what;
    USHORT id;
    std::uint32_t count;
    std::size_t payloadBytes;
  };
  const Case cases[] = {
      {"edits count of 500,000,000", 0x4801, 500000000u, 24},
      {"edits count far above the data", 0x4801, 400000000u, 24},
      {"density count of 0xFFFFFFFF", 0x4802, 0xFFFFFFFFu, 8},
      {"density chunk cut short", 0x4802, 10u, 8},
  };
  for (const Case& c : cases) {
    ISave s;
    s.BeginChunk(c.id);
    s.WriteU32(c.count);
    std::vector<std::uint8_t> payload(c.payloadBytes, 0x3F);
    s.Write(payload.data(), payload.size());
    s.EndChunk();
    std::unique_ptr<HairObject> obj(static_cast<HairObject*>(GetHairObjDesc()->Create(true)));
    obj->SetGroomEdits({V3(1, 2, 3)});
    obj->SetDensityFactors({0.25f});
    ILoad l(s.Bytes());
    EXPECT_EQ(obj->Load(&l), IO_OK) << c.what;
    EXPECT_EQ(obj->GroomEdits(), std::vector<V3>{V3(1, 2, 3)}) << c.what;
    EXPECT_EQ(obj->DensityFactors(), std::vector<float>{0.25f}) << c.what;
  }
}

TEST_F(Persistence, CloneIsIndependent) {
  RemapDir remap;
  std::unique_ptr<HairObject> copy(static_cast<HairObject*>(hair->Clone(remap)));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GroomEdits(), hair->GroomEdits());
  EXPECT_EQ(copy->DensityFactors(), hair->DensityFactors());
  EXPECT_EQ(copy->pblock2->GetInt(hp::count), pb->GetInt(hp::count));
  EXPECT_EQ(copy->pblock2->GetINode(hp::surface), pb->GetINode(hp::surface));
  EXPECT_NE(copy->pblock2, pb);
  EXPECT_EQ(copy->pblock2->GetOwner(), copy.get());
  std::vector<V3> copyEdits = copy->GroomEdits();
  copyEdits[5] = V3(9, 9, 9);
  copy->SetGroomEdits(copyEdits);
  copy->pblock2->SetValue(hp::count, 0, 7);
  std::vector<float> factors = hair->DensityFactors();
  factors[0] = 1;
  hair->SetDensityFactors(factors);
  EXPECT_NE(hair->GroomEdits()[5], V3(9, 9, 9));
  EXPECT_EQ(pb->GetInt(hp::count), 4000);
  EXPECT_EQ(copy->DensityFactors()[0], 0.5f);
}

TEST_F(Persistence, RescaleByTwoAndByOne) {
  const float length = pb->GetFloat(hp::length), root = pb->GetFloat(hp::rootWidth);
  const auto edits = hair->GroomEdits();
  pb->SetKeys(hp::curlRadius, {{0, 0.2f}, {160, 0.4f}});
  const auto rootKey = hair->RootKey();
  (void)rootKey;
  hair->PlaceRoots(0);
  ASSERT_NE(hair->RootKey(), 0u);
  MakeSim();
  RescaleSceneWorldUnits(ip(), 2.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::length), 2 * length);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::rootWidth), 2 * root);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::curlRadius, 160), 0.8f);  // an animated value scales its keys
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::lift), 0.85f);             // not a length
  ASSERT_EQ(hair->GroomEdits().size(), edits.size());
  EXPECT_EQ(hair->GroomEdits()[7], edits[7] * 2.f);
  EXPECT_EQ(hair->RootKey(), 0u);
  EXPECT_FALSE(HasSim());
  // The surface scaled with the world, so the guides sit on a ball of twice the radius.
  EXPECT_NEAR(Length(hair->EvaluateGuides(0).vertices[0]), 20.f, 1e-3f);

  // By 1: parameters and offsets keep their values, the caches are reset.
  hair->PlaceRoots(0);
  const auto counter = hair->ChangeCounter();
  RescaleSceneWorldUnits(ip(), 1.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::length), 2 * length);
  EXPECT_EQ(hair->GroomEdits()[7], edits[7] * 2.f);
  EXPECT_EQ(hair->RootKey(), 0u);
  EXPECT_GT(hair->ChangeCounter(), counter);
}

TEST_F(Persistence, ChangeNotificationRules) {
  struct Case {
    const char* what;
    std::function<void(IParamBlock2*)> change;
    bool rootsReset, groomEmptied, simErased;
  };
  // Each case runs on a freshly loaded scene, so nodes are looked up inside the change.
  const Case cases[] = {
      {"rootColor", [](IParamBlock2* p) { p->SetValue(hp::rootColor, 0, Color(1, 0, 0)); }, false, false, false},
      {"hiAmount", [](IParamBlock2* p) { p->SetValue(hp::hiAmount, 0, 0.9f); }, false, false, false},
      {"ribbonMode", [](IParamBlock2* p) { p->SetValue(hp::ribbonMode, 0, 1); }, false, false, false},
      {"dynStiffness", [](IParamBlock2* p) { p->SetValue(hp::dynStiffness, 0, 0.9f); }, false, false, true},
      {"lift", [](IParamBlock2* p) { p->SetValue(hp::lift, 0, 0.2f); }, false, false, true},
      {"count", [](IParamBlock2* p) { p->SetValue(hp::count, 0, 3000); }, true, false, true},
      {"bareBelow", [](IParamBlock2* p) { p->SetValue(hp::bareBelow, 0, 0.1f); }, true, false, true},
      {"segments", [](IParamBlock2* p) { p->SetValue(hp::segments, 0, 5); }, false, true, true},
      {"surface cleared", [](IParamBlock2* p) { p->SetValue(hp::surface, 0, static_cast<INode*>(nullptr)); }, true, true, true},
      {"faceNode set", [](IParamBlock2* p) { p->SetValue(hp::faceNode, 0, ip().GetINodeByName("cam")); }, true, false, true},
  };
  for (const Case& c : cases) {
    SetUp();
    hair->PlaceRoots(0);
    ASSERT_NE(hair->RootKey(), 0u);
    MakeSim();
    const auto densities = hair->DensityFactors();
    c.change(pb);
    EXPECT_EQ(hair->RootKey() == 0, c.rootsReset) << c.what;
    EXPECT_EQ(hair->GroomEdits().empty(), c.groomEmptied) << c.what;
    EXPECT_EQ(!HasSim(), c.simErased) << c.what;
    EXPECT_EQ(hair->DensityFactors(), densities) << c.what;  // never touched by a change
    TearDown();
  }
}

TEST_F(Persistence, MovingTheSurfaceAfterLoadingKeepsTheGroom) {
  const auto edits = hair->GroomEdits();
  std::string err;
  ASSERT_TRUE(scene::LoadSceneBytes(scene::SaveSceneBytes(ip()), "s.crn", ip(), err)) << err;
  HairObject* again = HairObjectOf(ip().GetINodeByName("fur"));
  NodeTransform xf;
  xf.constPosition = {0, 3, 0};
  ip().GetINodeByName("ball")->SetTransform(xf);
  EXPECT_EQ(again->GroomEdits(), edits);
  // A clone keeps its groom when its surface moves, too.
  RemapDir remap;
  std::unique_ptr<HairObject> copy(static_cast<HairObject*>(again->Clone(remap)));
  xf.constPosition = {0, 6, 0};
  ip().GetINodeByName("ball")->SetTransform(xf);
  EXPECT_EQ(copy->GroomEdits(), edits);
}

TEST_F(Persistence, NodeIdentityFilter) {
  INode* ball = ip().GetINodeByName("ball");
  // The first notification of a watched parameter always passes the filter; pick the surface
  // again to store its identity.
  pb->SetValue(hp::surface, 0, ball);
  hair->SetGroomEdits(std::vector<V3>(hair->EvaluateGuides(0).guidePoints.size(), V3(0, 0, 0.1f)));
  hair->PlaceRoots(0);
  MakeSim();
  // Moving the surface is a change inside the referenced node: groom and simulation stay.
  NodeTransform xf;
  xf.constPosition = {5, 0, 0};
  ball->SetTransform(xf);
  EXPECT_FALSE(hair->GroomEdits().empty());
  EXPECT_TRUE(HasSim());
  EXPECT_NE(hair->RootKey(), 0u);
  // Moving the face helper resets root placement (the face decides where hair grows).
  INode* cam = ip().GetINodeByName("cam");
  pb->SetValue(hp::faceNode, 0, cam);
  hair->PlaceRoots(0);
  ASSERT_NE(hair->RootKey(), 0u);
  cam->SetTransform(xf);
  EXPECT_EQ(hair->RootKey(), 0u);
  // Picking another surface empties the groom and erases the simulation.
  MakeSim();
  auto tri = std::make_unique<TriObject>();
  tri->mesh = *ball->GetObjectRef()->GetMesh(0);
  INode* other = ip().CreateObjectNode(std::move(tri), "other");
  pb->SetValue(hp::surface, 0, other);
  EXPECT_TRUE(hair->GroomEdits().empty());
  EXPECT_FALSE(HasSim());
}

TEST_F(Persistence, UndoingASegmentsChangeBringsTheGroomBack) {
  const auto edits = hair->GroomEdits();
  theHold.Begin();
  pb->SetValue(hp::segments, 0, 9);
  theHold.Accept("Parameter change");
  EXPECT_TRUE(hair->GroomEdits().empty());
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(pb->GetInt(hp::segments), 6);
  EXPECT_EQ(hair->GroomEdits(), edits);
  ASSERT_TRUE(theHold.Redo());
  EXPECT_EQ(pb->GetInt(hp::segments), 9);
  EXPECT_TRUE(hair->GroomEdits().empty());
}

TEST_F(Persistence, ResetGroomingUndoAndDensityUntouched) {
  const auto edits = hair->GroomEdits();
  const auto factors = hair->DensityFactors();
  MakeSim();
  ResetGrooming(hair);
  EXPECT_TRUE(hair->GroomEdits().empty());
  EXPECT_EQ(hair->DensityFactors(), factors);
  EXPECT_FALSE(HasSim());
  EXPECT_EQ(theHold.UndoName(), "Crinel reset grooming");
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(hair->GroomEdits(), edits);
  ASSERT_TRUE(theHold.Redo());
  EXPECT_TRUE(hair->GroomEdits().empty());
  EXPECT_EQ(hair->DensityFactors(), factors);
  ResetGrooming(nullptr);  // nothing to reset: nothing happens
}
