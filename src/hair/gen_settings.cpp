#include "hair/gen_settings.h"

#include <algorithm>

#include "hair/hair_param_block.h"
#include "hair/hair_params.h"

namespace crn {

using host::Interval;
using host::TimeValue;

namespace {

using S = GenSettings;

constexpr GenSettingsField kFields[] = {
    {hp::count, &S::count},
    {hp::seed, &S::seed},
    {hp::segments, &S::segments},
    {hp::restFrame, &S::restFrame},
    {hp::length, &S::length},
    {hp::lengthVar, &S::lengthVar},
    {hp::lift, &S::lift},
    {hp::combAngle, &S::combAngle},
    {hp::gravity, &S::gravity},
    {hp::stiffness, &S::stiffness},
    {hp::dirRandom, &S::dirRandom},
    {hp::clumpCount, &S::clumpCount},
    {hp::clumpAmount, &S::clumpAmount},
    {hp::clumpTip, &S::clumpTip},
    {hp::clumpRandom, &S::clumpRandom},
    {hp::curlRadius, &S::curlRadius},
    {hp::curlTurns, &S::curlTurns},
    {hp::curlRandom, &S::curlRandom},
    {hp::kinkAmount, &S::kinkAmount},
    {hp::kinkFreq, &S::kinkFreq},
    {hp::frizzRoot, &S::frizzRoot},
    {hp::frizzTip, &S::frizzTip},
    {hp::frizzFreq, &S::frizzFreq},
    {hp::rootWidth, &S::rootWidth},
    {hp::tipWidth, &S::tipWidth},
    {hp::rootColor, &S::rootColor},
    {hp::tipColor, &S::tipColor},
    {hp::colorVar, &S::colorVar},
    {hp::mapSat, &S::mapSat},
    {hp::pattern, &S::pattern},
    {hp::patternColor, &S::patternColor},
    {hp::patternSecond, &S::patternSecond},
    {hp::patternScale, &S::patternScale},
    {hp::patternAmount, &S::patternAmount},
    {hp::patternWidth, &S::patternWidth},
    {hp::patternBreaks, &S::patternBreaks},
    {hp::hiOn, &S::hiOn},
    {hp::hiColor, &S::hiColor},
    {hp::hiAmount, &S::hiAmount},
    {hp::hiWidth, &S::hiWidth},
    {hp::hiDensity, &S::hiDensity},
    {hp::hiRoot, &S::hiRoot},
    {hp::hiRandom, &S::hiRandom},
    {hp::hiSeed, &S::hiSeed},
    {hp::hiAlong, &S::hiAlong},
    {hp::hiStart, &S::hiStart},
    {hp::hiSoft, &S::hiSoft},
    {hp::widthProfile, &S::widthProfile},
    {hp::widthTaperStart, &S::widthTaperStart},
    {hp::widthRandom, &S::widthRandom},
    {hp::clump2Count, &S::clump2Count},
    {hp::clump2Amount, &S::clump2Amount},
    {hp::clump2Tip, &S::clump2Tip},
    {hp::strayFraction, &S::strayFraction},
    {hp::strayAmount, &S::strayAmount},
    {hp::stackOn, &S::stackOn},
    {hp::stackThickness, &S::stackThickness},
    {hp::splineInfluence, &S::splineInfluence},
    {hp::wetClump, &S::wetClump},
    {hp::faceRegion, &S::faceRegion},
    {hp::autoUV, &S::autoUV},
    {hp::flowMode, &S::flowMode},
    {hp::bareBelow, &S::bareBelow},
    {hp::smallParts, &S::smallParts},
    {hp::barePalms, &S::barePalms},
    {hp::memBudget, &S::memBudget},
    {hp::vpColorMode, &S::vpColorMode},
    {hp::faceTone, &S::faceTone},
    {hp::faceSize, &S::faceSize, true},
    {hp::faceMarks, &S::faceMarks, true},
    {hp::ruffLength, &S::ruffLength, true},
    {hp::ruffColor, &S::ruffColor, true},
    {hp::bareFace, &S::bareFace, true},
    {hp::faceFurLength, &S::faceFurLength, true},
};

// Stores a parameter value (bools are ints, colours host colours) into its member.
void Assign(GenSettings& s, const GenSettingsMember& member, const host::PBValue& v) {
  std::visit(
      [&](auto m) {
        using T = std::remove_reference_t<decltype(s.*m)>;
        if constexpr (std::is_same_v<T, V3>) {
          if (const auto* c = std::get_if<host::Color>(&v)) s.*m = V3(c->r, c->g, c->b);
        } else if (const auto* i = std::get_if<int>(&v)) {
          s.*m = T(*i);
        } else if (const auto* f = std::get_if<float>(&v)) {
          s.*m = T(*f);
        }
      },
      member);
}

// The rules applied to every snapshot after reading.
void Finish(GenSettings& s) {
  s.segments = std::max(s.segments, 2);
  s.whiskerGuides = s.faceRegion == 1 && s.faceOn;
  s.browGuides = s.faceRegion == 2 && s.faceOn;
}

}  // namespace

std::span<const GenSettingsField> GenSettingsFields() { return kFields; }

const GenSettings& DefaultGenSettings() {
  static const GenSettings defaults = [] {
    GenSettings s;
    const host::ParamBlockDesc2& desc = HairParamBlockDesc();
    for (const GenSettingsField& f : kFields)
      if (const host::ParamDef* def = desc.GetParamDefByID(f.id)) Assign(s, f.member, def->defaultValue);
    Finish(s);
    return s;
  }();
  return defaults;
}

GenSettings ReadGenSettings(const host::IParamBlock2& pb, TimeValue t, Interval& valid) {
  GenSettings s = DefaultGenSettings();
  host::INode* face = nullptr;
  pb.GetValue(hp::faceNode, t, face, valid);
  s.faceOn = face != nullptr;
  for (const GenSettingsField& f : kFields) {
    if (f.faceGroup && !s.faceOn) continue;
    if (const auto v = pb.GetPBValue(f.id, t, valid)) Assign(s, f.member, *v);
  }
  Finish(s);
  return s;
}

}  // namespace crn
