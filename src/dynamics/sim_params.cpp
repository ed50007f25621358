#include "dynamics/sim_params.h"

#include <algorithm>
#include <cmath>

#include "hair/hair_params.h"
#include "host/simple_object.h"
#include "host/units.h"

namespace crn {

using namespace host;

IParamBlock2* ParamsOf(Object& hair) {
  auto* simple = dynamic_cast<SimpleObject2*>(&hair);
  return simple ? simple->pblock2 : nullptr;
}

float MetresPerUnit() {
  const double m = GetSystemUnitScale(UNITS_METERS);
  return m > 0 ? float(m) : 0.0254f;
}

hsim::Params MakeParams(const IParamBlock2& pb, TimeValue t) {
  hsim::Params p;
  const float tpf = float(GetTicksPerFrame());
  p.frameTime = tpf / float(TICKS_PER_SECOND);
  p.substeps = std::max(1, pb.GetInt(hp::dynSubsteps, t));
  p.iterations = std::max(1, pb.GetInt(hp::dynIters, t));
  p.dt = p.frameTime / float(p.substeps);
  p.bendStiffness = pb.GetFloat(hp::dynStiffness, t);
  const float shape = std::min(pb.GetFloat(hp::dynShape, t), 0.999f);
  p.shapePull = float(1.0 - std::pow(1.0 - double(shape), 1.0 / (4.0 * p.iterations * p.substeps)));
  p.damping = pb.GetFloat(hp::dynDamping, t) * 0.5f;
  p.drag = pb.GetFloat(hp::dynDrag, t) * 0.25f;
  p.offset = pb.GetFloat(hp::dynRadius, t);
  p.friction = pb.GetFloat(hp::dynFriction, t);
  p.gravity = hsim::F3(0, 0, -GravityAccel() * pb.GetFloat(hp::dynGravity, t));
  p.collide = pb.GetInt(hp::dynCollide, t) != 0 ? 1 : 0;
  p.windCount = 0;
  p.time0 = (float(t) - tpf) / float(TICKS_PER_SECOND);
  return p;
}

DynSettings ReadDynSettings(const IParamBlock2& pb, TimeValue t) {
  DynSettings d;
  d.mode = pb.GetInt(hp::dynMode, t);
  d.start = pb.GetInt(hp::dynStart, t);
  d.interactive = pb.GetInt(hp::dynInteractive, t) != 0;
  d.collide = pb.GetInt(hp::dynCollide, t) != 0;
  d.hairHair = pb.GetInt(hp::dynHairHair, t) != 0;
  d.radius = pb.GetFloat(hp::dynRadius, t);
  d.selfVol = pb.GetFloat(hp::dynSelfVol, t);
  d.hairThick = pb.GetFloat(hp::dynHairThick, t);
  return d;
}

}  // namespace crn
