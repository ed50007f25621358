#include "scene/info.h"

#include <ostream>
#include <set>

#include "hair/hair_object.h"
#include "hair/strand_build.h"
#include "host/class_desc.h"
#include "host/units.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;

namespace {

std::string ClassNameOf(Object* obj) {
  if (ClassDesc2* cd = ClassDirectory::Get().FindClass(obj->SuperClassID(), obj->ClassID()))
    return cd->ClassName();
  return obj->GetObjectName();
}

void PrintMesh(const Mesh& m, std::ostream& out) {
  std::set<MtlID> ids;
  for (const Face& f : m.faces) ids.insert(f.matId);
  int channels = 0;
  for (int c = 0; c < m.getNumMaps(); ++c) channels += m.mapSupport(c);
  out << "  mesh: " << m.verts.size() << " vertices, " << m.faces.size() << " triangles, "
      << channels << " map channel" << (channels == 1 ? "" : "s") << ", " << ids.size()
      << " material id" << (ids.size() == 1 ? "" : "s") << '\n';
  if (!m.verts.empty()) {
    const Box3 b = m.getBoundingBox();
    out << "  bounds: " << FormatPoint(b.pmin.x, b.pmin.y, b.pmin.z, 6) << " to "
        << FormatPoint(b.pmax.x, b.pmax.y, b.pmax.z, 6) << '\n';
  }
}

// Listings for people: six significant digits, drop-down values with their item text.
std::string Show(const IParamBlock2* pb, const ParamDef& def, const PBValue& v) {
  std::string s = FormatValue(def, v, 6);
  if (const int* i = std::get_if<int>(&v); i && def.IsDropDown() && *i >= 0 &&
                                           *i < int(def.itemStringIds.size()))
    s += " (" + pb->GetDesc()->GetString(def.itemStringIds[*i]) + ")";
  return s;
}

void PrintParams(IParamBlock2* pb, TimeValue t, std::ostream& out) {
  const ParamBlockDesc2* d = pb->GetDesc();
  int changed = 0;
  for (int i = 0; i < d->Count(); ++i) {
    const ParamDef& def = d->GetParamDef(i);
    if (pb->IsDefault(def.id)) continue;
    ++changed;
    out << "    " << def.internalName << " = ";
    if (pb->IsAnimated(def.id)) {
      out << "keys";
      for (const auto& k : pb->GetKeys(def.id))
        out << " [" << FormatFloat(float(TicksToFrames(k.time)), 6) << ", "
            << Show(pb, def, k.value) << "]";
    } else {
      Interval iv = FOREVER;
      out << Show(pb, def, *pb->GetPBValue(def.id, t, iv));
    }
    out << '\n';
  }
  if (!changed) out << "    (all at their defaults)\n";
}

// Guides, roots and strand counts of a hair object at t; the render count is what a render
// build would make, as the object reckons it without building.
void PrintHairStats(crn::HairObject* hair, TimeValue t, std::ostream& out) {
  const crn::GuideSet& g = hair->EvaluateGuides(t);
  const std::size_t roots = hair->PlaceRoots(t).size();
  const crn::StrandSet& vp = hair->BuildViewportStrands(t);
  out << "  hair: " << g.VertexCount() << " guides, " << roots << " roots, "
      << crn::PointsPerStrand(g.settings) << " points per strand, " << vp.StrandCount()
      << " viewport strands, " << hair->RenderStrandCount(t) << " render strands\n";
}

}  // namespace

void PrintSceneInfo(const std::string& scenePath, const Interface& ip, std::ostream& out) {
  UnitType units;
  float scale;
  GetSystemUnitInfo(&units, &scale);
  out << "scene: " << scenePath << '\n';
  out << "units: " << UnitTypeName(units);
  if (scale != 1.0f) out << " x " << FormatFloat(scale);
  out << ", " << GetFrameRate() << " fps, range " << FormatFloat(float(TicksToFrames(ip.GetAnimRange().Start())))
      << " to " << FormatFloat(float(TicksToFrames(ip.GetAnimRange().End()))) << ", time "
      << FormatFloat(float(TicksToFrames(ip.GetTime()))) << '\n';
  out << "nodes: " << ip.Nodes().size() << '\n';
  for (const auto& node : ip.Nodes()) {
    Object* obj = node->GetObjectRef();
    out << "node \"" << node->GetName() << "\" (handle " << node->GetHandle() << "): "
        << (obj ? ClassNameOf(obj) : "no object");
    if (node->GetParentNode()) out << ", parent \"" << node->GetParentNode()->GetName() << "\"";
    if (node->IsHidden()) out << ", hidden";
    if (!node->Renderable()) out << ", not renderable";
    out << '\n';
    if (!obj) continue;
    if (const Mesh* m = obj->GetMesh(ip.GetTime())) PrintMesh(*m, out);
    if (obj->ClassID() == crn::kHairObjectClassID) PrintHairStats(static_cast<crn::HairObject*>(obj), ip.GetTime(), out);
    for (IParamBlock2* pb : ParamBlocksOf(obj)) {
      out << "  parameters \"" << pb->GetDesc()->InternalName() << "\" (differing from defaults):\n";
      PrintParams(pb, ip.GetTime(), out);
    }
  }
}

}  // namespace crn::scene
