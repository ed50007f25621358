#pragma once
// The renderer benchmarks' hair ball: straight-ish strands of ten segments standing on a
// sphere, as a gathered hair instance, and a camera that frames it.
#include <cmath>
#include <cstdint>
#include <random>

#include "render/render_context.h"
#include "render/scene_gather.h"

namespace bench {

constexpr float kBallRadius = 10.f;
constexpr float kStrandLength = 3.f;

// `strands` strands of `segments` segments each on a Fibonacci sphere, bending a little
// towards +X, with widths from 0.03 at the root to 0.01 at the tip.
inline crn::HairInstance HairBall(std::size_t strands, int segments = 10) {
  crn::HairInstance h;
  h.material = hrt::FallbackHairParams();
  crn::StrandSet& s = h.strands;
  const int points = segments + 1;
  s.pointsPerStrand = points;
  s.points.reserve(strands * std::size_t(points));
  s.widths.reserve(strands * std::size_t(points));
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> jitter(-0.15f, 0.15f);
  const float golden = 2.39996323f;
  for (std::size_t i = 0; i < strands; ++i) {
    const float z = 1.f - 2.f * (float(i) + 0.5f) / float(strands);
    const float r = std::sqrt(std::max(0.f, 1.f - z * z)), phi = golden * float(i);
    const crn::V3 n(r * std::cos(phi), r * std::sin(phi), z);
    const crn::V3 bend = crn::UnitOr(crn::V3(1 + jitter(rng), jitter(rng), jitter(rng) - 0.5f), crn::V3(1, 0, 0));
    crn::V3 p = n * kBallRadius, dir = n;
    for (int k = 0; k < points; ++k) {
      s.points.push_back(p);
      s.widths.push_back(0.03f - 0.02f * float(k) / float(segments));
      dir = crn::UnitOr(dir + bend * 0.08f, n);
      p += dir * (kStrandLength / float(segments));
    }
    s.rootColour.push_back(0xFF5A3A22u);
    s.tipColour.push_back(0xFFB08050u);
    s.strandId.push_back(std::uint32_t(i));
    s.triIndex.push_back(0);
  }
  return h;
}

// A camera 40 units in front of the ball (on -Y) looking at it.
inline hrt::Camera BallCamera() {
  return crn::MakeCamera(crn::V3(1, 0, 0), crn::V3(0, 0, 1), crn::V3(0, -1, 0), crn::V3(0, -40, 0), 0.75f, 0);
}

}  // namespace bench
