#pragma once
// "Hair volume (self)": a push that keeps the hair from collapsing into itself. Each point
// remembers how many points of other guides shared its cell at the start; where more crowd
// in later, the point is pushed down the density gradient.
#include <vector>

#include "dynamics/guide_solver.h"

namespace crn {

// The reference at solver creation: cell size from the mean rest segment length and the
// rest density of every point (its cell's count less its own guide's points there).
void InitSelfVolume(GuideSolver& s);

// Adds the push to E (N * P) from the solver's current positions. Runs only when selfVol > 0,
// frameTime > 0 and the reference has one entry per point. skin > 0 exempts points within
// skin of a collider triangle (hair lying on a collider is not pushed). Works in s.scratch.
void AddSelfVolumePush(GuideSolver& s, float selfVol, float frameTime,
                       std::vector<hsim::F3>& E, float skin);

// Skin distance of the push: 3 max(1e-4, dynRadius) + the collider grid's cell with
// collisions on (the cell counts 0 for an empty grid), 0 with collisions off or when the
// environment variable CRINEL_NOSKIN is set.
float SelfVolumeSkin(bool collide, float dynRadius, const ColliderGrid& grid);

}  // namespace crn
