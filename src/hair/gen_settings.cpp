#include "hair/gen_settings.h"

#include <algorithm>

#include "hair/hair_params.h"

namespace crn {

using host::Interval;
using host::TimeValue;

namespace {

class Reader {
 public:
  Reader(const host::IParamBlock2& pb, TimeValue t, Interval& valid) : pb_(pb), t_(t), valid_(valid) {}
  float F(short id) const {
    float v = 0;
    pb_.GetValue(id, t_, v, valid_);
    return v;
  }
  int I(short id) const {
    int v = 0;
    pb_.GetValue(id, t_, v, valid_);
    return v;
  }
  bool B(short id) const { return I(id) != 0; }
  V3 C(short id) const {
    host::Color c;
    pb_.GetValue(id, t_, c, valid_);
    return {c.r, c.g, c.b};
  }
  std::string S(short id) const {
    std::string s;
    pb_.GetValue(id, t_, s, valid_);
    return s;
  }
  bool HasNode(short id) const {
    host::INode* n = nullptr;
    pb_.GetValue(id, t_, n, valid_);
    return n != nullptr;
  }

 private:
  const host::IParamBlock2& pb_;
  TimeValue t_;
  Interval& valid_;
};

}  // namespace

GenSettings ReadGenSettings(const host::IParamBlock2& pb, TimeValue t, Interval& valid) {
  const Reader r(pb, t, valid);
  GenSettings s;
  s.count = r.I(hp::count);
  s.seed = r.I(hp::seed);
  s.segments = std::max(r.I(hp::segments), 2);
  s.restFrame = r.I(hp::restFrame);
  s.length = r.F(hp::length);
  s.lengthVar = r.F(hp::lengthVar);
  s.lift = r.F(hp::lift);
  s.combAngle = r.F(hp::combAngle);
  s.gravity = r.F(hp::gravity);
  s.stiffness = r.F(hp::stiffness);
  s.dirRandom = r.F(hp::dirRandom);
  s.clumpCount = r.I(hp::clumpCount);
  s.clumpAmount = r.F(hp::clumpAmount);
  s.clumpTip = r.F(hp::clumpTip);
  s.clumpRandom = r.F(hp::clumpRandom);
  s.curlRadius = r.F(hp::curlRadius);
  s.curlTurns = r.F(hp::curlTurns);
  s.curlRandom = r.F(hp::curlRandom);
  s.kinkAmount = r.F(hp::kinkAmount);
  s.kinkFreq = r.F(hp::kinkFreq);
  s.frizzRoot = r.F(hp::frizzRoot);
  s.frizzTip = r.F(hp::frizzTip);
  s.frizzFreq = r.F(hp::frizzFreq);
  s.rootWidth = r.F(hp::rootWidth);
  s.tipWidth = r.F(hp::tipWidth);
  s.rootColor = r.C(hp::rootColor);
  s.tipColor = r.C(hp::tipColor);
  s.colorVar = r.F(hp::colorVar);
  s.mapSat = r.F(hp::mapSat);
  s.pattern = r.I(hp::pattern);
  s.patternColor = r.C(hp::patternColor);
  s.patternSecond = r.C(hp::patternSecond);
  s.patternScale = r.F(hp::patternScale);
  s.patternAmount = r.F(hp::patternAmount);
  s.patternWidth = r.F(hp::patternWidth);
  s.patternBreaks = r.F(hp::patternBreaks);
  s.hiOn = r.B(hp::hiOn);
  s.hiColor = r.C(hp::hiColor);
  s.hiAmount = r.F(hp::hiAmount);
  s.hiWidth = r.F(hp::hiWidth);
  s.hiDensity = r.F(hp::hiDensity);
  s.hiRoot = r.F(hp::hiRoot);
  s.hiRandom = r.F(hp::hiRandom);
  s.hiSeed = r.I(hp::hiSeed);
  s.hiAlong = r.F(hp::hiAlong);
  s.hiStart = r.F(hp::hiStart);
  s.hiSoft = r.F(hp::hiSoft);
  s.widthProfile = r.I(hp::widthProfile);
  s.widthTaperStart = r.F(hp::widthTaperStart);
  s.widthRandom = r.F(hp::widthRandom);
  s.clump2Count = r.I(hp::clump2Count);
  s.clump2Amount = r.F(hp::clump2Amount);
  s.clump2Tip = r.F(hp::clump2Tip);
  s.strayFraction = r.F(hp::strayFraction);
  s.strayAmount = r.F(hp::strayAmount);
  s.stackOn = r.B(hp::stackOn);
  s.stackThickness = r.F(hp::stackThickness);
  s.splineInfluence = r.F(hp::splineInfluence);
  s.wetClump = r.F(hp::wetClump);
  s.faceRegion = r.I(hp::faceRegion);
  s.autoUV = r.I(hp::autoUV);
  s.flowMode = r.I(hp::flowMode);
  s.bareBelow = r.F(hp::bareBelow);
  s.smallParts = r.F(hp::smallParts);
  s.barePalms = r.B(hp::barePalms);
  s.growMatIDs = r.S(hp::growMatIDs);
  s.memBudget = r.F(hp::memBudget);
  s.vpColorMode = r.I(hp::vpColorMode);
  s.faceTone = r.F(hp::faceTone);
  s.faceOn = r.HasNode(hp::faceNode);
  if (s.faceOn) {
    s.faceSize = r.F(hp::faceSize);
    s.faceMarks = r.F(hp::faceMarks);
    s.ruffLength = r.F(hp::ruffLength);
    s.ruffColor = r.C(hp::ruffColor);
    s.bareFace = r.B(hp::bareFace);
    s.faceFurLength = r.F(hp::faceFurLength);
  }
  s.whiskerGuides = s.faceRegion == 1 && s.faceOn;
  s.browGuides = s.faceRegion == 2 && s.faceOn;
  return s;
}

}  // namespace crn
