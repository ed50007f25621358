#pragma once
// Baking a texture map into the 1024 x 1024 grid that generation samples.
#include <memory>

#include "hair/gen_types.h"
#include "host/texmap.h"

namespace crn {

// The shade context of a bake: the cell centre as UVW, and that UVW scaled by 100 as the
// position, so 3D maps vary over the grid as well.
class HairBakeSC : public host::ShadeContext {
 public:
  HairBakeSC(const host::Point3& uvw, host::TimeValue t) : uvw_(uvw), t_(t) {}
  host::Point3 UVW(int = 1) const override { return uvw_; }
  host::Point3 P() const override { return uvw_ * 100.0f; }
  host::TimeValue CurTime() const override { return t_; }

 private:
  host::Point3 uvw_;
  host::TimeValue t_;
};

// Updates map for t (narrowing *valid when given) and evaluates it at the centre of every
// cell (i, j), UV ((j + 0.5) / 1024, (i + 0.5) / 1024, 0). Scalar grids (colour false) store
// max(0, EvalMono), colour grids max(0, r), max(0, g), max(0, b); NaN is stored as 0. Rows are
// baked in parallel. nullptr when map is null.
std::shared_ptr<const MapGrid> BakeMap(host::Texmap* map, host::TimeValue t, bool colour,
                                       host::Interval* valid);

}  // namespace crn
