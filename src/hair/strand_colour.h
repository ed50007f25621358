#pragma once
// The colour stage of a strand: colour map, coat patterns, highlight streaks, face marks,
// ruff, face tone, embers, char and eye rims; and reading a colour along a strand.
#include <cstdint>

#include "hair/face_coords.h"
#include "hair/gen_types.h"

namespace crn {

// Highlights are split (carried in hiColour/hiStart/hiSoft) when on with a start above 0.
inline bool SplitHighlights(const GenSettings& s) {
  return s.hiOn && s.hiAmount > 0 && s.hiStart > 0;
}

// Per-build constants of the coat patterns: the surface frame and the pattern scale.
struct PatternFrame {
  V3 b0, b1, extent;  // bboxMin, bboxMax, bboxMax - bboxMin
  V3 longAxis;        // unit axis of the largest extent
  V3 side;            // unit((0, 0, 1) x longAxis), or (1, 0, 0)
  V3 centre;          // (bboxMin + bboxMax) / 2
  float scale = 1;    // max(patternScale, 1e-6)
  float width = 1;    // max(patternWidth, 0.1)
};
PatternFrame MakePatternFrame(const GenSettings& s);

// Per-build constants of the highlight streaks.
struct StreakFrame {
  float invWidth = 1;   // 1 / max(hiWidth, 1e-6)
  float seedPhase = 0;  // (hiSeed mod 9973) * 0.731
  std::uint32_t cellSalt = 0, densitySalt = 0, shadeSalt = 0;  // Mix32(hiSeed + 300/301/302)
};
StreakFrame MakeStreakFrame(const GenSettings& s);

// Everything the colour stage derives once per build. It points at the settings, inputs and
// guides it was made from, which must outlive it and stay unchanged while it is used. Build
// it once before the parallel strand loop and pass it to every ColourStrand call.
struct ColourContext {
  const GenSettings* settings = nullptr;
  const BuildInputs* inputs = nullptr;
  const GuideSet* guides = nullptr;
  const ColourMapSampler* colourSampler = nullptr;
  FaceAxes face;
  PatternFrame pattern;
  StreakFrame streak;
  bool glowOn = false;  // a glow array of vertex length is present
};
ColourContext MakeColourContext(const GenSettings& settings, const BuildInputs& inputs,
                                const GuideSet& guides);

// Fills out.rootColour[s], out.tipColour[s] and, when those arrays are present, the
// highlight and glow entries of strand s. burn is the strand's burn value d.
void ColourStrand(const ColourContext& ctx, const RootSample& root, float burn, std::size_t s,
                  StrandSet& out);
// Same, building the context on every call (convenient, slower).
void ColourStrand(const GenSettings& settings, const BuildInputs& inputs, const GuideSet& guides,
                  const RootSample& root, float burn, std::size_t s, StrandSet& out);

struct PatternWeights {
  float mark = 0, second = 0, tipMark = 0;
};
PatternWeights CoatPattern(const ColourContext& ctx, const V3& p, const V3& n, std::uint32_t id);
PatternWeights CoatPattern(const GenSettings& settings, const V3& p, const V3& n, std::uint32_t id);

float StreakWeight(const ColourContext& ctx, const V3& p, std::uint32_t id);
float StreakWeight(const GenSettings& settings, const V3& p, std::uint32_t id);

struct FaceMarkWeights {
  float dark = 0, light = 0;
};
FaceMarkWeights FaceMarks(const GenSettings& settings, const V3& q);

// Colour (display-encoded, 0-1) at fraction t of strand s.
V3 StrandColourAt(const StrandSet& set, std::size_t s, float t);

}  // namespace crn
