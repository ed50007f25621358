// Pyrelle: a stand-in for the maker's voxel fire plug-in. Its fire nodes hold a procedural
// flame that grows from its start frame and drifts; the hair reads the flame's voxels through
// the bridge the module exports as "PYR_GetBridge". The host loads it as a plug-in module
// (LibNumberClasses / LibClassDesc), so scenes create fire nodes by its class name.
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "dynamics/fire_bridge.h"
#include "host/class_desc.h"
#include "host/inode.h"
#include "host/simple_object.h"
#include "host/units.h"

#define PYR_EXPORT extern "C" __attribute__((visibility("default")))

namespace pyrelle {

using namespace host;

constexpr Class_ID kFireClassID{0x50595231, 0x46495245};

// Parameters of a fire node.
enum : ParamID { size = 0, height, growth, driftX, driftY, intensity, startFrame, voxels, seed };

enum { IDS_PARAMS = 1, IDS_SIZE, IDS_HEIGHT, IDS_GROWTH, IDS_DRIFT_X, IDS_DRIFT_Y, IDS_INTENSITY,
       IDS_START, IDS_VOXELS, IDS_SEED };

const char* Text(int id) {
  static const char* texts[] = {"",       "Parameters", "Size",      "Height",    "Grows in (s)",
                                "Drift X", "Drift Y",   "Intensity", "Start frame", "Voxels",
                                "Seed"};
  return id >= 0 && id <= IDS_SEED ? texts[id] : "";
}

class FireObject : public SimpleObject2 {
 public:
  FireObject();
  Class_ID ClassID() const override { return kFireClassID; }
  SClass_ID SuperClassID() const override { return HELPER_CLASS_ID; }
  std::string GetObjectName() const override { return "Pyrelle Fire"; }
  ReferenceTarget* Clone(RemapDir&) override {
    auto* copy = new FireObject();
    IParamBlock2* fresh = copy->pblock2;
    copy->ReplaceReference(0, pblock2 ? pblock2->Clone(copy) : nullptr);
    delete fresh;
    return copy;
  }
};

ParamDef Param(ParamID id, const char* name, ParamType2 type, PBValue def, double lo, double hi,
               int label) {
  ParamDef d;
  d.id = id;
  d.internalName = name;
  d.type = type;
  d.flags = P_ANIMATABLE;
  d.defaultValue = def;
  d.hasRange = true;
  d.rangeMin = lo;
  d.rangeMax = hi;
  d.labelStringId = label;
  d.spinnerScale = type == TYPE_INT ? 1.f : 0.1f;
  return d;
}

class FireDesc : public ClassDesc2 {
 public:
  FireDesc() : block_(0, "params", IDS_PARAMS, this, P_AUTO_CONSTRUCT | P_AUTO_UI, 0) {
    block_.AddParam(Param(size, "size", TYPE_FLOAT, 30.f, 0.001, 1e6, IDS_SIZE));
    block_.AddParam(Param(height, "height", TYPE_FLOAT, 60.f, 0.001, 1e6, IDS_HEIGHT));
    block_.AddParam(Param(growth, "growth", TYPE_FLOAT, 2.f, 0, 1e4, IDS_GROWTH));
    block_.AddParam(Param(driftX, "driftX", TYPE_FLOAT, 0.f, -1e6, 1e6, IDS_DRIFT_X));
    block_.AddParam(Param(driftY, "driftY", TYPE_FLOAT, 0.f, -1e6, 1e6, IDS_DRIFT_Y));
    block_.AddParam(Param(intensity, "intensity", TYPE_FLOAT, 1.f, 0, 1e4, IDS_INTENSITY));
    block_.AddParam(Param(startFrame, "startFrame", TYPE_INT, 0, -100000, 100000, IDS_START));
    block_.AddParam(Param(voxels, "voxels", TYPE_INT, 24, 2, 256, IDS_VOXELS));
    block_.AddParam(Param(seed, "seed", TYPE_INT, 1, 0, 99999, IDS_SEED));
  }
  void* Create(bool) override { return new FireObject(); }
  const char* ClassName() override { return "Pyrelle Fire"; }
  const char* NonLocalizedClassName() override { return "Pyrelle Fire"; }
  SClass_ID SuperClassID() override { return HELPER_CLASS_ID; }
  Class_ID ClassID() override { return kFireClassID; }
  const char* Category() override { return "Pyrelle"; }
  const char* InternalName() override { return "PyrelleFire"; }
  const char* GetRsrcString(int id) override { return Text(id); }

 private:
  ParamBlockDesc2 block_;
};

FireDesc& Desc() {
  static FireDesc desc;
  return desc;
}

FireObject::FireObject() { Desc().MakeAutoParamBlocks(this); }

// Smooth value noise in [0, 1) for the flicker.
float Noise(float x, float y, float z, std::uint32_t s) {
  auto hash = [s](int i, int j, int k) {
    std::uint32_t h = std::uint32_t(i) * 73856093u ^ std::uint32_t(j) * 19349663u ^
                      std::uint32_t(k) * 83492791u ^ s * 2654435761u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    return float(h & 0xFFFFFF) / 16777216.f;
  };
  const float fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
  const int i = int(fx), j = int(fy), k = int(fz);
  auto f = [](float t) { return t * t * (3 - 2 * t); };
  const float u = f(x - fx), v = f(y - fy), w = f(z - fz);
  auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
  return lerp(lerp(lerp(hash(i, j, k), hash(i + 1, j, k), u), lerp(hash(i, j + 1, k), hash(i + 1, j + 1, k), u), v),
              lerp(lerp(hash(i, j, k + 1), hash(i + 1, j, k + 1), u),
                   lerp(hash(i, j + 1, k + 1), hash(i + 1, j + 1, k + 1), u), v),
              w);
}

struct Frame {
  std::vector<float> colours;
};

bool IsFireNode(INode* node) {
  return node && node->GetObjectRef() && node->GetObjectRef()->ClassID() == kFireClassID;
}

// The flame at t: a cone of fire on the node's XY plane rising along its Z axis, growing to
// full size over `growth` seconds from the start frame and drifting with (driftX, driftY)
// units per second. Voxels in node space, scaled to metres.
bool GetFireFrame(INode* node, TimeValue t, crn::FireFrame* out) {
  if (!IsFireNode(node) || !out) return false;
  IParamBlock2* pb = static_cast<FireObject*>(node->GetObjectRef())->pblock2;
  if (!pb) return false;
  const float age = float(t - pb->GetInt(startFrame, t) * GetTicksPerFrame()) / float(TICKS_PER_SECOND);
  if (age < 0) return false;
  const float grow = pb->GetFloat(growth, t);
  const float k = grow > 0 ? std::min(1.f, age / grow) : 1.f;
  const float R = 0.5f * pb->GetFloat(size, t) * k, H = pb->GetFloat(height, t) * k;
  if (!(R > 0) || !(H > 0)) return false;
  const float cx = pb->GetFloat(driftX, t) * age, cy = pb->GetFloat(driftY, t) * age;
  const int res = pb->GetInt(voxels, t);
  const float edge = std::max(2 * R, H) / float(res);
  const int nx = std::max(1, int(std::ceil(2 * R / edge))), nz = std::max(1, int(std::ceil(H / edge)));
  const float hot = 10.f * pb->GetFloat(intensity, t);
  const auto s = std::uint32_t(pb->GetInt(seed, t));

  auto frame = std::make_unique<Frame>();
  frame->colours.resize(std::size_t(nx) * nx * nz * 3);
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < nx; ++j)
      for (int l = 0; l < nz; ++l) {
        const float x = -R + (i + 0.5f) * edge, y = -R + (j + 0.5f) * edge, z = (l + 0.5f) * edge;
        const float taper = R * std::pow(std::max(0.f, 1.f - z / H), 0.7f);
        const float d = std::sqrt(x * x + y * y);
        float dens = taper > 0 ? std::max(0.f, 1.f - d / taper) : 0.f;
        const float flicker = Noise((x + cx) / (0.4f * R), (y + cy) / (0.4f * R), (z - 3 * H * age) / (0.3f * H), s);
        dens *= dens * (0.6f + 0.8f * flicker);
        float* c = &frame->colours[((std::size_t(i) * nx + j) * nz + l) * 3];
        const float core = std::min(1.f, 2 * dens);
        c[0] = hot * dens;
        c[1] = hot * dens * (0.25f + 0.6f * core);
        c[2] = hot * dens * 0.1f * core;
      }

  const double mpu = GetSystemUnitScale(UNITS_METERS) > 0 ? GetSystemUnitScale(UNITS_METERS) : 0.0254;
  const Matrix3 tm = node->GetNodeTM(t);
  out->nx = out->ny = nx;
  out->nz = nz;
  out->voxel = float(edge * mpu);
  out->origin[0] = float((cx - R) * mpu);
  out->origin[1] = float((cy - R) * mpu);
  out->origin[2] = 0;
  for (int r = 0; r < 3; ++r) {
    const Point3 axis = tm.GetRow(r);
    out->gridToWorld[3 * r] = axis.x;
    out->gridToWorld[3 * r + 1] = axis.y;
    out->gridToWorld[3 * r + 2] = axis.z;
  }
  const Point3 at = tm.GetTrans() * float(mpu);
  out->gridToWorld[9] = at.x;
  out->gridToWorld[10] = at.y;
  out->gridToWorld[11] = at.z;
  out->colours = frame->colours.data();
  out->handle = frame.release();
  return true;
}

void ReleaseFireFrame(void* handle) { delete static_cast<Frame*>(handle); }

const crn::PyrBridge kBridge = {1, &IsFireNode, &GetFireFrame, &ReleaseFireFrame};

}  // namespace pyrelle

PYR_EXPORT const crn::PyrBridge* PYR_GetBridge() { return &pyrelle::kBridge; }
PYR_EXPORT int LibNumberClasses() { return 1; }
PYR_EXPORT host::ClassDesc2* LibClassDesc(int i) { return i == 0 ? &pyrelle::Desc() : nullptr; }
