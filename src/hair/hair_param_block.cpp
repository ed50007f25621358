#include "hair/hair_param_block.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/inode.h"
#include "host/interface.h"
#include "resources/strings.h"

namespace crn {

using namespace host;
using namespace crn::res;

bool SurfaceValidator::Validate(const PBValue& v) {
  const INode* const* node = std::get_if<INode*>(&v);
  if (!node) return false;
  if (!*node) return true;  // clearing the surface is always allowed
  Object* base = (*node)->GetObjectRef();
  if (!base || base->ClassID() == kHairObjectClassID) return false;
  Object* evaluated = (*node)->EvalWorldState(GetCOREInterface()->GetTime());
  return evaluated && evaluated->SuperClassID() == GEOMOBJECT_CLASS_ID &&
         evaluated->CanConvertToType(triObjectClassID);
}

SurfaceValidator& GetSurfaceValidator() {
  static SurfaceValidator validator;
  return validator;
}

namespace {

struct Row {
  short id;
  const char* name;
  ParamType2 type;
  int flags;
  PBValue defaultValue;
  bool hasRange;
  double rangeMin, rangeMax;
  short rollout;
  int label;
  std::vector<int> items;
  float step;
  bool world;
};

// id, name, type, flags, default, has range, min, max, rollout, label, drop-down items,
// spinner step, world-unit spinner. Listed in block order (113 follows 52).
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
    {0, "surface", TYPE_INODE, 0, static_cast<host::INode*>(nullptr), false, 0, 0, 0, IDS_P_surface, {}, 0.0f, false},
    {1, "restFrame", TYPE_INT, P_ANIMATABLE, 0, true, -100000, 100000, 0, IDS_P_restFrame, {}, 1.0f, false},
    {2, "count", TYPE_INT, P_ANIMATABLE, 50000, true, 1, 20000000, 0, IDS_P_count, {}, 1000.0f, false},
    {3, "seed", TYPE_INT, P_ANIMATABLE, 1, true, 0, 999999, 0, IDS_P_seed, {}, 1.0f, false},
    {4, "length", TYPE_FLOAT, P_ANIMATABLE, 10.0f, true, 0, 1000000, 0, IDS_P_length, {}, 0.1f, true},
    {5, "lengthVar", TYPE_FLOAT, P_ANIMATABLE, 0.25f, true, 0, 1, 0, IDS_P_lengthVar, {}, 0.01f, false},
    {6, "segments", TYPE_INT, P_ANIMATABLE, 10, true, 2, 64, 0, IDS_P_segments, {}, 1.0f, false},
    {7, "densityMap", TYPE_TEXMAP, 0, static_cast<host::Texmap*>(nullptr), false, 0, 0, 0, IDS_P_densityMap, {}, 0.0f, false},
    {8, "lengthMap", TYPE_TEXMAP, 0, static_cast<host::Texmap*>(nullptr), false, 0, 0, 0, IDS_P_lengthMap, {}, 0.0f, false},
    {9, "lift", TYPE_FLOAT, P_ANIMATABLE, 0.85f, true, 0, 1, 1, IDS_P_lift, {}, 0.01f, false},
    {10, "combAngle", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, -360, 360, 1, IDS_P_combAngle, {}, 1.0f, false},
    {11, "gravity", TYPE_FLOAT, P_ANIMATABLE, 0.3f, true, -1, 1, 1, IDS_P_gravity, {}, 0.01f, false},
    {12, "stiffness", TYPE_FLOAT, P_ANIMATABLE, 0.5f, true, 0, 1, 1, IDS_P_stiffness, {}, 0.01f, false},
    {13, "dirRandom", TYPE_FLOAT, P_ANIMATABLE, 0.05f, true, 0, 1, 1, IDS_P_dirRandom, {}, 0.01f, false},
    {14, "clumpCount", TYPE_INT, P_ANIMATABLE, 300, true, 0, 200000, 2, IDS_P_clumpCount, {}, 10.0f, false},
    {15, "clumpAmount", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 1, 2, IDS_P_clumpAmount, {}, 0.01f, false},
    {16, "clumpTip", TYPE_FLOAT, P_ANIMATABLE, 1.5f, true, 0.1, 8, 2, IDS_P_clumpTip, {}, 0.05f, false},
    {17, "clumpRandom", TYPE_FLOAT, P_ANIMATABLE, 0.2f, true, 0, 1, 2, IDS_P_clumpRandom, {}, 0.01f, false},
    {18, "curlRadius", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 100000, 3, IDS_P_curlRadius, {}, 0.01f, true},
    {19, "curlTurns", TYPE_FLOAT, P_ANIMATABLE, 3.0f, true, 0, 200, 3, IDS_P_curlTurns, {}, 0.1f, false},
    {20, "curlRandom", TYPE_FLOAT, P_ANIMATABLE, 0.2f, true, 0, 1, 3, IDS_P_curlRandom, {}, 0.01f, false},
    {21, "kinkAmount", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 100000, 3, IDS_P_kinkAmount, {}, 0.01f, true},
    {22, "kinkFreq", TYPE_FLOAT, P_ANIMATABLE, 2.0f, true, 0, 100, 3, IDS_P_kinkFreq, {}, 0.1f, false},
    {23, "frizzRoot", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 100000, 3, IDS_P_frizzRoot, {}, 0.01f, true},
    {24, "frizzTip", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 100000, 3, IDS_P_frizzTip, {}, 0.01f, true},
    {25, "frizzFreq", TYPE_FLOAT, P_ANIMATABLE, 6.0f, true, 0, 500, 3, IDS_P_frizzFreq, {}, 0.1f, false},
    {26, "rootWidth", TYPE_FLOAT, P_ANIMATABLE, 0.03f, true, 0, 10000, 4, IDS_P_rootWidth, {}, 0.001f, true},
    {27, "tipWidth", TYPE_FLOAT, P_ANIMATABLE, 0.002f, true, 0, 10000, 4, IDS_P_tipWidth, {}, 0.001f, true},
    {28, "rootColor", TYPE_RGBA, P_ANIMATABLE, Color(0.1f, 0.06f, 0.03f), false, 0, 0, 4, IDS_P_rootColor, {}, 0.0f, false},
    {29, "tipColor", TYPE_RGBA, P_ANIMATABLE, Color(0.35f, 0.22f, 0.12f), false, 0, 0, 4, IDS_P_tipColor, {}, 0.0f, false},
    {30, "colorVar", TYPE_FLOAT, P_ANIMATABLE, 0.15f, true, 0, 1, 4, IDS_P_colorVar, {}, 0.01f, false},
    {31, "vpPercent", TYPE_FLOAT, P_ANIMATABLE, 20.0f, true, 0, 100, 6, IDS_P_vpPercent, {}, 1.0f, false},
    {32, "vpMax", TYPE_INT, P_ANIMATABLE, 300000, true, 100, 20000000, 6, IDS_P_vpMax, {}, 1000.0f, false},
    {33, "vpGuides", TYPE_BOOL, 0, 0, false, 0, 0, 6, IDS_P_vpGuides, {}, 0.0f, false},
    {34, "renderPercent", TYPE_FLOAT, P_ANIMATABLE, 100.0f, true, 0, 100, 6, IDS_P_renderPercent, {}, 1.0f, false},
    {35, "ribbonMode", TYPE_INT, 0, 0, true, 0, 2, 6, IDS_P_ribbonMode, {IDS_I_ribbonMode_0, IDS_I_ribbonMode_1, IDS_I_ribbonMode_2}, 1.0f, false},
    {36, "dynMode", TYPE_INT, 0, 0, true, 0, 2, 5, IDS_P_dynMode, {IDS_I_dynMode_0, IDS_I_dynMode_1, IDS_I_dynMode_2}, 1.0f, false},
    {37, "dynStart", TYPE_INT, P_ANIMATABLE, 0, true, -100000, 100000, 5, IDS_P_dynStart, {}, 1.0f, false},
    {38, "dynSubsteps", TYPE_INT, P_ANIMATABLE, 4, true, 1, 64, 5, IDS_P_dynSubsteps, {}, 1.0f, false},
    {39, "dynIters", TYPE_INT, P_ANIMATABLE, 8, true, 1, 100, 5, IDS_P_dynIters, {}, 1.0f, false},
    {40, "dynStiffness", TYPE_FLOAT, P_ANIMATABLE, 0.6f, true, 0, 1, 5, IDS_P_dynStiffness, {}, 0.01f, false},
    {41, "dynShape", TYPE_FLOAT, P_ANIMATABLE, 0.15f, true, 0, 1, 5, IDS_P_dynShape, {}, 0.01f, false},
    {42, "dynDamping", TYPE_FLOAT, P_ANIMATABLE, 0.05f, true, 0, 1, 5, IDS_P_dynDamping, {}, 0.01f, false},
    {43, "dynDrag", TYPE_FLOAT, P_ANIMATABLE, 0.02f, true, 0, 1, 5, IDS_P_dynDrag, {}, 0.01f, false},
    {44, "dynGravity", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, -10, 10, 5, IDS_P_dynGravity, {}, 0.05f, false},
    {45, "dynCollide", TYPE_BOOL, 0, 1, false, 0, 0, 5, IDS_P_dynCollide, {}, 0.0f, false},
    {46, "dynRadius", TYPE_FLOAT, P_ANIMATABLE, 0.2f, true, 0, 10000, 5, IDS_P_dynRadius, {}, 0.01f, true},
    {47, "dynFriction", TYPE_FLOAT, P_ANIMATABLE, 0.3f, true, 0, 1, 5, IDS_P_dynFriction, {}, 0.01f, false},
    {48, "dynSelfVol", TYPE_FLOAT, P_ANIMATABLE, 0.2f, true, 0, 1, 5, IDS_P_dynSelfVol, {}, 0.01f, false},
    {49, "dynCachePath", TYPE_FILENAME, 0, std::string(), false, 0, 0, 5, IDS_P_dynCachePath, {}, 0.0f, false},
    {50, "colliders", TYPE_INODE_TAB, 0, std::vector<host::INode*>(), false, 0, 0, 5, IDS_P_colliders, {}, 0.0f, false},
    {51, "forces", TYPE_INODE_TAB, 0, std::vector<host::INode*>(), false, 0, 0, 5, IDS_P_forces, {}, 0.0f, false},
    {52, "colorMap", TYPE_TEXMAP, 0, static_cast<host::Texmap*>(nullptr), false, 0, 0, 4, IDS_P_colorMap, {}, 0.0f, false},
    {113, "mapSat", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0, 3, 4, IDS_P_mapSat, {}, 0.01f, false},
    {53, "pattern", TYPE_INT, 0, 0, true, 0, 8, 4, IDS_P_pattern, {IDS_I_pattern_0, IDS_I_pattern_1, IDS_I_pattern_2, IDS_I_pattern_3, IDS_I_pattern_4, IDS_I_pattern_5, IDS_I_pattern_6, IDS_I_pattern_7, IDS_I_pattern_8}, 1.0f, false},
    {54, "patternColor", TYPE_RGBA, P_ANIMATABLE, Color(0.02f, 0.015f, 0.01f), false, 0, 0, 4, IDS_P_patternColor, {}, 0.0f, false},
    {55, "patternSecond", TYPE_RGBA, P_ANIMATABLE, Color(0.9f, 0.85f, 0.75f), false, 0, 0, 4, IDS_P_patternSecond, {}, 0.0f, false},
    {56, "patternScale", TYPE_FLOAT, P_ANIMATABLE, 10.0f, true, 0.001, 1000000, 4, IDS_P_patternScale, {}, 0.5f, true},
    {57, "patternAmount", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0, 1, 4, IDS_P_patternAmount, {}, 0.01f, false},
    {58, "autoUV", TYPE_INT, 0, 0, true, 0, 3, 0, IDS_P_autoUV, {IDS_I_autoUV_0, IDS_I_autoUV_1, IDS_I_autoUV_2, IDS_I_autoUV_3}, 1.0f, false},
    {59, "widthProfile", TYPE_INT, 0, 1, true, 0, 5, 4, IDS_P_widthProfile, {IDS_I_widthProfile_0, IDS_I_widthProfile_1, IDS_I_widthProfile_2, IDS_I_widthProfile_3, IDS_I_widthProfile_4, IDS_I_widthProfile_5}, 1.0f, false},
    {60, "widthTaperStart", TYPE_FLOAT, P_ANIMATABLE, 0.6f, true, 0, 0.99, 4, IDS_P_widthTaperStart, {}, 0.01f, false},
    {61, "widthRandom", TYPE_FLOAT, P_ANIMATABLE, 0.2f, true, 0, 1, 4, IDS_P_widthRandom, {}, 0.01f, false},
    {62, "widthMap", TYPE_TEXMAP, 0, static_cast<host::Texmap*>(nullptr), false, 0, 0, 4, IDS_P_widthMap, {}, 0.0f, false},
    {63, "clump2Count", TYPE_INT, P_ANIMATABLE, 3000, true, 0, 1000000, 2, IDS_P_clump2Count, {}, 100.0f, false},
    {64, "clump2Amount", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 1, 2, IDS_P_clump2Amount, {}, 0.01f, false},
    {65, "clump2Tip", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0.1, 8, 2, IDS_P_clump2Tip, {}, 0.05f, false},
    {66, "strayFraction", TYPE_FLOAT, P_ANIMATABLE, 0.02f, true, 0, 1, 2, IDS_P_strayFraction, {}, 0.005f, false},
    {67, "strayAmount", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0, 100000, 2, IDS_P_strayAmount, {}, 0.05f, true},
    {68, "stackThickness", TYPE_FLOAT, P_ANIMATABLE, 0.3f, true, 0, 100000, 1, IDS_P_stackThickness, {}, 0.01f, true},
    {69, "stackOn", TYPE_BOOL, 0, 1, false, 0, 0, 1, IDS_P_stackOn, {}, 0.0f, false},
    {70, "guideSplines", TYPE_INODE_TAB, 0, std::vector<host::INode*>(), false, 0, 0, 1, IDS_P_guideSplines, {}, 0.0f, false},
    {71, "splineInfluence", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0, 1, 1, IDS_P_splineInfluence, {}, 0.01f, false},
    {72, "vpColorMode", TYPE_INT, 0, 0, true, 0, 2, 6, IDS_P_vpColorMode, {IDS_I_vpColorMode_0, IDS_I_vpColorMode_1, IDS_I_vpColorMode_2}, 1.0f, false},
    {73, "faceNode", TYPE_INODE, 0, static_cast<host::INode*>(nullptr), false, 0, 0, 4, IDS_P_faceNode, {}, 0.0f, false},
    {74, "faceSize", TYPE_FLOAT, P_ANIMATABLE, 20.0f, true, 0.001, 1000000, 4, IDS_P_faceSize, {}, 0.5f, true},
    {75, "faceMarks", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0, 1, 4, IDS_P_faceMarks, {}, 0.01f, false},
    {76, "ruffLength", TYPE_FLOAT, P_ANIMATABLE, 2.5f, true, 1, 20, 4, IDS_P_ruffLength, {}, 0.05f, false},
    {77, "ruffColor", TYPE_RGBA, P_ANIMATABLE, Color(0.92f, 0.9f, 0.86f), false, 0, 0, 4, IDS_P_ruffColor, {}, 0.0f, false},
    {78, "growMatIDs", TYPE_FILENAME, 0, std::string(), false, 0, 0, 0, IDS_P_growMatIDs, {}, 0.0f, false},
    {79, "waterNodes", TYPE_INODE_TAB, 0, std::vector<host::INode*>(), false, 0, 0, 5, IDS_P_waterNodes, {}, 0.0f, false},
    {80, "waterRadius", TYPE_FLOAT, P_ANIMATABLE, 2.0f, true, 0.001, 100000, 5, IDS_P_waterRadius, {}, 0.05f, true},
    {81, "buoyancy", TYPE_FLOAT, P_ANIMATABLE, 1.2f, true, 0, 10, 5, IDS_P_buoyancy, {}, 0.05f, false},
    {82, "waterDrag", TYPE_FLOAT, P_ANIMATABLE, 0.6f, true, 0, 1, 5, IDS_P_waterDrag, {}, 0.01f, false},
    {83, "wetSpeed", TYPE_FLOAT, P_ANIMATABLE, 0.6f, true, 0, 1, 5, IDS_P_wetSpeed, {}, 0.01f, false},
    {84, "dryTime", TYPE_FLOAT, P_ANIMATABLE, 20.0f, true, 0.1, 10000, 5, IDS_P_dryTime, {}, 0.5f, false},
    {85, "wetClump", TYPE_FLOAT, P_ANIMATABLE, 0.85f, true, 0, 1, 5, IDS_P_wetClump, {}, 0.01f, false},
    {86, "faceRegion", TYPE_INT, 0, 0, true, 0, 3, 4, IDS_P_faceRegion, {IDS_I_faceRegion_0, IDS_I_faceRegion_1, IDS_I_faceRegion_2, IDS_I_faceRegion_3}, 1.0f, false},
    {87, "bareFace", TYPE_BOOL, 0, 0, false, 0, 0, 4, IDS_P_bareFace, {}, 0.0f, false},
    {88, "faceFurLength", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0.05, 5, 4, IDS_P_faceFurLength, {}, 0.05f, false},
    {89, "bareBelow", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 0.5, 0, IDS_P_bareBelow, {}, 0.005f, false},
    {90, "flowMode", TYPE_INT, 0, 0, true, 0, 2, 1, IDS_P_flowMode, {IDS_I_flowMode_0, IDS_I_flowMode_1, IDS_I_flowMode_2}, 1.0f, false},
    {91, "smallParts", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 1, 0, IDS_P_smallParts, {}, 0.01f, false},
    {92, "barePalms", TYPE_BOOL, 0, 0, false, 0, 0, 0, IDS_P_barePalms, {}, 0.0f, false},
    {93, "patternWidth", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0.1, 3, 4, IDS_P_patternWidth, {}, 0.05f, false},
    {94, "patternBreaks", TYPE_FLOAT, P_ANIMATABLE, 0.5f, true, 0, 1, 4, IDS_P_patternBreaks, {}, 0.01f, false},
    {95, "dynInteractive", TYPE_BOOL, 0, 1, false, 0, 0, 5, IDS_P_dynInteractive, {}, 0.0f, false},
    {96, "dynHairHair", TYPE_BOOL, 0, 1, false, 0, 0, 5, IDS_P_dynHairHair, {}, 0.0f, false},
    {97, "dynHairThick", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0.1, 5, 5, IDS_P_dynHairThick, {}, 0.05f, false},
    {98, "fireNodes", TYPE_INODE_TAB, 0, std::vector<host::INode*>(), false, 0, 0, 5, IDS_P_fireNodes, {}, 0.0f, false},
    {99, "fireBurn", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0, 20, 5, IDS_P_fireBurn, {}, 0.05f, false},
    {100, "faceTone", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 1, 4, IDS_P_faceTone, {}, 0.01f, false},
    {101, "memBudget", TYPE_FLOAT, P_ANIMATABLE, 90.0f, true, 10, 95, 6, IDS_P_memBudget, {}, 1.0f, false},
    {102, "renderMult", TYPE_INT, P_ANIMATABLE, 1, true, 1, 200, 6, IDS_P_renderMult, {}, 1.0f, false},
    {103, "hiOn", TYPE_BOOL, 0, 0, false, 0, 0, 4, IDS_P_hiOn, {}, 0.0f, false},
    {104, "hiColor", TYPE_RGBA, P_ANIMATABLE, Color(0.78f, 0.68f, 0.55f), false, 0, 0, 4, IDS_P_hiColor, {}, 0.0f, false},
    {105, "hiAmount", TYPE_FLOAT, P_ANIMATABLE, 0.35f, true, 0, 1, 4, IDS_P_hiAmount, {}, 0.01f, false},
    {106, "hiWidth", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0.001, 1000000, 4, IDS_P_hiWidth, {}, 0.05f, true},
    {107, "hiDensity", TYPE_FLOAT, P_ANIMATABLE, 0.7f, true, 0, 1, 4, IDS_P_hiDensity, {}, 0.01f, false},
    {108, "hiRoot", TYPE_FLOAT, P_ANIMATABLE, 1.0f, true, 0, 1, 4, IDS_P_hiRoot, {}, 0.01f, false},
    {109, "hiRandom", TYPE_FLOAT, P_ANIMATABLE, 0.3f, true, 0, 1, 4, IDS_P_hiRandom, {}, 0.01f, false},
    {110, "hiSeed", TYPE_INT, P_ANIMATABLE, 1, true, 0, 99999, 4, IDS_P_hiSeed, {}, 1.0f, false},
    {111, "hiStart", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 0.95, 4, IDS_P_hiStart, {}, 0.01f, false},
    {112, "hiSoft", TYPE_FLOAT, P_ANIMATABLE, 0.15f, true, 0, 1, 4, IDS_P_hiSoft, {}, 0.01f, false},
    {114, "hiAlong", TYPE_FLOAT, P_ANIMATABLE, 0.0f, true, 0, 1, 4, IDS_P_hiAlong, {}, 0.01f, false},
  };
  return rows;
}

}  // namespace

std::unique_ptr<ParamBlockDesc2> MakeHairParamBlockDesc(ClassDesc2* cd) {
  auto pbd = std::make_unique<ParamBlockDesc2>(kHairParamsBlockId, "params", IDS_PARAMS, cd,
                                               P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0);
  pbd->AddRollout({kRolloutSurface, 1800, IDS_ROLLOUT_SURFACE, true});
  pbd->AddRollout({kRolloutShape, 1801, IDS_ROLLOUT_SHAPE, true});
  pbd->AddRollout({kRolloutClump, 1802, IDS_ROLLOUT_CLUMP, false});
  pbd->AddRollout({kRolloutCurl, 1803, IDS_ROLLOUT_CURL, false});
  pbd->AddRollout({kRolloutColour, 1804, IDS_ROLLOUT_COLOUR, false});
  pbd->AddRollout({kRolloutDynamics, 1805, IDS_ROLLOUT_DYNAMICS, false});
  pbd->AddRollout({kRolloutViewport, 1806, IDS_ROLLOUT_VIEWPORT, false});
  for (const Row& r : Rows()) {
    ParamDef d;
    d.id = r.id;
    d.internalName = r.name;
    d.type = r.type;
    d.flags = r.flags;
    d.defaultValue = r.defaultValue;
    d.hasRange = r.hasRange;
    d.rangeMin = r.rangeMin;
    d.rangeMax = r.rangeMax;
    d.rollout = r.rollout;
    d.labelStringId = r.label;
    d.itemStringIds = r.items;
    d.spinnerScale = r.step;
    d.worldUnits = r.world;
    if (r.id == hp::surface) {
      d.validator = &GetSurfaceValidator();
      d.promptStringId = IDS_PROMPT_GROW_ON;
    }
    pbd->AddParam(std::move(d));
  }
  return pbd;
}

}  // namespace crn
