#include "dynamics/hair_wind.h"

#include <cmath>
#include <vector>

#include "dynamics/sim_params.h"
#include "host/inode.h"
#include "host/interface.h"
#include "kernels/sim_step.h"
#include "resources/strings.h"

namespace crn {

using namespace host;
using namespace crn::res;

namespace {

constexpr double kTicksSquared = 23040000.0;  // 4800^2: per second^2 to per tick^2
constexpr float kTwoPi = 6.28318530718f;

// Appends a triangle with every edge visible.
void AddTri(Mesh& m, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  Face f;
  f.v = {a, b, c};
  f.edgeVis = 7;
  m.faces.push_back(f);
}

// An axis-aligned box between corners lo and hi.
void AddBox(Mesh& m, const Point3& lo, const Point3& hi) {
  const auto base = std::uint32_t(m.verts.size());
  for (int i = 0; i < 8; ++i)
    m.verts.push_back(Point3((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z));
  // Two triangles per side, wound outwards.
  static const std::uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                            {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    AddTri(m, base + q[0], base + q[1], base + q[2]);
    AddTri(m, base + q[0], base + q[2], base + q[3]);
  }
}

void AddCube(Mesh& m, const Point3& c, float half) {
  AddBox(m, c - Point3(half, half, half), c + Point3(half, half, half));
}

// A cone: the apex at base + (0, 0, height), then the ring of base points; one triangle
// (apex, ring i, ring i + 1) per side.
void AddCone(Mesh& m, const Point3& base, float radius, float height, int sides) {
  const auto apex = std::uint32_t(m.verts.size());
  m.verts.push_back(base + Point3(0, 0, height));
  for (int i = 0; i < sides; ++i) {
    const float a = float(i) * kTwoPi / float(sides);
    m.verts.push_back(base + Point3(radius * std::cos(a), radius * std::sin(a), 0));
  }
  for (int i = 0; i < sides; ++i)
    AddTri(m, apex, apex + 1 + std::uint32_t(i), apex + 1 + std::uint32_t((i + 1) % sides));
}

// Creation by one click: the wind goes to the construction-plane point under the mouse.
class WindCreateCB : public CreateMouseCallBack {
 public:
  using CreateMouseCallBack::proc;
  int proc(ViewExp* vpt, int msg, int point, int, IPoint2 m, Matrix3& mat) override {
    switch (msg) {
      case MOUSE_POINT:
      case MOUSE_MOVE:
        mat.IdentityMatrix();
        if (vpt) mat.SetTrans(vpt->SnapPoint(m));
        return msg == MOUSE_POINT && point == 0 ? CREATE_STOP : CREATE_CONTINUE;
      case MOUSE_ABORT:
        return CREATE_ABORT;
      default:
        return CREATE_CONTINUE;
    }
  }
};

// The parameter rows: id, name, type, flags, default, min, max, label, step, world units.
struct WindRow {
  short id;
  const char* name;
  ParamType2 type;
  int flags;
  PBValue defaultValue;
  double lo, hi;
  int label;
  float step;
  bool world;
};

const std::vector<WindRow>& WindRows() {
  static const std::vector<WindRow> rows = {
      {wp::windType, "windType", TYPE_INT, 0, 0, 0, 2, IDS_W_windType, 0.f, false},
      {wp::strength, "strength", TYPE_FLOAT, P_ANIMATABLE, 1.0f, -100, 100, IDS_W_strength, 0.05f, false},
      {wp::gustAmp, "gustAmp", TYPE_FLOAT, P_ANIMATABLE, 0.5f, 0, 10, IDS_W_gustAmp, 0.05f, false},
      {wp::gustFreq, "gustFreq", TYPE_FLOAT, P_ANIMATABLE, 0.4f, 0, 20, IDS_W_gustFreq, 0.05f, false},
      {wp::turbulence, "turbulence", TYPE_FLOAT, P_ANIMATABLE, 0.6f, 0, 10, IDS_W_turbulence, 0.05f, false},
      {wp::turbScale, "turbScale", TYPE_FLOAT, P_ANIMATABLE, 30.0f, 0.001, 1e6, IDS_W_turbScale, 1.f, true},
      {wp::turbSpeed, "turbSpeed", TYPE_FLOAT, P_ANIMATABLE, 1.0f, 0, 100, IDS_W_turbSpeed, 0.05f, false},
      {wp::range, "range", TYPE_FLOAT, P_ANIMATABLE, 0.0f, 0, 1e7, IDS_W_range, 1.f, true},
      {wp::vortexPull, "vortexPull", TYPE_FLOAT, P_ANIMATABLE, 0.3f, -5, 5, IDS_W_vortexPull, 0.05f, false},
      {wp::seed, "seed", TYPE_INT, P_ANIMATABLE, 1, 0, 99999, IDS_W_seed, 1.f, false},
      {wp::iconSize, "iconSize", TYPE_FLOAT, P_ANIMATABLE, 20.0f, 0.001, 1e6, IDS_W_iconSize, 1.f, true},
      {wp::octaves, "octaves", TYPE_INT, P_ANIMATABLE, 3, 1, 6, IDS_W_octaves, 1.f, false},
      {wp::curl, "curl", TYPE_BOOL, 0, 1, 0, 0, IDS_W_curl, 0.f, false},
      {wp::gustTravel, "gustTravel", TYPE_FLOAT, P_ANIMATABLE, 300.0f, 0, 1e7, IDS_W_gustTravel, 10.f, true},
      {wp::flutter, "flutter", TYPE_FLOAT, P_ANIMATABLE, 0.3f, 0, 5, IDS_W_flutter, 0.05f, false},
      {wp::shadow, "shadow", TYPE_FLOAT, P_ANIMATABLE, 0.5f, 0, 1, IDS_W_shadow, 0.01f, false},
      {wp::coupling, "coupling", TYPE_FLOAT, P_ANIMATABLE, 4.0f, 0.1, 50, IDS_W_coupling, 0.1f, false},
  };
  return rows;
}

}  // namespace

std::unique_ptr<ParamBlockDesc2> MakeWindParamBlockDesc(ClassDesc2* cd) {
  auto pbd = std::make_unique<ParamBlockDesc2>(kWindParamsBlockId, "params", IDS_PARAMS, cd,
                                               P_AUTO_CONSTRUCT | P_AUTO_UI, 0);
  pbd->AddRollout({0, 0, IDS_ROLLOUT_WIND, true});
  for (const WindRow& r : WindRows()) {
    ParamDef d;
    d.id = r.id;
    d.internalName = r.name;
    d.type = r.type;
    d.flags = r.flags;
    d.defaultValue = r.defaultValue;
    d.hasRange = r.type != TYPE_BOOL;
    d.rangeMin = r.lo;
    d.rangeMax = r.hi;
    d.labelStringId = r.label;
    if (r.id == wp::windType) d.itemStringIds = {IDS_I_windType_0, IDS_I_windType_1, IDS_I_windType_2};
    d.spinnerScale = r.step;
    d.worldUnits = r.world;
    pbd->AddParam(std::move(d));
  }
  return pbd;
}

HairWindObject::HairWindObject() { GetHairWindDesc()->MakeAutoParamBlocks(this); }

ForceField* HairWindObject::GetForceField(INode* node) {
  return node ? new HairWindField(this, node) : nullptr;
}

void HairWindObject::BuildMesh(TimeValue t) {
  ivalid = FOREVER;
  float s = 20.f;
  int type = 0;
  if (pblock2) {
    pblock2->GetValue(wp::iconSize, t, s, ivalid);
    pblock2->GetValue(wp::windType, t, type, ivalid);
  }
  mesh = Mesh();
  if (type == 1) {
    AddBox(mesh, Point3(-0.5f * s, -0.04f * s, -0.04f * s), Point3(0.5f * s, 0.04f * s, 0.04f * s));
    AddBox(mesh, Point3(-0.04f * s, -0.5f * s, -0.04f * s), Point3(0.04f * s, 0.5f * s, 0.04f * s));
    AddBox(mesh, Point3(-0.04f * s, -0.04f * s, -0.5f * s), Point3(0.04f * s, 0.04f * s, 0.5f * s));
  } else if (type == 2) {
    for (int i = 0; i < 24; ++i) {
      const float a = float(i) * kTwoPi / 24.f;
      AddCube(mesh, Point3(0.5f * s * std::cos(a), 0.5f * s * std::sin(a), 0), 0.03f * s);
    }
    AddBox(mesh, Point3(-0.02f * s, -0.02f * s, -0.5f * s), Point3(0.02f * s, 0.02f * s, 0.5f * s));
    AddCone(mesh, Point3(0, 0, 0.5f * s), 0.08f * s, 0.15f * s, 10);
  } else {
    AddBox(mesh, Point3(-0.04f * s, -0.04f * s, -0.5f * s), Point3(0.04f * s, 0.04f * s, 0.3f * s));
    AddCone(mesh, Point3(0, 0, 0.3f * s), 0.15f * s, 0.3f * s, 12);
    AddBox(mesh, Point3(-0.5f * s, -0.01f * s, -0.5f * s), Point3(0.5f * s, 0.01f * s, -0.48f * s));
  }
}

MouseCallBack* HairWindObject::GetCreateMouseCallBack() {
  static WindCreateCB createCB;
  return &createCB;
}

ReferenceTarget* HairWindObject::Clone(RemapDir&) { return CloneBlockInto(new HairWindObject()); }

void HairWindObject::RescaleWorldUnits(float f) {
  if (TestAFlag(A_WORK1)) return;
  SetAFlag(A_WORK1);
  if (!pblock2 || !(f > 0) || f == 1) return;
  for (short id : {wp::turbScale, wp::range, wp::iconSize, wp::gustTravel}) {
    if (pblock2->IsAnimated(id)) pblock2->RescaleParam(id, f);
    else pblock2->SetValue(id, 0, pblock2->GetFloat(id, 0) * f);
  }
}

hsim::Wind MakeWindRecord(HairWindObject& wind, INode* node, TimeValue t) {
  hsim::Wind w;
  const Matrix3 tm = node ? node->GetNodeTM(t) : Matrix3();
  const Point3 pos = tm.GetTrans();
  const Point3 z = Normalize(tm.GetRow(2));
  w.pos = hsim::F3(pos.x, pos.y, pos.z);
  w.dir = hsim::F3(z.x, z.y, z.z);
  IParamBlock2* pb = wind.pblock2;
  if (!pb) return w;
  w.type = pb->GetInt(wp::windType, t);
  w.strength = GravityAccel() * pb->GetFloat(wp::strength, t);
  w.turbulence = pb->GetFloat(wp::turbulence, t);
  w.turbScale = pb->GetFloat(wp::turbScale, t);
  w.turbSpeed = pb->GetFloat(wp::turbSpeed, t);
  w.gustAmp = pb->GetFloat(wp::gustAmp, t);
  w.gustFreq = pb->GetFloat(wp::gustFreq, t);
  w.range = pb->GetFloat(wp::range, t);
  w.vortexPull = pb->GetFloat(wp::vortexPull, t);
  w.gustTravel = pb->GetFloat(wp::gustTravel, t);
  w.flutter = pb->GetFloat(wp::flutter, t);
  w.shadow = pb->GetFloat(wp::shadow, t);
  w.time = float(t) / float(TICKS_PER_SECOND);
  w.seed = float(pb->GetInt(wp::seed, t) % 1000) * 1.618f;
  w.octaves = std::max(1, pb->GetInt(wp::octaves, t));
  w.curl = pb->GetInt(wp::curl, t) != 0 ? 1 : 0;
  w.coupling = std::max(pb->GetFloat(wp::coupling, t), 0.1f);
  return w;
}

hsim::Wind MakeWindRecord(INode* node, TimeValue t) {
  Object* obj = node ? node->GetObjectRef() : nullptr;
  if (!obj || obj->ClassID() != kHairWindClassID) return hsim::Wind();
  return MakeWindRecord(*static_cast<HairWindObject*>(obj), node, t);
}

Point3 HairWindField::Force(TimeValue t, const Point3& pos, const Point3&, int) {
  hsim::Wind w;
  {
    std::lock_guard lock(mutex_);
    if (!cached_ || cachedTime_ != t) {
      record_ = MakeWindRecord(*wind_, node_, t);
      cachedTime_ = t;
      cached_ = true;
    }
    w = record_;
  }
  const hsim::F3 a = hsim::WindAccel(w, hsim::F3(pos.x, pos.y, pos.z), hsim::F3(0, 0, 0),
                                     float(t) / float(TICKS_PER_SECOND), 0.f, 1.f);
  return Point3(float(a.x / kTicksSquared), float(a.y / kTicksSquared), float(a.z / kTicksSquared));
}

const char* HairWindDesc::ClassName() { return res::GetString(res::IDS_WIND_CLASS_NAME); }
const char* HairWindDesc::Category() { return res::GetString(res::IDS_CATEGORY); }
const char* HairWindDesc::GetRsrcString(int id) { return res::GetString(id); }

}  // namespace crn
