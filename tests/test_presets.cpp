// Presets: the table of looks, unit conversion, the reset around the row's settings, what a
// preset keeps, undo as one step, and the groom edits across a segments change.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "groom/presets.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "host/texmap.h"
#include "host/undo.h"
#include "host/units.h"

using namespace host;
using namespace crn;

namespace {

class Presets : public ::testing::Test {
 protected:
  void SetUp() override {
    GetSystemUnitInfo(&savedUnit, &savedScale);
    ip().ResetScene();
    theHold.ClearStacks();
    SetTicksPerFrame(160);
    SetSystemUnitInfo(UNITS_CENTIMETERS, 1);
    obj.reset(static_cast<HairObject*>(GetHairObjDesc()->Create(false)));
    pb = obj->pblock2;
  }
  void TearDown() override {
    theHold.ClearStacks();
    obj.reset();
    ip().ResetScene();
    SetSystemUnitInfo(savedUnit, savedScale);
  }
  static Interface& ip() { return *GetCOREInterface(); }
  const ParamBlockDesc2& desc() const { return *pb->GetDesc(); }

  // Every parameter's value at t and its keys.
  struct ParamState {
    std::optional<PBValue> value;
    std::vector<Key<PBValue>> keys;
    bool operator==(const ParamState&) const = default;
  };
  std::vector<ParamState> Snapshot(TimeValue t) const {
    std::vector<ParamState> s;
    for (int i = 0; i < desc().Count(); ++i) {
      const ParamID id = desc().GetParamDef(i).id;
      Interval iv = FOREVER;
      s.push_back({pb->GetPBValue(id, t, iv), pb->GetKeys(id)});
    }
    return s;
  }
  void ExpectSame(const std::vector<ParamState>& a, const std::vector<ParamState>& b) const {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
      EXPECT_TRUE(a[i] == b[i]) << desc().GetParamDef(int(i)).internalName;
  }
  Texmap* NewMap() { return ip().AddTexmap(std::make_unique<ConstantTex>()); }

  UnitType savedUnit = UNITS_INCHES;
  float savedScale = 1;
  std::unique_ptr<HairObject> obj;
  IParamBlock2* pb = nullptr;
};

Color RowColour(const float (&c)[3]) { return Color(c[0], c[1], c[2]); }

bool IsCentimetre(int id) {
  static const std::set<int> ids = {hp::length,   hp::curlRadius, hp::kinkAmount,
                                    hp::frizzRoot, hp::frizzTip,  hp::rootWidth,
                                    hp::tipWidth,  hp::dynRadius, hp::patternScale};
  return ids.count(id) == 1;
}

}  // namespace

TEST_F(Presets, NamesFollowTheList) {
  const std::pair<int, const char*> cases[] = {
      {0, "Human - long straight"},
      {1, "Human - short"},
      {14, "Peach fuzz / velvet"},
      {28, "Men - salt & pepper"},
      {30, "Tiger"},
      {41, "Whiskers (set Face guide, Grow only in: Whisker pads)"},
      {42, "Grass - wild with flowers colour"},
  };
  for (auto [index, name] : cases) {
    ASSERT_NE(PresetName(index), nullptr) << index;
    EXPECT_STREQ(PresetName(index), name) << index;
  }
  EXPECT_EQ(kPresetCount, 43);
  std::set<std::string> names;
  for (int i = 0; i < kPresetCount; ++i) EXPECT_TRUE(names.insert(PresetName(i)).second) << i;
  for (int index : {-1, 43, 1000}) {
    EXPECT_EQ(PresetName(index), nullptr) << index;
    EXPECT_EQ(PresetRow(index), nullptr) << index;
  }
}

// A second, independent copy of a few rows, typed from the list by hand: catches slips in the
// table that applying it cannot.
TEST_F(Presets, SpotCheckedRowsMatchTheList) {
  struct Row {
    int index;
    Color root, tip;
    std::vector<std::pair<int, float>> settings;
    Color patternColor, patternSecond;
  };
  const Color none;
  const std::vector<Row> rows = {
      {4, {0.02f, 0.015f, 0.01f}, {0.06f, 0.04f, 0.03f},
       {{hp::count, 160000}, {hp::length, 10}, {hp::segments, 48}, {hp::lift, 0.95f},
        {hp::gravity, 0.05f}, {hp::curlRadius, 0.45f}, {hp::curlTurns, 20},
        {hp::curlRandom, 0.4f}, {hp::frizzRoot, 0.05f}, {hp::frizzTip, 0.25f},
        {hp::frizzFreq, 20}, {hp::clumpCount, 6000}, {hp::clumpAmount, 0.3f},
        {hp::rootWidth, 0.01f}, {hp::tipWidth, 0.005f}, {hp::dynStiffness, 0.85f},
        {hp::dynShape, 0.7f}},
       none, none},
      {10, {0.02f, 0.02f, 0.02f}, {0.05f, 0.05f, 0.05f},
       {{hp::count, 250}, {hp::length, 1}, {hp::lengthVar, 0.25f}, {hp::segments, 8},
        {hp::lift, 0.6f}, {hp::gravity, -0.4f}, {hp::stiffness, 0.2f}, {hp::rootWidth, 0.012f},
        {hp::tipWidth, 0.003f}, {hp::dynStiffness, 1}, {hp::dynShape, 1}},
       none, none},
      {14, {0.75f, 0.65f, 0.6f}, {0.95f, 0.9f, 0.85f},
       {{hp::count, 1000000}, {hp::length, 0.12f}, {hp::segments, 3}, {hp::lift, 0.9f},
        {hp::gravity, 0}, {hp::dirRandom, 0.2f}, {hp::rootWidth, 0.002f},
        {hp::tipWidth, 0.0005f}, {hp::dynMode, 0}},
       none, none},
      {26, {0.05f, 0.03f, 0.018f}, {0.14f, 0.09f, 0.05f},
       {{hp::count, 130000}, {hp::length, 7}, {hp::lengthVar, 0.3f}, {hp::segments, 12},
        {hp::lift, 0.85f}, {hp::combAngle, -30}, {hp::gravity, 0.15f}, {hp::stiffness, 0.7f},
        {hp::clumpCount, 2500}, {hp::clumpAmount, 0.6f}, {hp::clumpTip, 0.8f},
        {hp::frizzTip, 0.1f}, {hp::rootWidth, 0.009f}, {hp::tipWidth, 0.003f},
        {hp::dynStiffness, 0.85f}, {hp::dynShape, 0.7f}},
       none, none},
      {28, {0.06f, 0.05f, 0.045f}, {0.18f, 0.16f, 0.15f},
       {{hp::count, 120000}, {hp::length, 4}, {hp::lengthVar, 0.25f}, {hp::segments, 8},
        {hp::lift, 0.55f}, {hp::gravity, 0.2f}, {hp::frizzTip, 0.08f}, {hp::rootWidth, 0.008f},
        {hp::tipWidth, 0.003f}, {hp::pattern, 6}, {hp::patternAmount, 0.6f},
        {hp::dynStiffness, 0.9f}},
       none, {0.75f, 0.75f, 0.74f}},
      {30, {0.78f, 0.36f, 0.08f}, {0.92f, 0.52f, 0.16f},
       {{hp::count, 600000}, {hp::length, 2.2f}, {hp::lengthVar, 0.3f}, {hp::segments, 6},
        {hp::lift, 0.2f}, {hp::gravity, 0.1f}, {hp::clumpCount, 30000},
        {hp::clumpAmount, 0.3f}, {hp::frizzTip, 0.04f}, {hp::rootWidth, 0.008f},
        {hp::tipWidth, 0.002f}, {hp::colorVar, 0.12f}, {hp::pattern, 1},
        {hp::patternScale, 14}, {hp::patternAmount, 1}, {hp::dynStiffness, 0.85f},
        {hp::dynShape, 0.7f}},
       {0.02f, 0.015f, 0.01f}, {0.95f, 0.92f, 0.86f}},
      {41, {0.85f, 0.84f, 0.82f}, {0.95f, 0.95f, 0.94f},
       {{hp::count, 36}, {hp::length, 9}, {hp::lengthVar, 0.35f}, {hp::segments, 14},
        {hp::lift, 0.35f}, {hp::gravity, 0.12f}, {hp::stiffness, 0.7f},
        {hp::dirRandom, 0.25f}, {hp::clumpAmount, 0}, {hp::clump2Amount, 0},
        {hp::strayFraction, 0}, {hp::frizzTip, 0}, {hp::rootWidth, 0.11f},
        {hp::tipWidth, 0.004f}, {hp::widthProfile, 0}, {hp::stackOn, 0},
        {hp::faceRegion, 1}, {hp::dynStiffness, 0.97f}, {hp::dynShape, 0.6f},
        {hp::dynDamping, 0.02f}},
       none, none},
      {42, {0.07f, 0.2f, 0.04f}, {0.6f, 0.6f, 0.2f},
       {{hp::count, 400000}, {hp::length, 25}, {hp::lengthVar, 0.6f}, {hp::segments, 8},
        {hp::lift, 1}, {hp::gravity, 0.35f}, {hp::dirRandom, 0.45f}, {hp::kinkAmount, 1.5f},
        {hp::kinkFreq, 1.2f}, {hp::rootWidth, 0.35f}, {hp::tipWidth, 0.02f},
        {hp::colorVar, 0.45f}, {hp::pattern, 6}, {hp::patternAmount, 0.08f},
        {hp::dynStiffness, 0.92f}, {hp::dynShape, 0.8f}},
       none, {0.85f, 0.75f, 0.2f}},
  };
  for (const Row& want : rows) {
    SCOPED_TRACE(PresetName(want.index));
    const HairPreset& row = *PresetRow(want.index);
    EXPECT_EQ(RowColour(row.rootColor), want.root);
    EXPECT_EQ(RowColour(row.tipColor), want.tip);
    EXPECT_EQ(RowColour(row.patternColor), want.patternColor);
    EXPECT_EQ(RowColour(row.patternSecond), want.patternSecond);
    std::vector<std::pair<int, float>> got;
    for (const PresetSetting* s = row.settings; s->id != -1; ++s) got.push_back({s->id, s->value});
    EXPECT_EQ(got, want.settings);
  }
}

TEST_F(Presets, CentimetreValuesFollowTheSystemUnit) {
  struct Case {
    UnitType unit;
    float length, rootWidth;
  };
  for (const Case& c : {Case{UNITS_METERS, 0.04f, 0.00009f}, Case{UNITS_CENTIMETERS, 4, 0.009f},
                        Case{UNITS_MILLIMETERS, 40, 0.09f}}) {
    SCOPED_TRACE(UnitTypeName(c.unit));
    SetSystemUnitInfo(c.unit, 1);
    ASSERT_TRUE(ApplyPreset(obj.get(), 1));  // "Human - short"
    EXPECT_FLOAT_EQ(pb->GetFloat(hp::length), c.length);
    EXPECT_FLOAT_EQ(pb->GetFloat(hp::rootWidth), c.rootWidth);
    // Counts and fractions do not depend on the unit.
    EXPECT_EQ(pb->GetInt(hp::count), 120000);
    EXPECT_EQ(pb->GetInt(hp::segments), 8);
    EXPECT_FLOAT_EQ(pb->GetFloat(hp::lengthVar), 0.2f);
  }
}

// Every row, one after the other on one object, in a metre and a centimetre scene: the listed
// settings hold their converted values, everything else holds its default, every number lies
// in its range, and each application is one undo step.
TEST_F(Presets, EveryPresetAppliesOverThePreviousOne) {
  for (UnitType unit : {UNITS_METERS, UNITS_CENTIMETERS}) {
    SetSystemUnitInfo(unit, 1);
    const double cmPerUnit = GetSystemUnitScale(UNITS_CENTIMETERS);
    for (int index = 0; index < kPresetCount; ++index) {
      SCOPED_TRACE(std::string(UnitTypeName(unit)) + " " + PresetName(index));
      const HairPreset& row = *PresetRow(index);
      const std::size_t steps = theHold.UndoCount();
      ASSERT_TRUE(ApplyPreset(obj.get(), index));
      EXPECT_EQ(theHold.UndoCount(), steps + 1);
      EXPECT_EQ(theHold.UndoName(), "Crinel preset");

      std::set<int> listed;
      int count = 0;
      for (const PresetSetting* s = row.settings; s->id != -1; ++s, ++count) {
        const ParamDef* def = desc().GetParamDefByID(ParamID(s->id));
        ASSERT_NE(def, nullptr) << s->id;
        EXPECT_TRUE(listed.insert(s->id).second) << def->internalName << " listed twice";
        if (def->type == TYPE_FLOAT) {
          const double want = IsCentimetre(s->id) ? s->value / cmPerUnit : s->value;
          EXPECT_FLOAT_EQ(pb->GetFloat(def->id), float(want)) << def->internalName;
        } else {
          ASSERT_TRUE(def->type == TYPE_INT || def->type == TYPE_BOOL) << def->internalName;
          EXPECT_FALSE(IsCentimetre(s->id));
          EXPECT_EQ(pb->GetInt(def->id), int(std::lround(s->value))) << def->internalName;
        }
      }
      EXPECT_LE(count, kPresetMaxSettings);

      for (int i = 0; i < desc().Count(); ++i) {
        const ParamDef& def = desc().GetParamDef(i);
        if (def.type != TYPE_FLOAT && def.type != TYPE_INT && def.type != TYPE_BOOL) continue;
        const double v = def.type == TYPE_FLOAT ? pb->GetFloat(def.id) : pb->GetInt(def.id);
        if (def.hasRange) {
          EXPECT_GE(v, def.rangeMin) << def.internalName;
          EXPECT_LE(v, def.rangeMax) << def.internalName;
        }
        if (!listed.count(def.id)) {
          EXPECT_TRUE(pb->IsDefault(def.id)) << def.internalName;
        }
      }
      EXPECT_EQ(pb->GetColor(hp::rootColor), RowColour(row.rootColor));
      EXPECT_EQ(pb->GetColor(hp::tipColor), RowColour(row.tipColor));
    }
  }
}

TEST_F(Presets, PatternColoursStayWhenTheRowHasNone) {
  const Color tigerMarks(0.02f, 0.015f, 0.01f), tigerSecond(0.95f, 0.92f, 0.86f);
  ASSERT_TRUE(ApplyPreset(obj.get(), 30));  // "Tiger"
  EXPECT_EQ(pb->GetInt(hp::pattern), 1);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::patternScale), 14);
  EXPECT_EQ(pb->GetColor(hp::patternColor), tigerMarks);
  EXPECT_EQ(pb->GetColor(hp::patternSecond), tigerSecond);

  ASSERT_TRUE(ApplyPreset(obj.get(), 1));  // "Human - short": no pattern colours
  for (ParamID id : {hp::pattern, hp::patternScale, hp::patternAmount})
    EXPECT_TRUE(pb->IsDefault(id)) << id;
  EXPECT_EQ(pb->GetColor(hp::patternColor), tigerMarks);
  EXPECT_EQ(pb->GetColor(hp::patternSecond), tigerSecond);

  ASSERT_TRUE(ApplyPreset(obj.get(), 28));  // "Men - salt & pepper": second colour only
  EXPECT_EQ(pb->GetColor(hp::patternColor), tigerMarks);
  EXPECT_EQ(pb->GetColor(hp::patternSecond), Color(0.75f, 0.75f, 0.74f));
}

TEST_F(Presets, KeepsRestFrameUVsMapsStringsAndDensity) {
  Texmap* density = NewMap();
  Texmap* length = NewMap();
  ASSERT_EQ(pb->SetValue(hp::densityMap, 0, density), SetStatus::Ok);
  ASSERT_EQ(pb->SetValue(hp::lengthMap, 0, length), SetStatus::Ok);
  ASSERT_EQ(pb->SetValue(hp::dynCachePath, 0, std::string("C:/cache/fur.crnc")), SetStatus::Ok);
  pb->SetValue(hp::restFrame, 0, 12);
  pb->SetValue(hp::autoUV, 0, 2);
  pb->SetValue(hp::seed, 0, 77);
  pb->SetValue(hp::vpPercent, 0, 55.0f);
  pb->SetValue(hp::memBudget, 0, 50.0f);
  pb->SetValue(hp::hiOn, 0, 1);
  pb->SetValue(hp::ruffColor, 0, Color(0.1f, 0.2f, 0.3f));
  obj->SetDensityFactors({1.0f, 0.5f, 0.25f});

  ASSERT_TRUE(ApplyPreset(obj.get(), 33));  // "Wolf (grey)"
  EXPECT_EQ(pb->GetInt(hp::restFrame), 12);
  EXPECT_EQ(pb->GetInt(hp::autoUV), 2);
  for (ParamID id : {hp::seed, hp::vpPercent, hp::memBudget, hp::hiOn})
    EXPECT_TRUE(pb->IsDefault(id)) << id;
  EXPECT_EQ(pb->GetTexmap(hp::densityMap), density);
  EXPECT_EQ(pb->GetTexmap(hp::lengthMap), length);
  EXPECT_EQ(pb->GetStr(hp::dynCachePath), "C:/cache/fur.crnc");
  EXPECT_EQ(pb->GetColor(hp::ruffColor), Color(0.1f, 0.2f, 0.3f));
  EXPECT_EQ(obj->DensityFactors(), (std::vector<float>{1.0f, 0.5f, 0.25f}));
  // The maps' lock flag is held only while the preset is applied.
  for (Texmap* m : {density, length}) EXPECT_FALSE(m->TestAFlag(0x08000000));
}

TEST_F(Presets, OneUndoRestoresEveryParameter) {
  const TimeValue t = FramesToTicks(20);
  ip().SetTime(t);
  ASSERT_EQ(pb->SetKeys(hp::lift, {{0, 0.1f}, {FramesToTicks(100), 0.9f}}), SetStatus::Ok);
  ASSERT_EQ(pb->SetKeys(hp::seed, {{0, 5}, {FramesToTicks(100), 9}}), SetStatus::Ok);
  pb->SetValue(hp::length, 0, 33.0f);
  pb->SetValue(hp::vpMax, 0, 5000);
  pb->SetValue(hp::dynCollide, 0, 0);
  pb->SetValue(hp::rootColor, 0, Color(1, 0, 0));
  pb->SetValue(hp::patternColor, 0, Color(0, 1, 0));
  theHold.ClearStacks();
  const auto before = Snapshot(t), beforeAt0 = Snapshot(0);
  const int redraws = ip().RedrawCount();

  ASSERT_TRUE(ApplyPreset(obj.get(), 30));  // "Tiger"
  EXPECT_EQ(ip().RedrawCount(), redraws + 1);
  EXPECT_FALSE(theHold.Holding());
  ASSERT_EQ(theHold.UndoCount(), 1u);
  // Animated parameters take the preset value (or default) as a key at the current time;
  // their other keys stay.
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::lift, t), 0.2f);
  EXPECT_EQ(pb->GetKeys(hp::lift).size(), 3u);
  EXPECT_EQ(pb->GetInt(hp::seed, t), 1);
  EXPECT_EQ(pb->GetInt(hp::seed, FramesToTicks(100)), 9);
  const auto after = Snapshot(t);

  ASSERT_TRUE(theHold.Undo());
  ExpectSame(Snapshot(t), before);
  ExpectSame(Snapshot(0), beforeAt0);
  ASSERT_TRUE(theHold.Redo());
  ExpectSame(Snapshot(t), after);
}

TEST_F(Presets, GroomEditsSurviveOnlyWhenSegmentsEndsWhereItStarted) {
  struct Case {
    int segmentsBefore, preset;
    bool editsSurvive;
  };
  const Case cases[] = {
      {10, 1, false},  // "Human - short" sets 8
      {8, 1, true},    // already 8
      {24, 0, true},   // "Human - long straight" keeps 24: no detour through the default 10
      {10, 16, true},  // "Grass - tall meadow" sets the default 10
      {10, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.segmentsBefore) + " -> " + PresetName(c.preset));
    pb->SetValue(hp::segments, 0, c.segmentsBefore);
    pb->SetValue(hp::length, 0, 123.0f);  // something for the preset to change
    const std::vector<V3> edits(3 * (c.segmentsBefore + 1), V3{0.5f, 0, 0});
    obj->SetGroomEdits(edits);
    obj->SetDensityFactors({0.5f, 1, 1});
    ASSERT_TRUE(ApplyPreset(obj.get(), c.preset));
    EXPECT_EQ(obj->GroomEdits().size(), c.editsSurvive ? edits.size() : 0u);
    EXPECT_EQ(obj->DensityFactors().size(), 3u);
  }
}

TEST_F(Presets, BadIndexOrMissingObjectChangesNothing) {
  pb->SetValue(hp::length, 0, 33.0f);
  pb->SetValue(hp::segments, 0, 12);
  obj->SetGroomEdits(std::vector<V3>(3 * 13, V3{1, 0, 0}));
  theHold.ClearStacks();
  const auto before = Snapshot(0);
  const int redraws = ip().RedrawCount();
  for (int index : {43, -1, 1000}) EXPECT_FALSE(ApplyPreset(obj.get(), index)) << index;
  EXPECT_FALSE(ApplyPreset(nullptr, 0));
  ExpectSame(Snapshot(0), before);
  EXPECT_EQ(obj->GroomEdits().size(), 39u);
  EXPECT_EQ(theHold.UndoCount(), 0u);
  EXPECT_FALSE(theHold.Holding());
  EXPECT_EQ(ip().RedrawCount(), redraws);
}
