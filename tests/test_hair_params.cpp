// The hair object's block "params": identities, defaults, ranges, rollouts, the surface rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <variant>

#include "hair/gen_settings.h"
#include "hair/hair_object.h"
#include "hair/hair_param_block.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "host/undo.h"
#include "resources/strings.h"

using namespace host;
using namespace crn;

namespace {

const ParamBlockDesc2& Desc() { return *GetHairObjDesc()->GetParamBlockDescByID(0); }

std::set<std::string> Names(std::initializer_list<const char*> l) { return {l.begin(), l.end()}; }

}  // namespace

TEST(HairParams, BlockListsDenseIdsInOrder) {
  const ParamBlockDesc2& d = Desc();
  EXPECT_EQ(d.InternalName(), "params");
  EXPECT_EQ(d.RefNo(), 0);
  EXPECT_TRUE(d.AutoConstruct());
  ASSERT_EQ(d.Count(), 115);
  // Ids 0..114 in listing order, except 113 which stands between 52 and 53.
  std::vector<int> expected;
  for (int i = 0; i <= 52; ++i) expected.push_back(i);
  expected.push_back(113);
  for (int i = 53; i <= 112; ++i) expected.push_back(i);
  expected.push_back(114);
  for (int i = 0; i < d.Count(); ++i) ASSERT_EQ(d.GetParamDef(i).id, expected[i]) << "index " << i;
}

TEST(HairParams, EveryParameterIsConsistent) {
  const ParamBlockDesc2& d = Desc();
  const auto dropDowns = Names({"ribbonMode", "dynMode", "pattern", "autoUV", "widthProfile",
                                "vpColorMode", "faceRegion", "flowMode"});
  const auto worldUnits = Names({"length", "curlRadius", "kinkAmount", "frizzRoot", "frizzTip",
                                 "rootWidth", "tipWidth", "dynRadius", "patternScale",
                                 "strayAmount", "stackThickness", "faceSize", "waterRadius",
                                 "hiWidth"});
  std::set<std::string> seen;
  for (int i = 0; i < d.Count(); ++i) {
    const ParamDef& p = d.GetParamDef(i);
    SCOPED_TRACE(p.internalName);
    EXPECT_TRUE(seen.insert(p.internalName).second) << "duplicate name";
    EXPECT_FALSE(d.GetString(p.labelStringId).empty());
    EXPECT_EQ(p.IsDropDown(), dropDowns.count(p.internalName) == 1);
    EXPECT_EQ(p.worldUnits, worldUnits.count(p.internalName) == 1);
    const bool numeric = p.type == TYPE_FLOAT || p.type == TYPE_INT || p.type == TYPE_RGBA;
    EXPECT_EQ(p.Animatable(), numeric && !p.IsDropDown());
    if (p.type == TYPE_FLOAT || p.type == TYPE_INT) {
      ASSERT_TRUE(p.hasRange);
      const double def = p.type == TYPE_FLOAT ? std::get<float>(p.defaultValue)
                                              : std::get<int>(p.defaultValue);
      EXPECT_GE(def, p.rangeMin);
      EXPECT_LE(def, p.rangeMax);
      EXPECT_GT(p.spinnerScale, 0.0f);
    }
    if (p.IsDropDown()) {
      EXPECT_EQ(p.rangeMin, 0);
      EXPECT_EQ(p.rangeMax, double(p.itemStringIds.size() - 1));
    }
  }
}

struct ParamFact {
  const char* name;
  short id;
  ParamType2 type;
  PBValue def;
  double lo, hi;
  short rollout;
  const char* label;
  float step;
};

TEST(HairParams, SelectedFacts) {
  const ParamFact facts[] = {
      {"surface", 0, TYPE_INODE, static_cast<INode*>(nullptr), 0, 0, kRolloutSurface, "Grow on", 0},
      {"count", 2, TYPE_INT, 50000, 1, 20000000, kRolloutSurface, "Hair count", 1000},
      {"segments", 6, TYPE_INT, 10, 2, 64, kRolloutSurface, "Segments", 1},
      {"length", 4, TYPE_FLOAT, 10.0f, 0, 1000000, kRolloutSurface, "Length", 0.1f},
      {"combAngle", 10, TYPE_FLOAT, 0.0f, -360, 360, kRolloutShape, "Comb angle (deg)", 1},
      {"clumpCount", 14, TYPE_INT, 300, 0, 200000, kRolloutClump, "Clumps", 10},
      {"curlTurns", 19, TYPE_FLOAT, 3.0f, 0, 200, kRolloutCurl, "Turns", 0.1f},
      {"rootColor", 28, TYPE_RGBA, Color(0.1f, 0.06f, 0.03f), 0, 0, kRolloutColour, "Root colour", 0},
      {"vpMax", 32, TYPE_INT, 300000, 100, 20000000, kRolloutViewport, "Display max", 1000},
      {"dynCachePath", 49, TYPE_FILENAME, std::string(), 0, 0, kRolloutDynamics, "Cache file", 0},
      {"colliders", 50, TYPE_INODE_TAB, std::vector<INode*>(), 0, 0, kRolloutDynamics, "Extra colliders", 0},
      {"colorMap", 52, TYPE_TEXMAP, static_cast<Texmap*>(nullptr), 0, 0, kRolloutColour, "Colour map", 0},
      {"mapSat", 113, TYPE_FLOAT, 1.0f, 0, 3, kRolloutColour, "Map saturation", 0.01f},
      {"clump2Count", 63, TYPE_INT, 3000, 0, 1000000, kRolloutClump, "Sub-clumps", 100},
      {"strayFraction", 66, TYPE_FLOAT, 0.02f, 0, 1, kRolloutClump, "Stray fraction", 0.005f},
      {"stackOn", 69, TYPE_BOOL, 1, 0, 0, kRolloutShape, "Hairs lie on the surface (no crossing in)", 0},
      {"tipWidth", 27, TYPE_FLOAT, 0.002f, 0, 10000, kRolloutColour, "Tip width", 0.001f},
      {"patternScale", 56, TYPE_FLOAT, 10.0f, 0.001, 1000000, kRolloutColour, "Pattern scale", 0.5f},
      {"memBudget", 101, TYPE_FLOAT, 90.0f, 10, 95, kRolloutViewport, "Memory use %", 1},
      {"hiSeed", 110, TYPE_INT, 1, 0, 99999, kRolloutColour, "Seed", 1},
      {"hiAlong", 114, TYPE_FLOAT, 0.0f, 0, 1, kRolloutColour, "Streak along the fall", 0.01f},
      {"dynGravity", 44, TYPE_FLOAT, 1.0f, -10, 10, kRolloutDynamics, "Gravity scale", 0.05f},
  };
  for (const ParamFact& f : facts) {
    SCOPED_TRACE(f.name);
    const ParamDef* p = Desc().GetParamDefByName(f.name);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->id, f.id);
    EXPECT_EQ(p->type, f.type);
    EXPECT_EQ(p->defaultValue, f.def);
    if (p->hasRange) {
      EXPECT_EQ(p->rangeMin, f.lo);
      EXPECT_EQ(p->rangeMax, f.hi);
    }
    EXPECT_EQ(p->rollout, f.rollout);
    EXPECT_EQ(Desc().GetString(p->labelStringId), f.label);
    EXPECT_FLOAT_EQ(p->spinnerScale, f.step);
  }
  // Drop-down items are the listed texts in index order.
  const ParamDef* pattern = Desc().GetParamDefByName("pattern");
  ASSERT_EQ(pattern->itemStringIds.size(), 9u);
  EXPECT_EQ(Desc().GetString(pattern->itemStringIds[2]), "Leopard / jaguar");
  EXPECT_EQ(Desc().GetString(pattern->itemStringIds[6]), "Greying (salt & pepper)");
  const ParamDef* ribbons = Desc().GetParamDefByName("ribbonMode");
  EXPECT_EQ(Desc().GetString(ribbons->itemStringIds[2]), "Tubes (3 sides)");
}

TEST(HairParams, SevenRollouts) {
  struct R {
    short map;
    int dialog;
    const char* title;
    bool open;
  };
  const R expected[] = {{0, 1800, "Crinel - Surface & Growth", true}, {1, 1801, "Shape", true},
                        {2, 1802, "Clump", false},          {3, 1803, "Curl / Kink / Frizz", false},
                        {4, 1804, "Colour & Width", false}, {5, 1805, "Dynamics", false},
                        {6, 1806, "Viewport & Render", false}};
  const auto& rollouts = Desc().Rollouts();
  ASSERT_EQ(rollouts.size(), 7u);
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(rollouts[i].map, expected[i].map);
    EXPECT_EQ(rollouts[i].dialogId, expected[i].dialog);
    EXPECT_EQ(Desc().GetString(rollouts[i].titleStringId), expected[i].title);
    EXPECT_EQ(rollouts[i].open, expected[i].open);
  }
}

// The generation snapshot reads its parameters through one field table, and its defaults are
// the parameter table's: every numeric parameter lands in exactly one field of its type, or
// is one that generation never reads.
TEST(GenSettingsTable, EveryGenerationParameterHasItsOwnFieldOfItsType) {
  const std::set<short> notGeneration = {
      hp::vpPercent,    hp::vpMax,       hp::vpGuides,    hp::renderPercent, hp::ribbonMode,
      hp::dynMode,      hp::dynStart,    hp::dynSubsteps, hp::dynIters,      hp::dynStiffness,
      hp::dynShape,     hp::dynDamping,  hp::dynDrag,     hp::dynGravity,    hp::dynCollide,
      hp::dynRadius,    hp::dynFriction, hp::dynSelfVol,  hp::waterRadius,   hp::buoyancy,
      hp::waterDrag,    hp::wetSpeed,    hp::dryTime,     hp::dynInteractive, hp::dynHairHair,
      hp::dynHairThick, hp::fireBurn,    hp::renderMult};
  const std::set<short> faceGroup = {hp::faceSize,  hp::faceMarks, hp::ruffLength,
                                     hp::ruffColor, hp::bareFace,  hp::faceFurLength};
  const GenSettings s{};
  std::set<short> ids;
  std::set<const void*> members;
  for (const GenSettingsField& f : GenSettingsFields()) {
    const ParamDef* def = Desc().GetParamDefByID(f.id);
    ASSERT_NE(def, nullptr) << f.id;
    EXPECT_TRUE(ids.insert(f.id).second) << def->internalName << " read twice";
    EXPECT_FALSE(notGeneration.count(f.id)) << def->internalName;
    EXPECT_EQ(f.faceGroup, faceGroup.count(f.id) == 1) << def->internalName;
    std::visit(
        [&](auto m) {
          using T = std::remove_cvref_t<decltype(s.*m)>;
          EXPECT_TRUE(members.insert(&(s.*m)).second) << def->internalName << " shares a field";
          const bool typeMatches = def->type == TYPE_FLOAT   ? std::is_same_v<T, float>
                                   : def->type == TYPE_INT  ? std::is_same_v<T, std::int32_t>
                                   : def->type == TYPE_BOOL ? std::is_same_v<T, bool>
                                   : def->type == TYPE_RGBA && std::is_same_v<T, V3>;
          EXPECT_TRUE(typeMatches) << def->internalName;
        },
        f.member);
  }
  for (int i = 0; i < Desc().Count(); ++i) {
    const ParamDef& def = Desc().GetParamDef(i);
    if (def.type == TYPE_FLOAT || def.type == TYPE_INT || def.type == TYPE_BOOL || def.type == TYPE_RGBA) {
      EXPECT_TRUE(ids.count(def.id) || notGeneration.count(def.id)) << def.internalName;
    }
  }
}

// A small scene: a mesh, a hair object, a helper and a node without an object.
class SurfaceRule : public ::testing::Test {
 protected:
  void SetUp() override {
    ip().ResetScene();
    auto tri = std::make_unique<TriObject>();
    tri->mesh.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    tri->mesh.faces = {Face{{0, 1, 2}, 0}};
    mesh = ip().CreateObjectNode(std::move(tri), "mesh");
    hair = ip().CreateObjectNode(std::unique_ptr<Object>(static_cast<Object*>(GetHairObjDesc()->Create(false))), "hair");
    other = ip().CreateObjectNode(std::unique_ptr<Object>(static_cast<Object*>(GetHairObjDesc()->Create(false))), "other");
    helper = ip().CreateObjectNode(std::make_unique<HelperObject>(), "helper");
    empty = ip().CreateObjectNode(nullptr, "empty");
    obj = static_cast<HairObject*>(hair->GetObjectRef());
  }
  void TearDown() override { ip().ResetScene(); }
  static Interface& ip() { return *GetCOREInterface(); }

  INode *mesh, *hair, *other, *helper, *empty;
  HairObject* obj;
};

TEST_F(SurfaceRule, ValidatorTable) {
  struct Case {
    INode* node;
    bool accepted;
  };
  const Case cases[] = {{nullptr, true}, {mesh, true}, {other, false}, {hair, false},
                        {helper, false}, {empty, false}};
  for (const Case& c : cases)
    EXPECT_EQ(GetSurfaceValidator().Validate(PBValue(c.node)), c.accepted)
        << (c.node ? c.node->GetName() : "none");
}

TEST_F(SurfaceRule, RefusedPickDoesNotTakePlace) {
  IParamBlock2* pb = obj->pblock2;
  ASSERT_EQ(pb->SetValue(hp::surface, 0, mesh), SetStatus::Ok);
  const auto changes = obj->ChangeCounter();
  EXPECT_EQ(pb->SetValue(hp::surface, 0, other), SetStatus::Refused);
  EXPECT_EQ(pb->GetINode(hp::surface), mesh);
  EXPECT_EQ(obj->ChangeCounter(), changes);
  EXPECT_EQ(pb->SetValue(hp::surface, 0, static_cast<INode*>(nullptr)), SetStatus::Ok);
  EXPECT_EQ(pb->GetINode(hp::surface), nullptr);
}

TEST_F(SurfaceRule, ObjectAnswersChangesOfItsBlockAndReferencedNodes) {
  IParamBlock2* pb = obj->pblock2;
  EXPECT_EQ(obj->GetObjectName(), "Crinel");
  EXPECT_EQ(obj->GetClassName(), "Crinel");
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(pb->GetOwner(), obj);
  auto c0 = obj->ChangeCounter();
  pb->SetValue(hp::length, 0, 3.0f);
  EXPECT_EQ(obj->ChangeCounter(), c0 + 1);
  EXPECT_EQ(pb->LastNotifyParamID(), hp::length);
  // Moving the surface node reaches the object through the block, naming the parameter.
  pb->SetValue(hp::surface, 0, mesh);
  pb->SetValue(hp::count, 0, 10);
  c0 = obj->ChangeCounter();
  NodeTransform xf;
  xf.constPosition = {1, 2, 3};
  mesh->SetTransform(xf);
  EXPECT_EQ(obj->ChangeCounter(), c0 + 1);
  EXPECT_EQ(pb->LastNotifyParamID(), hp::surface);
  // Deleting the surface node empties the parameter instead of leaving a dangling node.
  ip().DeleteNode(mesh);
  EXPECT_EQ(pb->GetINode(hp::surface), nullptr);
}

TEST_F(SurfaceRule, SpinnerRangesAreEnforcedOnEntry) {
  IParamBlock2* pb = obj->pblock2;
  struct Case {
    short id;
    double in, stored;
    SetStatus status;
  };
  const Case cases[] = {
      {hp::segments, 1, 2, SetStatus::Clamped},       {hp::segments, 2, 2, SetStatus::Ok},
      {hp::count, 0, 1, SetStatus::Clamped},          {hp::count, 20000000, 20000000, SetStatus::Ok},
      {hp::count, 20000001, 20000000, SetStatus::Clamped}, {hp::vpMax, 99, 100, SetStatus::Clamped},
      {hp::memBudget, 5, 10, SetStatus::Clamped},     {hp::memBudget, 96, 95, SetStatus::Clamped},
      {hp::lift, -0.5, 0, SetStatus::Clamped},        {hp::dynGravity, -10, -10, SetStatus::Ok},
  };
  for (const Case& c : cases) {
    const ParamDef* def = Desc().GetParamDefByID(c.id);
    SCOPED_TRACE(def->internalName + " <- " + std::to_string(c.in));
    if (def->type == TYPE_INT) {
      EXPECT_EQ(pb->SetValue(c.id, 0, int(c.in)), c.status);
      EXPECT_EQ(pb->GetInt(c.id), int(c.stored));
    } else {
      EXPECT_EQ(pb->SetValue(c.id, 0, float(c.in)), c.status);
      EXPECT_FLOAT_EQ(pb->GetFloat(c.id), float(c.stored));
    }
  }
}

// A fresh block reads as the table's defaults, and each parameter set away from its default
// changes its own field and no other.
TEST_F(SurfaceRule, ReadingTheBlockFillsEachFieldFromItsParameter) {
  auto bytes = [](const GenSettings& s, const GenSettingsField& f) {
    return std::visit(
        [&](auto m) {
          std::vector<unsigned char> b(sizeof(s.*m));
          std::memcpy(b.data(), &(s.*m), b.size());
          return b;
        },
        f.member);
  };
  IParamBlock2* pb = obj->pblock2;
  pb->SetValue(hp::faceNode, 0, helper);  // the face group is read only with a face node
  Interval iv = FOREVER;
  const GenSettings base = ReadGenSettings(*pb, 0, iv);
  for (const GenSettingsField& f : GenSettingsFields())
    EXPECT_EQ(bytes(base, f), bytes(DefaultGenSettings(), f)) << Desc().GetParamDefByID(f.id)->internalName;
  for (const GenSettingsField& changed : GenSettingsFields()) {
    const ParamDef& def = *Desc().GetParamDefByID(changed.id);
    PBValue v = def.defaultValue;
    if (auto* x = std::get_if<float>(&v)) *x = float(def.rangeMin + def.rangeMax) / 2.f + 0.01f;
    if (auto* x = std::get_if<int>(&v)) *x = def.type == TYPE_BOOL ? !*x : (*x == int(def.rangeMin) ? *x + 1 : *x - 1);
    if (auto* x = std::get_if<Color>(&v)) *x = Color(x->r * 0.5f + 0.1f, 0.77f, 0.33f);
    pb->SetValue(changed.id, 0, v);
    Interval valid = FOREVER;
    const GenSettings s = ReadGenSettings(*pb, 0, valid);
    for (const GenSettingsField& f : GenSettingsFields())
      EXPECT_EQ(bytes(s, f) != bytes(base, f), &f == &changed)
          << "setting " << def.internalName << ", field of " << Desc().GetParamDefByID(f.id)->internalName;
    pb->SetValue(changed.id, 0, def.defaultValue);
  }
}
