// The rollouts an interface builds from a parameter block's descriptor, and edits made through
// their controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "host/undo.h"
#include "scene/rollout_model.h"
#include "scene_fixtures.h"

namespace {

using namespace host;
using crn::scene::BuildRollouts;
using crn::scene::ControlKind;
using crn::scene::ControlModel;

class RolloutModel : public fixtures::BallScene {
 protected:
  const ControlModel* Find(const std::vector<crn::scene::RolloutModel>& rollouts, const std::string& name) {
    for (const auto& r : rollouts)
      for (const auto& c : r.controls)
        if (c.name == name) return &c;
    return nullptr;
  }
};

TEST_F(RolloutModel, FollowsTheDescriptorInOrderWithEveryListedParameterOnce) {
  const ParamBlockDesc2& desc = *pb->GetDesc();
  const auto rollouts = BuildRollouts(desc);
  ASSERT_EQ(rollouts.size(), desc.Rollouts().size());
  std::set<MapID> maps;
  for (std::size_t i = 0; i < rollouts.size(); ++i) {
    EXPECT_EQ(rollouts[i].map, desc.Rollouts()[i].map);
    EXPECT_EQ(rollouts[i].openByDefault, desc.Rollouts()[i].open);
    EXPECT_FALSE(rollouts[i].title.empty());
    EXPECT_NE(rollouts[i].title, desc.InternalName()) << "rollout " << i << " has no title of its own";
    maps.insert(rollouts[i].map);
  }
  // Each parameter of a listed rollout appears once, on its rollout, in listing order.
  std::vector<ParamID> expected, got;
  for (const auto& r : rollouts)
    for (int i = 0; i < desc.Count(); ++i)
      if (desc.GetParamDef(i).rollout == r.map) expected.push_back(desc.GetParamDef(i).id);
  for (const auto& r : rollouts)
    for (const auto& c : r.controls) got.push_back(c.id);
  EXPECT_EQ(got, expected);
  EXPECT_GT(got.size(), 20u);
}

TEST_F(RolloutModel, ControlKindsRangesAndItemsComeFromTheDefinitions) {
  const auto rollouts = BuildRollouts(*pb->GetDesc());
  struct Case {
    const char* name;
    ControlKind kind;
  };
  for (const Case& k : {Case{"count", ControlKind::IntSpinner}, Case{"length", ControlKind::FloatSpinner},
                        Case{"rootColor", ControlKind::ColourSwatch}, Case{"pattern", ControlKind::DropDown},
                        Case{"surface", ControlKind::NodePicker}}) {
    const ControlModel* c = Find(rollouts, k.name);
    ASSERT_NE(c, nullptr) << k.name;
    EXPECT_EQ(int(c->kind), int(k.kind)) << k.name;
    const ParamDef& def = *pb->GetDesc()->GetParamDefByName(k.name);
    EXPECT_EQ(c->hasRange, def.hasRange) << k.name;
    EXPECT_EQ(c->min, def.rangeMin) << k.name;
    EXPECT_EQ(c->max, def.rangeMax) << k.name;
    EXPECT_NE(c->label, c->name) << k.name << " shows its internal name instead of a label";
  }
  const ControlModel* pattern = Find(rollouts, "pattern");
  EXPECT_NE(std::find(pattern->items.begin(), pattern->items.end(), "Tiger stripes"), pattern->items.end());
  EXPECT_FALSE(Find(rollouts, "surface")->prompt.empty());
}

TEST_F(RolloutModel, AnEditIsOneUndoStepAndAFailedOneLeavesNoStep) {
  const ParamID count = pb->GetDesc()->GetParamDefByName("count")->id;
  const ParamID surface = pb->GetDesc()->GetParamDefByName("surface")->id;
  const int before = pb->GetInt(count);
  theHold.ClearStacks();

  auto e = crn::scene::ApplyControlEdit(*pb, count, 0, before + 7);
  EXPECT_TRUE(e.Stored());
  EXPECT_EQ(theHold.UndoCount(), 1u);
  EXPECT_EQ(theHold.UndoName(), crn::scene::kParameterChangeStep);
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(pb->GetInt(count), before);

  // Out of range: stored clamped, with a message, still one step.
  const ParamDef& cd = *pb->GetDesc()->GetParamDefByID(count);
  e = crn::scene::ApplyControlEdit(*pb, count, 0, int(cd.rangeMax) + 1000);
  EXPECT_EQ(e.status, SetStatus::Clamped);
  EXPECT_FALSE(e.message.empty());
  EXPECT_EQ(pb->GetInt(count), int(cd.rangeMax));

  // The hair itself refused as its own surface, and a colour offered to a number: nothing stored.
  const std::size_t steps = theHold.UndoCount();
  INode* oldSurface = pb->GetINode(surface);
  e = crn::scene::ApplyControlEdit(*pb, surface, 0, node);
  EXPECT_EQ(e.status, SetStatus::Refused);
  EXPECT_EQ(pb->GetINode(surface), oldSurface);
  e = crn::scene::ApplyControlEdit(*pb, count, 0, Color(1, 0, 0));
  EXPECT_FALSE(e.Stored());
  EXPECT_FALSE(e.message.empty());
  EXPECT_EQ(theHold.UndoCount(), steps);
  EXPECT_FALSE(theHold.Holding()) << "a refused edit left the hold open";

  // A pick into a node list appends; clearing empties it.
  const ParamID colliders = pb->GetDesc()->GetParamDefByName("colliders")->id;
  INode* ball = ip().GetINodeByName("ball");
  INode* cam = ip().GetINodeByName("cam");
  ASSERT_TRUE(crn::scene::ApplyControlEdit(*pb, colliders, 0, ball).Stored());
  ASSERT_TRUE(crn::scene::ApplyControlEdit(*pb, colliders, 0, cam).Stored());
  ASSERT_EQ(pb->Count(colliders), 2);
  EXPECT_EQ(pb->GetINode(colliders, 0, 0), ball);
  EXPECT_EQ(pb->GetINode(colliders, 0, 1), cam);
  ASSERT_TRUE(crn::scene::ApplyControlEdit(*pb, colliders, 0, static_cast<INode*>(nullptr)).Stored());
  EXPECT_EQ(pb->Count(colliders), 0);
}

}  // namespace
