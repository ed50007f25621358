#include "host/force_fields.h"

#include <cmath>

#include "host/class_desc.h"
#include "host/inode.h"
#include "host/units.h"

namespace host {

namespace {

constexpr double kTicksSquared = double(TICKS_PER_SECOND) * TICKS_PER_SECOND;

// Metres per scene unit (0.0254 when the unit scale is not positive).
double MetresPerUnit() {
  const double m = GetSystemUnitScale(UNITS_METERS);
  return m > 0 ? m : 0.0254;
}

// The labels of the two blocks, by string id.
enum { IDS_PARAMS = 1, IDS_STRENGTH, IDS_DAMPING, IDS_ICON_SIZE };

const char* BuiltinString(int id) {
  switch (id) {
    case IDS_PARAMS: return "Parameters";
    case IDS_STRENGTH: return "Strength";
    case IDS_DAMPING: return "Damping (1/s)";
    case IDS_ICON_SIZE: return "Icon size";
    default: return "";
  }
}

ParamDef FloatParam(ParamID id, const char* name, float def, double lo, double hi, int label,
                    bool world) {
  ParamDef d;
  d.id = id;
  d.internalName = name;
  d.type = TYPE_FLOAT;
  d.flags = P_ANIMATABLE;
  d.defaultValue = def;
  d.hasRange = true;
  d.rangeMin = lo;
  d.rangeMax = hi;
  d.labelStringId = label;
  d.spinnerScale = 0.01f;
  d.worldUnits = world;
  return d;
}

template <class T>
class BuiltinWarpDesc : public ClassDesc2 {
 public:
  BuiltinWarpDesc(const char* name, Class_ID id, ParamDef first)
      : name_(name), id_(id), block_(0, "params", IDS_PARAMS, this, P_AUTO_CONSTRUCT | P_AUTO_UI, 0) {
    block_.AddParam(std::move(first));
    block_.AddParam(FloatParam(1, "iconSize", 10.f, 0.001, 1e6, IDS_ICON_SIZE, true));
    ClassDirectory::Get().AddClass(this);
  }
  void* Create(bool) override { return new T(); }
  const char* ClassName() override { return name_; }
  const char* NonLocalizedClassName() override { return name_; }
  SClass_ID SuperClassID() override { return WSM_OBJECT_CLASS_ID; }
  Class_ID ClassID() override { return id_; }
  const char* Category() override { return "Forces"; }
  const char* InternalName() override { return name_; }
  const char* GetRsrcString(int id) override { return BuiltinString(id); }

 private:
  const char* name_;
  Class_ID id_;
  ParamBlockDesc2 block_;
};

BuiltinWarpDesc<GravityObject>& GravityDesc() {
  static BuiltinWarpDesc<GravityObject> desc(
      "Gravity", gravityClassID,
      FloatParam(gravity_params::strength, "strength", 1.f, -1e4, 1e4, IDS_STRENGTH, false));
  return desc;
}

BuiltinWarpDesc<DragObject>& DragDesc() {
  static BuiltinWarpDesc<DragObject> desc(
      "Drag", dragClassID,
      FloatParam(drag_params::damping, "damping", 1.f, 0, 1e4, IDS_DAMPING, false));
  return desc;
}

// Both classes are in the directory once the host library is loaded.
[[maybe_unused]] const bool g_registered = (GravityDesc(), DragDesc(), true);

class GravityField : public ForceField {
 public:
  GravityField(INode* node, GravityObject* obj) : node_(node), obj_(obj) {}
  Point3 Force(TimeValue t, const Point3&, const Point3&, int) override {
    const float strength = obj_->pblock2 ? obj_->pblock2->GetFloat(gravity_params::strength, t) : 0.f;
    const Point3 down = -Normalize(node_->GetNodeTM(t).GetRow(2));
    return down * float(strength * 9.81 / MetresPerUnit() / kTicksSquared);
  }

 private:
  INode* node_;
  GravityObject* obj_;
};

class DragField : public ForceField {
 public:
  explicit DragField(DragObject* obj) : obj_(obj) {}
  Point3 Force(TimeValue t, const Point3&, const Point3& vel, int) override {
    const float k = obj_->pblock2 ? obj_->pblock2->GetFloat(drag_params::damping, t) : 0.f;
    // -k v in units/s^2 with v in units/tick is -k * 4800 * v; per tick^2 that is -k v / 4800.
    return vel * float(-double(k) / TICKS_PER_SECOND);
  }

 private:
  DragObject* obj_;
};

// A flat arrow of size s along axis -Z (gravity) or a cross of quads (drag).
void AddQuad(Mesh& m, const Point3& a, const Point3& b, const Point3& c, const Point3& d) {
  const std::uint32_t base = std::uint32_t(m.verts.size());
  m.verts.insert(m.verts.end(), {a, b, c, d});
  Face f1, f2;
  f1.v[0] = base, f1.v[1] = base + 1, f1.v[2] = base + 2;
  f2.v[0] = base, f2.v[1] = base + 2, f2.v[2] = base + 3;
  f1.setEdgeVisFlags(true, true, false);
  f2.setEdgeVisFlags(false, true, true);
  m.faces.push_back(f1);
  m.faces.push_back(f2);
}

float IconSize(IParamBlock2* pb, ParamID id, TimeValue t, Interval& valid) {
  float s = 10.f;
  if (pb) pb->GetValue(id, t, s, valid);
  return s;
}

}  // namespace

GravityObject::GravityObject() { GravityDesc().MakeAutoParamBlocks(this); }

ForceField* GravityObject::GetForceField(INode* node) {
  return node ? new GravityField(node, this) : nullptr;
}

void GravityObject::BuildMesh(TimeValue t) {
  ivalid = FOREVER;
  const float s = IconSize(pblock2, gravity_params::iconSize, t, ivalid);
  mesh = Mesh();
  const float h = 0.5f * s;
  AddQuad(mesh, {-h, -h, 0}, {h, -h, 0}, {h, h, 0}, {-h, h, 0});
  AddQuad(mesh, {-0.05f * s, 0, 0}, {0.05f * s, 0, 0}, {0.05f * s, 0, -0.7f * s},
          {-0.05f * s, 0, -0.7f * s});
  AddQuad(mesh, {-0.2f * s, 0, -0.7f * s}, {0.2f * s, 0, -0.7f * s}, {0, 0, -s}, {0, 0, -s});
}

ReferenceTarget* GravityObject::Clone(RemapDir&) { return CloneBlockInto(new GravityObject()); }

DragObject::DragObject() { DragDesc().MakeAutoParamBlocks(this); }

ForceField* DragObject::GetForceField(INode*) { return new DragField(this); }

void DragObject::BuildMesh(TimeValue t) {
  ivalid = FOREVER;
  const float h = 0.5f * IconSize(pblock2, drag_params::iconSize, t, ivalid);
  mesh = Mesh();
  AddQuad(mesh, {-h, -h, 0}, {h, -h, 0}, {h, h, 0}, {-h, h, 0});
  AddQuad(mesh, {-h, 0, -h}, {h, 0, -h}, {h, 0, h}, {-h, 0, h});
  AddQuad(mesh, {0, -h, -h}, {0, h, -h}, {0, h, h}, {0, -h, h});
}

ReferenceTarget* DragObject::Clone(RemapDir&) { return CloneBlockInto(new DragObject()); }

}  // namespace host
