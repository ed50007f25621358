#pragma once
// What one brush dab does to the guides, and density painting. A dab reshapes the guides of
// a working copy of the GuideSet and turns each reshaped guide back into groom edit offsets
// measured from the ungroomed guide in its root frame.
#include <cstddef>
#include <vector>

#include "hair/fur_math.h"
#include "hair/gen_types.h"

namespace crn {

// Brush list order; the index is the brush kind of the brush mode and the scripts.
enum BrushKind {
  kBrushComb = 0,
  kBrushLift = 1,
  kBrushFlatten = 2,
  kBrushLengthen = 3,
  kBrushShorten = 4,
  kBrushSmooth = 5,
  kBrushTwist = 6,
  kBrushErase = 7,
  kBrushClump = 8,
  kBrushPart = 9,
  kBrushCurl = 10,
  kBrushStraighten = 11,
  kBrushFrizz = 12,
  kBrushDensityMore = 13,
  kBrushDensityLess = 14,
};
constexpr int kBrushCount = 15;

// The brush list text of a kind ("Comb", "Lift / puff", ...); nullptr outside 0..14.
const char* BrushName(int kind);

// One application of a brush.
struct BrushDab {
  int kind = 0;
  float strength = 0.5f;  // 0..1
  V3 drag;                // world-space drag of this dab
  V3 centre;              // world-space brush centre
  int serial = 1;         // dab number; seeds the frizz noise
};

// Offsets of one guide's points from its ungroomed points in its root frame: x along T,
// y along B = N x T, z along N. The root entry is always zero. points, ungroomed and out
// each hold pointCount entries.
void EncodeEdits(const V3* points, const V3* ungroomed, int pointCount, const V3& tangent,
                 const V3& normal, V3* out);

// Applies the dab to the guide points of work (P = work.guidePointCount points per guide,
// n = work.VertexCount() guides, root frames from work.normals and work.tangents) with one
// weight per guide and the ungroomed guide points in the same layout. edits is sized to n*P
// (new entries zero, existing entries keep their index) and receives the offsets of every
// guide the dab touched; other guides keep their points and entries exactly. Kinds 13, 14
// and unknown kinds reshape nothing but still re-encode the touched guides. Inputs of
// inconsistent size (points, frames or ungroomed points fewer than the guide count needs)
// leave everything untouched. Missing weights count as 0.
void ApplyDab(GuideSet& work, const std::vector<float>& weights, const BrushDab& dab,
              const std::vector<V3>& ungroomed, std::vector<V3>& edits);

// Density painting: sizes factors to guideCount (kept entries keep their values, new ones
// are 1.0), then for every guide with weight w > 0: f = clamp(f + w*sign*strength*0.25, 0, 1).
// sign is +1 for "Density: paint more" and -1 for "Density: paint less".
void PaintDensity(std::vector<float>& factors, std::size_t guideCount,
                  const std::vector<float>& weights, int sign, float strength);

}  // namespace crn
