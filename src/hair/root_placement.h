#pragma once
// Scattering strand roots over the rest surface with the density rules.
#include <cstdint>
#include <functional>
#include <string>

#include "hair/gen_types.h"

namespace crn {

struct DensityInputs {
  const ScalarMapSampler* densityMap = nullptr;   // over rest.cornerUVW, or none
  const std::vector<float>* densityFactors = nullptr;  // per vertex, used when sized to it
  const std::vector<float>* thinness = nullptr;   // per vertex, for bare palms
  const std::vector<V3>* eyeCentres = nullptr;
  const std::vector<float>* eyeRadii = nullptr;
  const std::vector<char>* eyeTriangles = nullptr;  // per triangle, nonzero on a detected eye
  const std::vector<std::int64_t>* growMaterialIds = nullptr;  // grow only on these, when any
};

// Material IDs listed in text (growMatIDs): every run of decimal digits is one ID, every
// other character separates. Runs too long for an ID saturate and then match nothing.
std::vector<std::int64_t> ParseMaterialIds(const std::string& text);

// Places roots on rest (rest-frame surface with normals and UVs; s carries bboxMin/Max, the
// face fields and the placement parameters). fit is the memory-budget strand count (0 = no
// cap). Deterministic for (seed, attempt index).
std::vector<RootSample> PlaceRootSamples(const GuideSet& rest, const GenSettings& s,
                                         const DensityInputs& density, std::uint64_t fit);

// The low-level sampler: up to target roots with the given density function (may be empty).
// The density function is called from several threads at once and must be safe for that.
std::vector<RootSample> ScatterRoots(const GuideSet& rest, int seed, std::uint64_t target,
                                     const std::function<float(int, float, float)>& density);

}  // namespace crn
