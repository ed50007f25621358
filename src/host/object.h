#pragma once
// Scene objects: the base object, geometric objects convertible to meshes, the host's mesh
// object, helpers and materials. Texture maps live in texmap.h, included at the end.
#include <memory>
#include <string>
#include <vector>

#include "host/chunk_io.h"
#include "host/mesh.h"
#include "host/reference.h"

namespace host {

class ISave;
class ILoad;
class INode;
class ShadeContext;
class View;

class Animatable : public ReferenceTarget {
 public:
  virtual std::string GetObjectName() const { return ""; }
  virtual IOResult Save(ISave*) { return IO_OK; }
  virtual IOResult Load(ILoad*) { return IO_OK; }
  // Called once a loaded scene's references are all in place.
  virtual void LoadComplete() {}
};

class ViewExp;
struct IPoint2;
class RenderItemContainer;
class MouseCallBack;

class Object : public Animatable {
 public:
  // True when the object, evaluated at t, can become an object of class obtype.
  virtual bool CanConvertToType(const Class_ID&) const { return false; }
  // The object's world-state at t (itself, for objects without modifiers).
  virtual Object* Eval(TimeValue) { return this; }
  // A triangle mesh of the object at t in object space, or nullptr.
  virtual const Mesh* GetMesh(TimeValue) { return nullptr; }
  // Interval over which the object stays valid.
  virtual Interval ObjectValidity(TimeValue) { return FOREVER; }
  // The mesh a renderer draws for node at t, seen from view, in object space; needDelete
  // tells whether the caller owns it. Objects without a view-dependent mesh hand out GetMesh.
  virtual Mesh* GetRenderMesh(TimeValue t, INode*, View&, bool& needDelete) {
    needDelete = false;
    return const_cast<Mesh*>(GetMesh(t));
  }

  // --- viewport display and picking
  // World-space bounds of what the object draws for node at t.
  virtual void GetWorldBoundBox(TimeValue, INode*, ViewExp*, Box3& box) { box.Init(); }
  // The same in the node's object space.
  virtual void GetLocalBoundBox(TimeValue, INode*, ViewExp*, Box3& box) { box.Init(); }
  // Bounds for deformers, optionally through tm.
  virtual void GetDeformBBox(TimeValue, Box3& box, const Matrix3* /*tm*/) { box.Init(); }
  // 1 when the pick (point or region p, of a hit type, window or crossing) hits the object.
  virtual int HitTest(TimeValue, INode*, int /*type*/, int /*crossing*/, int /*flags*/,
                      const IPoint2& /*p*/, ViewExp*) {
    return 0;
  }
  // Adds the object's render items for node to items; false when it has none.
  virtual bool UpdatePerNodeItems(INode*, RenderItemContainer&) { return false; }
  // The mouse callback that creates the object with clicks in a viewport.
  virtual MouseCallBack* GetCreateMouseCallBack() { return nullptr; }
};

// The host's editable triangle mesh object.
class TriObject : public Object {
 public:
  Class_ID ClassID() const override { return triObjectClassID; }
  SClass_ID SuperClassID() const override { return GEOMOBJECT_CLASS_ID; }
  std::string GetObjectName() const override { return "Editable Mesh"; }
  bool CanConvertToType(const Class_ID& id) const override { return id == triObjectClassID; }
  const Mesh* GetMesh(TimeValue) override { return &mesh; }
  Mesh& GetMesh() { return mesh; }
  ReferenceTarget* Clone(RemapDir&) override {
    auto* copy = new TriObject();
    copy->mesh = mesh;
    return copy;
  }
  void RescaleWorldUnits(float f) override {
    if (TestAFlag(A_WORK1)) return;
    SetAFlag(A_WORK1);
    for (Point3& v : mesh.verts) v *= f;
  }

  Mesh mesh;
};

// A helper (dummy / point) object: has a position, no geometry.
class HelperObject : public Object {
 public:
  Class_ID ClassID() const override { return dummyClassID; }
  SClass_ID SuperClassID() const override { return HELPER_CLASS_ID; }
  std::string GetObjectName() const override { return "Dummy"; }
  ReferenceTarget* Clone(RemapDir&) override { return new HelperObject(); }
};

// Materials: colours for renderers that only want one, sub-materials, and shading.
class Mtl : public Animatable {
 public:
  SClass_ID SuperClassID() const override { return MATERIAL_CLASS_ID; }
  virtual Color GetAmbient(int /*mtlNum*/ = 0, bool /*backFace*/ = false) { return GetDiffuse(); }
  virtual Color GetDiffuse(int /*mtlNum*/ = 0, bool /*backFace*/ = false) { return Color(0.5f, 0.5f, 0.5f); }
  virtual Color GetSpecular(int /*mtlNum*/ = 0, bool /*backFace*/ = false) { return Color(1, 1, 1); }
  virtual float GetShininess(int /*mtlNum*/ = 0, bool /*backFace*/ = false) { return 0.25f; }
  virtual float GetShinStr(int /*mtlNum*/ = 0, bool /*backFace*/ = false) { return 1.0f; }
  virtual int NumSubMtls() { return 0; }
  virtual Mtl* GetSubMtl(int) { return nullptr; }
  // Prepares the material for shading at t and narrows valid to what the result holds for.
  virtual void Update(TimeValue, Interval&) {}
  virtual Interval Validity(TimeValue) { return FOREVER; }
  // Back to the class's defaults.
  virtual void Reset() {}
  // Shades the point sc describes into sc.out.
  virtual void Shade(ShadeContext&) {}
  // What the material needs of a renderer (MTLREQ_ bits) and which map channels it reads.
  virtual ULONG Requirements(int /*subMtlNum*/) { return 0; }
  virtual std::vector<int> MappingsRequired(int /*subMtlNum*/) { return {}; }
  int GetGBufID() const { return gbufId_; }
  void SetGBufID(int id) { gbufId_ = id; }

 private:
  int gbufId_ = 0;
};

}  // namespace host

// Texture maps derive from Animatable above; every user of scene objects sees them complete.
#include "host/texmap.h"
