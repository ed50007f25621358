#include "hair/surface.h"

#include <cstdint>
#include <limits>

#include "hair/surface_geometry.h"
#include "host/class_id.h"

namespace crn {

namespace {

void ClearSurface(GuideSet& g) {
  g.vertices.clear();
  g.normals.clear();
  g.tangents.clear();
  g.triangles.clear();
  g.cornerUVW.clear();
  g.materialIds.clear();
}

V3 ToV3(const host::Point3& p) { return {p.x, p.y, p.z}; }

// Corner UVWs of channel 1 when the channel exists, has map vertices and a sound map face
// for every mesh face; otherwise none (a broken channel acts as a missing one).
bool ReadCornerUVW(const host::Mesh& mesh, std::vector<V3>& out) {
  const host::MapChannel* map = mesh.GetMap(1);
  if (!map || map->tverts.empty() || map->tvFaces.size() != mesh.faces.size()) return false;
  out.resize(mesh.faces.size() * 3);
  for (std::size_t f = 0; f < mesh.faces.size(); ++f)
    for (int c = 0; c < 3; ++c) {
      const std::uint32_t tv = map->tvFaces[f][c];
      if (tv >= map->tverts.size()) {
        out.clear();
        return false;
      }
      out[f * 3 + c] = ToV3(map->tverts[tv]);
    }
  return true;
}

}  // namespace

bool ExtractSurface(const host::Mesh& mesh, const host::Matrix3& tm, GuideSet& g) {
  ClearSurface(g);
  const std::size_t nv = mesh.verts.size(), nf = mesh.faces.size();
  if (nf == 0 || nv > std::size_t(std::numeric_limits<std::int32_t>::max())) return false;
  for (const host::Face& f : mesh.faces)
    for (std::uint32_t v : f.v)
      if (v >= nv) return false;  // a broken face would index outside the vertices

  g.vertices.resize(nv);
  for (std::size_t i = 0; i < nv; ++i) g.vertices[i] = ToV3(mesh.verts[i] * tm);
  g.triangles.resize(nf * 3);
  g.materialIds.resize(nf);
  for (std::size_t f = 0; f < nf; ++f) {
    for (int c = 0; c < 3; ++c) g.triangles[f * 3 + c] = std::int32_t(mesh.faces[f].v[c]);
    g.materialIds[f] = std::int32_t(mesh.faces[f].matId) + 1;
  }
  ReadCornerUVW(mesh, g.cornerUVW);
  ComputeNormalsTangents(g);
  return true;
}

bool ExtractSurface(host::INode* node, host::TimeValue t, GuideSet& g) {
  ClearSurface(g);
  if (!node) return false;
  host::Object* obj = node->EvalWorldState(t);
  if (!obj || obj->SuperClassID() != host::GEOMOBJECT_CLASS_ID ||
      !obj->CanConvertToType(host::triObjectClassID))
    return false;
  const host::Mesh* mesh = obj->GetMesh(t);
  if (!mesh) return false;
  return ExtractSurface(*mesh, node->GetObjectTM(t), g);
}

}  // namespace crn
